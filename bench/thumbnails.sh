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
# CONVERT=0 leaves ImageMagick out: it decodes every photo at full size, ten times vips's time.
set -euo pipefail
dir=${1:?usage: bench/thumbnails.sh DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${MOONFORGE_IMAGETOOL:-$root/build/tools/imagetool/moonforge-imagetool}
repeat=${REPEAT:-3}
parallel=${PARALLEL:-1}
with_convert=${CONVERT:-1}
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

# The thumbnail commands, {in} and {out} standing for each file and its output. Every tool writes
# its PNG uncompressed (stored zlib blocks), so the encoder's cost stays out of every timing alike.
names=("moonforge-imagetool thumbnail" "vipsthumbnail")
commands=("$tool thumbnail --max 256 {in} {out}" "vipsthumbnail {in} -s 256 -o {out}[compression=0]")
if ((with_convert)); then
  names+=("convert -thumbnail")
  commands+=("convert {in} -thumbnail 256x256 -define png:compression-level=0 {out}")
fi

# One lane: every lane-th file from `first` on, each tool in turn on the same file, so that a
# change in the machine's load weighs on every tool alike. Writes each tool's summed milliseconds
# to $out/lane-<first>.
lane() {
  local first=$1 i t start args
  local -a sums=()
  for ((i = first; i < ${#files[@]}; i += parallel)); do
    for t in "${!commands[@]}"; do
      read -r -a args <<<"${commands[t]}"
      args=("${args[@]//\{in\}/${files[i]}}")
      args=("${args[@]//\{out\}/$out/t$t-$i.png}")
      start=$(date +%s%N)
      "${args[@]}" >/dev/null
      sums[t]=$((${sums[t]:-0} + ($(date +%s%N) - start) / 1000))
    done
  done
  for t in "${!commands[@]}"; do echo "$((${sums[t]:-0} / 1000))"; done >"$out/lane-$first"
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
# PARALLEL lanes at once; a tool's figure is the time its runs took, summed over the lanes and
# divided by their number: the wall-clock time it would take alone under the same load.
pids=()
for ((l = 0; l < parallel; l++)); do
  lane "$l" &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid"; done
totals=()
for t in "${!commands[@]}"; do
  total=0
  for ((l = 0; l < parallel; l++)); do
    total=$((total + $(sed -n "$((t + 1))p" "$out/lane-$l")))
  done
  totals[t]=$((total / parallel))
  report "${names[t]}" "${totals[t]}"
  made=$(find "$out" -name "t$t-*.png" | wc -l)
  ((made == n)) || { echo "${names[t]} made $made thumbnails of $n" >&2; exit 1; }
done
ours=${totals[0]}
vips=${totals[1]}

inspect=$(all_files "$tool" inspect)
report "moonforge-imagetool inspect" "$inspect"
header=$(all_files vipsheader)
report "vipsheader" "$header"

awk -v a="$inspect" -v b="$header" 'BEGIN { printf "inspect_ratio_vs_vipsheader=%.3f\n", a / b }'
awk -v a="$ours" -v b="$vips" 'BEGIN { printf "ratio_vs_vips=%.3f\n", a / b }'
