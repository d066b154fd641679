#!/usr/bin/env bash
# The 32-bit Windows bed: Debian 12's 32-bit Wine in an i386 Debian chroot, its code run by
# qemu-user's CPU emulation (the machines this project is built on execute 64-bit code only).
# Everything comes from Debian's archive; the host's own dpkg gets no i386 architecture, and the
# host's 64-bit Wine stays as it is.
#
#   wine32-bed.sh setup       make or check everything (idempotent; ~5 minutes from nothing)
#   wine32-bed.sh check       exit 0 when the bed is ready to run Wine
#
# Sourced (by tests/wine-env.sh), it defines the paths and bed32_prepare, which redoes what a
# reboot loses (the binfmt registration, the mounts) and shows a host folder inside the chroot.
#
# Layout, under ${XDG_CACHE_HOME:-~/.cache}/kestrel/wine32/:
#   qemu-i386   static qemu-user >= 8 (from bookworm-backports; Debian 12's own 7.2 ignores
#               MAP_FIXED_NOREPLACE and makes every Wine start take a minute)
#   root/       the chroot: debootstrap minbase + wine wine32 fonts-wine and the X libraries
# The chroot sees the host's /proc, /sys, /dev and /tmp (Xvfb's socket, the test prefixes) and,
# at the same paths, the source trees whose programs it runs.

KESTREL_CACHE=${KESTREL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrel}
BED32=$KESTREL_CACHE/wine32
BED32_ROOT=$BED32/root
BED32_QEMU=$BED32/qemu-i386
BED32_BINFMT=/proc/sys/fs/binfmt_misc/kestrel-i386

bed32_log() { echo "wine32-bed: $*" >&2; }

