#!/usr/bin/env bash
# The main job: sets up, builds, and starts the host program with the plugin loaded on
# the demo game directory. Console lines come from standard input (a terminal, a pipe)
# or from a script file given with --script; extra arguments go to the host program.
# `--arch x86-64` (first) builds and runs the 64-bit plugin and host instead of the
# 32-bit ones (`--arch x86`, the default).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
arch=x86
if [ "${1:-}" = "--arch" ]; then
  arch=${2:-}
  shift 2 || true
fi
case "$arch" in
  x86) dir="$top/build" ;;
  x86-64) dir="$top/build-x86-64" ;;
  *)
    echo "run.sh: --arch takes x86 or x86-64, not '$arch'" >&2
    exit 2
    ;;
esac
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$dir" -DVL_ARCH=$arch
exec "$dir/bin/vlhost" --game "$dir/demo" "$@"
