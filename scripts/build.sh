#!/usr/bin/env bash
# Configures and builds one build tree: `scripts/build.sh DIR [cmake options...]`.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)" -- --no-print-directory >"$dir/build.log" 2>&1 || {
  cat "$dir/build.log"
  echo "build failed in $dir" >&2
  exit 1
}
