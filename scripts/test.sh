#!/usr/bin/env bash
# Builds everything and runs every test (unit, headless GL, the whole program under Xvfb).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NERELLE_BUILD_DIR:-$root/build}"
NERELLE_BUILD_DIR="$build" "$root/scripts/build.sh"
cd "$build"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
