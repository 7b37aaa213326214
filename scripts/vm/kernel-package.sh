#!/usr/bin/env bash
# Prints the name of the Debian kernel package the VM tests boot: the stock
# 6.1 amd64 kernel (the cloud flavour has no media drivers). An installed one is
# kept; otherwise the newest the archive offers is named. Prints nothing when none
# can be found (the VM tests then skip).
set -u

installed=$(dpkg-query -W -f='${Package} ${Status}\n' 'linux-image-6.1.0-*-amd64' 2>/dev/null \
  | awk '$NF == "installed" {print $1}' | grep -E '^linux-image-6\.1\.0-[0-9]+-amd64$' | sort -V | tail -1)
if [ -n "$installed" ] && [ -d "/lib/modules/${installed#linux-image-}" ]; then
  echo "$installed"
  exit 0
fi

search() {
  apt-cache search --names-only '^linux-image-6\.1\.0-[0-9]+-amd64$' 2>/dev/null | awk '{print $1}' | sort -V | tail -1
}
pkg=$(search)
if [ -z "$pkg" ]; then
  # The package lists may not be there yet on a fresh machine.
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq >/dev/null 2>&1 || true
  pkg=$(search)
fi
echo "$pkg"
