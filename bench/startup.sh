#!/usr/bin/env bash
# Times Moonforge from exec to its main window's first painted frame: five runs, median and worst.
# Uses the desktop's display when there is one, else a virtual X server.
#   bench/startup.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build_dir=${MOONFORGE_BUILD_DIR:-build}
if [[ ! -f $build_dir/build.ninja ]]; then
  scripts/setup
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build_dir" --target bench_startup >/dev/null
bench=$build_dir/bench/startup/bench_startup
if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
  "$bench" "${1:-5}"
else
  xvfb-run -a -s "-screen 0 1920x1080x24" "$bench" "${1:-5}"
fi
