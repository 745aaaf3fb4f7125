#!/usr/bin/env bash
# Benchmarks, each printed with its baseline and the ratio to it:
#  - reading a 40-minute disc image, against real time (target: at least 500x);
#  - encoding 10 minutes of the sample music to WMA v2 at 128 kb/s in the
#    program (under Wine), against the native ffmpeg command line encoding
#    the same PCM with the same codec and bit rate (target: at most 1.10x).
# Run after ./test.sh (or scripts/build.sh) has built everything.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
WORK=build/bench
rm -rf "$WORK"; mkdir -p "$WORK/discs"
cp build/win/tests/bench_cdlib.exe "$WORK/"

# 40 minutes of the sample music, as one BINARY disc image of four tracks.
sample="build/win/discs/Orvo Sample Disc.bin"
: > "$WORK/music.raw"
while [ "$(stat -c %s "$WORK/music.raw")" -lt $((176400 * 600)) ]; do cat "$sample" >> "$WORK/music.raw"; done
head -c $((176400 * 600)) "$WORK/music.raw" > "$WORK/ten.raw"
for i in 1 2 3 4; do cat "$WORK/ten.raw"; done > "$WORK/discs/long.bin"
{
    echo 'FILE long.bin BINARY'
    for i in 1 2 3 4; do printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:00:00\n' "$i" $(((i - 1) * 10)); done
} > "$WORK/discs/long.cue"

source scripts/wine-env.sh "$ROOT/build"
trap orvo_stop_wine EXIT
orvo_start_display 1
orvo_prepare_prefix
orvo_start_wineserver

best() {  # best of three runs of a command printing "name value" lines; prints the line named $1
    local name=$1; shift
    local b=""
    for _ in 1 2 3; do
        local v; v=$("$@" | tr -d '\r' | awk -v n="$name" '$1 == n {print $2}')
        if [ -z "$b" ] || awk -v a="$v" -v b="$b" 'BEGIN{exit !(a < b)}'; then b=$v; fi
    done
    echo "$b"
}

read_wall=$(best read_wall_seconds wine "$WORK/bench_cdlib.exe" read)
awk -v w="$read_wall" 'BEGIN {
    printf "image reading: 2400.0 s of audio in %.2f s = %.0fx real time (baseline: real time; target >= 500x)\n", w, 2400 / w }'

wma_ours=$(best wma_wall_seconds wine "$WORK/bench_cdlib.exe" wma "$(winepath -w "$WORK/ten.raw")" "$(winepath -w "$WORK/ours.wma")")
ffmpeg_run() {
    local s e
    s=$(date +%s.%N)
    ffmpeg -v error -y -f s16le -ar 44100 -ac 2 -i "$WORK/ten.raw" -c:a wmav2 -b:a 128k "$WORK/native.wma"
    e=$(date +%s.%N)
    echo "native_wall_seconds $(awk -v s="$s" -v e="$e" 'BEGIN{print e - s}')"
}
wma_native=$(best native_wall_seconds ffmpeg_run)
awk -v o="$wma_ours" -v n="$wma_native" 'BEGIN {
    printf "WMA encoding of 600 s: %.2f s in the program vs %.2f s native ffmpeg = %.2fx (baseline: ffmpeg %s; target <= 1.10x)\n", o, n, o / n, "5.1 command line" }'
