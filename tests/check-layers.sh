#!/usr/bin/env bash
# Checks that the source folders depend one way: platform <- core <- settings, tasks <- app.
# A folder may include its own headers and those of the folders below it, never those above.
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
[ $bad = 0 ] || exit 1
echo "ok: platform <- core <- settings, tasks <- app"
