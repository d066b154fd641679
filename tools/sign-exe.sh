#!/usr/bin/env bash
# Signs a Windows executable in place with Authenticode (Debian's osslsigncode): a SHA-256
# signature, timestamped when a timestamp server is named. The certificate comes from the
# environment, as the site build passes it on:
#   KESTREL_SIGN_PKCS12                 a PKCS#12 file (.pfx, .p12) with the certificate and key
#   KESTREL_SIGN_CERT, KESTREL_SIGN_KEY PEM files: the certificate (with its chain) and the key
#   KESTREL_SIGN_PASSWORD               the password of the PKCS#12 file or of the key; taken from
#                                       the environment only and handed to osslsigncode on its
#                                       standard input, never on a command line
#   KESTREL_SIGN_TIMESTAMP              an RFC 3161 timestamp server (URL); none: no timestamp
#   sign-exe.sh FILE.exe [DESCRIPTION]
# DESCRIPTION is the program's name in the signature, which the UAC prompt shows ("Instalador
# Kestrel" when not given).
# The signed file replaces FILE.exe only once it is whole; on any failure FILE.exe is removed, so
# that an unsigned file is never taken for a signed one (the next build makes it again).
set -euo pipefail
exe=$1 description=${2:-Instalador Kestrel}
fail() { echo "sign-exe: $*" >&2; rm -f "$exe" "$exe.signed"; exit 1; }

args=(sign -h sha256 -n "$description")
if [ -n "${KESTREL_SIGN_PKCS12:-}" ]; then
  [ -f "$KESTREL_SIGN_PKCS12" ] || fail "KESTREL_SIGN_PKCS12: no file $KESTREL_SIGN_PKCS12"
  args+=(-pkcs12 "$KESTREL_SIGN_PKCS12")
elif [ -n "${KESTREL_SIGN_CERT:-}" ] || [ -n "${KESTREL_SIGN_KEY:-}" ]; then
  [ -f "${KESTREL_SIGN_CERT:-}" ] || fail "KESTREL_SIGN_CERT: no file '${KESTREL_SIGN_CERT:-}'"
  [ -f "${KESTREL_SIGN_KEY:-}" ] || fail "KESTREL_SIGN_KEY: no file '${KESTREL_SIGN_KEY:-}'"
  args+=(-certs "$KESTREL_SIGN_CERT" -key "$KESTREL_SIGN_KEY")
else
  fail "no certificate: set KESTREL_SIGN_PKCS12, or KESTREL_SIGN_CERT and KESTREL_SIGN_KEY"
fi
[ -z "${KESTREL_SIGN_TIMESTAMP:-}" ] || args+=(-ts "$KESTREL_SIGN_TIMESTAMP")
args+=(-in "$exe" -out "$exe.signed")

rm -f "$exe.signed"
if [ -n "${KESTREL_SIGN_PASSWORD:-}" ]; then
  printf '%s' "$KESTREL_SIGN_PASSWORD" | osslsigncode "${args[@]}" -readpass - >"$exe.sign.log" 2>&1 \
    || { cat "$exe.sign.log" >&2; fail "osslsigncode could not sign $exe"; }
else
  osslsigncode "${args[@]}" </dev/null >"$exe.sign.log" 2>&1 \
    || { cat "$exe.sign.log" >&2; fail "osslsigncode could not sign $exe"; }
fi
mv -f "$exe.signed" "$exe"
echo "Signed $exe (Authenticode, SHA-256$([ -n "${KESTREL_SIGN_TIMESTAMP:-}" ] && echo ", timestamp from $KESTREL_SIGN_TIMESTAMP" || echo ", no timestamp"))"
