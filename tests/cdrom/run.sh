#!/usr/bin/env bash
# Runs the scenario runner in a Wine prefix of its own where the test
# CD-ROM driver is installed as a kernel service, so that its drives D: and
# E: exist for this run only (the other tests' prefix has no CD drive).
#   run.sh PREFIX_FOLDER DRIVER_SYS SCENARIO_TEST_EXE ARGUMENTS...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
folder=$1 driver=$2; shift 2
# Its prefix is its own already; ORVO_GROUP only gives it a display.
if [ -n "${ORVO_GROUP:-}" ]; then
    display=ORVO_DISPLAY_$ORVO_GROUP
    export DISPLAY=${!display:-$DISPLAY}
    unset ORVO_GROUP
fi
mkdir -p "$folder"
source "$here/../../scripts/wine-env.sh" "$folder"
orvo_prepare_prefix
cp "$driver" "$WINEPREFIX/drive_c/windows/system32/drivers/orvocd.sys"
wine regedit /S "$(winepath -w "$here/orvocd.reg")" >/dev/null 2>&1
for letter in d e; do
    mkdir -p "$WINEPREFIX/cdrom-$letter"
    rm -f "$WINEPREFIX/dosdevices/$letter:" "$WINEPREFIX/dosdevices/$letter::"
    ln -s "../cdrom-$letter" "$WINEPREFIX/dosdevices/$letter:"
done
wineserver -k 2>/dev/null || true
wineserver -w
trap 'wineserver -k 2>/dev/null || true' EXIT
orvo_start_wineserver  # loads the driver with the system's own
"$here/../../scripts/wine-run.sh" "$@"
