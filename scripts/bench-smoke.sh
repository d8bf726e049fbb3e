#!/usr/bin/env bash
# Runs every benchmark of a build once, for a moment each, so that a benchmark that no longer
# runs fails here rather than on the day someone wants its figures: scripts/bench-smoke.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
mapfile -t benches < <(find "$build/bench" -maxdepth 1 -type f -executable -name 'bench_*' | sort)
if [ ${#benches[@]} -eq 0 ]; then
    echo "bench-smoke: no benchmarks in $build/bench" >&2
    exit 1
fi
failed=0
for b in "${benches[@]}"; do
    start=$(date +%s)
    # A benchmark that gives up says so in its output and still ends with 0.
    if QT_QPA_PLATFORM=offscreen "$b" --benchmark_min_time=0.001 >/tmp/bench-smoke.$$ 2>&1 &&
        ! grep -q 'ERROR OCCURRED' /tmp/bench-smoke.$$; then
        echo "ok    $(basename "$b") ($(($(date +%s) - start)) s)"
    else
        echo "FAIL  $(basename "$b")"
        tail -n 20 /tmp/bench-smoke.$$
        failed=1
    fi
done
rm -f /tmp/bench-smoke.$$
exit $failed
