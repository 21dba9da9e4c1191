#!/usr/bin/env bash
# Runs every benchmark once, on a machine left otherwise quiet, and writes
# docs/performance.md with its plot docs/performance-frames.png. Takes some
# ten minutes on two cores. The raw results stay in <build>/bench-results.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NERELLE_BUILD_DIR:-$root/build}"
benches=(frame_bench recording_bench dataset_bench image_bench mesh_bench font_bench)
NERELLE_BUILD_DIR="$build" "$root/scripts/build.sh" nerelle "${benches[@]}"
results="$build/bench-results"
rm -rf "$results"
mkdir -p "$results"

for b in "${benches[@]}"; do
  exe="$(find "$build/bench" -type f -name "$b" -perm -u+x | head -n 1)"
  echo "== $b"
  "$exe" --benchmark_out="$results/$b.json" --benchmark_out_format=json
done

# The whole program: a 4096 x 3072 screenshot from start to exit, the median
# of three runs.
cd "$build/run"
shot="$results/screenshot.tga"
times=()
for _ in 1 2 3; do
  start=$(date +%s%N)
  "$build/src/app/nerelle" --screenshot "$shot" --time 120 >/dev/null
  times+=($(( ($(date +%s%N) - start) / 1000000 )))
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 2p)
echo "{\"screenshot_ms\": $median}" > "$results/program.json"
rm -f "$shot"

python3 "$root/bench/report.py" "$results" "$root/docs"
