# Sourced: the Wine programs and the prefix template of one bed, shared by the test wrappers and
# tools. KESTREL_BED picks the bed:
#   wine64 (default)  Debian's 64-bit Wine, natively: the 64-bit test build and the benchmark
#   wine32            Debian's 32-bit Wine in the i386 chroot of tools/wine32-bed.sh, emulated:
#                     the 32-bit product as a site runs it (process starts ~5x slower)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
KESTREL_BED=${KESTREL_BED:-wine64}
_kestrel_tests=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
_kestrel_cache=${XDG_CACHE_HOME:-$HOME/.cache}/kestrel
case $KESTREL_BED in
  wine64)
    export WINEARCH=win64
    WINE=/usr/lib/wine/wine64
    WINESERVER=/usr/lib/wine/wineserver64
    [ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine)
    [ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)
    # How much longer than on this bed the scenarios' waits may take.
    export KESTREL_TIME_SCALE=${KESTREL_TIME_SCALE:-1}
    ;;
  wine32)
    export WINEARCH=win32
    # Wine's own programs, run inside the chroot (tests/wine32/wine; wineserver is a link to it).
    WINE=$_kestrel_tests/wine32/wine
    WINESERVER=$_kestrel_tests/wine32/wineserver
    export KESTREL_TIME_SCALE=${KESTREL_TIME_SCALE:-5}
    ;;
  *) echo "wine-env: KESTREL_BED must be wine64 or wine32, not '$KESTREL_BED'" >&2; return 1 ;;
esac
export WINE WINESERVER KESTREL_BED
export KESTREL_WINE_TEMPLATE=${KESTREL_WINE_TEMPLATE:-$_kestrel_cache/$KESTREL_BED-template}

# What a reboot loses (the 32-bit bed's binfmt registration and mounts), and the source tree
# shown inside its chroot. Nothing to do on the 64-bit bed.
prepare_wine_bed() {
  [ "$KESTREL_BED" = wine32 ] || return 0
  source "$_kestrel_tests/../tools/wine32-bed.sh"
  bed32_prepare "$_kestrel_tests/.."
}

# Copies a prefix: everything is copied except the system folder's files, which are hard-linked
# (Wine never writes to them in place; the tests only add files there or replace them). Where
# the template lies on another file system than the copy (a /tmp of its own), they are copied.
copy_wine_prefix() {
  local from=$1 to=$2
  mkdir -p "$to"
  (cd "$from" && tar cf - --exclude=./drive_c/windows/system32 .) | (cd "$to" && tar xf -)
  if ! cp -al "$from/drive_c/windows/system32" "$to/drive_c/windows/" 2>/dev/null; then
    rm -rf "$to/drive_c/windows/system32"
    cp -a "$from/drive_c/windows/system32" "$to/drive_c/windows/"
  fi
}

# Makes the template prefix once, under a lock so parallel tests wait for it: about 15 s on the
# 64-bit bed, a minute on the 32-bit one. It is made in /tmp (which the 32-bit bed's chroot
# sees) and moved into place when complete.
ensure_wine_template() {
  local t=$KESTREL_WINE_TEMPLATE
  [ -f "$t/.ready" ] && return 0
  mkdir -p "$(dirname "$t")"
  (
    flock 9
    [ -f "$t/.ready" ] && exit 0
    rm -rf "$t"
    local work
    work=$(mktemp -d /tmp/kestrel-template.XXXXXX)
    WINEPREFIX="$work/prefix" "$WINE" wineboot -i </dev/null >"$work/wineboot.log" 2>&1
    # A virtual desktop: windows close at once without a window manager.
    cat >"$work/prefix/desktop.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"
REG
    local win="Z:${work//\//\\}\\prefix\\desktop.reg"
    WINEPREFIX="$work/prefix" "$WINE" regedit /S "$win" </dev/null >>"$work/wineboot.log" 2>&1
    WINEPREFIX="$work/prefix" "$WINESERVER" -w </dev/null >/dev/null 2>&1
    if [ ! -f "$work/prefix/system.reg" ]; then
      echo "wine-env: making the $KESTREL_BED template prefix failed:" >&2
      cat "$work/wineboot.log" >&2
      rm -rf "$work"
      exit 1
    fi
    mv "$work/prefix" "$t"
    rm -rf "$work"
    touch "$t/.ready"
  ) 9>"$t.lock"
}
