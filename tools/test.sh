#!/usr/bin/env bash
# Sets everything up, builds the product and the tests, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset sample >build-sample.log 2>&1 || { cat build-sample.log; exit 1; }
cmake --build --preset sample >>build-sample.log 2>&1 || { cat build-sample.log; exit 1; }
cmake --preset test >build-test.log 2>&1 || { cat build-test.log; exit 1; }
cmake --build --preset test >>build-test.log 2>&1 || { cat build-test.log; exit 1; }
rm -f build-sample.log build-test.log
exec tests/with-xvfb.sh ctest --preset test "$@"
