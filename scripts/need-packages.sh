#!/usr/bin/env bash
# Installs the Debian packages of the list that are missing (with sudo when not root).
#   need-packages.sh [--no-install-recommends] PACKAGE...
set -euo pipefail
options=()
if [ "${1:-}" = "--no-install-recommends" ]; then
    options+=("$1")
    shift
fi
missing=()
for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
[ ${#missing[@]} -gt 0 ] || exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installation des paquets manquants : ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq ${options[@]+"${options[@]}"} \
    "${missing[@]}"
