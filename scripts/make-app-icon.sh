#!/usr/bin/env bash
# Rebuilds resources/utils/application.ico (the tray icon) from resources/lumivo.svg.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake --build "$build" --target lumivo_svgtopng
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for size in 16 24 32 48 64 256; do
  QT_QPA_PLATFORM=offscreen "$build/lumivo_svgtopng" resources/lumivo.svg "$tmp/$(printf %03d "$size").png" "$size"
done
convert "$tmp"/*.png resources/utils/application.ico
identify resources/utils/application.ico
