#!/usr/bin/env bash
# Line and branch coverage of the product's folders: builds the tree build-coverage with
# gcc's coverage instrumentation (unoptimised, so lines map one to one), runs the whole
# CTest suite there (unit and end-to-end tests; the plugin loaded by dlopen writes its
# counts when it is closed), and prints one row per folder. Installs gcovr when missing.
# Usage: scripts/coverage.sh [extra ctest arguments...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$top/build-coverage
"$top/scripts/setup.sh"
if ! command -v gcovr >/dev/null; then
  echo "coverage: installing gcovr"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  apt-get install -y -qq gcovr >/dev/null
fi

"$top/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage
find "$dir" -name '*.gcda' -delete
# The symbol check is left out: the instrumentation exports the coverage runtime's symbols.
(cd "$dir" && ctest -j"$(nproc)" --timeout 600 -E PluginExportsOnlyItsInterfaces "$@" >"$dir/ctest.log" 2>&1) || {
  tail -20 "$dir/ctest.log"
  echo "coverage: some tests failed (figures below still count what ran)" >&2
}

# The product's folders only: not the stand-ins, the tests, the benchmarks or the fuzzers.
gcovr -r "$top" "$dir" --json-summary "$dir/coverage.json" --exclude-throw-branches \
  --exclude-unreachable-branches -e "$top/host/" -e "$top/tests/" -e "$top/bench/" -e "$top/fuzz/" \
  -e "$dir/" >/dev/null
python3 - "$dir/coverage.json" <<'PY'
import json, sys
from collections import defaultdict
totals = defaultdict(lambda: [0, 0, 0, 0])  # lines covered, lines, branches covered, branches
for f in json.load(open(sys.argv[1]))["files"]:
    folder = f["filename"].split("/")[0]
    t = totals[folder]
    t[0] += f["line_covered"]; t[1] += f["line_total"]
    t[2] += f["branch_covered"]; t[3] += f["branch_total"]
def pct(a, b):
    return "%5.1f%%" % (100.0 * a / b) if b else "    -"
print("%-10s %8s %14s %8s %14s" % ("folder", "lines", "", "branches", ""))
for folder in sorted(totals):
    t = totals[folder]
    print("%-10s %8s %6d/%-7d %8s %6d/%-7d" % (folder + "/", pct(t[0], t[1]), t[0], t[1], pct(t[2], t[3]), t[2], t[3]))
PY
