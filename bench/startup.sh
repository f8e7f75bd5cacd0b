#!/usr/bin/env bash
# Start-up and footprint of the panel under Xvfb: time from process start to the window being
# shown, time from END's click to the process's exit, and peak resident memory, over several runs.
# Usage: bench/startup.sh [runs]   (builds the release preset first)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
scripts/setup
cmake --preset release >/dev/null
cmake --build --preset release --target meridan meridan-startup-probe
xvfb-run -a -s "-screen 0 1280x800x24 -noreset" \
  build/release/bench/meridan-startup-probe --runs "$runs" --binary build/release/app/meridan
