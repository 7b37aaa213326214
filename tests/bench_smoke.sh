#!/usr/bin/env bash
# The benchmark program still runs: one short pass of the 720p frame-path benchmarks
# finishes without a failed benchmark. Usage: bench_smoke.sh <lumivo_bench binary>
set -euo pipefail
out=$("$1" --benchmark_filter='^(FramePath|BareDecode|DecodeCopy)/1280x720/' --benchmark_min_time=0.05 \
           --benchmark_repetitions=1 2>&1)
echo "$out"
! grep -q "ERROR" <<<"$out"
