#!/usr/bin/env bash
# Installs what the tests need, builds Lumivo with its tests on Qt 5 and runs every test
# headless through CTest; then builds the same sources on Qt 6 in a second tree and runs
# the fast and slow tests there. Arguments go to both ctest runs. Exits non-zero on any
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."

# Test-only packages: qemu, a static busybox, cpio, udev and Debian's stock kernel boot
# the VM in which the V4L2 backend meets the kernel's vivid driver; the install test
# validates with desktop-file-utils and appstream; clang and its runtime build the
# fuzz targets; the tray tests drive real tray hosts (tint2, trayer, a StatusNotifierItem
# watcher in Python on a private D-Bus session) with xdotool and the X utilities; the
# PipeWire test runs its own daemon, session manager and test-pattern source; the kernel's
# sources and headers build vimc for the VM, where the libcamera plugin and its IPA modules
# drive it under PipeWire's own configuration.
kernel=$(bash scripts/vm/kernel-package.sh)
LUMIVO_QT="5 6" bash scripts/setup.sh qemu-system-x86 busybox-static cpio udev $kernel ${kernel/linux-image/linux-headers} \
  linux-source-6.1 pipewire-libcamera libcamera-ipa \
  desktop-file-utils appstream clang libclang-rt-14-dev \
  tint2 trayer xdotool x11-utils dbus python3-gi gir1.2-glib-2.0 \
  pipewire pipewire-bin wireplumber libspa-0.2-modules
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVO_BUILD_TESTS=ON -DLUMIVO_BUILD_BENCH=ON
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
(cd "$build" && ctest --output-on-failure -j"$(nproc)" "$@")

# Qt 6: only what the fast and slow tests need (the VM, install and sanitizer runs are Qt 5's).
build6=${QT6_BUILD_DIR:-build-qt6}
cmake -S . -B "$build6" -DLUMIVO_QT=6 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVO_BUILD_TESTS=ON -DLUMIVO_BUILD_BENCH=OFF
cmake --build "$build6" -j"$(nproc)" --target lumivo_host_tests
(cd "$build6" && ctest --output-on-failure -j"$(nproc)" -L 'fast|slow' "$@")

# The AddressSanitizer tree (clang): each fuzz target for a bounded time, and the soak test.
bash scripts/asan.sh
