#!/usr/bin/env bash
# Installs what Lumivo needs, builds it (Release) and starts it; arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLUMIVO_BUILD_TESTS=OFF -DLUMIVO_BUILD_BENCH=OFF
cmake --build "$build" -j"$(nproc)" --target lumivo
exec "$build/lumivo" "$@"
