#!/usr/bin/env bash
# Sets everything up, builds the installer with the sample payload and runs it on the built-in
# sample in a throwaway Wine prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset test >/dev/null && cmake --build --preset test >/dev/null
exec tests/wine-run.sh build/test/InstaladorHalden.exe
