#!/usr/bin/env bash
# Fails when a file includes a header from a layer above its own, or from a sibling it
# does not build on. The layers, bottom up: the runtime declarations (tier0, vstdlib);
# the general layers (tier1, math); the engine boundary (engine); sigscan; filter and
# bots; plugin. host/ (the stand-ins) sees the bottom layers and the engine boundary
# only. Tests, benchmarks and fuzz targets may include anything.
#
# Usage: check_layers.sh SOURCE_DIR
set -euo pipefail
cd "$1"

# What each folder may include besides its own headers.
declare -A allowed=(
  [tier0]=""
  [vstdlib]="tier0"
  [tier1]="tier0 vstdlib"
  [math]="tier0"
  [engine]="tier0 vstdlib tier1 math"
  [sigscan]="tier0 vstdlib tier1 math engine"
  [filter]="tier0 vstdlib tier1 math engine"
  [bots]="tier0 vstdlib tier1 math engine"
  [plugin]="tier0 vstdlib tier1 math engine sigscan filter bots"
  [host]="tier0 vstdlib tier1 math engine"
  [tools]="tier0 vstdlib tier1 math engine sigscan"
)

status=0
checked=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r -d '' file; do
    checked=$((checked + 1))
    while IFS=: read -r line target; do
      layer=${target%%/*}
      [ "$layer" = "$folder" ] && continue
      case " ${allowed[$folder]} " in
        *" $layer "*) ;;
        *)
          echo "$file:$line: includes \"$target\", a header of $layer/, which $folder/ may not use"
          status=1
          ;;
      esac
    done < <(grep -no '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]*/[^"]*"' "$file" |
             sed 's/^\([0-9]*\):.*"\(.*\)"$/\1:\2/')
  done < <(find "$folder" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
done
if [ "$checked" -eq 0 ]; then
  echo "no source files found under $1"
  exit 1
fi
[ $status -eq 0 ] && echo "$checked files include only headers of their own layer or below"
exit $status
