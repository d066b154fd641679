#!/usr/bin/env bash
# Runs a command with a small disk: a tmpfs of SIZE mounted on a fresh folder and offered to
# tests/wine-run.sh as drive LETTER (KESTREL_EXTRA_DRIVES), unmounted afterwards. Needs root (or
# the right to mount); without it the command runs with KESTREL_SMALL_DISK_MISSING saying why,
# and the scenarios that need the disk skip. KESTREL_SMALL_DISK_DIR names the disk's Linux folder
# (tests/wine-run.sh can also show it as a folder of drive C:, KESTREL_SMALL_DISK_AT; give the
# LETTER "-" then: a disk that is also a drive of its own would be named by that drive's letter).
#   with-small-disk.sh LETTER SIZE COMMAND [ARGS...]     e.g. with-small-disk.sh t 1m wine-run.sh x.exe
set -uo pipefail
letter=$1 size=$2
shift 2
disk=$(mktemp -d /tmp/kestrel-disk.XXXXXX)   # /tmp: the 32-bit bed's chroot sees it
if mount -t tmpfs -o "size=$size,mode=0777" kestrel-small-disk "$disk" 2>"$disk.err"; then
  trap 'umount "$disk"; rmdir "$disk"; rm -f "$disk.err"' EXIT
  if [ "${KESTREL_BED:-wine64}" = wine32 ]; then
    # The 32-bit bed's chroot sees /tmp, but not what is mounted below it: shown there too.
    source "$(dirname "$0")/../../tools/wine32-bed.sh"
    bed32_prepare "" && bed32_show "$disk"
    trap 'bed32_hide "$disk"; umount "$disk"; rmdir "$disk"; rm -f "$disk.err"' EXIT
  fi
  if [ "$letter" != - ]; then
    export KESTREL_EXTRA_DRIVES="${KESTREL_EXTRA_DRIVES:-} $letter=$disk"
    export KESTREL_SMALL_DISK="$letter:"
  else
    export KESTREL_SMALL_DISK="(no drive of its own)"
  fi
  export KESTREL_SMALL_DISK_DIR="$disk"
else
  trap 'rmdir "$disk"; rm -f "$disk.err"' EXIT
  export KESTREL_SMALL_DISK_MISSING="mount -t tmpfs refused: $(tr '\n' ' ' <"$disk.err")"
fi
"$@"
