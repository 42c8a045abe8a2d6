#!/usr/bin/env bash
# Builds what a Windows user downloads, into dist/: the installer ordalix-setup-VERSION.exe
# (NSIS, per user, in French) and the portable ordalix-VERSION-portable.zip, which holds
# ordalix.exe alone. Installs nsis and zip when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/need-packages.sh nsis zip binutils-mingw-w64-x86-64
scripts/windows-build.sh --target ordalix
version=$(sed -n 's/^project(Ordalix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
mkdir -p dist
# Without its symbols: what users download is about half the size.
x86_64-w64-mingw32-strip -o dist/ordalix.exe build-winapp/app/ordalix.exe
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DEXE="$PWD/dist/ordalix.exe" \
    -DICON="$PWD/app/resources/ordalix.ico" -DOUTFILE="$PWD/dist/ordalix-setup-$version.exe" \
    packaging/windows/ordalix.nsi
rm -f "dist/ordalix-$version-portable.zip"
zip -j -q "dist/ordalix-$version-portable.zip" dist/ordalix.exe
ls -l dist/ordalix.exe "dist/ordalix-setup-$version.exe" "dist/ordalix-$version-portable.zip"
