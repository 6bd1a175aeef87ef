#!/usr/bin/env bash
# Times upload preparation of one HEIC photo (decode at full size, encode a lossless PNG) by
# moonforge-imagetool prepare against heif-convert to PNG, best of REPEAT runs each. Without a
# file, a 12-megapixel (4000 x 3000) HEIC is made first. Prints one line per tool, then
# ratio_vs_heif_convert=<ours/theirs>.
#   bench/images/prepare.sh [FILE.heic]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tool=${MOONFORGE_IMAGETOOL:-$root/build/tools/imagetool/moonforge-imagetool}
repeat=${REPEAT:-3}
[[ -x $tool ]] || { echo "no $tool: build first (scripts/test)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

input=${1:-}
if [[ -z $input ]]; then
  "$root/bench/images/make-photos.sh" "$work/src" 1 1 >/dev/null
  vips crop "$work/src/photo-0000.jpg" "$work/photo.png" 0 0 4000 3000
  heif-enc -q 85 -o "$work/photo.heic" "$work/photo.png" >/dev/null 2>&1
  input=$work/photo.heic
fi
cat "$input" >/dev/null

best_ms() { # command...
  local best="" start took r
  for ((r = 0; r < repeat; r++)); do
    start=$(date +%s%N)
    "$@" >/dev/null
    took=$((($(date +%s%N) - start) / 1000000))
    [[ -z $best || $took -lt $best ]] && best=$took
  done
  echo "$best"
}

ours=$(best_ms "$tool" prepare "$input" "$work/ours.png")
theirs=$(best_ms heif-convert "$input" "$work/theirs.png")
size=$(vipsheader "$work/ours.png" | awk '{print $2}')
[[ $size == "$(vipsheader "$work/theirs.png" | awk '{print $2}')" ]] ||
  { echo "the two PNGs differ in size" >&2; exit 1; }
printf '%-30s %6d ms %9d bytes  %s\n' "moonforge-imagetool prepare" "$ours" \
  "$(stat -c %s "$work/ours.png")" "$size"
printf '%-30s %6d ms %9d bytes  %s\n' "heif-convert (PNG)" "$theirs" \
  "$(stat -c %s "$work/theirs.png")" "$size"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio_vs_heif_convert=%.3f\n", a / b }'
