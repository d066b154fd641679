#!/usr/bin/env bash
# Sets everything up, builds the installer with the sample payload and runs the product itself
# (build/sample/InstaladorHalden.exe, 32-bit) on the 32-bit Wine bed in a throwaway prefix, laid
# out as on a site: F:\Instalador\ holds the installer and startKestrel.INI, the server's
# S:\Kestrel\ the application. Needs root (the bed's chroot): run as a user, it runs itself
# through sudo.
#  - With a display (DISPLAY set and reachable): the real window, for a person to use.
#  - Without one (a server, CI): a virtual display; "&Instalar" is pressed by the test driver,
#    a picture of the finished window is saved (build/test/demo-window.png), and what the
#    installation did is printed: registry keys, files and their folders, links.
set -euo pipefail
source "$(dirname "$0")/as-root.sh"
cd "$(dirname "$0")/.."
bash tools/setup.sh
echo "demo: building the product and the window driver"
cmake --preset sample >/dev/null && cmake --build --preset sample >/dev/null
cmake --preset test >/dev/null && cmake --build --preset test >/dev/null
# The i686 window driver, with the product copied beside it as it is.
show=build/test/e2e32/show_window.exe
export KESTREL_BED=wine32

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec tests/wine-run.sh "$show" - person
fi

log=$(mktemp)
KESTREL_KEEP_PREFIX=1 tests/e2e/display-run.sh tests/e2e/screenshot.sh "$show" \
  build/test/demo-window.png install | iconv -f WINDOWS-1252 -t UTF-8 | tee "$log"
run=$(sed -n 's/^wine-run: kept //p' "$log")
rm -f "$log"
[ -n "$run" ] || { echo "demo: the run's prefix was not kept"; exit 1; }
trap 'rm -rf "$run"' EXIT
source tests/wine-env.sh
export WINEPREFIX="$run/prefix"
c="$WINEPREFIX/drive_c"

echo; echo "== Registry keys written (HKEY_LOCAL_MACHINE)"
for key in 'SOFTWARE\ODBC\ODBC.INI\Kestrel' 'SOFTWARE\ODBC\ODBC.INI\ODBC Data Sources' \
           'SOFTWARE\ODBC\ODBCINST.INI' 'SOFTWARE\Borland\Database Engine' 'SOFTWARE\Borland\BLW32'; do
  "$WINE" reg query "HKEY_LOCAL_MACHINE\\$key" /s 2>/dev/null | tr -d '\r' | sed '/^$/d' | head -60 || true
done
echo; echo "== Files written, by folder"
find "$c" -type f -newer "$run/drive_f/Instalador/startKestrel.INI" ! -name '*.reg' \
     ! -path '*/AppData/*' ! -path '*/windows/Installer/*' -printf '%h|%f\n' 2>/dev/null |
  sed "s|^$c|C:|" | tr '/' '\\' | sort |
  awk -F'|' '{n[$1]++; if (n[$1] <= 4) l[$1] = l[$1] "  " $2}
             END {for (d in n) print d " (" n[d] " files):" l[d] (n[d] > 4 ? "  ..." : "")}' | sort
echo; echo "== Links"
find "$c" -iname '*.lnk' -newer "$run/drive_f/Instalador/startKestrel.INI" | sed "s|^$c|C:|" | tr '/' '\\'
"$WINESERVER" -k >/dev/null 2>&1 || true
