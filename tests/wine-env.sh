# Sourced: the Wine programs and the prefix template shared by the test wrappers and tools.
# This machine's kernel may run 64-bit code only, so the tests use Wine's 64-bit loader and a
# 64-bit prefix; the wrappers pick wine64 whenever it is installed.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
export WINEARCH=win64
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine)
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)
export WINE WINESERVER
export KESTREL_WINE_TEMPLATE=${KESTREL_WINE_TEMPLATE:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrel/wine64-template}

# Copies a prefix: everything is copied except the system folder's files, which are hard-linked
# (Wine never writes to them in place; the tests only add files there or replace them).
copy_wine_prefix() {
  local from=$1 to=$2
  mkdir -p "$to"
  (cd "$from" && tar cf - --exclude=./drive_c/windows/system32 .) | (cd "$to" && tar xf -)
  cp -al "$from/drive_c/windows/system32" "$to/drive_c/windows/"
}

# Makes the template prefix once (about 15 s), under a lock so parallel tests wait for it.
ensure_wine_template() {
  local t=$KESTREL_WINE_TEMPLATE
  [ -f "$t/.ready" ] && return 0
  mkdir -p "$(dirname "$t")"
  (
    flock 9
    [ -f "$t/.ready" ] && exit 0
    rm -rf "$t"
    WINEPREFIX="$t" "$WINE" wineboot -i </dev/null >/dev/null 2>&1
    # A virtual desktop: windows close at once without a window manager.
    cat >"$t/desktop.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"
REG
    local win="Z:${t//\//\\}\\desktop.reg"
    WINEPREFIX="$t" "$WINE" regedit /S "$win" </dev/null >/dev/null 2>&1
    WINEPREFIX="$t" "$WINESERVER" -w
    touch "$t/.ready"
  ) 9>"$t.lock"
}
