#!/usr/bin/env bash
# The install step as an operator uses it: install the build tree into a copy of a game
# directory, then load the installed plugin from there with the host program and use it.
# Usage: check_install.sh BUILD_DIR VLHOST GAME_DIR
set -euo pipefail
build=$1
vlhost=$2
game=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/game/bin"
ln -s "$game/bin/server_i486.so" "$work/game/bin/server_i486.so"
cmake --install "$build" --prefix "$work/game" >/dev/null

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
for file in vorlane_utils.so sigscan_info.dat operator-guide.md; do
  [ -f "$work/game/addons/vorlane/$file" ] || fail "addons/vorlane/$file not installed"
done
if readelf -d "$work/game/addons/vorlane/vorlane_utils.so" | grep -E 'R(UN)?PATH' | grep -v '\[\$ORIGIN\]'; then
  fail "the installed plugin searches a build-machine path"
fi
out=$(printf 'host_addplayer Alice\nvl_spawn 2\nvl_sigscan\n' |
  "$vlhost" --game "$work/game" --plugin "$work/game/addons/vorlane/vorlane_utils.so")
for line in 'Plugin Loaded' 'player 1 respawned' 'Name: CCSPlayer::RoundRespawn'; do
  grep -qxF "$line" <<<"$out" || fail "no line \"$line\" in:"$'\n'"$out"
done
if grep -q 'Fail loading SigScan file' <<<"$out"; then fail "the installed data file was not read"; fi
echo "install OK"
