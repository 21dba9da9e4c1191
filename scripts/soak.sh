#!/usr/bin/env bash
# Soak: renders a long recording headless under heaptrack and checks that the
# program neither leaks nor grows while it runs.
#
#   scripts/soak.sh [FRAMES] [WxH]     (default 2000 frames of 320 x 240)
#
# The bundled camera flight, slowed down to last the FRAMES, is recorded as
# PNG frames into a scratch directory (writing them is part of the work).
# Reports the leaked bytes (Mesa's own allocations excepted, as for the
# sanitizer build), the peak heap, and the resident memory, sampled every
# second, at frames 100 to 199 and in the last tenth of the frames. Fails on a
# leak, or when the resident memory grew between the two by more than
# $NERELLE_SOAK_GROWTH_KIB (default 8192).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
frames="${1:-2000}"
size="${2:-320x240}"
bound="${NERELLE_SOAK_GROWTH_KIB:-8192}"
if ! [[ "$frames" =~ ^[0-9]+$ ]] || [ "$frames" -lt 200 ] || ! [[ "$size" =~ ^[0-9]+x[0-9]+$ ]]; then
  echo "usage: scripts/soak.sh [FRAMES (200 or more)] [WxH]" >&2
  exit 2
fi
build="${NERELLE_BUILD_DIR:-$root/build}"
NERELLE_BUILD_DIR="$build" "$root/scripts/build.sh" nerelle
work="$(mktemp -d "${TMPDIR:-/tmp}/nerelle-soak.XXXXXX")"
# NERELLE_SOAK_KEEP=1 keeps it (heaptrack data, memory samples, log).
[ -z "${NERELLE_SOAK_KEEP:-}" ] && trap 'rm -rf "$work"' EXIT

# The flight's key times stretched so that it lasts FRAMES at 23.976 fps.
flight="$root/data/flights/demo.txt"
awk -v frames="$frames" 'NR == FNR { if (FNR > 1) last = $1; next }
  FNR == 1 { print; f = (frames / 23.976 + 1) / last; next }
  { $1 = sprintf("%.15f", $1 * f); print }' "$flight" "$flight" >"$work/keys.txt"

cd "$build/run"
start=$(date +%s)
heaptrack -o "$work/heap" "$build/src/app/nerelle" --record "$work/keys.txt" --frames "0:$frames" \
  --out "$work/frames" --size "$size" >"$work/run.log" 2>&1 &
tracker=$!
# The traced program is the child of the heaptrack script.
pid=
: >"$work/samples"
while kill -0 "$tracker" 2>/dev/null; do
  [ -z "$pid" ] && pid=$(pgrep -P "$tracker" -x nerelle || true)
  if [ -n "$pid" ] && rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null); then
    echo "$(find "$work/frames" -name 'frame_*.png' 2>/dev/null | wc -l) $rss" >>"$work/samples"
  fi
  sleep 1
done
status=0
wait "$tracker" || status=$?
seconds=$(($(date +%s) - start))
if [ $status -ne 0 ]; then
  cat "$work/run.log" >&2
  echo "soak: the recording failed (status $status)" >&2
  exit 1
fi
written=$(find "$work/frames" -name 'frame_*.png' | wc -l)

data=$(ls "$work"/heap.*)
heaptrack_print --suppressions "$root/scripts/sanitize.supp" --print-leaks -f "$data" >"$work/heap.txt" 2>&1
peak=$(sed -n 's/^peak heap memory consumption: //p' "$work/heap.txt")
leaked=$(sed -n 's/^total memory leaked: //p' "$work/heap.txt")
# The highest resident memory while frames 100 to 199 were written, and while
# the last tenth of them were (before the program's teardown).
read -r rss100 rss_end < <(awk -v n="$frames" '
  $1 >= 100 && $1 < 200 && $2 > a { a = $2 } $1 >= n * 0.9 && $1 < n && $2 > e { e = $2 }
  END { print a + 0, e + 0 }' "$work/samples")
growth=$((rss_end - rss100))

echo "soak: $written frames of $size in $seconds s under heaptrack"
echo "  leaked (Mesa excepted): $leaked"
echo "  peak heap: $peak"
echo "  resident memory: $rss100 KiB at frames 100-199, $rss_end KiB in the last tenth, growth $growth KiB"
echo "  ($(wc -l <"$work/samples") samples of frames written and resident KiB: $work/samples)"
fail=0
if [ "$written" -ne "$frames" ]; then
  echo "soak: $written frames written instead of $frames" >&2
  fail=1
fi
if [ "$rss100" -eq 0 ] || [ "$rss_end" -eq 0 ]; then
  echo "soak: no memory sample at frames 100-199 or in the last tenth" >&2
  fail=1
fi
if ! [[ "$leaked" =~ ^0B ]]; then
  sed -n '/^MEMORY LEAKS/,/^$/p' "$work/heap.txt" | head -n 60 >&2
  echo "soak: memory leaked" >&2
  fail=1
fi
if [ "$growth" -gt "$bound" ]; then
  echo "soak: resident memory grew by $growth KiB after frame 100 (bound $bound KiB)" >&2
  fail=1
fi
exit $fail
