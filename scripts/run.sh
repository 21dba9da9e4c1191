#!/usr/bin/env bash
# Builds and runs the program. Without a display it runs under Xvfb for a few
# seconds and shows what the program printed.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NERELLE_BUILD_DIR:-$root/build}"
NERELLE_BUILD_DIR="$build" "$root/scripts/build.sh" nerelle
cd "$build/run"
if [ -n "${DISPLAY:-}" ]; then
  exec "$build/src/app/nerelle" "$@"
fi
echo "no display: running under Xvfb for ${NERELLE_RUN_SECONDS:-5} seconds"
status=0
timeout --signal=TERM "${NERELLE_RUN_SECONDS:-5}" \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/src/app/nerelle" "$@" || status=$?
if [ "$status" -eq 124 ]; then
  echo "(stopped after ${NERELLE_RUN_SECONDS:-5} seconds)"
  status=0
fi
exit "$status"
