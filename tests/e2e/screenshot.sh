#!/usr/bin/env bash
# Takes a picture of the installer's window under X (ImageMagick import) and checks the pixels
# that prove its layout: white background, the status panel's colour, the banner in the top-left
# strip cut at 60 rows, and not one pixel of the colour key RGB(0,128,128).
#   screenshot.sh SHOW_WINDOW.exe [OUT.png [install]]
# Needs DISPLAY. With OUT.png the window's picture is kept there (the README's screenshot).
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
show=$1 out=${2:-} mode=${3:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-shot.XXXXXX")
trap 'touch "$work/result.done"; rm -rf "$work"' EXIT
result="$work/result"
"$here/../wine-run.sh" "$show" "Z:${result//\//\\}" $mode >"$work/log" 2>&1 &
runner=$!
for _ in $(seq 1200); do [ -s "$result" ] && break; kill -0 $runner 2>/dev/null || break; sleep 0.1; done
[ -s "$result" ] || { echo "FAIL: the window did not come up"; cat "$work/log"; exit 1; }
read -r left top right bottom cx cy pr pg pb status <"$result"
import -window root "$work/screen.png"
touch "$result.done"
wait $runner
rc=$?

fail=0
pixel() {  # client x, y -> "r,g,b"
  convert "$work/screen.png" -format "%[fx:int(255*p{$((cx + $1)),$((cy + $2))}.r)],%[fx:int(255*p{$((cx + $1)),$((cy + $2))}.g)],%[fx:int(255*p{$((cx + $1)),$((cy + $2))}.b)]" info:
}
expect() {  # what, client x, y, test on r g b
  local what=$1 x=$2 y=$3 cond=$4 rgb r g b
  rgb=$(pixel "$x" "$y"); IFS=, read -r r g b <<<"$rgb"
  if ! eval "$cond"; then echo "FAIL: $what at client ($x,$y) is rgb($rgb)"; fail=1; fi
}
expect "white background"        250 20  '[ $r = 255 ] && [ $g = 255 ] && [ $b = 255 ]'
expect "white gap above buttons" 100 190 '[ $r = 255 ] && [ $g = 255 ] && [ $b = 255 ]'
expect "status panel colour"     200 156 "[ \$r = $pr ] && [ \$g = $pg ] && [ \$b = $pb ]"
expect "banner in the strip"     12  40  '[ $r -gt 90 ] && [ $g -lt 70 ] && [ $b -lt 70 ]'
expect "banner cut at 60 rows"   150 67  '! { [ $b -gt 120 ] && [ $r -lt 60 ]; }'
width=$((right - left)) height=$((bottom - top))
keyed=$(convert "$work/screen.png" -crop "${width}x${height}+${left}+${top}" +repage txt:- |
        grep -ci '#008080' || true)
[ "$keyed" = 0 ] || { echo "FAIL: $keyed pixels in the colour key"; fail=1; }
[ "$width" = 459 ] && [ "$height" = 246 ] || { echo "FAIL: window is ${width}x${height}"; fail=1; }
[ $rc = 0 ] || { echo "FAIL: the installer ended with $rc"; cat "$work/log"; fail=1; }

if [ -n "$out" ]; then
  convert "$work/screen.png" -crop "${width}x${height}+${left}+${top}" +repage "$out"
  echo "window picture: $out (status: $status)"
fi
grep -a '^wine-run: kept' "$work/log" || true
[ $fail = 0 ] && echo "ok: window ${width}x${height} at $left,$top; layout pixels as expected"
exit $fail
