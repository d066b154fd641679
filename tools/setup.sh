#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine. Run as root; safe to
# run again (each step checks first).
set -euo pipefail

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

# The product is built for i686; the tests are built for x86_64 and run by Wine's 64-bit loader,
# which works also where the kernel runs 64-bit code only (no wine32 needed).
pkgs=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix
      binutils-mingw-w64-x86-64 mingw-w64-common cmake ninja-build make wine wine64
      xvfb x11-utils imagemagick googletest dpkg-dev python3 ca-certificates
      nsis)  # nsis: the benchmark's peer (tools/bench.py)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ $need_update = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  [ ${#missing[@]} -eq 0 ] || apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
