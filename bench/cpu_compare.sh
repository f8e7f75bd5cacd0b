#!/usr/bin/env bash
# The panel's CPU cost beside a minimal Qt Widgets panel's, in the same run under one Xvfb: the
# release build of meridan (the simulated board and its window shown, hazard at V = 200, started
# with a click on HAZARD) and meridan-reference-panel (one window, two boxes, a timerfd with
# absolute deadlines, the same phases), taken in turn, round after round. For each: CPU time of
# all its threads (user + system, from the scheduler's own count) per minute, and voluntary
# wake-ups per second, over SECONDS after a two-second settling time.
# Usage: bench/cpu_compare.sh [rounds] [seconds]      (3 rounds of 60 s unless given)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
seconds=${2:-60}
[[ -x build/release/app/meridan && -x build/release/bench/meridan-reference-panel ]] || {
  scripts/setup
  cmake --preset release >/dev/null
  cmake --build --preset release --target meridan meridan-reference-panel
}
export MERIDAN_CPU_ROUNDS=$rounds MERIDAN_CPU_SECONDS=$seconds
export MERIDAN_PANEL=$PWD/build/release/app/meridan
export MERIDAN_REFERENCE=$PWD/build/release/bench/meridan-reference-panel
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
table=$(mktemp)
trap 'rm -f "$table"' EXIT
xvfb-run -a -s "-screen 0 1280x800x24 -noreset" bash -c '
  set -euo pipefail
  # cpu PID: nanoseconds on the CPU and voluntary switches, summed over the process'"'"'s threads.
  cpu() {
    local ns=0 switches=0 task
    for task in /proc/$1/task/*; do
      ns=$((ns + $(cut -d" " -f1 "$task/schedstat" 2>/dev/null || echo 0)))
      switches=$((switches + $(awk "/^voluntary_ctxt_switches/ {print \$2}" "$task/status" 2>/dev/null || echo 0)))
    done
    echo "$ns $switches"
  }
  # measure NAME TITLE COMMAND...: starts it, waits for its window, starts hazard on the panel.
  measure() {
    local name=$1 title=$2; shift 2
    "$@" 2>/dev/null &
    local pid=$!
    local window
    window=$(timeout 20 xdotool search --sync --onlyvisible --name "^$title\$" | head -n 1)
    if [[ $name == panel ]]; then
      xdotool mousemove --window "$window" 186 200 click 1   # HAZARD
    fi
    sleep 2
    read -r ns0 sw0 < <(cpu $pid)
    sleep "$MERIDAN_CPU_SECONDS"
    read -r ns1 sw1 < <(cpu $pid)
    kill -TERM $pid; wait $pid || true
    awk -v n="$name" -v r="$round" -v ns=$((ns1 - ns0)) -v sw=$((sw1 - sw0)) -v s="$MERIDAN_CPU_SECONDS" \
      "BEGIN { printf \"| %d | %s | %.1f | %.2f |\n\", r, n, ns / 1e6 / s * 60, sw / s }"
  }
  echo "| round | program | CPU ms/min | voluntary wake-ups/s |"
  echo "|---|---|---|---|"
  for round in $(seq 1 "$MERIDAN_CPU_ROUNDS"); do
    measure panel Meridan "$MERIDAN_PANEL"
    measure reference "Meridan reference panel" "$MERIDAN_REFERENCE" 200
  done
' > "$table"
cat "$table"
awk -F"|" '
  $3 ~ /panel/ { panel[$2 + 0] = $4 } $3 ~ /reference/ { reference[$2 + 0] = $4 }
  END {
    line = "CPU ratio, panel / reference, by round:"
    for (r = 1; r in panel; ++r) { line = line sprintf(" %.2f", panel[r] / reference[r]); p += panel[r]; q += reference[r] }
    printf "%s; over all rounds %.2f\n", line, p / q
  }' "$table"
