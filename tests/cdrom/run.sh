#!/usr/bin/env bash
# Runs the scenario runner in a Wine prefix of its own where the test
# CD-ROM driver is installed as a kernel service, so that its drives D: and
# E: exist for this run only (the other tests' prefix has no CD drive).
#   run.sh PREFIX_FOLDER DRIVER_SYS SCENARIO_TEST_EXE ARGUMENTS...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
folder=$1 driver=$2; shift 2
mkdir -p "$folder"
source "$here/../../scripts/wine-env.sh" "$folder"
orvo_prepare_prefix
cp "$driver" "$WINEPREFIX/drive_c/windows/system32/drivers/orvocd.sys"
service='HKLM\System\CurrentControlSet\Services\OrvoCdRom'
wine reg add "$service" /v Type /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add "$service" /v Start /t REG_DWORD /d 2 /f >/dev/null 2>&1
wine reg add "$service" /v ErrorControl /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add "$service" /v ImagePath /t REG_EXPAND_SZ /d 'C:\windows\system32\drivers\orvocd.sys' /f >/dev/null 2>&1
for letter in d e; do
    wine reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d cdrom /f >/dev/null 2>&1
    mkdir -p "$WINEPREFIX/cdrom-$letter"
    rm -f "$WINEPREFIX/dosdevices/$letter:" "$WINEPREFIX/dosdevices/$letter::"
    ln -s "../cdrom-$letter" "$WINEPREFIX/dosdevices/$letter:"
done
wineserver -k 2>/dev/null || true
wineserver -w
trap 'wineserver -k 2>/dev/null || true' EXIT
orvo_start_wineserver  # loads the driver with the system's own
"$here/../../scripts/wine-run.sh" "$@"
