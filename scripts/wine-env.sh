# Sourced by the run and test scripts: a private Wine prefix under the build
# folder, an X server when there is no display, and one wineserver kept
# alive for the whole run (every Wine start then costs far less).
#   source scripts/wine-env.sh BUILD_DIR

ORVO_BUILD=${1:?usage: source wine-env.sh BUILD_DIR}
export WINEPREFIX="$ORVO_BUILD/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
ORVO_XVFB_PID=

ORVO_GROUPS=

# Starts Xvfb on a free display number unless `force` is 0 and a display exists.
orvo_start_display() {
    local force=${1:-1}
    if [ "$force" = 0 ] && [ -n "${DISPLAY:-}" ]; then return 0; fi
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        ORVO_XVFB_PID="$ORVO_XVFB_PID $!"
        local i
        for i in $(seq 1 100); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            sleep 0.05
        done
        export DISPLAY=":$n"
        return 0
    done
    echo "no free X display number" >&2
    return 1
}

# A group of tests that runs beside the others (ctest -j): a display of its
# own (ORVO_DISPLAY_<GROUP>) and, with `prefix`, a copy of the prepared
# prefix (<prefix>-<GROUP>) with its own wineserver, so that the program's
# single-instance guard and the windows of one group never meet another's.
# scripts/wine-run.sh takes them for a test whose ORVO_GROUP names it.
orvo_start_group() {
    local group=$1 with_prefix=${2:-} main_display=$DISPLAY
    orvo_start_display 1
    export "ORVO_DISPLAY_$group=$DISPLAY"
    export DISPLAY=$main_display
    [ "$with_prefix" = prefix ] || return 0
    local copy="$WINEPREFIX-$group"
    # Copied while no wineserver runs for the prefix (before orvo_start_wineserver).
    if [ ! -f "$copy/.orvo-ready" ] || [ "$WINEPREFIX/.orvo-ready" -nt "$copy/.orvo-ready" ]; then
        rm -rf "$copy"
        cp -a "$WINEPREFIX" "$copy"
        touch "$copy/.orvo-ready"
    fi
    WINEPREFIX=$copy wineserver -p 2>/dev/null || true  # one may be left of a run that was cut short
    local display=ORVO_DISPLAY_$group
    WINEPREFIX=$copy DISPLAY=${!display} wine cmd /c exit >/dev/null 2>&1 </dev/null
    ORVO_GROUPS="$ORVO_GROUPS $group"
}

# Creates the prefix once per build folder.
orvo_prepare_prefix() {
    if [ -f "$WINEPREFIX/.orvo-ready" ]; then orvo_link_cjk_font; return 0; fi
    echo "[wine] creating the Wine prefix in $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    # Without a window manager, managed windows stall each hidden window.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    # A program that crashes ends at once instead of waiting on a crash dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.orvo-ready"
    orvo_link_cjk_font
}

# Japanese, Chinese and Korean letters on the private display: the dialog
# font links to the fonts Windows has for them, which Wine lacks; here they
# are WenQuanYi Zen Hei (fonts-wqy-zenhei). Once per prefix (copies of it
# are made again).
orvo_link_cjk_font() {
    [ -f "$WINEPREFIX/.orvo-fonts" ] && return 0
    local face
    for face in "MS UI Gothic" SimSun PMingLiU Gulim; do
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "WenQuanYi Zen Hei" /f >/dev/null 2>&1
    done
    wineserver -w
    touch "$WINEPREFIX/.orvo-fonts" "$WINEPREFIX/.orvo-ready"
}

# Keeps one wineserver alive and brings Wine's own services up now, with
# their output on /dev/null: started later by a test program, they would
# inherit that program's output pipe and keep CTest waiting for its end.
orvo_start_wineserver() {
    wineserver -p 2>/dev/null || true  # one may be left of a run that was cut short
    wine cmd /c exit >/dev/null 2>&1 </dev/null
}

orvo_stop_wine() {
    local group
    for group in $ORVO_GROUPS; do WINEPREFIX=$WINEPREFIX-$group wineserver -k 2>/dev/null || true; done
    wineserver -k 2>/dev/null || true
    if [ -n "$ORVO_XVFB_PID" ]; then kill $ORVO_XVFB_PID 2>/dev/null || true; fi
}
