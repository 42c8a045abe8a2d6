#!/usr/bin/env bash
# Builds Ordalix twice (plain, then with AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs the whole test suite on each build, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

run_suite() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DORDALIX_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")
}

echo "== Build and tests"
run_suite build-tests -DCMAKE_BUILD_TYPE=Debug
echo "== Build and tests with sanitizers"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DORDALIX_SANITIZE=ON -DORDALIX_BUILD_BENCH=OFF
