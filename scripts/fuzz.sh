#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 60). A crash or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLON_FUZZ=ON -DQUILLON_WITH_GUI=OFF -DQUILLON_BENCH=OFF
cmake --build build-fuzz
mapfile -t targets < <(find build-fuzz -type f -executable -iname '*fuzz*' | sort)
if [ ${#targets[@]} -eq 0 ]; then
    echo "no fuzz targets were built" >&2
    exit 1
fi
for t in "${targets[@]}"; do
    name=$(basename "$t")
    corpus="build-fuzz/corpus/$name"
    mkdir -p "$corpus"
    echo "--- $name for ${seconds}s"
    "$t" -max_total_time="$seconds" -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
    [ "${PIPESTATUS[0]}" -eq 0 ] || exit 1
done
