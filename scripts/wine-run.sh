#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's settings; CTest's
# emulator for the cross-built test programs. WINEPREFIX and DISPLAY come
# from the caller (scripts/wine-env.sh).
# A test of a group that runs beside the others (ORVO_GROUP, see
# orvo_start_group in wine-env.sh) takes that group's display and prefix.
if [ -n "${ORVO_GROUP:-}" ]; then
    display=ORVO_DISPLAY_$ORVO_GROUP
    export DISPLAY=${!display:-$DISPLAY} WINEPREFIX=$WINEPREFIX-$ORVO_GROUP
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
exec wine "$@"
