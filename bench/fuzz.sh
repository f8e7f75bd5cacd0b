#!/usr/bin/env bash
# Fuzzes the board setting parser and the Firmata parser with libFuzzer, each for a while (60 s
# unless told otherwise), starting from the committed seeds. Not part of the test run.
# Usage: bench/fuzz.sh [seconds] [board_setting|firmata_protocol]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
targets=("${2:-board_setting}")
[[ $# -ge 2 ]] || targets=(board_setting firmata_protocol)
scripts/setup clang-14 libclang-rt-14-dev
out=build/fuzz
includes=(-Isignal -Isystem -Iboard -Iboard/firmata -Iboard/gpio -Iboard/simulated)
declare -A sources=(
  [board_setting]="board/board_setting.cpp board/line_setting.cpp board/gpio/gpio_setting.cpp
    board/firmata/firmata_setting.cpp board/simulated/simulated_setting.cpp"
  [firmata_protocol]="board/firmata/firmata_protocol.cpp"
)
for target in "${targets[@]}"; do
  mkdir -p "$out/$target"
  cp -n bench/fuzz_corpus/"$target"/* "$out/$target/" 2>/dev/null || true
  # shellcheck disable=SC2086
  clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined "${includes[@]}" \
    "bench/fuzz_$target.cpp" ${sources[$target]} -o "$out/fuzz_$target"
  "$out/fuzz_$target" -max_total_time="$seconds" -max_len=512 "$out/$target" \
    bench/fuzz_corpus/"$target"
done
