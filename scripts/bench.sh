#!/usr/bin/env bash
# Builds the benchmarks in release mode and runs them, each in a work folder of its own. Every
# benchmark prints `name: value` lines (ratios against baselines measured in the same run) and
# exits non-zero when it cannot measure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=${BENCH_BUILD_DIR:-build-bench}
benches=(bench_ini bench_filelist bench_sorting bench_flatten bench_undo bench_window bench_bigfile bench_bigfolder bench_photodate)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORDALIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${benches[@]}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for bench in "${benches[@]}"; do
    echo "== $bench"
    start=$SECONDS
    (cd "$work" && "$OLDPWD/$build/bench/$bench") 2> >(grep -v -e propagateSizeHints -e XDG_RUNTIME_DIR >&2)
    echo "$bench-wall-seconds: $((SECONDS - start))"
done
