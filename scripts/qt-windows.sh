#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (MinGW, static) from Debian 12's own qt6-base source, the same
# version as the Qt installed for Linux so that Debian's moc, rcc and uic serve as its host tools,
# and exiv2 (the photos' capture dates) from Debian's source too. Installs both into a cache
# folder; does nothing for either when the cache holds a finished build of the same source and
# options.
#   ORDALIX_QT_WINDOWS=/path (the cache folder; default /var/cache/ordalix/qt6-mingw-6.4.2)
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD
prefix=${ORDALIX_QT_WINDOWS:-/var/cache/ordalix/qt6-mingw-6.4.2}
version=6.4.2
jobs=$(nproc)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# What the build depends on: a change here rebuilds.
options=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=OFF
    -DQT_HOST_PATH=/usr
    # The MinGW toolchain confines package look-ups to its own folder; the host Qt's are not.
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)/cmake
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DINPUT_openssl=no
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_icu=OFF
    -DFEATURE_vulkan=OFF
    # Debian's source leaves out the tablet header; with OpenGL off, the Windows plugin needs
    # dynamic GL off too.
    -DFEATURE_tabletevent=OFF -DFEATURE_dynamicgl=OFF
)
exiv2_version=0.27.6
exiv2_options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
    -DEXIV2_ENABLE_XMP=OFF -DEXIV2_ENABLE_PNG=ON -DEXIV2_ENABLE_BMFF=ON
    -DEXIV2_ENABLE_WIN_UNICODE=ON -DEXIV2_ENABLE_NLS=OFF -DEXIV2_ENABLE_LENSDATA=OFF
    -DEXIV2_ENABLE_PRINTUCS2=OFF -DEXIV2_BUILD_SAMPLES=OFF -DEXIV2_BUILD_EXIV2_COMMAND=OFF
)
toolchain_sum=$(sha256sum cmake/mingw-w64-x86_64.cmake | cut -c1-16)
stamp_text="qt6-base $version ${options[*]} $toolchain_sum"
exiv2_stamp_text="exiv2 $exiv2_version ${exiv2_options[*]} $toolchain_sum"
stamped() { [ -f "$prefix/$1" ] && [ "$(cat "$prefix/$1")" = "$2" ]; }
if stamped ordalix-build.stamp "$stamp_text" && stamped ordalix-exiv2.stamp "$exiv2_stamp_text"; then
    echo "Qt et exiv2 pour Windows déjà construits : $prefix"
    exit 0
fi

packages=(dpkg-dev mingw-w64 g++-mingw-w64-x86-64-posix libz-mingw-w64-dev cmake ninja-build
    qt6-base-dev qt6-base-dev-tools perl python3)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
need_update=""
if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    # Source packages come from the archive already configured for binaries.
    src=/etc/apt/sources.list.d/debian.sources
    if [ -f "$src" ]; then
        sed 's/^Types: deb$/Types: deb-src/' "$src" | $sudo tee /etc/apt/sources.list.d/ordalix-deb-src.sources >/dev/null
    else
        grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
            $sudo tee /etc/apt/sources.list.d/ordalix-deb-src.list >/dev/null
    fi
    need_update=yes
fi
if [ -n "$need_update" ] || [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/ordalix-qt-windows.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

if ! stamped ordalix-build.stamp "$stamp_text"; then
    apt-get source -qq "qt6-base=$version+dfsg-10" >/dev/null 2>&1 || apt-get source -qq qt6-base
    source=$(find . -maxdepth 1 -type d -name "qt6-base-*" | head -1)
    [ -n "$source" ] || { echo "Source de qt6-base introuvable" >&2; exit 1; }
    $sudo mkdir -p "$prefix"
    $sudo rm -f "$prefix/ordalix-build.stamp"
    cmake -S "$source" -B build -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}"
    cmake --build build -j "$jobs"
    $sudo cmake --install build >/dev/null
    echo "$stamp_text" | $sudo tee "$prefix/ordalix-build.stamp" >/dev/null
    rm -rf build "$source"
fi

if ! stamped ordalix-exiv2.stamp "$exiv2_stamp_text"; then
    apt-get source -qq "exiv2=$exiv2_version-1" >/dev/null 2>&1 || apt-get source -qq exiv2
    source=$(find . -maxdepth 1 -type d -name "exiv2-*" | head -1)
    [ -n "$source" ] || { echo "Source d'exiv2 introuvable" >&2; exit 1; }
    $sudo rm -f "$prefix/ordalix-exiv2.stamp"
    cmake -S "$source" -B exiv2-build -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" "${exiv2_options[@]}" >/dev/null
    cmake --build exiv2-build -j "$jobs"
    $sudo cmake --install exiv2-build >/dev/null
    echo "$exiv2_stamp_text" | $sudo tee "$prefix/ordalix-exiv2.stamp" >/dev/null
fi
echo "Qt et exiv2 pour Windows installés : $prefix ($(du -sh "$prefix" | cut -f1))"
