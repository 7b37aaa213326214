#!/usr/bin/env bash
# Installs the Debian packages Lumivo needs to build, test and run (Debian 12).
# apt is skipped when everything is already there. Extra package names may be given
# as arguments (for example the test-only ones). LUMIVO_QT picks the Qt packages:
# 5 (default), 6, or "5 6" for both.
set -euo pipefail

qt=()
for version in ${LUMIVO_QT:-5}; do
  case "$version" in
    5) qt+=(qtbase5-dev libqt5svg5-dev qttools5-dev qttools5-dev-tools) ;;
    6) qt+=(qt6-base-dev qt6-svg-dev qt6-tools-dev qt6-l10n-tools qt6-wayland) ;;
    *) echo "setup.sh: LUMIVO_QT must be 5 or 6, not '$version'" >&2; exit 1 ;;
  esac
done
packages=(
  cmake g++ make pkg-config git
  "${qt[@]}"
  libopencv-core-dev libudev-dev libturbojpeg0-dev libyuv-dev
  libpipewire-0.3-dev
  libbenchmark-dev
  fonts-noto-cjk
  xvfb xauth imagemagick
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
