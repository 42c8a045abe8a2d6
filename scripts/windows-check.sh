#!/usr/bin/env bash
# Builds the platform layer's test program twice from the same sources, natively and with MinGW
# for Windows, runs it on Linux and under Wine, then runs the store-against-the-profile-API
# check under Wine. Prints the cases run on each backend, the check's iterations and
# differences, and the time of each stage. Wine gets a prefix, a home and a trash of its own
# in a temporary folder, removed at the end.
#   DIFF_SECONDS=60 (the differential check's time), DIFF_SEED=N (replays one run)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
diff_seconds=${DIFF_SECONDS:-60}

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
packages=(mingw-w64 wine64 doctest-dev cmake ninja-build g++ pkg-config libglib2.0-dev)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installation des paquets manquants : ${missing[*]}"
    $sudo apt-get update -qq
    # With Wine's recommended libraries: the runs here were made with them.
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
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

corpus="Z:$(echo "$PWD/tests/fuzz/corpus" | tr / '\\')"
begin "Wine tests"
"${isolated[@]}" ORDALIX_TEST_REMOVABLE='R:\' "$wine" build-win/tst_platform.exe \
    -tce='*GetPrivateProfileStringW*' | tr -d '\r' | tee "$scratch/wine.log"
end

begin "Differential check"
"${isolated[@]}" ORDALIX_CORPUS="$corpus" ORDALIX_DIFF_SECONDS="$diff_seconds" \
    ${DIFF_SEED:+ORDALIX_DIFF_SEED="$DIFF_SEED"} "$wine" build-win/tst_platform.exe \
    -tc='*GetPrivateProfileStringW*' | tr -d '\r' | tee "$scratch/differential.log"
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
echo "windows-check: $((native + windows + differential)) passed, 0 failed"
