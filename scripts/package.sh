#!/usr/bin/env bash
# Builds the Debian package of Ordalix into build-package/ (ordalix_VERSION_ARCH.deb).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
dpkg-query -W -f='${Status}' dpkg-dev 2>/dev/null | grep -q "install ok installed" ||
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends dpkg-dev
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DORDALIX_BUILD_TESTS=OFF \
    -DORDALIX_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build-package
(cd build-package && cpack >/dev/null)
ls build-package/ordalix_*.deb
