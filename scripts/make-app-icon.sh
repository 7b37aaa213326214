#!/usr/bin/env bash
# Rebuilds resources/utils/application.ico (the tray icon) from resources/lumivo.svg.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake --build "$build" --target lumivo_svgrender
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
QT_QPA_PLATFORM=offscreen "$build/tests/lumivo_svgrender" resources/lumivo.svg "$tmp" 16 24 32 48 64 256
convert "$tmp"/*.png resources/utils/application.ico
identify resources/utils/application.ico
