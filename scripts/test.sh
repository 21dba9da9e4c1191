#!/usr/bin/env bash
# Builds everything and runs every test (unit, headless GL, the whole program
# under Xvfb), then the web page's tests in headless chromium
# (scripts/web.sh test), the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer (scripts/sanitize.sh) and every fuzz target for
# 20 seconds (scripts/fuzz.sh). This is what CI runs.
#
#   scripts/test.sh            all of it (about half an hour on two cores)
#   scripts/test.sh --quick    the ordinary build and its tests only
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
quick=0
case "${1:-}" in
  "") ;;
  --quick) quick=1 ;;
  *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
esac
build="${NERELLE_BUILD_DIR:-$root/build}"
NERELLE_BUILD_DIR="$build" "$root/scripts/build.sh"
(cd "$build" && ctest --output-on-failure --parallel "$(nproc)" --timeout 600)
if [ $quick -eq 1 ]; then
  exit 0
fi
echo "== the web page in headless chromium"
NERELLE_BUILD_DIR="$build" "$root/scripts/web.sh" test
echo "== the same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
"$root/scripts/sanitize.sh"
echo "== fuzz smoke: every fuzz target for 20 s on top of its corpus"
"$root/scripts/fuzz.sh" 20
