#!/usr/bin/env bash
# The main job: set up, build, then show every picture in samples/ in a 320 x 240 control and
# write the window as out/<name>.png, one line per picture with its size and bit count (or, for
# icons and metafiles, what the control drew them with). With a display, the viewer then shows
# the photo sample for a moment and saves its window as out/viewer.png; without one (as in CI)
# the headless pictures above are the whole demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh -DLUMORA_BENCH=OFF -DLUMORA_TESTS=OFF -DLUMORA_WERROR=OFF >/dev/null
mkdir -p out
status=0
for f in samples/*; do
  name=$(basename "$f")
  out="out/${name//./_}.png"
  if ! ./build/lumora show "$f" -o "$out" --set Position=8; then
    status=1
  elif line=$(./build/lumora decode "$f" 2>&1); then
    read -r w h bits <<<"$line"
    echo "$name: ${w}x${h}, ${bits} bits -> $out"
  else
    # Icons and metafiles are drawn by the control itself; the decoder says so.
    echo "$name: ${line#Error * } -> $out"
  fi
done
if [ -n "${DISPLAY:-}" ] && [ -x build/lumora-viewer ]; then
  if ./build/lumora-viewer samples/photo.jpg --screenshot out/viewer.png; then
    echo "viewer: samples/photo.jpg -> out/viewer.png"
  else
    status=1
  fi
else
  echo "viewer: no display (or no Qt 6); the pictures above come from lumora show"
fi
exit $status
