#!/usr/bin/env bash
# Runs every test: sets up, builds the plain and the sanitizer configuration (warnings
# are errors in both) and runs the whole suite in each with CTest, then builds the fuzz
# targets with clang and replays their seed corpora.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

status=0
run_suite() {
  local dir=$1
  shift
  echo "== $(basename "$dir"): building"
  "$top/scripts/build.sh" "$dir" -DVL_WERROR=ON "$@"
  echo "== $(basename "$dir"): testing"
  (cd "$dir" && ctest --output-on-failure -j"$(nproc)" --timeout 300) || status=1
}

run_suite "$top/build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite "$top/build-sanitize" -DVL_SANITIZE=ON
# The fuzz targets (clang, libFuzzer, sanitizers) replaying their seed corpora.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite "$top/build-fuzz" -DVL_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
exit $status
