#!/usr/bin/env bash
# Builds libjpeg-turbo for 32-bit Windows from Debian's source package, into PREFIX.
# Usage: build-libjpeg.sh WORKDIR PREFIX TOOLCHAIN_FILE ARCH [THREADS] (ARCH i686 or x86_64,
# THREADS the compilers' thread model, win32 or posix). Does nothing when PREFIX already holds it.
set -euo pipefail
work=$1 prefix=$2 toolchain=$3 arch=$4 threads=${5:-win32}
[ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/include/jpeglib.h" ] && exit 0
mkdir -p "$work"
cd "$work"
src=$(find . -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
if [ -z "$src" ]; then
  apt-get source --download-only libjpeg-turbo >/dev/null
  dpkg-source -x --skip-patches libjpeg-turbo_*.dsc >/dev/null
  src=$(find . -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
fi
cmake -S "$src" -B build -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DKESTREL_ARCH="$arch" -DKESTREL_THREADS="$threads" -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DWITH_SIMD=0 -DENABLE_SHARED=0 -DENABLE_STATIC=1 \
  -DWITH_TURBOJPEG=0 -DWITH_JAVA=0 -DWITH_ARITH_ENC=0 -DWITH_ARITH_DEC=0 \
  -DCMAKE_C_FLAGS="-ffunction-sections -fdata-sections -DNO_GETENV" >cmake.log
cmake --build build --target jpeg-static >build.log
cmake --install build >install.log 2>&1 || {
  # Installing every target wants the tools too; fall back to the library and its headers.
  mkdir -p "$prefix/lib" "$prefix/include"
  cp build/libjpeg.a "$prefix/lib/"
  cp "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" build/jconfig.h "$prefix/include/"
}
