#!/usr/bin/env bash
# The switch-to-lamp latency on an Arduino: the real StandardFirmata on an emulated Uno
# (meridan-avr-board, the firmware tests' emulator) behind a pseudo-terminal, answered in turn
# by the release build of the panel (MERIDAN_BOARD=firmata:..., on an X server of its own) and by
# meridan-firmata-latency's bare host. The left switch (D2, to ground) is closed COUNT times for
# 250 ms, which the panel answers by lighting the left lamp (D13) from 200 ms to 300 ms, and then
# opened; the figure is the time from the emulator's opening of the switch to D13 going dark. The
# emulator runs the firmware at wall time and stamps both moments itself: the ratio is the figure.
# Usage: bench/firmata_latency.sh [count]     (200 unless given; about three minutes)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-200}
scripts/setup
cmake --preset release > /dev/null
cmake --build --preset release --target meridan meridan-firmata-latency meridan-avr-board
build=build/release
images=$(tests/firmware/fetch-firmware "$build/firmware")

work=$(mktemp -d)
xvfb="" hpid="" pid=""
cleanup() {
  kill -KILL $pid $hpid 2> /dev/null || true
  if [[ -n "$xvfb" ]] && kill -TERM "$xvfb" 2> /dev/null; then wait "$xvfb" 2> /dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

display=$((600 + $$ % 300))
while [[ -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
export DISPLAY=:$display QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp -noreset > "$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [[ -e /tmp/.X11-unix/X$display ]] && break; sleep 0.05; done

# run NAME COMMAND...: the emulated board, then COMMAND on its port (the word PORT in it), then the
# switch's turns; prints NAME's summary.
run() {
  local name=$1
  shift
  rm -f "$work/in"
  mkfifo "$work/in"
  "$build/tests/support/meridan-avr-board" "$images/StandardFirmata.cpp.hex" < "$work/in" \
    > "$work/events-$name" 2> "$work/avr.log" &
  hpid=$!
  exec {commands}> "$work/in"
  local pty="" i
  for i in $(seq 100); do
    pty=$(awk '$1 == "pty" { print $2 }' "$work/events-$name")
    [[ -n "$pty" ]] && break
    sleep 0.02
  done
  [[ -n "$pty" ]] || { echo "firmata_latency: no emulated board: $(cat "$work/avr.log")" >&2; exit 1; }
  "${@//PORT/$pty}" > "$work/out-$name" 2>&1 &
  pid=$!
  # Ready once the host has made the switch's pin an input with its pull-up and the lamp's an output.
  local ready=no
  for i in $(seq 200); do
    echo "state D2" >&"$commands"
    echo "state D13" >&"$commands"
    sleep 0.05
    if grep -q "^state D2 input pull-up 1" "$work/events-$name" \
      && grep -q "^state D13 output 0" "$work/events-$name"; then
      ready=yes
      break
    fi
  done
  [[ $ready == yes ]] || { echo "firmata_latency: $name never set the pins up: $(cat "$work/out-$name")" >&2; exit 1; }
  sleep 1 # the digital reports under way
  for ((i = 0; i < count; i++)); do
    echo "switch D2 low" >&"$commands"
    sleep 0.25
    echo "switch D2 open" >&"$commands"
    sleep 0.15
  done
  kill -TERM "$pid" 2> /dev/null || true
  wait "$pid" 2> /dev/null || true
  pid=""
  echo quit >&"$commands"
  exec {commands}>&-
  wait "$hpid" 2> /dev/null || true
  hpid=""
  echo "$name $("$build/bench/meridan-firmata-latency" report "$work/events-$name" D2 D13)" \
    | tee -a "$work/summary"
}

echo "switch D2 opened $count times, to D13 dark, ms"
run panel env MERIDAN_BOARD="firmata:PORT,out0=12,out1=13,in0=D2,in1=D3,bias=pull-up,active-low" \
  "$build/app/meridan"
run bare "$build/bench/meridan-firmata-latency" bare PORT 2 13 12
awk '$1 == "panel" { p = $9 } $1 == "bare" { b = $9 }
  END { if (b > 0) printf "p99 ratio panel / bare host: %.2f\n", p / b }' "$work/summary"
