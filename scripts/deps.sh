#!/usr/bin/env bash
# Installs with apt what building, running and testing Ordalix needs, when it is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-translations-l10n libgl-dev libglib2.0-dev
    e2fsprogs util-linux xvfb xauth openbox trash-cli fiu-utils libexiv2-dev
    libimage-exiftool-perl
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installation des paquets manquants : ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
