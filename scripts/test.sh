#!/usr/bin/env bash
# Runs every test, for both architectures (32-bit x86, then x86-64): sets up, builds the
# plain and the sanitizer configuration (warnings are errors in both) and runs the whole
# suite in each with CTest, then builds the fuzz targets with clang and replays their seed
# corpora. The 32-bit trees are build/, build-sanitize/ and build-fuzz/; the 64-bit ones
# carry "-x86-64" in their names.
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

for arch in x86 x86-64; do
  tag=""
  [ "$arch" = x86 ] || tag="-$arch"
  run_suite "$top/build$tag" -DVL_ARCH=$arch
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite "$top/build$tag-sanitize" -DVL_ARCH=$arch -DVL_SANITIZE=ON
  # The fuzz targets (clang, libFuzzer, sanitizers) replaying their seed corpora.
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite "$top/build$tag-fuzz" -DVL_ARCH=$arch -DVL_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
done
exit $status
