#!/usr/bin/env bash
# The whole window during a run against the headless pipeline driver: N upscale pairs (default
# 200) through one stand-in service with no model latency, the same photo, model, scale and
# concurrency, the window's job list scrolling all the while. The two run alternately ROUNDS
# times (default 3, each in a fresh folder); prints every wall time, the medians, the window's
# worst GUI-thread stall and last ratio_window_vs_headless=<window median / headless median>.
#   bench/window.sh [PAIRS]        (build first with scripts/test)
# SIZE (default 640x480) sets the photo's pixel size; the window is offscreen unless
# QT_QPA_PLATFORM says otherwise.
set -euo pipefail
pairs=${1:-200}
rounds=${ROUNDS:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MOONFORGE_BUILD_DIR:-$root/build}
sim=$build/tools/replicate-sim/replicate-sim
headless=$build/bench/pipeline/moonforge-bench-pipeline
window=$build/bench/window/moonforge-bench-window
for program in "$sim" "$headless" "$window"; do
  [[ -x $program ]] || { echo "no $program: build first (scripts/test)" >&2; exit 1; }
done
command -v convert >/dev/null || { echo "convert is needed (scripts/setup)" >&2; exit 1; }
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

work=$(mktemp -d)
sim_pid=
cleanup() {
  [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

convert -size "${SIZE:-640x480}" -seed 7 plasma:fractal "$work/input.png"
coproc SIM { exec "$sim" --predict-seconds 0; }
sim_pid=$SIM_PID
read -r first <&"${SIM[0]}"
base=${first#listening on }
[[ $base == http://127.0.0.1:* ]] || { echo "the stand-in service did not start: $first" >&2; exit 1; }

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
headless_ms=()
window_ms=()
stalls=()
for round in $(seq "$rounds"); do
  out=$("$headless" "$base/v1" "$pairs" "$work/input.png" "$work/headless-$round")
  headless_ms+=("$(sed -n 's/^moonforge_wall_ms=//p' <<<"$out")")
  echo "round $round headless: $(tr '\n' ' ' <<<"$out")"
  curl -s -X POST "$base/_sim/reset" >/dev/null
  out=$("$window" "$base/v1" "$pairs" "$work/input.png" "$work/window-$round")
  window_ms+=("$(sed -n 's/^window_wall_ms=//p' <<<"$out")")
  stalls+=("$(sed -n 's/^window_worst_gui_stall_ms=//p' <<<"$out")")
  echo "round $round window:   $(tr '\n' ' ' <<<"$out")"
  curl -s -X POST "$base/_sim/reset" >/dev/null
  rm -rf "$work/headless-$round" "$work/window-$round"
done

h=$(printf '%s\n' "${headless_ms[@]}" | median)
w=$(printf '%s\n' "${window_ms[@]}" | median)
worst=$(printf '%s\n' "${stalls[@]}" | sort -n | tail -1)
echo "pairs=$pairs rounds=$rounds concurrency=4"
echo "headless_median_ms=$h window_median_ms=$w worst_gui_stall_ms=$worst"
awk -v a="$w" -v b="$h" 'BEGIN { printf "ratio_window_vs_headless=%.3f\n", a / b }'
