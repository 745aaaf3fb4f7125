#!/usr/bin/env bash
# Sets up whatever is missing, builds, and starts Orvo CD Ripper under Wine
# with the sample disc image in its drive (the simulation build: its drives
# are the disc images in build/run/discs). With a display it simply runs; on
# a headless machine it runs inside a private X server, rips the sample disc
# to MP3 as a demo (build/run/Ripped), prints the files with their tags and
# saves a screenshot to build/screenshot.png.
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
# Ripped files go to build/run/Ripped until the user picks another folder.
ripped_ini() {
    printf '[Settings]\r\nMP3=1\r\nWAV=0\r\nWMA=0\r\nOutput=%s\\\r\n' "$(winepath -w "$RUN_DIR/Ripped")" > "$RUN_DIR/settings.ini"
}
if [ -n "${DISPLAY:-}" ]; then
    orvo_prepare_prefix
    [ -f "$RUN_DIR/settings.ini" ] || ripped_ini
    wine "$RUN_DIR/OrvoCdRipperSim.exe"
    exit 0
fi

trap orvo_stop_wine EXIT
orvo_start_display 1
orvo_prepare_prefix
orvo_start_wineserver

# No display: a scripted demo. The program rips the sample disc to MP3
# into build/run/Ripped, driven through its own buttons as a user would.
rm -rf "$RUN_DIR/Ripped" "$RUN_DIR/log.txt"
ripped_ini
wine build/win/tests/bench_rip.exe "$RUN_DIR" mp3 "The Orvo Test Band" "Orvo Sample Disc" 2026 3000 \
    > "$RUN_DIR/demo.txt" 2>&1 &
demo=$!
# The window with the disc read and the fields typed, before the rip starts.
for _ in $(seq 1 100); do
    grep -q -a "end thread" "$RUN_DIR/log.txt" 2>/dev/null && break
    sleep 0.1
done
sleep 1
import -window root build/screenshot.png
wait "$demo" || true
# A second look: the disc whose CD-TEXT is Japanese, alone in a drive.
JAPANESE_DIR=build/run-japanese
rm -rf "$JAPANESE_DIR" && mkdir -p "$JAPANESE_DIR/discs"
cp build/win/OrvoCdRipperSim.exe "$JAPANESE_DIR/"
cp "build/win/discs/Orvo Sample Japanese.cue" build/win/discs/Japanese.cdt "$JAPANESE_DIR/discs/"
ln "$RUN_DIR/discs/Orvo Sample Disc.bin" "$JAPANESE_DIR/discs/" 2>/dev/null || cp "$RUN_DIR/discs/Orvo Sample Disc.bin" "$JAPANESE_DIR/discs/"
printf '[Settings]\r\nMusicBrainz=0\r\n' > "$JAPANESE_DIR/settings.ini"
wine "$JAPANESE_DIR/OrvoCdRipperSim.exe" >/dev/null 2>&1 &
for _ in $(seq 1 100); do
    grep -q -a "end thread" "$JAPANESE_DIR/log.txt" 2>/dev/null && break
    sleep 0.1
done
sleep 1
import -window root build/screenshot-japanese.png
echo "screenshots: build/screenshot.png, build/screenshot-japanese.png (a disc with Japanese titles)"
echo "log of the run: $RUN_DIR/log.txt"
echo "the demo rip made:"
find "$RUN_DIR/Ripped" -name '*.mp3' | sort | while read -r f; do
    tags=$(ffprobe -v error -show_entries format_tags=artist,album,date,title,track -of compact=p=0 "$f" 2>/dev/null)
    length=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$f" 2>/dev/null)
    printf '  %s  (%.1f s; %s)\n' "${f#"$RUN_DIR/"}" "$length" "$tags"
done
