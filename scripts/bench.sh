#!/usr/bin/env bash
# Builds the benchmarks in release mode (build-bench/, RelWithDebInfo: -O2 and NDEBUG, the
# configuration the product ships in, so the figures are those of the shipped code) and
# runs each at full size, pinned to one core, printing every figure as a ratio against its
# yardstick measured in the same run (medians with quartiles). `scripts/bench.sh [core]` pins to core N (default:
# the last core). Figures are noisy on a shared machine: compare the quartiles, and run
# again when they are wide.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
dir="$top/build-bench"
cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j"$(nproc)" --target keyvalues_load_bench utlbuffer_bench filter_bench \
  bot_frame_bench sigscan_bench plugin_load_bench vlsig_bench -- --no-print-directory \
  >"$dir/build.log" 2>&1 || {
  cat "$dir/build.log"
  exit 1
}
core=${1:-$(($(nproc) - 1))}
pin() { taskset -c "$core" "$@"; }

echo "== benchmarks pinned to core $core ($(date -u '+%Y-%m-%d %H:%M UTC'))"
status=0
pin "$dir/bin/keyvalues_load_bench" 20000 21 11 || status=1
pin "$dir/bin/utlbuffer_bench" $((4 << 20)) 31 || status=1
pin "$dir/bin/bot_frame_bench" || status=1
pin "$dir/bin/filter_bench" || status=1
pin "$dir/bin/sigscan_bench" || status=1
pin "$dir/bin/plugin_load_bench" 20000 15 || status=1
pin "$dir/bin/vlsig_bench" || status=1
exit $status
