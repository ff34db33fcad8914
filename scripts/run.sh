#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEXA_BUILD_TESTS=OFF -DPEXA_BUILD_BENCH=OFF
cmake --build "$top/build" --target PexaResizer
exec "$top/build/src/PexaResizer"
