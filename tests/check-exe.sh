#!/usr/bin/env bash
# Checks a built installer: a Windows GUI PE of the expected machine whose DLL imports are all
# the system's own (no MinGW runtime DLL may be needed beside it).
#   check-exe.sh FILE.exe i686|x86_64
set -euo pipefail
exe=$1 arch=$2
[ -f "$exe" ] || { echo "FAIL: $exe not built"; exit 1; }
dump=$(${arch}-w64-mingw32-objdump -p "$exe")
case $arch in
  i686)   want=pei-i386 ;;
  x86_64) want=pei-x86-64 ;;
esac
grep -q "file format $want" <<<"$dump" || { echo "FAIL: $exe is not $want"; exit 1; }
grep -Eq '^Subsystem[[:space:]]+0*2[[:space:]]' <<<"$dump" || { echo "FAIL: not a GUI program"; exit 1; }
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|msvcrt|shlwapi|version)\.dll$'
bad=0
while read -r dll; do
  if ! grep -Eiq "$allowed" <<<"$dll"; then echo "FAIL: imports $dll"; bad=1; fi
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
[ $bad = 0 ] || exit 1
echo "ok: $exe ($want, GUI, imports: $(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr '\n' ' '))"
