#!/usr/bin/env bash
# Installs what the tests need, builds Lumivo with its tests and runs every test
# headless through CTest. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

# Test-only packages: qemu, a static busybox, cpio, udev and Debian's stock kernel boot
# the VM in which the V4L2 backend meets the kernel's vivid driver; the install test
# validates with desktop-file-utils and appstream; clang and its runtime build the
# fuzz targets.
bash scripts/setup.sh qemu-system-x86 busybox-static cpio udev $(bash scripts/vm/kernel-package.sh) \
  desktop-file-utils appstream clang libclang-rt-14-dev
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVO_BUILD_TESTS=ON -DLUMIVO_BUILD_BENCH=ON
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
(cd "$build" && ctest --output-on-failure -j"$(nproc)" "$@")

# The AddressSanitizer tree (clang): each fuzz target for a bounded time, and the soak test.
bash scripts/asan.sh
