#!/usr/bin/env bash
# Sets up whatever is missing, builds, and runs every test: the native
# sanitizer tests of the platform-free code, then the Windows tests under
# Wine inside a private X server.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
scripts/build.sh

echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
status=0
(cd build/native && ctest --output-on-failure -j2) || status=1

echo "== Windows tests under Wine"
source scripts/wine-env.sh "$(pwd)/build"
trap 'orvo_stop_wine; sleep 1; umount build/win/tests/small-out build/win/tests/small-program 2>/dev/null || true' EXIT
orvo_start_display 1
orvo_prepare_prefix
# The window and device tests run beside the others, each group with a
# display (and the window group a prefix) of its own.
orvo_start_group WINDOW prefix
orvo_start_group DEVICE
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
rm -rf build/win/tests/fault-rows
(cd build/win && ctest --output-on-failure --timeout 600 -j3) || status=1

echo "== fault matrix"
/usr/bin/python3 tools/fault_matrix.py build/win/tests/fault-rows README.md || status=1
exit $status
