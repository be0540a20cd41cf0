#!/usr/bin/env bash
# Installs the Debian packages that building and running Lumora need.
#   scripts/setup.sh          the build and the codec modules' libraries
#   scripts/setup.sh --test   and what the tests, the benchmarks and fuzzing need: GoogleTest,
#                             Google Benchmark, clang's fuzzer runtime, and the independent
#                             decoders the tests compare with
set -euo pipefail

packages=(
  build-essential cmake ccache pkg-config
  libjpeg62-turbo-dev libpng-dev libtiff-dev libfreetype-dev libdcmtk-dev libopenjp2-7-dev
  libdeflate-dev  # the command line's PNG output
  qt6-base-dev qt6-declarative-dev qt6-tools-dev  # LumoraWidget, lumora-viewer, Designer plugin
)
if [ "${1:-}" = "--test" ]; then
  packages+=(
    clang libclang-rt-14-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libjpeg-turbo-progs imagemagick libmagickwand-dev netpbm ghostscript libstb-dev libgif-dev
    libtiff-tools dcmtk libopenjp2-tools libgdcm-tools
    libcairo2-dev libpixman-1-dev  # the peers of the drawing benchmark
    time  # GNU time: peak memory of whole processes in the benchmarks
    xvfb xauth  # the viewer's screenshot test
    poppler-utils  # pdftoppm: the viewer's printed PDF rendered back to pixels
  )
elif [ $# -gt 0 ]; then
  echo "usage: scripts/setup.sh [--test]" >&2
  exit 2
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Run as root: apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
