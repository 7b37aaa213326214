#!/usr/bin/env bash
# Starts the real program on a 1366x768 X server and checks its scale log line and
# that its window is on the screen. Usage: xvfb_start.sh <lumivo binary> [screenshot.png]
set -euo pipefail
program=$1
shot=${2:-$LUMIVO_TEST_TMP/start-1366x768.png}
command -v xvfb-run >/dev/null || { echo "xvfb-run missing"; exit 1; }

export -n QT_QPA_PLATFORM
log_dir="$XDG_DATA_HOME/lumivo/log"
xvfb-run -a -s "-screen 0 1366x768x24" bash -c '
  "$1" & pid=$!
  for _ in $(seq 1 100); do
    grep -qs "auto adjsize:" "$2"/log_*.txt && break
    sleep 0.1
  done
  sleep 1
  import -window root "$3"
  kill $pid; wait $pid 2>/dev/null || true
' _ "$program" "$log_dir" "$shot"

line=$(grep -h "auto adjsize:" "$log_dir"/log_*.txt | head -n1)
echo "$line"
case "$line" in
  *"Debug: auto adjsize: 0.711458 0.711111 0.711111 1366 768    File:"*) ;;
  *) echo "unexpected scale line"; exit 1 ;;
esac
# The root window is black but for our window: something must be drawn.
mean=$(convert "$shot" -format "%[fx:mean]" info:)
echo "screen mean $mean"
awk -v m="$mean" 'BEGIN { exit !(m > 0.01) }' || { echo "no window on screen"; exit 1; }
