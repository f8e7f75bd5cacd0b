#!/usr/bin/env bash
# The switch-to-lamp latency on the real kernel: Debian's kernel under QEMU with gpio-sim (the
# machine of the real-kernel tests), the release build of the panel on the GPIO board beside a bare
# reader (blocking read of the line request's events, then the same write), each answering COUNT
# turns of the left switch off. The emulator slows both alike: the ratio is the figure.
# Usage: bench/switch_latency.sh [count]      (200 unless given; about four minutes)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-200}
scripts/setup
cmake --preset release >/dev/null
cmake --build --preset release --target meridan meridan-switch-latency meridan-line-recorder
tests/kernel/run-in-vm build/release/kernel 900 "$PWD/bench/switch-latency-in-vm" \
  "$PWD/build/release/app/meridan" "$PWD/build/release/bench/meridan-switch-latency" \
  "$PWD/build/release/tests/support/libmeridan-line-recorder.so" "$count" | tee build/switch-latency.txt
awk '$1 == "panel" { p = $9 } $1 == "bare" { b = $9 }
  END { if (b > 0) printf "p99 ratio panel / bare reader: %.2f\n", p / b }' build/switch-latency.txt
