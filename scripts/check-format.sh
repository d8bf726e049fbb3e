#!/usr/bin/env bash
# Checks that every C++ file of the tree is formatted as .clang-format says; lists those that
# are not (clang-format -i FILE mends one).
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/check-format.$$; then
    grep -o '^[^:]*\.\(cpp\|h\)' /tmp/check-format.$$ | sort -u | sed 's/^/not formatted: /'
    rm -f /tmp/check-format.$$
    exit 1
fi
rm -f /tmp/check-format.$$
echo "check-format: ${#files[@]} files formatted"
