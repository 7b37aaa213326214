#!/usr/bin/env bash
# Installs what the tests need, builds Lumivo with its tests and runs every test
# headless through CTest. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

# Test-only packages: qemu, a static busybox, cpio, udev and Debian's stock kernel boot
# the VM in which the V4L2 backend meets the kernel's vivid driver; the install test
# validates with desktop-file-utils and appstream; clang and its runtime build the
# fuzz targets; the tray tests drive real tray hosts (tint2, trayer, a StatusNotifierItem
# watcher in Python on a private D-Bus session) with xdotool and the X utilities; the
# PipeWire test runs its own daemon, session manager and test-pattern source.
bash scripts/setup.sh qemu-system-x86 busybox-static cpio udev $(bash scripts/vm/kernel-package.sh) \
  desktop-file-utils appstream clang libclang-rt-14-dev \
  tint2 trayer xdotool x11-utils dbus python3-gi gir1.2-glib-2.0 \
  pipewire pipewire-bin wireplumber libspa-0.2-modules
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVO_BUILD_TESTS=ON -DLUMIVO_BUILD_BENCH=ON
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
(cd "$build" && ctest --output-on-failure -j"$(nproc)" "$@")

# The AddressSanitizer tree (clang): each fuzz target for a bounded time, and the soak test.
bash scripts/asan.sh
