#!/usr/bin/env bash
# Builds the libFuzzer programs in fuzz/ with clang and runs one of them.
#
#   ./fuzz.sh                      build every target
#   ./fuzz.sh TARGET [SECONDS]     build, then fuzz TARGET (default 60 seconds)
#
# Targets: table_file (native files), text_import (delimited text),
# latex_reader (LaTeX source). A run starts from the saved corpus in
# tests/fuzz/TARGET and keeps what it finds in fuzz/out/TARGET (crashes as
# crash-*, the grown corpus in corpus/).
# Inputs worth keeping go into tests/fuzz/TARGET, which ctest replays.
set -euo pipefail
cd "$(dirname "$0")"
tools/ensure-deps clang-14 libclang-rt-14-dev
cxx=clang++-14
out=build/fuzz
mkdir -p "$out"
# The cell allocator hands every cell out as a heap block of its own when it
# sees AddressSanitizer, so that a use of a freed cell is caught; clang does
# not announce the sanitizer the way g++ does, so the build says it.
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -D__SANITIZE_ADDRESS__=1 -Isrc -Wall -Wextra)
sources=(src/model/*.cpp src/latex/*.cpp)
targets=(table_file text_import latex_reader)
for t in "${targets[@]}"; do
  newest=$(ls -t "${sources[@]}" src/model/*.h src/latex/*.h fuzz/*.h "fuzz/$t.cpp" | head -1)
  if [ ! -x "$out/$t" ] || [ "$newest" -nt "$out/$t" ]; then
    echo "Building $out/$t"
    $cxx "${flags[@]}" "fuzz/$t.cpp" "${sources[@]}" -o "$out/$t"
  fi
done
[ $# -eq 0 ] && exit 0

target=$1
seconds=${2:-60}
[ -x "$out/$target" ] || { echo "unknown target: $target (${targets[*]})" >&2; exit 2; }
mkdir -p "fuzz/out/$target/corpus"
# Small inputs find the framing faults; the memory limits catch a damaged
# count that makes the reader reserve far more than the input holds.
exec "$out/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -malloc_limit_mb=256 -print_final_stats=1 \
  -artifact_prefix="fuzz/out/$target/" "fuzz/out/$target/corpus" "tests/fuzz/$target"
