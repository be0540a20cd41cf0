#!/usr/bin/env bash
# The main job: set up, build, then decode every picture in samples/ into out/ as PNG.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh -DLUMORA_BENCH=OFF
mkdir -p out
status=0
for f in samples/*; do
  name=$(basename "$f")
  if line=$(./build/lumora decode "$f" -o "out/${name%.*}.png"); then
    read -r w h bits <<<"$line"
    echo "$name: ${w}x${h}, ${bits} bits -> out/${name%.*}.png"
  else
    status=1
  fi
done
exit $status
