#!/usr/bin/env bash
# Builds the kernel's virtual media-controller camera (vimc.ko), which Debian's kernel
# leaves out, for the kernel the VM tests boot, from Debian's linux-source-6.1 and that
# kernel's linux-headers package, and prints the module's path. The module is kept in
# DIR (default build/vm-modules) and built again only when the kernel changes.
#
#   scripts/vm/build-vimc.sh [DIR]
#
# Exit status: 0 with the path printed, 77 when the kernel, its headers or the sources
# are not installed (the vimc tests then skip), 1 when the build fails.
# The module is unsigned: Debian's kernel loads it (tainting itself) unless lockdown is
# on, which needs Secure Boot and so never happens under qemu.
set -uo pipefail

out=${1:-build/vm-modules}
pkg=$(bash "$(dirname "$0")/kernel-package.sh")
kver=${pkg#linux-image-}
[ -n "$kver" ] && [ -f "/boot/vmlinuz-$kver" ] || { echo "build-vimc: SKIP: no stock 6.1 kernel installed" >&2; exit 77; }
headers=/lib/modules/$kver/build
[ -f "$headers/Module.symvers" ] || { echo "build-vimc: SKIP: no linux-headers-$kver" >&2; exit 77; }
tarball=$(ls /usr/src/linux-source-6.1.tar.* 2>/dev/null | head -1)
[ -n "$tarball" ] || { echo "build-vimc: SKIP: no linux-source-6.1" >&2; exit 77; }

ko=$out/$kver/vimc.ko
stamp="$kver $(stat -c '%s %Y' "$tarball" "$headers/Module.symvers" | tr '\n' ' ')"
if [ -f "$ko" ] && [ "$(cat "$out/$kver/stamp" 2>/dev/null)" = "$stamp" ]; then
  echo "$ko"
  exit 0
fi

start=$(date +%s)
work=$(mktemp -d "${TMPDIR:-/tmp}/lumivo-vimc.XXXXXX")
trap 'rm -rf "$work"' EXIT
src=linux-source-6.1/drivers/media/test-drivers/vimc
# Only the driver's folder leaves the archive; the rest of the tree comes from the headers.
tar -xf "$tarball" -C "$work" --wildcards "$src/*" || { echo "build-vimc: cannot unpack $src from $tarball" >&2; exit 1; }
if ! make -s -C "$headers" M="$work/$src" CONFIG_VIDEO_VIMC=m modules > "$work/build.log" 2>&1; then
  cat "$work/build.log" >&2
  echo "build-vimc: the build failed" >&2
  exit 1
fi
mkdir -p "$out/$kver"
# Without its debugging sections the module is a tenth of the size in the VM's image.
strip --strip-debug -o "$ko" "$work/$src/vimc.ko" || exit 1
echo "$stamp" > "$out/$kver/stamp"
echo "build-vimc: built $ko for $kver in $(( $(date +%s) - start )) s" >&2
echo "$ko"
