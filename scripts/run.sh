#!/usr/bin/env bash
# Installs what Lumivo needs, builds it (Release) and starts it; arguments go to the program.
# LUMIVO_QT=6 builds on Qt 6 instead of Qt 5 (in build-qt6/ unless BUILD_DIR is set).
#
# With no camera attached it adds Lumivo's built-in virtual camera (--virtual-camera).
# With no display ($DISPLAY and $WAYLAND_DISPLAY empty) it runs the program on a virtual
# X server (Xvfb, 1920x1080), opens the camera, writes screenshots of the device list,
# the camera page, the Filter tab and the settings dialog to screenshots/, and exits.
set -euo pipefail
cd "$(dirname "$0")/.."

qt=${LUMIVO_QT:-5}
LUMIVO_QT=$qt bash scripts/setup.sh
build=${BUILD_DIR:-build}
[ "$qt" = 5 ] || build=${BUILD_DIR:-build-qt$qt}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLUMIVO_QT="$qt" -DLUMIVO_BUILD_TESTS=OFF -DLUMIVO_BUILD_BENCH=OFF
cmake --build "$build" -j"$(nproc)" --target lumivo

args=("$@")

# A capture device shows up as a video4linux node whose index is 0 (a UVC camera's
# second node, index 1, carries metadata only).
has_camera() {
  local node
  for node in /sys/class/video4linux/video*; do
    [ -e "$node" ] || continue
    [ "$(cat "$node/index" 2>/dev/null || echo 0)" = 0 ] && return 0
  done
  return 1
}

wants_virtual=0
for a in "${args[@]}"; do
  case "$a" in --virtual-camera|--virtual-cameras|--virtual-cameras=*) wants_virtual=1 ;; esac
done
if [ "$wants_virtual" = 0 ] && ! has_camera; then
  echo "run.sh: no camera attached; adding Lumivo's built-in virtual camera (--virtual-camera)."
  args+=(--virtual-camera)
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  shots=${SCREENSHOT_DIR:-screenshots}
  mkdir -p "$shots"
  shots=$(cd "$shots" && pwd)
  echo "run.sh: no display; running headless on Xvfb (1920x1080) and writing screenshots to $shots/"
  command -v xvfb-run >/dev/null || { echo "run.sh: xvfb-run is missing (apt-get install xvfb)"; exit 1; }
  rm -f "$shots/tour.txt"
  status=0
  env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1920x1080x24" "$build/lumivo" "${args[@]}" --screenshot-tour "$shots" || status=$?
  ls -l "$shots"/*.png 2>/dev/null || true
  exit "$status"
fi

exec "$build/lumivo" "${args[@]}"
