#!/usr/bin/env bash
# The main job: sets up, builds, and starts the host program with the plugin loaded on
# the demo game directory. Console lines come from standard input (a terminal, a pipe)
# or from a script file given with --script; extra arguments go to the host program.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/build"
exec "$top/build/bin/vlhost" --game "$top/build/demo" "$@"
