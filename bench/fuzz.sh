#!/usr/bin/env bash
# Fuzzes the board setting parser with libFuzzer for a while (60 s unless told otherwise),
# starting from the committed seeds. Not part of the test run. Usage: bench/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/setup clang-14 libclang-rt-14-dev
out=build/fuzz
mkdir -p "$out/corpus"
cp -n bench/fuzz_corpus/board_setting/* "$out/corpus/" 2>/dev/null || true
clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isignal -Iboard \
  bench/fuzz_board_setting.cpp board/board_setting.cpp -o "$out/fuzz_board_setting"
"$out/fuzz_board_setting" -max_total_time="$seconds" -max_len=512 "$out/corpus" \
  bench/fuzz_corpus/board_setting
