#!/usr/bin/env bash
# Builds the libFuzzer targets of the INI store and the tidy passes with clang, then runs each:
# first over the inputs that once failed (tests/fuzz/regressions/TARGET), then from the seed
# corpus (tests/fuzz/corpus/TARGET) for FUZZ_SECONDS seconds (60 by default). Prints
# "fuzz-TARGET-execs: N" per target and exits non-zero when any input fails; a failing input
# is kept in BUILD/artifacts/ (BUILD is FUZZ_BUILD_DIR, build-fuzz by default).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}
targets=(profile_read profile_write ini_sort ini_tidy photodate_read)

scripts/need-packages.sh --no-install-recommends clang libclang-rt-14-dev cmake ninja-build \
    pkg-config qt6-base-dev libglib2.0-dev libexiv2-dev

CXX=clang++ cmake -S tests/fuzz -B "$build" -G Ninja >/dev/null
cmake --build "$build"

# The targets write their files in a folder of this run, removed whatever happens; in memory
# when it can be, since every write of the store is synced to disk.
scratch_base=/dev/shm
[ -d "$scratch_base" ] && [ -w "$scratch_base" ] || scratch_base=${TMPDIR:-/tmp}
scratch=$(mktemp -d -p "$scratch_base" ordalix-fuzz.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
export ORDALIX_FUZZ_SCRATCH=$scratch
mkdir -p "$build/artifacts"

status=0
for target in "${targets[@]}"; do
    binary=$build/fuzz_$target
    log=$build/fuzz-$target.log
    shopt -s nullglob
    regressions=(tests/fuzz/regressions/"$target"/*)
    shopt -u nullglob
    if [ ${#regressions[@]} -gt 0 ] && ! "$binary" "${regressions[@]}" >"$log" 2>&1; then
        echo "fuzz-$target: an input of tests/fuzz/regressions/$target fails again"
        tail -n 40 "$log"
        status=1
    fi
    corpus=$build/corpus/$target
    mkdir -p "$corpus"
    if ! "$binary" -max_total_time="$seconds" -max_len=8192 -timeout=30 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$corpus" "tests/fuzz/corpus/$target" >"$log" 2>&1; then
        echo "fuzz-$target: failure, input kept in $build/artifacts/"
        grep -E "fuzz check failed|ERROR|SUMMARY|^ +#[0-9]+ " "$log" | head -n 40
        status=1
    fi
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    echo "fuzz-$target-execs: ${execs:-0}"
done
exit $status
