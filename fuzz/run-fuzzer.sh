#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time over its seed corpus. New inputs go to a
# temporary corpus (the seeds in the tree stay as they are); a crashing input is kept
# in ./artifacts/ of the working directory and printed as base64.
# Usage: run-fuzzer.sh BINARY SEED_DIR SECONDS [libFuzzer options...]
set -u
bin=$1 seeds=$2 seconds=$3
shift 3
name=$(basename "$bin")
work=$(mktemp -d "${TMPDIR:-/tmp}/$name.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p artifacts
log="artifacts/$name.log"
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0} \
  "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -print_final_stats=1 \
  -artifact_prefix="artifacts/$name-" "$@" "$work" "$seeds" >"$log" 2>&1
rc=$?
grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added|stat::peak_rss_mb)|^Done|INFO: seed corpus' "$log"
echo "$name: $(ls "$work" | wc -l) new inputs beyond the seeds, exit $rc"
if [ $rc -ne 0 ]; then
  tail -n 60 "$log"
  for f in artifacts/"$name"-*; do
    [ -f "$f" ] || continue
    echo "input $f:"; base64 "$f" | head -c 4000; echo
  done
fi
exit $rc
