#!/usr/bin/env bash
# Builds and runs the program. With a display it opens the window. Without
# one it renders the default dive headless: a screenshot with the diver
# under water, and the bundled camera flight as a video (as PNG frames when
# ffmpeg is missing), then says where they are.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NERELLE_BUILD_DIR:-$root/build}"
NERELLE_BUILD_DIR="$build" "$root/scripts/build.sh" nerelle
cd "$build/run"
nerelle="$build/src/app/nerelle"
if [ -n "${DISPLAY:-}" ]; then
  exec "$nerelle" "$@"
fi
out="$build/run/demo"
mkdir -p "$out"
echo "no display: rendering the default dive without a window into $out"
"$nerelle" "$@" --screenshot "$out/underwater.png" --time 120 --size 1920x1440
flight="data/flights/demo.txt"
if command -v ffmpeg >/dev/null 2>&1; then
  "$nerelle" "$@" --record "$flight" --video "$out/flight.mp4" --size 960x540
  made="$out/flight.mp4"
else
  "$nerelle" "$@" --record "$flight" --out "$out/frames" --size 960x540
  made="$out/frames/ (ffmpeg is missing: PNG frames instead of a video)"
fi
echo
echo "screenshot: $out/underwater.png"
echo "flight:     $made"
echo "With a display, scripts/run.sh opens the window; nerelle --help lists what it can do."
