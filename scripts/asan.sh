#!/usr/bin/env bash
# The AddressSanitizer tree (build-asan/, or $ASAN_BUILD_DIR): everything built with
# clang, -fsanitize=address and libFuzzer's instrumentation. Runs the fuzz targets
# (label fuzzing) for LUMIVO_FUZZ_SECONDS each (default 12) and the soak test (label
# soak) for LUMIVO_SOAK_SECONDS (default 75). Arguments go to ctest, e.g.
#   LUMIVO_FUZZ_SECONDS=600 scripts/asan.sh -L fuzzing -R fuzz_mjpg
#   LUMIVO_SOAK_SECONDS=1800 scripts/asan.sh -L soak
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ASAN_BUILD_DIR:-build-asan}
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLUMIVO_FUZZ=ON -DLUMIVO_BUILD_TESTS=ON -DLUMIVO_BUILD_BENCH=OFF \
  -DLUMIVO_FUZZ_SECONDS="${LUMIVO_FUZZ_SECONDS:-12}" -DLUMIVO_SOAK_SECONDS="${LUMIVO_SOAK_SECONDS:-75}" >/dev/null
targets=(lumivo_fuzzers)
if [ -d tests/soak ]; then targets+=(tst_soak); fi
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)"
cd "$build"
if [ $# -eq 0 ]; then set -- -L 'fuzzing|soak'; fi
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -V -j"$(nproc)" "$@"
