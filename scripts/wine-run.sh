#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's settings; CTest's
# emulator for the cross-built test programs. WINEPREFIX and DISPLAY come
# from the caller (scripts/wine-env.sh).
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
exec wine "$@"
