#!/usr/bin/env bash
# Runs every benchmark behind docs/performance.md, in order, on a quiet machine: V = 200 for
# 60 s and V = 100 for 10 minutes (the latter with the soak's samples), each idle and with the
# other core loaded, then the start-up probe, then the panel's CPU beside a minimal Qt panel under
# Xvfb (bench/cpu_compare.sh, three rounds of a minute each), then the switch-to-lamp latency on
# the real kernel under QEMU (bench/switch_latency.sh) and on the real StandardFirmata on an
# emulated Uno (bench/firmata_latency.sh). About 40 minutes.
# Usage: bench/run_all.sh [log]
set -euo pipefail
cd "$(dirname "$0")/.."
log=${1:-build/bench-results.txt}
scripts/setup
cmake --preset release >/dev/null
cmake --build --preset release --target meridan meridan-bench meridan-startup-probe \
  meridan-reference-panel
export QT_QPA_PLATFORM=offscreen
{
  for run in "--mode left --value 200 --seconds 60" \
             "--mode left --value 200 --seconds 60 --load" \
             "--mode hazard --value 200 --seconds 60" \
             "--mode hazard --value 200 --seconds 60 --load" \
             "--mode hazard --value 100 --seconds 600 --soak" \
             "--mode hazard --value 100 --seconds 600 --load --soak"; do
    echo "### meridan-bench $run"
    # shellcheck disable=SC2086
    build/release/bench/meridan-bench $run 2>/dev/null
  done
  echo "### bench/startup.sh 10"
  unset QT_QPA_PLATFORM
  xvfb-run -a -s "-screen 0 1280x800x24 -noreset" \
    build/release/bench/meridan-startup-probe --runs 10 --binary build/release/app/meridan 2>/dev/null
  echo "### bench/cpu_compare.sh 3 60"
  bench/cpu_compare.sh 3 60
  echo "### bench/switch_latency.sh 200"
  bench/switch_latency.sh 200 2>/dev/null | grep -E '^(panel|bare|p99 ratio)'
  echo "### bench/firmata_latency.sh 200"
  bench/firmata_latency.sh 200 2>/dev/null | grep -E '^(switch|panel|bare|p99 ratio)'
} | tee "$log"
