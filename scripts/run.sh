#!/usr/bin/env bash
# Builds Ordalix and starts it; an optional folder argument becomes the root folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORDALIX_BUILD_TESTS=OFF \
    -DORDALIX_BUILD_BENCH=OFF >/dev/null
cmake --build build --target ordalix
exec build/app/ordalix "$@"
