#!/usr/bin/env bash
# Configures a site build in a throwaway build folder: with an incomplete vendor folder it must
# fail and name exactly the missing rows; once complete it must succeed, print the manifest, write
# it beside the executable and warn about sizes that differ from the catalogue.
#   site-build.sh SOURCE_DIR LIBJPEG_PREFIX   (the product's i686 libjpeg, to skip rebuilding it)
set -uo pipefail
src=$1 jpeg=$2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-site.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; echo "--- cmake output:"; cat "$tmp/out"; exit 1; }

mkdir -p "$tmp/vendor" "$tmp/build/_deps"
ln -s "$jpeg" "$tmp/build/_deps/libjpeg-nogetenv"
for row in $(seq 1 82); do
  case $row in 7|80) ;; 81) mkdir "$tmp/vendor/$row" ;; *) printf 'vendor %s' "$row" >"$tmp/vendor/$row" ;; esac
done
printf '%113107s' '' >"$tmp/vendor/1"   # row 1 of the catalogue's size: no warning for it

cd "$src"
configure() { cmake --preset site -B "$tmp/build" -DKESTREL_PAYLOAD_DIR="$tmp/vendor" >"$tmp/out" 2>&1; }

configure && fail "an incomplete folder was accepted"
grep -q "3 of the 82 vendor files are missing" "$tmp/out" || fail "no count of missing rows"
listed=$(grep -E '^ +[0-9]+ \\' "$tmp/out" | sed 's/^ *//')
[ "$listed" = $'7 \\SQLLNK32.HLP\n80 \\msxml5.dll\n81 \\capicom.dll' ] \
  || fail "the missing rows listed are: $listed"

rmdir "$tmp/vendor/81"
for row in 7 80 81; do printf 'vendor %s' "$row" >"$tmp/vendor/$row"; done
configure || fail "a complete folder was refused"
manifest="$tmp/build/InstaladorHalden.payload.txt"
[ -f "$manifest" ] || fail "no manifest beside the executable"
[ "$(grep -cE '^[0-9]+	' "$manifest")" = 82 ] || fail "the manifest does not list 82 rows"
sha=$(printf 'vendor 80' | sha256sum | cut -d' ' -f1)
grep -qxF "80	\\msxml5.dll	9	$sha" "$manifest" || fail "row 80 wrong in the manifest"
grep -qF "80	\\msxml5.dll	9	$sha" "$tmp/out" || fail "the manifest was not printed"
grep -q '81 vendor files differ in size' "$tmp/out" || fail "no size warning"
grep -qE '^ +80 \\msxml5\.dll: 9 bytes, catalogue 1425912$' "$tmp/out" || fail "no size warning for row 80"
grep -qF ' 1 \BDEADMIN.HLP:' "$tmp/out" && fail "a size warning for a row of the right size"
grep -q 'SAMPLE\|Sample payload' "$tmp/out" && fail "the site build mentions the sample payload"
echo "ok: site build refuses an incomplete folder and reports a complete one"
