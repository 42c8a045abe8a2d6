#!/usr/bin/env bash
# Builds Ordalix twice (plain, then with AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs the whole test suite on each build, headless. Fails when the suite left anything behind
# in the file system's root, in the home folder or in the user's state folder (where the run
# records that an undo takes back live): tests keep to the folders they make.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

# The top-level entries of the places no test may touch, and the user's run records.
state=${XDG_STATE_HOME:-$HOME/.local/state}
outside() {
    ls -A / "$HOME" "$state" "$state/ordalix" 2>/dev/null || true
    # A record appended to keeps its name: its size and time tell.
    find "$state/ordalix" -maxdepth 1 -type f -printf '%f %s %T@\n' 2>/dev/null | sort || true
}

run_suite() {
    local dir=$1
    shift
    # A build folder configured from another path of this checkout cannot be reused.
    if [ -f "$dir/CMakeCache.txt" ] &&
        ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$PWD" "$dir/CMakeCache.txt"; then
        rm -rf "$dir"
    fi
    cmake -S . -B "$dir" -G Ninja -DORDALIX_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    local before after
    before=$(outside)
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")
    after=$(outside)
    if [ "$before" != "$after" ]; then
        echo "The test suite changed what lies in / or in $HOME:"
        diff <(echo "$before") <(echo "$after") || true
        return 1
    fi
}

echo "== Build and tests"
run_suite build-tests -DCMAKE_BUILD_TYPE=Debug
echo "== Build and tests with sanitizers"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DORDALIX_SANITIZE=ON -DORDALIX_BUILD_BENCH=OFF
