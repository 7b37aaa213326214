#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own tree (build-fuzz/, or $FUZZ_BUILD_DIR)
# and runs each one for SECONDS (default 12) over its seed corpus in fuzz/corpus/.
# Usage: scripts/fuzz.sh [SECONDS] [ctest arguments, e.g. -R fuzz_ini]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-12}
shift || true
build=${FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLUMIVO_FUZZ=ON -DLUMIVO_BUILD_TESTS=OFF -DLUMIVO_BUILD_BENCH=OFF -DLUMIVO_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build "$build" --target lumivo_fuzzers -j"$(nproc)"
cd "$build"
ctest --output-on-failure -V -L fuzz -j"$(nproc)" "$@"
