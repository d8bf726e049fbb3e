#!/usr/bin/env bash
# Checks the names in every C++ file of the tree against the naming convention in .clang-tidy
# (readability-identifier-naming), with the compile commands of existing builds:
#   scripts/check-names.sh [BUILD_DIR ...]   (default: build)
# Each source is checked with the first build that compiles it, so a Linux build and the Windows
# cross build together cover both platforms' sources; every header is checked in the sources
# that include it. Sources no given build compiles (the fuzzers') are listed as skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
builds=("$@")
[ ${#builds[@]} -gt 0 ] || builds=(build)

mapfile -t sources < <(git ls-files '*.cpp')
mapfile -t headers < <(git ls-files '*.h')
# Diagnostics count in the tree's own headers, not in Qt's or the system's.
filter="^$PWD/($(printf '%s\n' "${headers[@]}" | sed 's/[.]/\\./g' | paste -sd'|'))\$"

# A cross build's compiler (MinGW-w64's g++-posix) is no name clang can read a target from:
# clang is told the target, and given that compiler's C++ and system headers, not its own
# intrinsics, which only GCC understands.
cross_arguments() {
    local compiler triple
    compiler=$(sed -n 's/^ *"command": "\([^ ]*\) .*/\1/p' "$1" | head -1)
    triple=$("$compiler" -dumpmachine 2>/dev/null) || return 0
    [ "$triple" != "$(c++ -dumpmachine)" ] || return 0
    printf '%s\n' --extra-arg-before=--target="$triple" --extra-arg=-nostdinc++
    "$compiler" -v -x c++ -E /dev/null 2>&1 | sed -n '/#include <...>/,/End of/p' | grep '^ /' |
        grep -vE '/lib/gcc/[^/]+/[^/]+/include(-fixed)?$' |
        while read -r dir; do printf -- '--extra-arg=-isystem%s\n' "$(realpath "$dir")"; done
}
# NAME_CHECK_FIX=(--fix) lets clang-tidy rename what it finds (one job at a time then, or
# two sources sharing a header would both edit it).
NAME_CHECK_FIX=(${NAME_CHECK_FIX:-})

report=$(mktemp)
trap 'rm -f "$report"' EXIT
declare -A done_
checked=0
for build in "${builds[@]}"; do
    db="$build/compile_commands.json"
    if [ ! -f "$db" ]; then
        echo "check-names: $db is missing; configure and build first" >&2
        exit 2
    fi
    mapfile -t compiled < <(sed -n 's/^ *"file": "\(.*\)",\?$/\1/p' "$db" | sed "s|^$PWD/||" | sort -u)
    units=()
    for f in "${sources[@]}"; do
        if [ -z "${done_[$f]:-}" ] && printf '%s\n' "${compiled[@]}" | grep -qxF "$f"; then
            units+=("$f")
            done_[$f]=1
        fi
    done
    [ ${#units[@]} -gt 0 ] || continue
    echo "check-names: ${#units[@]} sources with $build"
    checked=$((checked + ${#units[@]}))
    printf '%s\n' "${units[@]}" |
        xargs -P "$(nproc)" -I{} clang-tidy -p "$build" --quiet "${NAME_CHECK_FIX[@]}" \
            $(cross_arguments "$db") --header-filter="$filter" {} 2>/dev/null >>"$report" || true
done
for f in "${sources[@]}"; do
    [ -n "${done_[$f]:-}" ] || echo "check-names: skipped (no build given compiles it): $f"
done

findings=$(grep -E ': (error|warning): ' "$report" | sed "s|^$PWD/||" | sort -u || true)
if [ -n "$findings" ]; then
    echo "$findings"
    echo "check-names: $(echo "$findings" | wc -l) names break the convention written in .clang-tidy"
    exit 1
fi
echo "check-names: ok ($checked sources)"
