#!/usr/bin/env bash
# Checks that the source folders depend one way: platform <- core <- settings, tasks <- app.
# A folder may include its own headers and those of the folders below it, never those above.
# Inside platform/ the files stand on each other like floors, in the order of kPlatformFloors:
# a file may include only the headers of the files before it (and its own), so that no circle
# of includes can form.
#   check-layers.sh SOURCE_DIR
set -euo pipefail
cd "$1"
declare -A allowed=(
  [platform]='platform'
  [core]='platform|core'
  [settings]='platform|core|settings'
  [tasks]='platform|core|tasks'
  [app]='platform|core|settings|tasks|app'
)
# Lowest first.
kPlatformFloors=(Errors Handles Environment Registry Resources Log Shell Machine Files Security
                 Folders Com RestartManager SystemDlls)
bad=0
for folder in platform core settings tasks app; do
  while IFS=: read -r file line text; do
    dir=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$text")
    if ! grep -Eqx "${allowed[$folder]}" <<<"$dir"; then
      echo "FAIL: $file:$line includes from $dir/: $text"
      bad=1
    fi
  done < <(grep -HnE '^[[:space:]]*#[[:space:]]*include "[^/"]+/' "$folder"/*.h "$folder"/*.cpp 2>/dev/null || true)
done

declare -A floor=()
for i in "${!kPlatformFloors[@]}"; do floor[${kPlatformFloors[$i]}]=$i; done
for file in platform/*.h platform/*.cpp; do
  base=$(basename "${file%.*}")
  if [ -z "${floor[$base]+x}" ]; then
    echo "FAIL: $file has no floor in kPlatformFloors (tests/check-layers.sh)"
    bad=1
    continue
  fi
  while IFS=: read -r line text; do
    inc=$(sed -E 's/.*#include "platform\/([^"]+)\.h".*/\1/' <<<"$text")
    [ "$inc" = "$base" ] && continue
    if [ -z "${floor[$inc]+x}" ] || [ "${floor[$inc]}" -ge "${floor[$base]}" ]; then
      echo "FAIL: $file:$line includes platform/$inc.h, which does not stand below $base"
      bad=1
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include "platform/' "$file" || true)
done
[ $bad = 0 ] || exit 1
echo "ok: platform <- core <- settings, tasks <- app; platform's files in floors, ${kPlatformFloors[*]}"
