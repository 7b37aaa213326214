#!/usr/bin/env bash
# A fuzzing campaign over the AddressSanitizer tree (built as scripts/asan.sh builds it).
# Each target runs from its seeds for SECONDS (default 600), one after the other; what it
# found is merged into its seed corpus in fuzz/corpus/, minimized by libFuzzer's -merge=1
# and kept small (at most 200 files and 1 MB a target; hand-named seeds, the regressions,
# are always kept). Prints per target: executions, executions per second, coverage
# (features), new inputs kept, peak RSS and the result. A crash or broken property keeps
# its input in <build>/fuzz-findings/ and prints it with its stack.
#   scripts/fuzz.sh [seconds-per-target] [targets...]
# LUMIVO_FUZZ_MERGE=0 leaves the corpus as it is and LUMIVO_FUZZ_BUILD=0 skips the build
# (CTest's short runs in CI use both).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${ASAN_BUILD_DIR:-$root/build-asan}")
seconds=${1:-600}
shift $(($# > 0))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || mapfile -t targets < <(sed -n 's/^ *\([a-z]*\):.*/\1/p' "$root/fuzz/targets.cmake")
if [ "${LUMIVO_FUZZ_BUILD:-1}" = 1 ]; then
  ASAN_BUILD_DIR=$build "$root/scripts/asan.sh" --build-only || exit 1
fi
findings=$build/fuzz-findings
mkdir -p "$findings"
printf '%-15s %11s %7s %8s %5s %7s %7s  %s\n' target executions exec/s features kept corpus "RSS MB" result
failed=0
for t in "${targets[@]}"; do
  bin=$build/fuzz/fuzz_$t seeds=$root/fuzz/corpus/$t log=$findings/$t.log
  work=$(mktemp -d "${TMPDIR:-/tmp}/fuzz_$t.XXXXXX")
  opts=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$findings/$t-")
  [ -f "$root/fuzz/dict/$t.dict" ] && opts+=(-dict="$root/fuzz/dict/$t.dict")
  rm -f "$findings/$t"-*
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} "$bin" "${opts[@]}" "$work" "$seeds" >"$log" 2>&1
  rc=$?
  stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -n 1; }
  features=$(grep -o ' ft: [0-9]*' "$log" | tail -n 1 | tr -dc 0-9)
  kept=0
  if [ $rc -eq 0 ] && [ "${LUMIVO_FUZZ_MERGE:-1}" = 1 ]; then
    merged=$(mktemp -d "${TMPDIR:-/tmp}/fuzz_$t.merged.XXXXXX")
    find "$seeds" -maxdepth 1 -type f ! -regex '.*/[0-9a-f]\{40\}' -exec cp {} "$merged" \;
    "$bin" -merge=1 "$merged" "$seeds" "$work" >>"$log" 2>&1 || rc=$?
    # Over the limits the largest generated inputs go first.
    while [ "$(ls "$merged" | wc -l)" -gt 200 ] || [ "$(du -sb "$merged" | cut -f1)" -gt 1048576 ]; do
      big=$(find "$merged" -type f -regex '.*/[0-9a-f]\{40\}' -printf '%s %p\n' | sort -n | tail -n 1 | cut -d' ' -f2)
      [ -n "$big" ] || break
      rm -f "$big"
    done
    if [ $rc -eq 0 ]; then
      kept=$(comm -13 <(ls "$seeds") <(ls "$merged") | wc -l)
      rm -f "$seeds"/* && cp "$merged"/* "$seeds"/
    fi
    rm -rf "$merged"
  fi
  rm -rf "$work"
  result=clean
  [ $rc -eq 0 ] || { result="FAILED (exit $rc)"; failed=1; }
  printf '%-15s %11s %7s %8s %5s %7s %7s  %s\n' "$t" "$(stat number_of_executed_units)" "$(stat average_exec_per_sec)" \
    "${features:-?}" "$kept" "$(ls "$seeds" | wc -l)" "$(stat peak_rss_mb)" "$result"
  if [ $rc -ne 0 ]; then
    sed -n '/==[0-9]*==ERROR\|^property broken\|deadly signal\|ERROR: libFuzzer/,$p' "$log" | head -n 80
    for f in "$findings/$t"-*; do
      [ -f "$f" ] && { echo "input $f (base64):"; base64 -w 100 "$f" | head -c 4000; echo; }
    done
  fi
done
exit $failed
