#!/usr/bin/env bash
# The benchmark program still runs: one short interleaved pass of the 720p frame-path
# benchmarks must finish without a failed benchmark and end with its ratio line.
# Usage: bench_smoke.sh <lumivo_bench binary>
set -euo pipefail
out=$("$1" --benchmark_filter='^(FramePath|BareDecode|DecodeCopy)/1280x720/' --benchmark_min_time=0.05 \
           --benchmark_repetitions=2 2>&1)
echo "$out"
if grep -q "ERROR OCCURRED" <<<"$out"; then
  echo "a benchmark failed"; exit 1
fi
grep -Eq '^  1280x720 +FramePath +[0-9.]+ ms +BareDecode +[0-9.]+ ms ratio [0-9.]+ +(within|OVER) +DecodeCopy +[0-9.]+ ms ratio [0-9.]+$' <<<"$out" \
  || { echo "no ratio line for 1280x720"; exit 1; }
