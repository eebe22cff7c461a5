#!/usr/bin/env bash
# Long fuzzing, outside CI: `scripts/fuzz.sh [SECONDS [TARGET...]]` builds the fuzz tree
# and runs each target (default: all) for SECONDS (default 600) under the sanitizers, one at a time in one process, from a
# scratch copy of its seed corpus. VL_FUZZ_RUNS=N also ends a run after N executions,
# whichever comes first. VL_FUZZ_WORK names the scratch directory, so that two runs of
# this script can share a machine. Findings (crash-*, leak-*, timeout-*) land in the
# scratch directory; the new inputs are then merged into the seed corpus, keeping only
# those that reach new edges (-merge=1). The figures go to <target>.log there.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
shift || true
targets=("$@")
work=${VL_FUZZ_WORK:-$top/build-fuzz/long}
"$top/scripts/build.sh" "$top/build-fuzz" -DVL_WERROR=ON -DVL_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
# The targets run from a copy, so that rebuilding the tree meanwhile does not touch them.
rm -rf "$work/bin" && mkdir -p "$work" && cp -r "$top/build-fuzz/bin" "$work/bin"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for pair in buffer_fuzz:buffer keyvalues_fuzz:keyvalues signature_text_fuzz:signature \
  filter_expression_fuzz:filter path_fuzz:paths keyvalues_roundtrip_fuzz:roundtrip \
  elf_symbols_fuzz:elfsymbols library_image_fuzz:elfsymbols; do
  target=${pair%%:*}
  if [ ${#targets[@]} -gt 0 ] && [[ " ${targets[*]} " != *" $target "* ]]; then continue; fi
  seeds=$top/fuzz/corpus/${pair#*:}
  mkdir -p "$work/$target/corpus" "$work/$target/findings"
  cp -n "$seeds"/* "$work/$target/corpus/" 2>/dev/null || true
  echo "== $target: $seconds s"
  (cd "$work/$target/findings" &&
    "$work/bin/$target" -max_total_time="$seconds" -runs="${VL_FUZZ_RUNS:--1}" -max_len=4096 -timeout=10 \
      -print_final_stats=1 "$work/$target/corpus" >"$work/$target.log" 2>&1) || true
  grep -E '^stat::|^#[0-9]+ *DONE' "$work/$target.log" || tail -5 "$work/$target.log"
  ls "$work/$target/findings" | grep -E '^(crash|leak|timeout|oom)-' || echo "no findings"
  # Edges only (no hit counts, no comparison operands), so that the seeds stay few.
  "$work/bin/$target" -merge=1 -use_counters=0 -use_cmp=0 -use_value_profile=0 "$seeds" "$work/$target/corpus" \
    >>"$work/$target.log" 2>&1
done
