#!/usr/bin/env bash
# The simulated game update, end to end: the game library built twice (the normal build,
# and an "updated" one with new functions before and between the known ones, another
# link order, GameSwitchTeam no longer exported, GameHiddenRespawn renamed), then
#   makesig on the first build gives entries that check finds by signature in the second;
#   check of the demo data file against the second names exactly the entries it breaks;
#   update repairs them, and the plugin loads the repaired file into the second build
#   (stripped, so that only signatures can find what is not exported) with every entry
#   located.
# Usage: check_vlsig_update.sh VLSIG VLHOST OLD_GAME_DIR NEW_GAME_DIR DEMO_DATA_FILE MODULE_SUFFIX
set -euo pipefail
vlsig=$1
vlhost=$2
sfx=$6
old=$3/bin/server$sfx.so
new=$4/bin/server$sfx.so
newStripped=$4/bin/server${sfx}_stripped.so
demo=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# The status column of entry $2 in check's table $1 ("<line> <entry> <section> <symbol> <status> ...").
row() { grep -E "^ +[0-9]+  $2 " <<<"$1" || fail "no row for $2 in:"$'\n'"$1"; }
expect_row() { # table, entry, pattern the row must match
  row "$1" "$2" | grep -qE "$3" || fail "row of $2 does not match /$3/:"$'\n'"$(row "$1" "$2")"
}

# 1. makesig on the first build; the functions whose code the update did not change.
unchanged="GameSwitchTeam GameDissolve GameRemoveEntity GameHiddenRespawn GameHiddenTwinA GameHiddenTwinB"
# shellcheck disable=SC2086
"$vlsig" makesig "$old" $unchanged >"$work/entries" || fail "makesig failed for an unchanged function"
[ "$(grep -c '"enabled"	"1"' "$work/entries")" -eq 6 ] || fail "makesig did not print six entries"
{
  printf '"VorlaneSigs"\n{\n\t"default"\n\t{\n\t\t"sigscan"\n\t\t{\n'
  cat "$work/entries"
  printf '\t\t}\n\t}\n}\n'
} >"$work/made.dat"
status=0
table=$("$vlsig" check "$work/made.dat" "$new") || status=$?
[ $status -eq 0 ] || fail "check of the made entries exits $status:"$'\n'"$table"
for name in GameSwitchTeam GameDissolve GameRemoveEntity GameHiddenTwinA GameHiddenTwinB; do
  expect_row "$table" "$name" " ok +(export|symbol table) +unique, at the symbol +1$"
done
# The renamed function: its old symbol is gone, its signature finds the new one.
expect_row "$table" GameHiddenRespawn " stale +signature +unique +1$"
newAddress=$(nm "$new" | awk '$3 == "GameHiddenRespawnNew" { print $1 }')
"$vlsig" check --json "$work/made.dat" "$new" | grep -q "\"sigAddress\": \"0x${newAddress#"${newAddress%%[!0]*}"}\"" ||
  fail "the renamed function's signature is not at GameHiddenRespawnNew (0x$newAddress)"
# Twins up to relocations cannot be told apart: no signature, said so.
status=0
err=$("$vlsig" makesig "$old" GameCommitSuicide 2>&1 >/dev/null) || status=$?
[ $status -eq 1 ] && grep -qE "GameCommitSuicide: no unique signature in its first [0-9]+ bytes \(2 places match them all\)" <<<"$err" ||
  fail "makesig of a function with a twin: status $status, \"$err\""

# 2. check of the demo data file: the second build breaks exactly these entries.
status=0
table=$("$vlsig" check --game "Vorlane Demo" "$demo" "$newStripped") || status=$?
[ $status -eq 1 ] || fail "check against the stripped update exits $status, not 1:"$'\n'"$table"
flagged=$(grep -E '  (BROKEN|stale) ' <<<"$table" | awk '{ print $2 }' | sort | tr '\n' ' ')
[ "$flagged" = "CBaseAnimating::Dissolve CCSPlayer::RoundRespawn CCSPlayer::SwitchTeam CommitSuicide UTIL_Remove " ] ||
  fail "flagged entries: $flagged"$'\n'"$table"
[ "$(grep -c '  BROKEN ' <<<"$table")" -eq 1 ] && expect_row "$table" "CCSPlayer::SwitchTeam" " BROKEN +none " ||
  fail "only SwitchTeam (no longer exported, stale signature) should be broken:"$'\n'"$table"
expect_row "$table" te " ok +export +no signature"

# 3. update against the second build: only the repaired values change.
out=$("$vlsig" update --game "Vorlane Demo" "$demo" "$new" -o "$work/repaired.dat") || true
grep -qF 'repaired CCSPlayer::SwitchTeam (line 18): sig "5589E557565383EC2C" -> "' <<<"$out" || fail "$out"
grep -qF 'repaired UTIL_Remove (line 32)' <<<"$out" || fail "$out"
grep -qF 'repaired CBaseAnimating::Dissolve (line 52)' <<<"$out" || fail "$out"
grep -qF 'not repaired CommitSuicide (line 25): no unique signature' <<<"$out" || fail "$out"
changed=$(diff "$demo" "$work/repaired.dat" | grep -c '^>' || true)
[ "$changed" -eq 6 ] || fail "update changed $changed lines, not 6 (sig and mask of three entries)"
if diff "$demo" "$work/repaired.dat" | grep '^[<>]' | grep -vE '^[<>] '$'\t\t\t\t''"(sig|mask)"'$'\t\t''"[0-9A-Fx?]*"$'; then
  fail "update changed a line other than a sig or a mask"
fi
status=0
table=$("$vlsig" check --game "Vorlane Demo" "$work/repaired.dat" "$newStripped") || status=$?
[ $status -eq 0 ] || fail "the repaired file still has broken entries:"$'\n'"$table"
expect_row "$table" "CCSPlayer::SwitchTeam" " ok +signature +unique +1$"

# 4. The plugin loads the repaired file into the stripped update, fallbacks on.
mkdir -p "$work/game/bin" "$work/game/addons/vorlane"
cp -r "$4/cfg" "$work/game/"
cp "$newStripped" "$work/game/bin/server$sfx.so"
cp "$work/repaired.dat" "$work/game/addons/vorlane/sigscan_info.dat"
log=$(printf 'vl_sigscan\n' | "$vlhost" --game "$work/game" --cmdline -vl_sigscan_fallback)
if grep -q 'SigScan ERROR' <<<"$log"; then fail "the plugin reports:"$'\n'"$(grep 'SigScan ERROR' <<<"$log")"; fi
for name in CCSPlayer::RoundRespawn CCSPlayer::SwitchTeam CommitSuicide UTIL_Remove CBaseAnimating::Dissolve te; do
  grep -qxF "Name: $name" <<<"$log" || fail "the plugin did not locate $name"
done
grep -A8 -xF 'Name: CCSPlayer::SwitchTeam' <<<"$log" | grep -qxF 'Found: signature' ||
  fail "SwitchTeam was not found by its new signature"
echo "vlsig update proof OK"
