#!/usr/bin/env bash
# What each size step saves on the 32-bit product: builds it four ways and prints the weight of
# the executable without its payload and without the uninstaller it carries (itself built the
# same way). Usage: tools/size-steps.sh [WORKDIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/kestrel-size}
payload=32506252
mkdir -p "$work"
variant() {  # name, build type, C/C++ flags, drop unused sections (ON/OFF), label
  local dir="$work/$1"
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw.cmake" \
    -DKESTREL_ARCH=i686 -DKESTREL_PAYLOAD=sample -DCMAKE_BUILD_TYPE="$2" \
    -DCMAKE_C_FLAGS="$3" -DCMAKE_CXX_FLAGS="$3" -DKESTREL_GC_SECTIONS="$4" >"$dir.log" 2>&1
  cmake --build "$dir" --target InstaladorHalden >>"$dir.log" 2>&1
  local size carried
  size=$(stat -c %s "$dir/InstaladorHalden.exe") carried=$(stat -c %s "$dir/DesinstalarKestrel.exe")
  printf '%-44s %8d bytes\n' "$5" $((size - payload - carried))
}
variant o2      ""          "-O2" OFF "-O2, unused sections kept, symbols kept"
variant os      ""          "-Os" OFF "-Os, unused sections kept, symbols kept"
variant os-gc   ""          "-Os" ON  "-Os, unused sections dropped, symbols kept"
variant product MinSizeRel  ""    ON  "-Os, unused sections dropped, stripped"
