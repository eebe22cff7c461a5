#!/usr/bin/env bash
# The install step as an operator uses it. The default install into a copy of a game
# directory writes exactly the plugin, its data file and the guide, and the installed
# plugin loads from there. The "host" component added to it makes a directory the
# installed host program starts on by itself: the README's sessions run there as they
# do in the build tree, and nothing is loaded from the build tree.
# Usage: check_install.sh BUILD_DIR VLHOST GAME_DIR README MODULE_SUFFIX (_i486 or _amd64)
set -euo pipefail
build=$1
vlhost=$2
game=$3
readme=$4
sfx=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# ---- The default install: the plugin in an existing game directory --------------------
mkdir -p "$work/game/bin"
ln -s "$game/bin/server$sfx.so" "$work/game/bin/server$sfx.so"
cmake --install "$build" --prefix "$work/game" >/dev/null
written=$(cd "$work/game" && find . -type f | sort)
expected=$'./addons/vorlane/operator-guide.md\n./addons/vorlane/sigscan_info.dat\n./addons/vorlane/vlsig\n./addons/vorlane/vorlane_utils.so'
[ "$written" = "$expected" ] || fail "the default install wrote:"$'\n'"$written"
out=$(printf 'host_addplayer Alice\nvl_spawn 2\nvl_sigscan\n' |
  "$vlhost" --game "$work/game" --plugin "$work/game/addons/vorlane/vorlane_utils.so")
for line in 'Plugin Loaded' 'player 1 respawned' 'Name: CCSPlayer::RoundRespawn'; do
  grep -qxF "$line" <<<"$out" || fail "no line \"$line\" in:"$'\n'"$out"
done
if grep -q 'Fail loading SigScan file' <<<"$out"; then fail "the installed data file was not read"; fi

# ---- The host component alone has no plugin: the host says so and fails ----------------
cmake --install "$build" --prefix "$work/server" --component host >/dev/null
status=0
err=$("$work/server/host/vlhost" --game "$work/server" </dev/null 2>&1 >/dev/null) || status=$?
[ "$status" -eq 1 ] || fail "the host without a plugin exited with status $status"
[ "$err" = "vlhost: the plugin $work/server/addons/vorlane/vorlane_utils.so did not load" ] ||
  fail "the host without a plugin said: $err"

# ---- Both installed: a server that runs as it is --------------------------------------
cmake --install "$build" --prefix "$work/server" >/dev/null
for file in host/vlhost host/tier0$sfx.so host/vstdlib$sfx.so bin/server$sfx.so cfg/server.cfg cfg/world.cfg \
  addons/vorlane/vorlane_utils.so; do
  [ -f "$work/server/$file" ] || fail "$file not installed"
done
for file in host/vlhost host/tier0$sfx.so host/vstdlib$sfx.so bin/server$sfx.so addons/vorlane/vorlane_utils.so; do
  if readelf -d "$work/server/$file" | grep -E 'R(UN)?PATH' | grep -v '\[\$ORIGIN\]'; then
    fail "the installed $file searches a build-machine path"
  fi
done

count() { if [ -z "$1" ]; then echo 0; else wc -l <<<"$1"; fi; }

# Each README session, its console lines typed into the installed host.
sessions=0
while IFS= read -r -d '' block; do
  sessions=$((sessions + 1))
  command=${block%%$'\n'*}
  format=${command#*\'}
  format=${format%%\'*}
  status=0
  actual=$(cd / && printf "$format" | env -i LD_DEBUG=files LD_DEBUG_OUTPUT="$work/loads" \
    "$work/server/host/vlhost" --game "$work/server" 2>&1) || status=$?
  [ "$status" -eq 0 ] || fail "README session $sessions: the installed host exited with status $status"
  # The essential lines: those before the session's first "..." and after its last (the
  # console part), which must open and end the output.
  expected=$(printf "%s" "$block" | tail -n +2)
  head=$(sed '/^\.\.\.$/,$d' <<<"$expected")
  tail=$(tac <<<"$expected" | sed '/^\.\.\.$/,$d' | tac)
  [ -n "$tail" ] && [ "$(head -n "$(count "$head")" <<<"$actual")" = "$head" ] &&
    [ "$(tail -n "$(count "$tail")" <<<"$actual")" = "$tail" ] ||
    fail "README session $sessions: the installed host printed:"$'\n'"$actual"
  if grep -h "file=" "$work"/loads.* | grep -F "$build"; then
    fail "README session $sessions: the installed host loaded a file of the build tree"
  fi
  rm -f "$work"/loads.*
done < <(awk '/<!-- example-session/ { marked = 1; next }
              marked && /^```/ { if (inside) { printf "%s", text; printf "%c", 0; marked = inside = 0; text = "" }
                                 else inside = 1; next }
              inside { text = text $0 "\n" }' "$readme")
[ "$sessions" -ge 2 ] || fail "found $sessions README sessions, expected the commands and the bots sessions"
echo "install OK"
