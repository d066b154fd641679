#!/usr/bin/env bash
# A signed site build, end to end: a certificate made here with openssl (self-signed), a site build
# configured without it (it must say it is unsigned) and then with it as a PKCS#12 file whose
# password comes from the environment only; the built file must carry a SHA-256 Authenticode
# signature that osslsigncode verifies against that certificate, pass the product checks (the
# system DLLs only, the import audit), and install on the 32-bit bed: exit code 0 and every
# payload file written with the vendor file's bytes. The uninstaller is signed as well, before it
# is embedded: the one in the build folder, the one the installer carries and the one the
# installation wrote are the same signed file. The PEM form (certificate + key) is signed and
# verified too, on a copy with the signature removed.
#   signed-build.sh SOURCE_DIR LIBJPEG_PREFIX MARKERS_DIR
# (the product's i686 libjpeg, to skip rebuilding it, and its sample COM DLLs: the run registers
# rows 80 and 81, and an unattended run ends with 5 when regsvr32 fails on them)
set -uo pipefail
src=$(cd "$1" && pwd) jpeg=$2 markers=$3
tmp=$(mktemp -d /tmp/kestrel-signed.XXXXXX)   # /tmp: the 32-bit bed's chroot sees it
trap 'rm -rf "$tmp"' EXIT
out=$tmp/out
fail() { echo "FAIL: $*"; echo "--- last output:"; tail -n 40 "$out"; exit 1; }
: >"$out"

# The certificate: PEM certificate and key, and the same as PKCS#12 with a password.
password='segredo da loja'
openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -subj "/CN=Kestrel teste/O=Tavrin" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$tmp/key.pem" -out "$tmp/cert.pem" >>"$out" 2>&1 \
  || fail "openssl could not make the test certificate"
KESTREL_P12_PASS=$password openssl pkcs12 -export -inkey "$tmp/key.pem" -in "$tmp/cert.pem" \
  -passout env:KESTREL_P12_PASS -out "$tmp/cert.p12" >>"$out" 2>&1 || fail "openssl pkcs12"

# Vendor files: small stand-ins, each with its own bytes.
mkdir -p "$tmp/vendor" "$tmp/build/_deps"
for row in $(seq 1 82); do printf 'vendor file %s\r\n' "$row" >"$tmp/vendor/$row"; done
cp "$markers/marker-msxml5.dll" "$tmp/vendor/80" && cp "$markers/marker-capicom.dll" "$tmp/vendor/81" \
  || fail "the sample build's COM DLLs are missing in $markers"
ln -s "$jpeg" "$tmp/build/_deps/libjpeg-nogetenv"

cd "$src"
unset KESTREL_SIGN_PKCS12 KESTREL_SIGN_CERT KESTREL_SIGN_KEY KESTREL_SIGN_PASSWORD KESTREL_SIGN_TIMESTAMP
cmake --preset site -B "$tmp/build" -DKESTREL_PAYLOAD_DIR="$tmp/vendor" >"$out" 2>&1 \
  || fail "the site build without a certificate did not configure"
grep -q 'InstaladorHalden.exe will be UNSIGNED' "$out" || fail "an unsigned build does not say so"

cmake --preset site -B "$tmp/build" -DKESTREL_PAYLOAD_DIR="$tmp/vendor" \
  -DKESTREL_SIGN_PKCS12="$tmp/cert.p12" >"$out" 2>&1 || fail "the site build with a certificate did not configure"
grep -q 'InstaladorHalden.exe will be signed (SHA-256, no timestamp server named)' "$out" \
  || fail "the signed build does not say so"
KESTREL_SIGN_PASSWORD=$password cmake --build "$tmp/build" -j2 >"$out" 2>&1 || fail "the signed build failed"
exe=$tmp/build/InstaladorHalden.exe uninstaller=$tmp/build/DesinstalarKestrel.exe
grep -q "Signed $exe (Authenticode, SHA-256, no timestamp)" "$out" || fail "no signing step in the build"
grep -q "Signed $uninstaller (Authenticode, SHA-256, no timestamp)" "$out" \
  || fail "no signing step of the uninstaller in the build"
grep -q 'UNSIGNED' "$out" && fail "the signed build says it is unsigned"
grep -rqF "$password" "$tmp/build" --include='*.txt' --include='*.ninja' --include='*.cmake' \
  && fail "the password was written into the build folder"

osslsigncode verify -in "$exe" -CAfile "$tmp/cert.pem" >"$out" 2>&1 || fail "osslsigncode does not accept the signature"
grep -q 'Signature verification: ok' "$out" || fail "no verified signature"
grep -qi 'sha256' "$out" || fail "the signature's digest is not SHA-256"
grep -q 'CN=Kestrel teste' "$out" || fail "signed by another certificate"

# The uninstaller: signed by the same certificate, under its own name, and carried as it is.
osslsigncode verify -in "$uninstaller" -CAfile "$tmp/cert.pem" >"$out" 2>&1 \
  || fail "osslsigncode does not accept the uninstaller's signature"
