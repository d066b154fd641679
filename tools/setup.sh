#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine, both Windows beds
# included (the 32-bit one: tools/wine32-bed.sh); safe to run again (each step checks first).
# Needs root: run as a user, it runs itself again through sudo.
set -euo pipefail
source "$(dirname "$0")/as-root.sh"
cd "$(dirname "$0")/.."

need_update=0

# Source packages (libjpeg-turbo is built for the target from Debian's source).
src=/etc/apt/sources.list.d/debian.sources
if [ -f "$src" ] && ! grep -q '^Types:.*deb-src' "$src"; then
  sed -i 's/^Types: deb$/Types: deb deb-src/' "$src"
  need_update=1
elif [ ! -f "$src" ] && [ -f /etc/apt/sources.list ] && ! grep -q '^deb-src' /etc/apt/sources.list; then
  sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >> /etc/apt/sources.list
  need_update=1
fi

# The product is built for i686 with the win32 thread model (it must load on Windows XP); the
# test programs with the posix one (GoogleTest), for x86_64 (the 64-bit bed: Debian's wine64)
# and i686 (the 32-bit bed: wine32 in an i386 chroot made with debootstrap).
pkgs=(g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32 g++-mingw-w64-i686-posix
      binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
      mingw-w64-common cmake ninja-build make wine wine64 debootstrap
      xvfb x11-utils imagemagick googletest dpkg-dev python3 ca-certificates
      nsis   # nsis: the benchmark's peer (tools/bench.py)
      osslsigncode openssl)  # the Authenticode signature of a site build (cmake/signing.cmake)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ $need_update = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  [ ${#missing[@]} -eq 0 ] || apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The 32-bit bed (about 5 minutes the first time; afterwards a check).
bash tools/wine32-bed.sh setup
