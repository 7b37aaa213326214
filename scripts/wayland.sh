#!/usr/bin/env bash
# Lumivo on Wayland, without a display: weston's headless backend runs the screenshot
# tour in Chinese and English (DIR/tour-<lang>/); then, since the headless backend has
# no seat to press with, a weston nested in Xvfb (x11 backend) shows the window with
# xdotool dragging it by its title bar: the compositor moves it (startSystemMove).
# DIR/move.png is the screen before and after the drag; the script fails unless the
# program logged the move as the window system's and the window left its place.
# Needs weston, xvfb, xdotool, imagemagick and the Qt Wayland plugin (qtwayland5 or
# qt6-wayland). Usage: scripts/wayland.sh [lumivo binary] [output directory]
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build/lumivo}")
out=${2:-screenshots/wayland}
for tool in weston Xvfb xdotool convert; do
  command -v $tool >/dev/null || { echo "wayland.sh: $tool is missing"; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
tmp=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$tmp"' EXIT
export XDG_RUNTIME_DIR=$tmp/runtime HOME=$tmp XDG_DATA_HOME=$tmp/data XDG_CONFIG_HOME=$tmp/config
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_DATA_HOME/lumivo/ini"
chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=lumivo-wayland
unset DISPLAY

weston_up() {  # weston's arguments; waits for its socket
  weston --socket=$WAYLAND_DISPLAY --idle-time=0 "$@" >>"$out/weston.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && return; sleep 0.1; done
  echo "wayland.sh: weston did not start (see $out/weston.log)"; exit 1
}
weston_down() { kill "${pids[@]}"; wait "${pids[@]}" 2>/dev/null || true; pids=(); rm -f "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"; }
: >"$out/weston.log"

weston_up --backend=headless-backend.so --width=1920 --height=1080
for lang in 2052 1033; do
  printf '[lang]\nlangid=%s\n' "$lang" >"$XDG_DATA_HOME/lumivo/ini/application.ini"
  rm -rf "$out/tour-$lang"
  "$program" --virtual-camera --screenshot-tour "$out/tour-$lang" >/dev/null
  echo "$out/tour-$lang: $(cd "$out/tour-$lang" && ls *.png | tr '\n' ' ')"
done
weston_down

# The drag, on a 1600x1000 X screen holding a 1400x900 weston output.
Xvfb :97 -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 1
export DISPLAY=:97
weston_up --backend=x11-backend.so --use-pixman --width=1400 --height=900
"$program" --virtual-camera >/dev/null 2>&1 &
pids+=($!)
sleep 4
import -window root "$tmp/before.png"
# The title bar: the first screen row with a white run as wide as the window (weston's
# own panel is dark, its background patterned).
read -r x y < <(convert "$tmp/before.png" -colorspace gray -depth 8 txt:- | awk -F'[,: ]+' '
  $1 ~ /^[0-9]+$/ { white = ($0 ~ /#FFFFFF/); if (white && $2 == prev_y && $1 == prev_x + 1) run++; else run = white
                    if (run == 200) { print $1 - 100, $2 + 12; exit } prev_x = $1; prev_y = $2 }')
xdotool mousemove $((x - 10)) "$y" sleep 0.5 mousemove "$x" "$y" sleep 0.5 mousedown 1 sleep 0.3 \
  mousemove $((x - 50)) $((y + 60)) sleep 0.2 mousemove $((x - 200)) $((y + 200)) sleep 0.2 \
  mousemove $((x - 300)) $((y + 300)) sleep 0.3 mouseup 1
sleep 1
import -window root "$tmp/after.png"
convert "$tmp/before.png" "$tmp/after.png" +append "$out/move.png"
log=$(cat "$XDG_DATA_HOME"/lumivo/log/*.txt)
grep -q "title bar: window moved by the window system" <<<"$log" ||
  { echo "wayland.sh: the press did not start the compositor's move"; exit 1; }
moved=$(convert "$tmp/after.png" -crop 1x1+"$x"+"$y" -format '%[hex:p{0,0}]' info:)
[ "$moved" != FFFFFF ] || { echo "wayland.sh: the window is still where it was"; exit 1; }
echo "$out/move.png: dragged from $x,$y by 300,300; the compositor moved the window"
