#!/usr/bin/env bash
# Builds the Windows program and its test suites into build-winapp, against the Qt for Windows
# of scripts/qt-windows.sh (built first when its cache lacks it). Arguments go to the build
# (for example --target ordalix).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/qt-windows.sh
qt=${ORDALIX_QT_WINDOWS:-/var/cache/ordalix/qt6-mingw-6.4.2}
# A build folder configured from another path of this checkout cannot be reused.
if [ -f build-winapp/CMakeCache.txt ] &&
    ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$PWD" build-winapp/CMakeCache.txt; then
    rm -rf build-winapp
fi
cmake -S . -B build-winapp -G Ninja -DCMAKE_BUILD_TYPE=Release -DORDALIX_WERROR=ON \
    -DORDALIX_BUILD_BENCH=OFF -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build build-winapp -j "$(nproc)" "$@"
