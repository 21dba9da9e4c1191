#!/usr/bin/env bash
# The replay as a web page: builds the program for WebAssembly and WebGL 1
# into build-web/web/ (or $NERELLE_WEB_BUILD_DIR/web), with the textures, the
# datasets, the bundled flight and the HUD fonts' page caches in its files.
#
#   scripts/web.sh           build the page
#   scripts/web.sh serve     build it and serve it on http://127.0.0.1:8080/ (PORT=...)
#   scripts/web.sh test      build it and run the browser tests in headless chromium
#
# Installs emscripten and chromium from Debian when they are missing. The font
# pages are built by the desktop's nerelle-font (in build/, or
# $NERELLE_BUILD_DIR), since the page has no font rasteriser of its own.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
action="${1:-build}"
case "$action" in
  build|serve|test) ;;
  *) echo "usage: scripts/web.sh [build|serve|test]" >&2; exit 2 ;;
esac
"$root/scripts/setup.sh" web
build="${NERELLE_BUILD_DIR:-$root/build}"
web="${NERELLE_WEB_BUILD_DIR:-$root/build-web}"

NERELLE_BUILD_DIR="$build" "$root/scripts/build.sh" nerelle-font
mkdir -p "$web/font-pages"
pages="$(cd "$web/font-pages" && pwd)"
font_tool="$build/tools/font/nerelle-font"
# Pages older than the builder are built again.
for page in "$pages"/*.tga; do
  if [ -f "$page" ] && [ "$font_tool" -nt "$page" ]; then
    rm -f "$page"
  fi
done
# The program's HUD fonts as it builds them at its first start: its list and
# blocks, from the same source files under the same names.
(cd "$build/run" && "$font_tool" hud "$pages" >/dev/null)

# Debian's emscripten finds its node modules only through NODE_PATH when optimising.
export NODE_PATH=/usr/share/nodejs
emcmake cmake -S "$root" -B "$web" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNERELLE_WEB_FONT_PAGES="$pages" >/dev/null
cmake --build "$web" --parallel "$(nproc)" --target nerelle
page="$web/web"
echo "web page: $page/index.html ($(du -cb "$page"/index.html "$page"/nerelle.* | tail -1 | cut -f1) bytes)"

case "$action" in
  serve)
    port="${PORT:-8080}"
    echo "open http://127.0.0.1:$port/ (Ctrl-C stops)"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$page" ;;
  test)
    node --test "$root/tests/web/support_test.mjs"
    exec node "$root/tests/web/web_test.mjs" "$page" "$root/tests/golden/references" \
      "$web/test-out" ;;
esac
