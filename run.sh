#!/usr/bin/env bash
# Sets up whatever is missing, builds, and starts Orvo CD Ripper under Wine
# with the sample disc image in its drive (the simulation build: its drives
# are the disc images in build/run/discs). With a display it simply runs; on
# a headless machine it runs inside a private X server and saves a
# screenshot to build/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
scripts/build.sh --windows-only

RUN_DIR=build/run
mkdir -p "$RUN_DIR"
cp build/win/OrvoCdRipperSim.exe "$RUN_DIR/"
mkdir -p "$RUN_DIR/discs"
cp build/win/discs/* "$RUN_DIR/discs/"

source scripts/wine-env.sh "$(pwd)/build"
if [ -n "${DISPLAY:-}" ]; then
    orvo_prepare_prefix
    wine "$RUN_DIR/OrvoCdRipperSim.exe"
    exit 0
fi

trap orvo_stop_wine EXIT
orvo_start_display 1
orvo_prepare_prefix
orvo_start_wineserver
wine "$RUN_DIR/OrvoCdRipperSim.exe" &
sleep 4
import -window root build/screenshot.png
echo "screenshot: build/screenshot.png"
echo "log of the run: $RUN_DIR/log.txt"
