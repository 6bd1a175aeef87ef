#!/usr/bin/env bash
# Makes COUNT 24-megapixel (6000 x 4000) JPEG photos in DIR for the image benchmarks.
# A few distinct pictures are rendered (smooth colour fields with fine grain, which code like
# real photos) and copied under numbered names; decoding cost depends on the content, not on
# which copy is read.
#   bench/images/make-photos.sh DIR [COUNT=200] [DISTINCT=8]
set -euo pipefail
dir=${1:?usage: make-photos.sh DIR [COUNT] [DISTINCT]}
count=${2:-200}
distinct=${3:-8}
width=6000
height=4000
mkdir -p "$dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for ((i = 0; i < distinct; i++)); do
  base="$work/base-$i.jpg"
  for band in 0 1 2; do
    vips perlin "$work/p$band.v" "$width" "$height" --cell-size $((300 + 97 * band + 31 * i)) \
      --seed $((i * 3 + band + 1))
    vips linear "$work/p$band.v" "$work/b$band.v" 110 128 --uchar
  done
  vips bandjoin "$work/b0.v $work/b1.v $work/b2.v" "$work/rgb.v"
  vips gaussnoise "$work/grain.v" "$width" "$height" --sigma 6 --mean 0
  vips add "$work/rgb.v" "$work/grain.v" "$work/sum.v"
  vips cast "$work/sum.v" "$work/photo.v" uchar
  vips jpegsave "$work/photo.v" "$base" --Q 90
done

for ((n = 0; n < count; n++)); do
  cp "$work/base-$((n % distinct)).jpg" "$(printf '%s/photo-%04d.jpg' "$dir" "$n")"
done
echo "made $count photos of ${width}x${height} in $dir"
