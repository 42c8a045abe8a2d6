#!/usr/bin/env bash
# Builds the platform layer's test program twice from the same sources, natively and with MinGW
# for Windows, and runs it on Linux. Builds Qt for Windows (or takes it from its cache), the
# whole program, its test suites and its installer. Then, under Wine in a sandbox, runs the platform layer's
# tests, the store-against-the-profile-API check, the program, its installer and its suites. Prints the cases run on each backend, the check's iterations and
# differences, and the time of each stage. Wine gets a prefix, a home and a trash of its own
# in a temporary folder, removed at the end.
#   DIFF_SECONDS=60 (the differential check's time), DIFF_SEED=N (replays one run)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
diff_seconds=${DIFF_SECONDS:-60}
# The program's test suites built for Windows (tst_names and tst_trash test our freedesktop.org
# trash, which Windows does not use); a case that needs what only Linux has says so as it skips.
windows_suites=${WINDOWS_SUITES:-"tst_toolkit_text tst_toolkit_folders tst_toolkit_dialogs
    tst_toolkit_files tst_ini tst_settings tst_photodate tst_controls tst_window tst_sorting
    tst_flatten tst_safety tst_undo tst_cli tst_promises tst_crash tst_faults"}

stage_names=()
stage_times=()
stage_start=0
begin() {
    echo "== $1"
    stage_names+=("$1")
    stage_start=$(date +%s%N)
}
end() {
    stage_times+=($((($(date +%s%N) - stage_start) / 1000000)))
}

begin "Packages"
# With Wine's recommended libraries: the runs here were made with them.
scripts/need-packages.sh mingw-w64 wine64 doctest-dev cmake ninja-build g++ pkg-config \
    libglib2.0-dev
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
end

scratch=$(mktemp -d "${TMPDIR:-/tmp}/ordalix-windows-check.XXXXXX")
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    "$wineserver" -k 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
mkdir -p "$scratch/home" "$scratch/tmp" "$scratch/removable"
# Whatever Wine or the tests write for a user (menus, trash, settings) lands in the scratch.
isolated=(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$scratch/home" TMPDIR="$scratch/tmp"
    XDG_DATA_HOME="$scratch/home/.local/share" XDG_CONFIG_HOME="$scratch/home/.config"
    XDG_CACHE_HOME="$scratch/home/.cache" XDG_RUNTIME_DIR="$scratch/tmp")

# A build folder configured from another path of this checkout cannot be reused.
configure() {
    local dir=$1
    shift
    if [ -f "$dir/CMakeCache.txt" ] &&
        ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$PWD/tests/platform" "$dir/CMakeCache.txt"; then
        rm -rf "$dir"
    fi
    cmake -S tests/platform -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

cases() { # the number of test cases doctest ran, from its summary
    sed -n 's/^\[doctest\] test cases: *\([0-9]*\) | *\([0-9]*\) passed.*/\2/p' "$1" | tail -1
}

begin "Native build"
configure build-platform
end

begin "Native tests"
"${isolated[@]}" build-platform/tst_platform | tee "$scratch/native.log"
end

begin "MinGW build"
configure build-win -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake"
end

begin "Wine prefix"
"${isolated[@]}" "$wine" wineboot -i >/dev/null 2>&1
# Dot files are not hidden on Windows; Wine hides them unless told. R: is a removable drive,
# where Windows has no recycle bin.
"${isolated[@]}" "$wine" reg add 'HKCU\Software\Wine' /v ShowDotFiles /d Y /f >/dev/null 2>&1
ln -s "$scratch/removable" "$WINEPREFIX/dosdevices/r:"
"${isolated[@]}" "$wine" reg add 'HKLM\Software\Wine\Drives' /v 'r:' /d floppy /f >/dev/null 2>&1
"$wineserver" -k 2>/dev/null || true # the drive settings are read when Wine starts
end

begin "Program build"
scripts/windows-build.sh # Qt for Windows first, from its cache or built
end

begin "Installer build"
scripts/package-windows.sh
version=$(sed -n 's/^project(Ordalix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
setup="dist/ordalix-setup-$version.exe"
end

begin "Sandbox"
# Wine's drive Z: is the whole Linux file system: a run that went astray there would reach
# everything. From here on Z: is a folder of the scratch that holds copies of the programs at
# the paths they were built at, and nothing else. (A guard against stray paths, not a jail:
# Wine's \\?\unix\ names still reach the whole file system.)
"$wineserver" -w 2>/dev/null || true
zroot="$scratch/z"
built="$zroot$PWD/build-winapp"
mkdir -p "$built/app" "$built/tests"
cp build-winapp/app/ordalix.exe "$built/app/"
cp build-winapp/tests/*.exe "$built/tests/"
mkdir -p "$zroot/dist"
cp "$setup" "$zroot/dist/"
mkdir -p "$zroot$PWD/build-win" "$zroot$PWD/tests/fuzz"
cp build-win/tst_platform.exe "$zroot$PWD/build-win/"
cp -r tests/fuzz/corpus "$zroot$PWD/tests/fuzz/"
rm "$WINEPREFIX/dosdevices/z:"
ln -s "$zroot" "$WINEPREFIX/dosdevices/z:"
# Wine's recycle bin is a freedesktop.org trash below XDG_DATA_HOME: inside the sandbox, where
# the tests can see it as Z:\xdg\Trash.
mkdir -p "$zroot/xdg"
isolated+=(XDG_DATA_HOME="$zroot/xdg" ORDALIX_TEST_TRASH='Z:\xdg\Trash')
# Wine passes no QT_ variable through: the tests' platform is set in the prefix instead.
"${isolated[@]}" "$wine" reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d offscreen /f >/dev/null 2>&1
"$wineserver" -w 2>/dev/null || true
end

corpus="Z:$(echo "$PWD/tests/fuzz/corpus" | tr / '\\')"
begin "Wine tests"
"${isolated[@]}" ORDALIX_TEST_REMOVABLE='R:\' "$wine" "$zroot$PWD/build-win/tst_platform.exe" \
    -tce='*GetPrivateProfileStringW*' | tr -d '\r' | tee "$scratch/wine.log"
end

begin "Differential check"
"${isolated[@]}" ORDALIX_CORPUS="$corpus" ORDALIX_DIFF_SECONDS="$diff_seconds" \
    ${DIFF_SEED:+ORDALIX_DIFF_SEED="$DIFF_SEED"} "$wine" "$zroot$PWD/build-win/tst_platform.exe" \
    -tc='*GetPrivateProfileStringW*' | tr -d '\r' | tee "$scratch/differential.log"
end

begin "Program under Wine"
"${isolated[@]}" scripts/windows-smoke.sh "$wine" "$built/app/ordalix.exe" "$zroot" | tee "$scratch/smoke.log"
end

begin "Installer under Wine"
"${isolated[@]}" scripts/windows-install-check.sh "$wine" "$zroot/dist/$(basename "$setup")" \
    "$zroot" | tee "$scratch/install.log"
end

begin "Windows suites"
suite_failures=0
suite_cases=0
mkdir -p "$zroot/logs" # where Wine can write: the sandbox's drive
for suite in $windows_suites; do
    log="$zroot/logs/$suite.txt"
    (cd "$built/tests" && "${isolated[@]}" QTEST_FUNCTION_TIMEOUT=600000 timeout 1200 \
        "$wine" "./$suite.exe" -o "Z:\\logs\\$suite.txt,txt" >/dev/null 2>&1) || true
    totals=$(grep '^Totals:' "$log" 2>/dev/null || echo "Totals: did not finish")
    echo "$suite: $totals"
    if ! echo "$totals" | grep -q ' 0 failed'; then
        grep -E '^(FAIL!|QFATAL)' -A3 "$log" 2>/dev/null | head -40 || true
        suite_failures=$((suite_failures + 1))
    fi
    passed=$(echo "$totals" | sed -n 's/^Totals: \([0-9]*\) passed.*/\1/p')
    suite_cases=$((suite_cases + ${passed:-0}))
    grep '^SKIP' "$log" 2>/dev/null | sed 's/^/  /' || true
done
end

native=$(cases "$scratch/native.log")
windows=$(cases "$scratch/wine.log")
differential=$(cases "$scratch/differential.log")
echo "== Summary"
echo "cases run: $native on Linux (posix backend), $windows under Wine (win32 backend)"
grep '^differential:' "$scratch/differential.log"
for i in "${!stage_names[@]}"; do
    printf '  %-20s %4d.%d s\n' "${stage_names[$i]}" $((stage_times[i] / 1000)) \
        $((stage_times[i] % 1000 / 100))
done
echo "Windows suites: $suite_cases cases passed, $suite_failures suite(s) failing"
[ "$suite_failures" -eq 0 ] || exit 1
echo "windows-check: $((native + windows + differential + suite_cases)) passed, 0 failed"
