#!/usr/bin/env bash
# Times N upscale pairs through the stand-in service with no model latency, four at a time:
# once through Moonforge's pipeline (the headless driver over the store) and once through the
# service's official JavaScript client doing the same upload/create/poll/download work.
# Prints each wall time, Moonforge's CPU time per pair and peak memory, and last
# ratio_vs_js=<ours/theirs>.
#   bench/pipeline.sh [PAIRS]        (default 200; build first with scripts/test)
# SIZE (default 640x480) sets the photo's pixel size; PREDICT_SECONDS (default 0) how long the
# stand-in's predictions take.
# The driver alone also takes a scale (moonforge-bench-pipeline BASE N PHOTO DIR 4): peak memory
# stays flat as the outputs grow, since downloads stream to disk.
# MOONFORGE_BENCH_WRAP runs the driver under a profiler, e.g. "perf record -g --".
set -euo pipefail
pairs=${1:-200}
root=$(cd "$(dirname "$0")/.." && pwd)
sim=$root/build/tools/replicate-sim/replicate-sim
driver=$root/build/bench/pipeline/moonforge-bench-pipeline
for program in "$sim" "$driver"; do
  [[ -x $program ]] || { echo "no $program: build first (scripts/test)" >&2; exit 1; }
done
for program in node convert curl; do
  command -v "$program" >/dev/null || { echo "$program is needed (scripts/setup)" >&2; exit 1; }
done
[[ -d $root/bench/js/node_modules/replicate ]] || { echo "run scripts/setup for bench/js" >&2; exit 1; }

work=$(mktemp -d)
sim_pid=
cleanup() {
  [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# One photograph of phone-camera proportions, small enough that the work measured is the
# pipeline's and not the scaler's.
convert -size "${SIZE:-640x480}" -seed 7 plasma:fractal "$work/input.png"

coproc SIM { exec "$sim" --predict-seconds "${PREDICT_SECONDS:-0}"; }
sim_pid=$SIM_PID
read -r first <&"${SIM[0]}"
base=${first#listening on }
[[ $base == http://127.0.0.1:* ]] || { echo "the stand-in service did not start: $first" >&2; exit 1; }

ours=$(${MOONFORGE_BENCH_WRAP:-} "$driver" "$base/v1" "$pairs" "$work/input.png" "$work/moonforge")
echo "$ours"
curl -s -X POST "$base/_sim/reset" >/dev/null
theirs=$(cd "$root/bench/js" && node peer.mjs "$base/v1" "$pairs" 4 "$work/input.png" "$work/js")
echo "$theirs"

our_ms=$(sed -n 's/^moonforge_wall_ms=//p' <<<"$ours")
their_ms=$(sed -n 's/^js_wall_ms=//p' <<<"$theirs")
echo "pairs=$pairs concurrency=4"
awk -v a="$our_ms" -v b="$their_ms" 'BEGIN { printf "ratio_vs_js=%.2f\n", a / b }'
