#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 60). A crash or sanitizer report fails the run.
# A target starts from its seed corpus in the tree, <folder>/fuzz/corpus/<target>/, when it
# has one; what it finds beyond that is kept in build-fuzz/corpus/<target>/ for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake --preset build-fuzz
cmake --build build-fuzz --target quillon_fuzzers
mapfile -t targets < <(find build-fuzz -type f -executable -iname '*fuzz*' | sort)
if [ ${#targets[@]} -eq 0 ]; then
    echo "no fuzz targets were built" >&2
    exit 1
fi
for t in "${targets[@]}"; do
    name=$(basename "$t")
    corpus="build-fuzz/corpus/$name"
    mkdir -p "$corpus"
    seeds=()
    while IFS= read -r dir; do seeds+=("$dir"); done < <(
        find . -path ./build\* -prune -o -type d -path "*/fuzz/corpus/$name" -print)
    echo "--- $name for ${seconds}s${seeds:+, seeds from ${seeds[*]}}"
    "$t" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "${seeds[@]}" 2>&1 | tail -n 12
    [ "${PIPESTATUS[0]}" -eq 0 ] || exit 1
done