# The Debian mirror the host uses.
bed32_mirror() {
  local m
  m=$(sed -n 's/^URIs:[[:space:]]*//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null |
      grep -v security | head -n 1)
  [ -n "$m" ] || m=$(sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\{0,1\}\([^[:space:]]*\).*/\2/p' \
                     /etc/apt/sources.list 2>/dev/null | grep -v security | head -n 1)
  echo "${m:-http://deb.debian.org/debian}"
}

# A qemu-i386 of version 8 or later (default: ours).
bed32_qemu_ok() {
  local qemu=${1:-$BED32_QEMU} v
  [ -x "$qemu" ] || return 1
  v=$("$qemu" --version 2>/dev/null | sed -n 's/.*version \([0-9]*\)\..*/\1/p' | head -n 1)
  [ -n "$v" ] && [ "$v" -ge 8 ]
}

# qemu-user from bookworm-backports, fetched with a private apt state so that the host's
# sources and package database stay untouched; only the one static binary is kept.
bed32_get_qemu() {
  bed32_qemu_ok && return 0
  local t
  t=$(mktemp -d)
  mkdir -p "$t/lists/partial" "$t/cache/archives/partial"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $(bed32_mirror) bookworm-backports main" \
    >"$t/sources.list"
  local opts=(-o "Dir::Etc::SourceList=$t/sources.list" -o "Dir::Etc::SourceParts=$t/none"
              -o "Dir::State::Lists=$t/lists" -o "Dir::Cache=$t/cache" -o "Debug::NoLocking=1"
              -o "APT::Sandbox::User=root" -q)
  bed32_log "fetching qemu-user from bookworm-backports"
  (cd "$t" && apt-get "${opts[@]}" update >"$t/log" 2>&1 &&
   apt-get "${opts[@]}" download qemu-user >>"$t/log" 2>&1) ||
    { cat "$t/log" >&2; rm -rf "$t"; return 1; }
  dpkg-deb -x "$t"/qemu-user_*.deb "$t/x"
  mkdir -p "$BED32"
  install -m 0755 "$t/x/usr/bin/qemu-i386" "$BED32_QEMU.new" && mv "$BED32_QEMU.new" "$BED32_QEMU"
  rm -rf "$t"
  bed32_qemu_ok || { bed32_log "qemu-i386 from backports is older than 8"; return 1; }
}

# i386 ELF programs -> qemu-i386. Flag F opens the interpreter now, so that it also serves
# inside the chroot; P keeps argv[0]. Machine-wide and lost at reboot: checked at every use.
bed32_binfmt() {
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || return 1
  fi
  if [ -e "$BED32_BINFMT" ]; then
    # Registered already (by this or another tree's bed): kept while it works, since taking it
    # away even for a moment would fail the programs that start meanwhile.
    local registered
    registered=$(sed -n 's/^interpreter //p' "$BED32_BINFMT")
    grep -qx enabled "$BED32_BINFMT" && bed32_qemu_ok "$registered" && return 0
    echo -1 >"$BED32_BINFMT"
  fi
  # Another registration for i386 ELF (say a host qemu 7.2) would be tried before ours.
  local other
  for other in /proc/sys/fs/binfmt_misc/qemu-i386 /proc/sys/fs/binfmt_misc/i386; do
    [ -e "$other" ] && echo 0 >"$other"
  done
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":kestrel-i386:M::$magic:$mask:$BED32_QEMU:PF" >/proc/sys/fs/binfmt_misc/register
}

bed32_mounted() { mountpoint -q "$1" 2>/dev/null; }

# Shows a host folder inside the chroot at the same path (once; the mount outlives the call,
# unless bed32_hide ends it).
bed32_show() {
  local dir
  dir=$(cd "$1" && pwd -P) || return 1
  bed32_mounted "$BED32_ROOT$dir" && return 0
  mkdir -p "$BED32_ROOT$dir"
  mount --bind "$dir" "$BED32_ROOT$dir"
}

bed32_hide() {
  umount "$BED32_ROOT$1" 2>/dev/null
}

bed32_mounts() {
  bed32_mounted "$BED32_ROOT/proc" || mount -t proc proc "$BED32_ROOT/proc"
  bed32_mounted "$BED32_ROOT/sys" || mount --rbind /sys "$BED32_ROOT/sys"
  bed32_mounted "$BED32_ROOT/dev" || mount --rbind /dev "$BED32_ROOT/dev"
  # /tmp itself stays no mount point of its own: the test prefixes hard-link the template's
  # system files, which needs one mount. A disk a test mounts below /tmp later is shown in the
  # chroot by bed32_show.
  bed32_mounted "$BED32_ROOT/tmp" || mount --bind /tmp "$BED32_ROOT/tmp"
}

bed32_ready() { [ -f "$BED32_ROOT/.kestrel-ready" ] && bed32_qemu_ok; }

# What a reboot loses, and the source tree the tests run from; under a lock (tests run in
# parallel).
bed32_prepare() {
  local tree=$1
  bed32_ready || { bed32_log "the 32-bit bed is not set up (bash tools/wine32-bed.sh setup)"; return 1; }
  (
    flock 8
    bed32_binfmt && bed32_mounts && { [ -z "$tree" ] || bed32_show "$tree"; }
  ) 8>"$BED32.lock"
}

bed32_chroot() {
  local dir=$BED32_ROOT
  env -u LD_PRELOAD chroot "$dir" "$@"
}

bed32_setup() {
  [ "$(id -u)" = 0 ] || { bed32_log "setup needs root"; return 1; }
  mkdir -p "$BED32"
  bed32_get_qemu || return 1
  bed32_binfmt || { bed32_log "cannot register qemu-i386 with binfmt_misc"; return 1; }
  (
    flock 8
    [ -f "$BED32_ROOT/.kestrel-ready" ] && exit 0
    local started=$SECONDS
    for m in tmp dev sys proc; do
      bed32_mounted "$BED32_ROOT/$m" && umount -l "$BED32_ROOT/$m"
    done
    rm -rf "$BED32_ROOT"
    command -v debootstrap >/dev/null || { bed32_log "debootstrap is missing"; exit 1; }
    bed32_log "debootstrap of an i386 Debian 12 (a few minutes)"
    debootstrap --arch=i386 --variant=minbase bookworm "$BED32_ROOT" "$(bed32_mirror)" \
      >"$BED32/debootstrap.log" 2>&1 || { tail -n 30 "$BED32/debootstrap.log" >&2; exit 1; }
    cp /etc/hosts "$BED32_ROOT/etc/hosts"
    cp /etc/resolv.conf "$BED32_ROOT/etc/resolv.conf" 2>/dev/null || true
    bed32_mounts
    bed32_log "installing wine32 in the chroot"
    bed32_chroot /usr/bin/env DEBIAN_FRONTEND=noninteractive sh -c \
      'apt-get update -q && apt-get install -y -q --no-install-recommends wine wine32 fonts-wine \
         libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3 libxinerama1 libxcomposite1 \
         libxxf86vm1 && apt-get clean' >"$BED32/apt.log" 2>&1 ||
      { tail -n 30 "$BED32/apt.log" >&2; exit 1; }
    touch "$BED32_ROOT/.kestrel-ready"
    bed32_log "ready in $((SECONDS - started)) s"
  ) 8>"$BED32.lock"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  case ${1:-} in
    setup) bed32_setup ;;
    check) bed32_ready && bed32_binfmt ;;
    *) echo "usage: $0 setup|check" >&2; exit 2 ;;
  esac
fi
