#!/usr/bin/env bash
# The frame path against the bare decode in instructions (callgrind), at 720p, 1080p
# and 4K: a figure a busy machine does not move, unlike the timed benchmarks.
#   bench/instructions.sh [BUILD_DIR]      (default: build; needs valgrind)
# The path per frame is the difference between two streams that end after a different
# number of frames, divided by that difference; the bare decode is counted over a fixed
# number of frames. Takes several minutes: everything runs about 50 times slower.
set -euo pipefail
build=${1:-build}
bench="$build/bench/lumivo_bench"
command -v valgrind >/dev/null || { echo "instructions.sh: valgrind is not installed" >&2; exit 77; }
[ -x "$bench" ] || { echo "instructions.sh: no $bench (configure with -DLUMIVO_BUILD_BENCH=ON)" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
QT_QPA_PLATFORM=offscreen valgrind --tool=callgrind --callgrind-out-file="$out/cg.%p" \
  "$bench" --benchmark_filter='^(FramePath|BareDecode)/' --benchmark_repetitions=1 --benchmark_enable_random_interleaving=false >"$out/log" 2>&1 \
  || { cat "$out/log" >&2; exit 1; }
# Each dump: "desc: Trigger: Client Request: <what>" and "totals: <instructions>".
for f in "$out"/cg.*.*; do
  awk '/^desc: Trigger: Client Request: /{sub(/^desc: Trigger: Client Request: /, ""); what=$0}
       /^totals: /{print what " instructions=" $2}' "$f"
done | sort >"$out/counts"
cat "$out/counts"
python3 - "$out/counts" <<'PY'
import re, sys
rows = [dict(re.findall(r"(\w+)=(\d+)", l), name=l.split()[0]) for l in open(sys.argv[1])]
worst = 0.0
for size in ("1280x720", "1920x1080", "3840x2160"):
    bare = [r for r in rows if r["name"] == "BareDecode/" + size]
    path = sorted((r for r in rows if r["name"] == "FramePath/" + size), key=lambda r: int(r["sent"]))
    if not bare or len(path) < 2:
        print(f"{size}: missing counts"); continue
    per_bare = int(bare[0]["instructions"]) / int(bare[0]["frames"])
    frames = int(path[1]["sent"]) - int(path[0]["sent"])
    per_path = (int(path[1]["instructions"]) - int(path[0]["instructions"])) / frames
    dropped = f'{path[0]["dropped"]} of {path[0]["sent"]} and {path[1]["dropped"]} of {path[1]["sent"]}'
    worst = max(worst, per_path / per_bare)
    print(f"{size}: FramePath {per_path / 1e6:.2f} M instructions a frame, BareDecode {per_bare / 1e6:.2f} M, "
          f"ratio {per_path / per_bare:.3f} (frames dropped at a hand-over, decoded all the same: {dropped})")
print(f"worst ratio {worst:.3f}")
PY
