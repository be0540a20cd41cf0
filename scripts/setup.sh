#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and the demo need.
set -euo pipefail

packages=(
  build-essential cmake ccache clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev
  imagemagick netpbm ghostscript libstb-dev libgif-dev
  libtiff-dev libtiff-tools
  libfreetype-dev fonts-dejavu-core
  libdcmtk-dev dcmtk
  time  # GNU time: peak memory of whole processes in bench_photocd
)

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
