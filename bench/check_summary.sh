#!/usr/bin/env bash
# Runs meridan-bench briefly and checks that its summary line is well formed and that the median
# lamp edge error is below a generous 5 ms: a broken wake-up path shows, machine noise does not.
# Usage: check_summary.sh [EMULATOR] MERIDAN-BENCH
set -euo pipefail
output=$("$@" --seconds 2 2>/dev/null)
summary=$(tail -n 1 <<<"$output")
echo "$summary"
number='-?[0-9]+(\.[0-9]+)?'
pattern="^median_ms=$number p99_ms=$number limit_p99_ms=$number drift_ms=$number"
pattern+=" slope_ms_per_min=$number hazard_gap_ms=$number cpu_ms_per_min=$number"
pattern+=" idle_wakeups_per_s=$number\$"
if [[ ! "$summary" =~ $pattern ]]; then
  echo "check_summary: the summary line is not well formed" >&2
  exit 1
fi
median=$(sed -E 's/^median_ms=([^ ]+) .*/\1/' <<<"$summary")
if ! awk -v m="$median" 'BEGIN { exit !(m >= 0 && m < 5) }'; then
  echo "check_summary: median edge error $median ms is not below 5 ms" >&2
  exit 1
fi
