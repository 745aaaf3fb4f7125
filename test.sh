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
# Small volumes that really fill up, for the full-disk cases: one for the
# output folder, one for the program's own folder (where wav.tmp goes).
# Mounting needs root; without them those cases are skipped and say so.
small_volume() {  # FOLDER KIB
    mkdir -p "$1"
    mountpoint -q "$1" && umount "$1"
    mount -t tmpfs -o "size=${2}k" tmpfs "$1" 2>/dev/null || { rmdir "$1"; echo "note: no small volume at $1 (not root?)"; }
}
sim_kib=$(( $(stat -c %s build/win/OrvoCdRipperSim.exe) / 1024 ))
small_volume build/win/tests/small-out 256
small_volume build/win/tests/small-program $((sim_kib + 6400))  # a 30-second disc and 1 MiB
trap 'orvo_stop_wine; sleep 1; umount build/win/tests/small-out build/win/tests/small-program 2>/dev/null || true' EXIT
windows_status=0
rm -rf build/win/tests/fault-rows
(cd build/win && ctest --output-on-failure --timeout 600) || windows_status=$?

echo "== fault matrix"
matrix_status=0
/usr/bin/python3 tools/fault_matrix.py build/win/tests/fault-rows README.md || matrix_status=$?

[ "$native_status" = 0 ] && [ "$windows_status" = 0 ] && [ "$matrix_status" = 0 ]
