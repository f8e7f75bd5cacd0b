#!/usr/bin/env bash
# A short real-window run of meridan under Valgrind's memcheck, on an X display of its own:
# start, LEFT, a few blinks, END. Fails on any invalid access or definite leak, or if the program
# does not end with status 0. What forked children do is not the panel's (libdbus forks to look
# for a session bus), so they are not checked.
set -euo pipefail
binary=$1
suppressions=$(dirname "$0")/valgrind.supp
export MEMCHECK_BINARY=$binary MEMCHECK_SUPPRESSIONS=$suppressions
exec xvfb-run -a -s "-screen 0 1024x600x24 -noreset" bash -c '
  set -euo pipefail
  valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
    --child-silent-after-fork=yes \
    --show-leak-kinds=definite --suppressions="$MEMCHECK_SUPPRESSIONS" \
    "$MEMCHECK_BINARY" &
  pid=$!
  panel=$(timeout 60 xdotool search --sync --onlyvisible --name "^Meridan\$" | head -n 1)
  xdotool mousemove --window "$panel" 81 140 click 1   # LEFT
  sleep 2
  xdotool mousemove --window "$panel" 193 245 click 1  # END
  status=0
  wait "$pid" || status=$?
  echo "memcheck_window: meridan ended with status $status"
  exit "$status"
'
