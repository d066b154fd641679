#!/usr/bin/env bash
# Runs one Windows program under Wine in a throwaway prefix copied from a template, with a
# persistent wineserver for its lifetime, and passes its exit code through.
#   wine-run.sh PROGRAM.exe [ARGS...]
# The bed is KESTREL_BED's (tests/wine-env.sh): wine64 (default) or wine32.
# Drives D:, F: and S: are mapped to empty folders beside the prefix ($KESTREL_RUN_DIR/drive_x),
# and any drives of KESTREL_EXTRA_DRIVES.
# Environment: KESTREL_WINE_TEMPLATE (template folder, made on first use),
#              KESTREL_SMALL_DISK_AT (see below),
#              KESTREL_KEEP_PREFIX=1 (keep the run folder and print where it is).
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"

prepare_wine_bed || exit 1
ensure_wine_template || exit 1

# The 32-bit bed's chroot sees the host's /tmp, and only that.
tmp=${TMPDIR:-/tmp}
[ "$KESTREL_BED" = wine64 ] || tmp=/tmp
run=$(mktemp -d "$tmp/kestrel-run.XXXXXX")
export WINEPREFIX="$run/prefix" KESTREL_RUN_DIR="$run"
copy_wine_prefix "$KESTREL_WINE_TEMPLATE" "$WINEPREFIX"
for d in d f s; do
  mkdir -p "$run/drive_$d"
  ln -s "$run/drive_$d" "$WINEPREFIX/dosdevices/$d:"
done
# A test may map more drives: KESTREL_EXTRA_DRIVES="t=/linux/folder ..." (letter=folder).
for drive in ${KESTREL_EXTRA_DRIVES:-}; do
  ln -s "${drive#*=}" "$WINEPREFIX/dosdevices/${drive%%=*}:"
done
# ...and show the small disk of tests/payload/with-small-disk.sh as a folder of drive C: too:
# KESTREL_SMALL_DISK_AT="Kestrel" makes C:\Kestrel that disk (for files whose drive is fixed).
# The disk is mounted there (a bind mount), not linked: Wine shows a link to a folder as one, and
# the installer refuses to write through links.
small_at=
if [ -n "${KESTREL_SMALL_DISK_AT:-}" ] && [ -n "${KESTREL_SMALL_DISK_DIR:-}" ]; then
  small_at="$WINEPREFIX/drive_c/$KESTREL_SMALL_DISK_AT"
  mkdir -p "$small_at"
  mount --bind "$KESTREL_SMALL_DISK_DIR" "$small_at" || { echo "wine-run: cannot mount the small disk at $small_at" >&2; exit 1; }
  if [ "$KESTREL_BED" = wine32 ]; then
    source "$here/../tools/wine32-bed.sh" && bed32_show "$small_at"
  fi
fi

"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$WINE" "$@" </dev/null >"$run/stdout" 2>"$run/stderr"
rc=$?
"$WINESERVER" -k </dev/null >/dev/null 2>&1
"$WINESERVER" -w </dev/null >/dev/null 2>&1
if [ -n "$small_at" ]; then
  [ "$KESTREL_BED" = wine32 ] && bed32_hide "$(cd "$small_at" && pwd -P)"
  umount "$small_at"
fi
cat "$run/stdout"
cat "$run/stderr" >&2
if [ "${KESTREL_KEEP_PREFIX:-0}" = 1 ]; then
  echo "wine-run: kept $run" >&2
else
  rm -rf "$run"
fi
exit $rc
