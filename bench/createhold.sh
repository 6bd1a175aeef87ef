#!/usr/bin/env bash
# Compares the two ways of creating a prediction against the stand-in service, following the
# app's poll schedule (1.0 s, then 0.5 s more per poll up to 5 s): a create held for 5 s
# ("Prefer: wait=5", what Moonforge sends) and an unheld create that is then polled. For each
# prediction length it prints when the prediction had an id (from then on it can be cancelled)
# and when its result was in.
#   bench/createhold.sh        (build first with scripts/test; needs curl and jq)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sim=$root/build/tools/replicate-sim/replicate-sim
[[ -x $sim ]] || { echo "no $sim: build first (scripts/test)" >&2; exit 1; }
for secs in 0.5 2 8 30; do
  coproc SIM { exec "$sim" --predict-seconds "$secs"; }
  read -r first <&"${SIM[0]}"; base=${first#listening on }
  for mode in sync5 async; do
    hdr=(); [[ $mode == sync5 ]] && hdr=(-H "Prefer: wait=5")
    t0=$(date +%s.%N)
    body=$(curl -s -X POST "$base/v1/models/black-forest-labs/flux-schnell/predictions" -H "Authorization: Bearer r8_x" -H "Content-Type: application/json" "${hdr[@]}" -d '{"input":{"prompt":"a fox"}}')
    tid=$(date +%s.%N)
    status=$(jq -r .status <<<"$body"); get=$(jq -r .urls.get <<<"$body")
    delay=1.0; polls=0
    while [[ $status != succeeded && $status != failed ]]; do
      sleep "$delay"; body=$(curl -s "$get" -H "Authorization: Bearer r8_x"); status=$(jq -r .status <<<"$body"); polls=$((polls+1))
      delay=$(awk -v d="$delay" 'BEGIN{d=(d>4.5?4.5:d)+0.5; print d}')
    done
    tend=$(date +%s.%N)
    awk -v s="$secs" -v m="$mode" -v a="$t0" -v b="$tid" -v c="$tend" -v p="$polls" 'BEGIN{printf "predict=%ss %-6s id after %.2fs, result after %.2fs, polls %d\n", s, m, b-a, c-a, p}'
  done
  kill "$SIM_PID"; wait "$SIM_PID" 2>/dev/null || true
done
