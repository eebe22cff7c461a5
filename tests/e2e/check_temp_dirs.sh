#!/usr/bin/env bash
# `check_temp_dirs.sh PROGRAM TEST...`: runs each named test of the test program in a
# process of its own, all in one temporary directory, and fails when anything is left
# behind there.
set -euo pipefail
program=$1
shift
tmp=$(mktemp -d)
trap 'rm -rf "$tmp" "$tmp.log"' EXIT
for test in "$@"; do
  TEST_TMPDIR="$tmp/" "$program" --gtest_filter="$test" >"$tmp.log" 2>&1 || { cat "$tmp.log"; exit 1; }
  # A filter that matches nothing also exits 0: the named test must have run.
  grep -q '^\[  PASSED  \] 1 test' "$tmp.log" || { echo "test $test did not run"; cat "$tmp.log"; exit 1; }
done
left=$(ls -A "$tmp")
if [ -n "$left" ]; then
  echo "left behind in the temporary directory:" $left
  exit 1
fi
