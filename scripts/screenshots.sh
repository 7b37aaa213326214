#!/usr/bin/env bash
# Screenshots of every page and the settings dialog at 1920x1080 and 1366x768, in
# Chinese and in English, with the built-in virtual camera, each run on its own Xvfb
# with a private temporary data and runtime tree. SCREEN_SIZES overrides the sizes
# (2880x1620 gives scale 1.5).
# Usage: scripts/screenshots.sh [lumivo binary] [output directory]
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/lumivo}
out=${2:-screenshots/matrix}
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (apt-get install xvfb)"; exit 1; }
[ -x "$program" ] || { echo "no program at $program (build it first)"; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)

for size in ${SCREEN_SIZES:-1920x1080 1366x768}; do
  for lang in 2052 1033; do
    tmp=$(mktemp -d)
    mkdir -p "$tmp/data/lumivo/ini" "$tmp/runtime"
    chmod 700 "$tmp/runtime"
    printf '[lang]\nlangid=%s\n' "$lang" > "$tmp/data/lumivo/ini/application.ini"
    dir="$out/$size-$lang"
    rm -rf "$dir"
    env -u QT_QPA_PLATFORM HOME="$tmp" XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" \
        XDG_CACHE_HOME="$tmp/cache" XDG_RUNTIME_DIR="$tmp/runtime" \
        xvfb-run -a -s "-screen 0 ${size}x24" "$program" --virtual-camera --screenshot-tour "$dir" >/dev/null
    rm -rf "$tmp"
    echo "$dir: $(cd "$dir" && ls *.png | tr '\n' ' ')"
  done
done
