#!/usr/bin/env bash
# Screenshots of the widget gallery under Xvfb, at scale 1 and 0.711111, in both
# languages: screenshots/gallery_<scale>_<lang>.png (the window, grabbed by Qt) and
# screenshots/screen_<scale>_<lang>.png (the whole X screen, taken by ImageMagick).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake --build "$build" --target lumivo_gallery lumivo_translations
mkdir -p screenshots
export XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
for lang in 2052 1033; do
  for scale in 1 0.711111; do
    xvfb-run -a -s "-screen 0 1920x1080x24" sh -c "
      '$build/lumivo_gallery' --scale $scale --lang $lang --out screenshots --show &
      pid=\$!
      sleep 2
      import -window root screenshots/screen_${scale}_${lang}.png
      kill \$pid"
  done
done
ls -1 screenshots
