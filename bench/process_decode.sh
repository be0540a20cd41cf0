#!/usr/bin/env bash
# Whole-process decode times, as a user runs it: `lumora decode FILE` against the fastest peer
# tool for each format on the same 4000 x 3000 picture, the two runs of each pair interleaved,
# median of N rounds, wall clock. Also the minor page faults of one run of each.
#   bench/process_decode.sh [BUILD_DIR] [N]      (default build, 7)
set -euo pipefail
build=${1:-build}
rounds=${2:-7}
lumora="$build/lumora"
# The library finds its codec modules beside itself, as an installed one does.
unset LUMORA_CODEC_PATH
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# One 8-bit picture, written in every format by ImageMagick.
convert -size 4000x3000 gradient:red-blue \( -size 4000x3000 gradient:green-yellow -rotate 90 \
    -resize 4000x3000! \) -compose blend -define compose:args=50 -composite \
    -attenuate 0.3 +noise Gaussian -depth 8 "$dir/p.ppm"
convert "$dir/p.ppm" -quality 90 "$dir/p.jpg"
convert "$dir/p.ppm" "$dir/p.png"
convert "$dir/p.ppm" -colors 256 "$dir/p.gif"
convert "$dir/p.ppm" "$dir/p.bmp"
convert "$dir/p.ppm" "$dir/p.tga"
convert "$dir/p.ppm" "$dir/p.pcx"
convert "$dir/p.ppm" -compress none "$dir/p.tif"
convert "$dir/p.ppm" -depth 16 "$dir/p16.ppm"  # two-byte samples, as scanners write them
convert "$dir/p.ppm" -colorspace Gray "$dir/p.pgm"

# label  file  peer command (the file is appended)
peers=(
  "jpg|p.jpg|djpeg -dct int -nosmooth"
  "png|p.png|pngtopnm"
  "gif|p.gif|giftopnm"
  "bmp|p.bmp|bmptopnm"
  "tga|p.tga|tgatoppm"
  "pcx|p.pcx|pcxtoppm"
  "tif|p.tif|tifftopnm"
  "ppm|p.ppm|ppmtoppm <"
  "ppm16|p16.ppm|ppmtoppm <"
  "pgm|p.pgm|pgmtopgm <"
)

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
faults() { /usr/bin/time -f %R bash -c "$1" 2>&1 >/dev/null | tail -1; }

printf '%-6s %10s %10s %7s %9s %9s\n' format lumora_ms peer_ms ratio faults peer_faults
for entry in "${peers[@]}"; do
  IFS='|' read -r fmt name peer <<<"$entry"
  file="$dir/$name"
  ours=() theirs=()
  for ((i = 0; i < rounds; i++)); do
    t0=$(now); "$lumora" decode "$file" >/dev/null; t1=$(now)
    bash -c "$peer $file" >/dev/null 2>&1; t2=$(now)
    ours+=($(( (t1 - t0) / 1000 ))); theirs+=($(( (t2 - t1) / 1000 )))
  done
  a=$(printf '%s\n' "${ours[@]}" | median)
  b=$(printf '%s\n' "${theirs[@]}" | median)
  printf '%-6s %10.1f %10.1f %7.2f %9s %9s\n' "$fmt" "$(echo "$a / 1000" | bc -l)" \
    "$(echo "$b / 1000" | bc -l)" "$(echo "$a / $b" | bc -l)" \
    "$(faults "$lumora decode $file")" "$(faults "$peer $file")"
done
