#!/usr/bin/env bash
# Sets everything up (both Windows beds), builds the product and the tests, and runs every test:
# the unit tests and the end-to-end scenarios of the 64-bit test build on the 64-bit bed
# (wine64.*), the end-to-end scenarios of the product itself on the 32-bit bed (wine32.*), and
# the checks of the product file (executable.*). Arguments go to ctest (e.g. -L wine32).
# Needs root (packages, the 32-bit bed's chroot): run as a user, it runs itself through sudo.
set -euo pipefail
source "$(dirname "$0")/as-root.sh"
cd "$(dirname "$0")/.."
step() { echo "== $1 ($(( SECONDS - t0 )) s)"; t0=$SECONDS; }
t0=$SECONDS
bash tools/setup.sh
step "set-up done"
cmake --preset sample >build-sample.log 2>&1 || { cat build-sample.log; exit 1; }
cmake --build --preset sample >>build-sample.log 2>&1 || { cat build-sample.log; exit 1; }
cmake --preset test >build-test.log 2>&1 || { cat build-test.log; exit 1; }
cmake --build --preset test >>build-test.log 2>&1 || { cat build-test.log; exit 1; }
rm -f build-sample.log build-test.log
step "builds done"
rc=0
tests/with-xvfb.sh ctest --preset test "$@" || rc=$?
step "tests done"
# The 32-bit bed showed this tree inside its chroot; a clone that goes away takes no mount along.
source tools/wine32-bed.sh && bed32_hide "$(pwd -P)"
exit $rc
