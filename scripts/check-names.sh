#!/usr/bin/env bash
# Checks the names in every C++ file of the tree against the naming convention in .clang-tidy
# (readability-identifier-naming), with the compile commands of an existing build:
# scripts/check-names.sh [BUILD_DIR]   (default: build)
#
# A header is checked within a translation unit that includes it: the source of the same name
# when there is one, otherwise the first source in the build that includes it. Files the build
# does not compile (another platform's, the fuzzers') are listed as skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
db="$build/compile_commands.json"
if [ ! -f "$db" ]; then
    echo "check-names: $db is missing; configure and build first" >&2
    exit 2
fi

mapfile -t changed < <(git ls-files '*.cpp' '*.h' | while read -r f; do
    [ -f "$f" ] && echo "$f"
done)

# The sources the build compiles, relative to this folder.
mapfile -t compiled < <(sed -n 's/^ *"file": "\(.*\)",\?$/\1/p' "$db" | sed "s|^$PWD/||" | sort -u)
in_build() { printf '%s\n' "${compiled[@]}" | grep -qxF "$1"; }

units=()
headers=()
skipped=()
for f in "${changed[@]}"; do
    case "$f" in
        *.cpp)
            if in_build "$f"; then units+=("$f"); else skipped+=("$f"); fi
            ;;
        *.h)
            headers+=("$f")
            unit=""
            if in_build "${f%.h}.cpp"; then
                unit="${f%.h}.cpp"
            else
                while read -r candidate; do
                    if in_build "$candidate"; then
                        unit="$candidate"
                        break
                    fi
                done < <(grep -rlF --include='*.cpp' "#include \"$f\"" . | sed 's|^\./||' | sort)
            fi
            if [ -n "$unit" ]; then units+=("$unit"); else skipped+=("$f"); fi
            ;;
    esac
done
mapfile -t units < <(printf '%s\n' "${units[@]}" | sort -u)

# Diagnostics in headers count only for the changed ones.
filter='^$'
if [ ${#headers[@]} -gt 0 ]; then
    filter="($(printf '%s\n' "${headers[@]}" | sed 's/[.]/\\./g' | paste -sd'|'))\$"
fi

echo "check-names: ${#changed[@]} changed files, ${#units[@]} translation units to check"
for f in "${skipped[@]}"; do
    echo "check-names: skipped (not compiled in $build): $f"
done
[ ${#units[@]} -gt 0 ] || exit 0

report=$(mktemp)
trap 'rm -f "$report"' EXIT
printf '%s\n' "${units[@]}" |
    xargs -P "$(nproc)" -I{} clang-tidy -p "$build" --quiet --header-filter="$filter" {} \
        2>/dev/null >>"$report" || true
# Each finding once (a header is seen from several units), without the source excerpts.
# Only findings in the changed files count: a source checked for the sake of a header it
# includes is not itself checked.
findings=$(grep -E ': (error|warning): ' "$report" | sed "s|^$PWD/||" | sort -u |
    grep -F -f <(printf '%s:\n' "${changed[@]}") || true)
if [ -n "$findings" ]; then
    echo "$findings"
    echo "check-names: $(echo "$findings" | wc -l) names break the convention written in .clang-tidy"
    exit 1
fi
echo "check-names: ok"
