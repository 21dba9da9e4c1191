#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing. Idempotent.
#   scripts/setup.sh        what the program, its tests and tools need
#   scripts/setup.sh web    that and the web page's compiler and browser
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git
  # window, GL and headless context
  freeglut3-dev libgl-dev libegl-dev libegl-mesa0 libgl1-mesa-dri libglx-mesa0
  # track logs: GPX and KML, the local frame of a geographic origin; gpsbabel as a second reading in tests
  libpugixml-dev libgeographiclib-dev gpsbabel
  # images, fonts
  libpng-dev zlib1g-dev libfreetype-dev libfontconfig-dev fontconfig fonts-cmu unicode-data
  # tests, benchmarks, fuzzing
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg62-turbo-dev libturbojpeg0-dev libstb-dev libmuparser-dev
  clang libclang-rt-14-dev
  # the whole program under a real X server
  xvfb xauth xdotool x11-utils
  # the soak (scripts/soak.sh)
  heaptrack
  # video recording (--video): frames piped into ffmpeg
  ffmpeg
  # the performance report (scripts/bench.sh)
  python3 gnuplot-nox
)
if [ "${1:-}" = web ]; then
  # the web page (scripts/web.sh): the compiler to WebAssembly and a browser for its tests
  packages+=(emscripten chromium nodejs)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    SUDO=sudo
  else
    echo "error: these Debian packages are missing and installing them needs root: ${missing[*]}" >&2
    echo "       run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi

echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
