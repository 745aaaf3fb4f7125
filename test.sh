#!/usr/bin/env bash
# Sets up whatever is missing, builds, and runs every test: the native
# sanitizer tests of the platform-free code, then the Windows tests under
# Wine inside a private X server.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
scripts/build.sh

echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
native_status=0
(cd build/native && ctest --output-on-failure) || native_status=$?

echo "== Windows tests under Wine"
source scripts/wine-env.sh "$(pwd)/build"
trap orvo_stop_wine EXIT
orvo_start_display 1
orvo_prepare_prefix
orvo_start_wineserver
windows_status=0
rm -rf build/win/tests/fault-rows
(cd build/win && ctest --output-on-failure --timeout 600) || windows_status=$?

echo "== fault matrix"
matrix_status=0
/usr/bin/python3 tools/fault_matrix.py build/win/tests/fault-rows README.md || matrix_status=$?

[ "$native_status" = 0 ] && [ "$windows_status" = 0 ] && [ "$matrix_status" = 0 ]
