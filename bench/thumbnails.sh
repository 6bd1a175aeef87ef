#!/usr/bin/env bash
# Times, on the same files, 256-pixel thumbnails by moonforge-imagetool, vipsthumbnail and
# ImageMagick's convert -thumbnail (one process per file for each, uncompressed PNG out), and
# header inspection by moonforge-imagetool inspect against vipsheader (one process over all files).
# Prints one line per tool, then inspect_ratio_vs_vipsheader=<ours/theirs> and, last,
# ratio_vs_vips=<ours/vips> for the thumbnails.
#   bench/thumbnails.sh DIR        (photos: bench/images/make-photos.sh DIR 200)
# MOONFORGE_IMAGETOOL overrides the tool's path; REPEAT (default 3) repeats inspection runs.
# PARALLEL=N (default 1) makes the thumbnails N files at a time for every tool, so that N cores
# are busy as in an application that previews on several threads; times are wall-clock totals.
set -euo pipefail
dir=${1:?usage: bench/thumbnails.sh DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${MOONFORGE_IMAGETOOL:-$root/build/tools/imagetool/moonforge-imagetool}
repeat=${REPEAT:-3}
parallel=${PARALLEL:-1}
[[ -x $tool ]] || { echo "no $tool: build first (scripts/test)" >&2; exit 1; }
for program in vipsthumbnail vipsheader convert; do
  command -v "$program" >/dev/null || { echo "$program is needed (scripts/setup)" >&2; exit 1; }
done

shopt -s nullglob nocaseglob
files=("$dir"/*.jpg "$dir"/*.jpeg "$dir"/*.png "$dir"/*.tif "$dir"/*.tiff "$dir"/*.heic)
shopt -u nocaseglob
((${#files[@]})) || { echo "no images in $dir" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# Every tool reads from the page cache, none from the disk.
cat "${files[@]}" >/dev/null

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Runs "$@" on every lane-th file from `first` on, with {in} and {out} substituted.
lane() {
  local first=$1 i args
  shift
  for ((i = first; i < ${#files[@]}; i += parallel)); do
    args=("${@//\{in\}/${files[i]}}")
    args=("${args[@]//\{out\}/$out/t$i.png}")
    "${args[@]}" >/dev/null
  done
}

# Runs "$@" once per file, PARALLEL lanes at a time; prints the total milliseconds.
per_file() {
  local start l pids=()
  start=$(now_ms)
  for ((l = 0; l < parallel; l++)); do
    lane "$l" "$@" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid"; done
  echo $(($(now_ms) - start))
}

# Runs "$@" over all files REPEAT times; prints the best run's milliseconds.
all_files() {
  local best="" start took r
  for ((r = 0; r < repeat; r++)); do
    start=$(now_ms)
    "$@" "${files[@]}" >/dev/null
    took=$(($(now_ms) - start))
    [[ -z $best || $took -lt $best ]] && best=$took
  done
  echo "$best"
}

report() { # name, total ms
  awk -v name="$1" -v ms="$2" -v n="${#files[@]}" \
    'BEGIN { printf "%-28s %4d files %9.1f ms %8.2f ms/file\n", name, n, ms, ms / n }'
}

n=${#files[@]}
# Every tool writes its PNG uncompressed (stored zlib blocks), so the encoder's cost stays
# out of every timing alike.
ours=$(per_file "$tool" thumbnail --max 256 {in} {out})
report "moonforge-imagetool thumbnail" "$ours"
[[ $(ls "$out" | wc -l) -eq $n ]] || { echo "moonforge-imagetool made too few thumbnails" >&2; exit 1; }
rm -f "$out"/*
vips=$(per_file vipsthumbnail {in} -s 256 -o '{out}[compression=0]')
report "vipsthumbnail" "$vips"
rm -f "$out"/*
magick=$(per_file convert {in} -thumbnail 256x256 -define png:compression-level=0 {out})
report "convert -thumbnail" "$magick"

inspect=$(all_files "$tool" inspect)
report "moonforge-imagetool inspect" "$inspect"
header=$(all_files vipsheader)
report "vipsheader" "$header"

awk -v a="$inspect" -v b="$header" 'BEGIN { printf "inspect_ratio_vs_vipsheader=%.3f\n", a / b }'
awk -v a="$ours" -v b="$vips" 'BEGIN { printf "ratio_vs_vips=%.3f\n", a / b }'
