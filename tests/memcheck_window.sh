#!/usr/bin/env bash
# A short real-window run of meridan under Valgrind's memcheck, on an X display of its own:
# start, LEFT, a few blinks, END. Fails on any invalid access or definite leak, or if the program
# does not end with status 0. What forked children do is not the panel's (libdbus forks to look
# for a session bus), so they are not checked. Whatever happens, nothing it started outlives it:
# a panel that dies or never shows its window fails the run at once, not at CTest's timeout.
set -euo pipefail
binary=$1
suppressions=$(dirname "$0")/valgrind.supp
# The X display below, whatever the caller's desktop would choose.
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
export MEMCHECK_BINARY=$binary MEMCHECK_SUPPRESSIONS=$suppressions
exec timeout -k 5 240 xvfb-run -a -s "-screen 0 1024x600x24 -noreset" bash -c '
  set -euo pipefail
  valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
    --child-silent-after-fork=yes \
    --show-leak-kinds=definite --suppressions="$MEMCHECK_SUPPRESSIONS" \
    "$MEMCHECK_BINARY" &
  pid=$!
  trap "kill -KILL $pid 2>/dev/null || true" EXIT
  panel=""
  for _ in $(seq 1 600); do   # a minute at most: Valgrind starts a Qt program slowly
    panel=$(xdotool search --onlyvisible --name "^Meridan\$" 2>/dev/null | head -n 1 || true)
    [[ -n "$panel" ]] && break
    if ! kill -0 "$pid" 2>/dev/null; then
      status=0; wait "$pid" || status=$?
      echo "memcheck_window: meridan ended with status $status before its window appeared" >&2
      exit 1
    fi
    sleep 0.1
  done
  if [[ -z "$panel" ]]; then
    echo "memcheck_window: the panel never appeared" >&2
    exit 1
  fi
  xdotool mousemove --window "$panel" 81 140 click 1   # LEFT
  sleep 2
  xdotool mousemove --window "$panel" 193 245 click 1  # END
  status=0
  wait "$pid" || status=$?
  trap - EXIT
  echo "memcheck_window: meridan ended with status $status"
  exit "$status"
'