grep -q 'Signature verification: ok' "$out" || fail "no verified signature on the uninstaller"
grep -q 'CN=Kestrel teste' "$out" || fail "the uninstaller is signed by another certificate"
grep -q 'Desinstalador Kestrel' "$out" || fail "the uninstaller's signature does not name it"
python3 "$src/tests/check-uninstaller.py" "$exe" "$uninstaller" "$src/tasks/UninstallerResource.h" \
  >"$out" 2>&1 || fail "the signed installer does not carry the signed uninstaller"

# The product checks read the signed file.
"$src/tests/check-exe.sh" "$exe" i686 >"$out" 2>&1 || fail "the signed product fails the PE checks"
python3 "$src/tests/audit/import-audit.py" "$exe" "$src/tests/audit/imports.list" >"$out" 2>&1 \
  || fail "the signed product fails the import audit"

# The PEM form, on a copy whose signature is removed; signing without the password fails.
osslsigncode remove-signature -in "$exe" -out "$tmp/pem.exe" >"$out" 2>&1 || fail "remove-signature"
KESTREL_SIGN_CERT=$tmp/cert.pem KESTREL_SIGN_KEY=$tmp/key.pem "$src/tools/sign-exe.sh" "$tmp/pem.exe" >"$out" 2>&1 \
  || fail "sign-exe.sh with PEM files failed"
osslsigncode verify -in "$tmp/pem.exe" -CAfile "$tmp/cert.pem" >"$out" 2>&1 || fail "the PEM signature is not accepted"
osslsigncode remove-signature -in "$tmp/pem.exe" -out "$tmp/nopass.exe" >"$out" 2>&1 || fail "remove-signature"
KESTREL_SIGN_PKCS12=$tmp/cert.p12 "$src/tools/sign-exe.sh" "$tmp/nopass.exe" >"$out" 2>&1 \
  && fail "a PKCS#12 file was opened without its password"
[ -e "$tmp/nopass.exe" ] && fail "a failed signing left the unsigned file in place"

# A scenario on the 32-bit bed: the site laid out on drive G:, an unattended installation.
site=$tmp/site
mkdir -p "$site/Servidor"
cp "$exe" "$site/InstaladorHalden.exe"
printf 'MZ application\r\n' >"$site/Servidor/Kestrel.exe"
printf '[Application]\r\nLocalApp=C:\\Kestrel\\Kestrel.exe\r\nRemoteApp=G:\\Servidor\\Kestrel.exe\r\n[Instalacao]\r\nIPServidor=10.0.0.1\r\nPorta=5432\r\nBancoDados=kestreldb\r\n' \
  >"$site/startKestrel.INI"
KESTREL_BED=wine32 KESTREL_EXTRA_DRIVES="g=$site" KESTREL_KEEP_PREFIX=1 \
  "$src/tests/wine-run.sh" 'G:\InstaladorHalden.exe' /VERYSILENT '/LOG=G:\k.log' >"$out" 2>&1
rc=$?
run=$(sed -n 's/^wine-run: kept //p' "$out" | tail -n 1)
[ -n "$run" ] && trap 'rm -rf "$tmp" "$run"' EXIT
[ $rc = 0 ] || { cat "$site/k.log" >>"$out" 2>/dev/null; fail "the signed product ended with exit code $rc"; }
LC_ALL=C grep -qa 'Fim: c.digo de sa.da 0' "$site/k.log" || fail "the log does not end with exit code 0"
# Every payload file holds its vendor file's bytes: the catalogue's rows, by destination folder.
drive_c=$run/prefix/drive_c
declare -A base=([BdeDir]="Arquivos de Programas/Arquivos Comuns/Borland Shared/BDE"
                 [OdbcDir]="Arquivos de programas/PostgreSQL/psqlODBC/0804/bin"
                 [SystemDir]="windows/system32")
checked=0
while IFS='|' read -r row where name; do
  dest=$(find "$drive_c" -ipath "$drive_c/${base[$where]}/$name" 2>/dev/null | head -n 1)
  [ -n "$dest" ] && cmp -s "$dest" "$tmp/vendor/$row" || fail "payload row $row ($where\\$name) not written with the vendor file's bytes"
  checked=$((checked + 1))
done < <(sed -nE 's/^ *\{ *([0-9]+), *PayloadBase::([A-Za-z]+), *"\\\\([^"]+)".*/\1|\2|\3/p' "$src/tasks/PayloadTable.cpp" | tr '\\' '/')
[ $checked = 82 ] || fail "only $checked payload rows checked"
# The uninstaller the installation wrote, below the 32-bit Windows' program-files folder.
written=$(find "$drive_c" -ipath "$drive_c/Program Files/Tavrin/Kestrel/Desinstalar/DesinstalarKestrel.exe" \
  2>/dev/null | head -n 1)
[ -n "$written" ] || fail "the installation wrote no uninstaller"
cmp -s "$written" "$uninstaller" || fail "the uninstaller written is not the signed one the build made"
osslsigncode verify -in "$written" -CAfile "$tmp/cert.pem" >"$out" 2>&1 \
  || fail "osslsigncode does not accept the signature of the uninstaller written"
grep -q 'Signature verification: ok' "$out" || fail "no verified signature on the uninstaller written"
echo "ok: signed site build (SHA-256, verified against the test certificate), its uninstaller signed before it was embedded, PE checks and import audit on the signed file, installed on the 32-bit bed with the signed uninstaller"
