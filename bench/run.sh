#!/usr/bin/env bash
# Benchmarks, each printed with its baseline and the ratio to it:
#  - reading a 40-minute disc image, against real time (target: at least 500x);
#  - encoding 10 minutes of the sample music to WMA v2 at 128 kb/s in the
#    program (under Wine), against the native ffmpeg command line encoding
#    the same PCM with the same codec and bit rate (target: at most 1.10x);
#  - ripping the 40-minute disc to MP3 in the program, against LAME's own
#    command-line encoder (same Debian source, same defaults) encoding the
#    same four WAV files one after another under the same Wine (target: at
#    most 0.65x on two cores: tracks are encoded on every core);
#  - ripping it to WAV, against copying the same bytes (target: at most 1.5x);
#  - ripping it to FLAC in the program, against the flac command-line
#    encoder built from the same Debian source, at the same level 5, on the
#    same four WAV files one after another under the same Wine (targets: at
#    most 1.10x the time, the files' total size within 1%);
#  - ripping it to WMA, against the same WMA encoder on the four tracks one
#    after another (no target: each encoder is fed as the disc is read);
#  - the same disc read at a drive's speed (REM SPEED 24, 100 s of reading):
#    ripping it to MP3 and to FLAC against ripping it to WAV, which is the
#    reading time (target: at most 1.05x each: encoding keeps up with the
#    reading);
#  - the AccurateRip checks (the lookup, the checksums, the log) in a WAV
#    rip, against the same rip with AccurateRip=0: unthrottled (target:
#    nothing measurable) and at 24x (target: at most 1.02x);
#  - the program's peak memory during each of those rips (target: below 96 MB);
#  - gap detection (the Q sub-channel searched for every pregap and index)
#    in a WAV rip of a 12-track disc read at 24x, against the same rip with
#    GapDetection=0 (target: at most 1.02x). The throttled image also takes
#    a drive's time to move between sectors (a seek: 20 ms plus up to
#    130 ms across the disc), so every Q frame read away from the last
#    costs what it costs a drive;
#  - reading with C2 error pointers: the production build ripping a
#    10-minute disc to WAV from the test CD-ROM drive at 24x, the drive
#    giving C2 pointers, against the same drive without them (target: at
#    most 1.02x); and the second read of test and copy, the same rip with
#    TestAndCopy=1 (no database answers here) against =0;
#  - ReplayGain (the loudness measured as the disc is read, the tags
#    written at the end): a FLAC rip of a 10-minute disc at 24x against the
#    same rip with ReplayGain=0 (target: at most 1.02x), and the same
#    unthrottled (no target: the measuring's own cost, stated).
# A rip is timed from the press of Start to the "Done!" box. The figures of
# the last three items (and the MP3 one) are the median of three rounds,
# each round running the baseline and the rip one after the other; the
# others are the best of three runs.
# Every rip here reads each track once (TestAndCopy=0): no database answers
# here, which would have each track read twice.
# Run after ./test.sh (or scripts/build.sh) has built everything.
# "bench/run.sh gaps", "bench/run.sh c2" and "bench/run.sh replaygain" run
# those items alone.
# ORVO_BENCH_PROGRAM names another simulation build to rip with (to compare
# two builds on the same machine).
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

# A 12-track disc of 40 minutes read at 24x: pregaps of 2 s, 0.5 s and
# none, an index 02. Three paired rounds of the WAV rip with and without
# gap detection; the log tells the search's own time.
gap_bench() {
    local GAP=$WORK/gaps i t
    mkdir -p "$GAP/discs" "$GAP/out"
    cp "${ORVO_BENCH_PROGRAM:-build/win/OrvoCdRipperSim.exe}" "$GAP/OrvoCdRipperSim.exe"
    ln -f "$WORK/discs/long.bin" "$GAP/discs/long.bin"
    {
        echo 'REM SPEED 24'; echo 'FILE long.bin BINARY'
        for t in $(seq 12); do
            local start=$(((t - 1) * 200))
            printf '  TRACK %02d AUDIO\n' "$t"
            case $t in
                1|4|9) ;;
                6) printf '    INDEX 00 %02d:%02d:37\n' $(((start - 1) / 60)) $(((start - 1) % 60)) ;;
                *) printf '    INDEX 00 %02d:%02d:00\n' $(((start - 2) / 60)) $(((start - 2) % 60)) ;;
            esac
            printf '    INDEX 01 %02d:%02d:00\n' $((start / 60)) $((start % 60))
            [ "$t" = 7 ] && printf '    INDEX 02 %02d:%02d:00\n' $(((start + 90) / 60)) $(((start + 90) % 60))
        done
    } > "$GAP/discs/long.cue"
    gap_rip() {  # the WAV rip with GapDetection=$1
        rm -f "$GAP"/out/*.wav
        printf '[Settings]\r\nMP3=0\r\nWAV=1\r\nWMA=0\r\nOutput=%s\\\r\nAccurateRip=0\r\nGapDetection=%s\r\nTestAndCopy=0\r\n' \
            "$(winepath -w "$GAP/out")" "$1" > "$GAP/settings.ini"
        wine build/win/tests/bench_rip.exe "$GAP" wav | tr -d '\r'
    }
    for i in 1 2 3; do
        gap_rip 1 > "$WORK/gapon-$i.txt"
        tr -d '\r' < "$GAP/log.txt" | sed -n 's/.*gap detection: done, \([0-9]*\) Q frames in \([0-9]*\) ms.*/search_frames \1\nsearch_ms \2/p' >> "$WORK/gapon-$i.txt"
        gap_rip 0 > "$WORK/gapoff-$i.txt"
    done
    awk -v r="$(medians rip_wall_seconds "$WORK/gapon")" -v w="$(medians rip_wall_seconds "$WORK/gapoff")" \
        -v q="$(ratios rip_wall_seconds "$WORK/gapon" rip_wall_seconds "$WORK/gapoff")" \
        -v f="$(medians search_frames "$WORK/gapon")" -v m="$(medians search_ms "$WORK/gapon")" 'BEGIN {
        printf "gap detection in the WAV rip of a 12-track disc of 40 min read at 24x (median of 3): %.2f s vs %.2f s with GapDetection=0 = %.4fx (median of the paired ratios; target <= 1.02x); the search itself: %d Q frames in %.2f s\n", r, w, q, f, m / 1000 }'
}

# The production build on the test CD-ROM drive (tests/cdrom/run.sh, a
# prefix of its own with the driver): a 10-minute disc of four tracks at
# 24x, three paired rounds of each comparison.
c2_bench() {
    local DEV=$WORK/device i
    mkdir -p "$DEV/out" "$DEV/discs"
    cp build/win/OrvoCdRipper.exe "$DEV/"
    ln -f "$WORK/ten.raw" "$DEV/discs/ten.bin"
    {
        echo 'FILE ten.bin BINARY'
        for i in 1 2 3 4; do printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:00\n' "$i" $(((i - 1) * 150 / 60)) $(((i - 1) * 150 % 60)); done
    } > "$DEV/discs/ten.cue"
    device_rip() {  # the WAV rip with the drive's cache flags $1 and TestAndCopy=$2
        rm -f "$DEV"/out/*.wav
        printf '[Settings]\r\nMP3=0\r\nWAV=1\r\nWMA=0\r\nOutput=%s\\\r\nMusicBrainz=0\r\nTestAndCopy=%s\r\n' \
            "$(winepath -w "$DEV/out")" "$2" > "$DEV/settings.ini"
        ORVO_BENCH_EXE=OrvoCdRipper.exe ORVO_BENCH_DEVICE="insert D: $(winepath -w "$DEV/discs/ten.cue");speed D: 24;cache D: 0 $1" \
            tests/cdrom/run.sh "$ROOT/$WORK/device-prefix" build/win/tests/orvocd.sys build/win/tests/bench_rip.exe "$DEV" wav | tr -d '\r'
    }
    for i in 1 2 3; do
        device_rip c2 0 > "$WORK/c2on-$i.txt"
        device_rip "" 0 > "$WORK/c2off-$i.txt"
        device_rip "" 1 > "$WORK/twice-$i.txt"
    done
    awk -v r="$(medians rip_wall_seconds "$WORK/c2on")" -v w="$(medians rip_wall_seconds "$WORK/c2off")" \
        -v q="$(ratios rip_wall_seconds "$WORK/c2on" rip_wall_seconds "$WORK/c2off")" 'BEGIN {
        printf "C2 error pointers in the WAV rip of 10 min from the test drive at 24x (median of 3): %.2f s vs %.2f s without them = %.4fx (median of the paired ratios; target <= 1.02x)\n", r, w, q }'
    awk -v r="$(medians rip_wall_seconds "$WORK/twice")" -v w="$(medians rip_wall_seconds "$WORK/c2off")" \
        -v q="$(ratios rip_wall_seconds "$WORK/twice" rip_wall_seconds "$WORK/c2off")" 'BEGIN {
        printf "reading twice (TestAndCopy=1; no database answer here) in the same rip (median of 3): %.2f s vs %.2f s reading once = %.3fx (median of the paired ratios; expected about 2x: one more read of each track)\n", r, w, q }'
}

# A 10-minute disc of four tracks, FLAC, three paired rounds of each.
replaygain_bench() {
    local RG=$WORK/replaygain i speed
    mkdir -p "$RG/out" "$RG/discs"
    cp "${ORVO_BENCH_PROGRAM:-build/win/OrvoCdRipperSim.exe}" "$RG/OrvoCdRipperSim.exe"
    ln -f "$WORK/ten.raw" "$RG/discs/ten.bin"
    rg_rip() {  # the FLAC rip at speed $1 (0: unthrottled) with ReplayGain=$2
        local t
        rm -f "$RG"/out/*.flac
        {
            [ "$1" = 0 ] || echo "REM SPEED $1"
            echo 'FILE ten.bin BINARY'
            for t in 1 2 3 4; do printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:00\n' "$t" $(((t - 1) * 150 / 60)) $(((t - 1) * 150 % 60)); done
        } > "$RG/discs/ten.cue"
        printf '[Settings]\r\nMP3=0\r\nWAV=0\r\nWMA=0\r\nFLAC=1\r\nOutput=%s\\\r\nAccurateRip=0\r\nMusicBrainz=0\r\nTestAndCopy=0\r\nReplayGain=%s\r\n' \
            "$(winepath -w "$RG/out")" "$2" > "$RG/settings.ini"
        wine build/win/tests/bench_rip.exe "$RG" flac | tr -d '\r'
    }
    for speed in 24 0; do
        for i in 1 2 3; do
            rg_rip "$speed" 1 > "$WORK/rg$speed-on-$i.txt"
            rg_rip "$speed" 0 > "$WORK/rg$speed-off-$i.txt"
        done
        awk -v s="$speed" -v r="$(medians rip_wall_seconds "$WORK/rg$speed-on")" -v w="$(medians rip_wall_seconds "$WORK/rg$speed-off")" \
            -v q="$(ratios rip_wall_seconds "$WORK/rg$speed-on" rip_wall_seconds "$WORK/rg$speed-off")" 'BEGIN {
            printf "ReplayGain in the FLAC rip of 10 min %s (median of 3): %.2f s vs %.2f s with ReplayGain=0 = %.4fx (median of the paired ratios; %s)\n",
                s == 0 ? "unthrottled" : "read at " s "x", r, w, q, s == 0 ? "no target: its own cost" : "target <= 1.02x" }'
    done
}

timed() {  # runs a command and prints "NAME seconds" of its wall time
    local name=$1 s; shift
    s=$(date +%s.%N)
    "$@"
    echo "$name $(awk -v s="$s" -v e="$(date +%s.%N)" 'BEGIN{print e - s}')"
}

median() {  # the median of the numbers on stdin, one a line
    sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'
}
ratios() {  # the median over the rounds of value $1 in files $2-N divided by value $3 in files $4-N
    local n; n=$(ls "$2"-*.txt | wc -l)
    for i in $(seq "$n"); do
        awk -v a="$(value "$1" "$2-$i.txt")" -v b="$(value "$3" "$4-$i.txt")" 'BEGIN {print a / b}'
    done | median
}
medians() {  # the median over the rounds of value $1 in files $2-N
    local n; n=$(ls "$2"-*.txt | wc -l)
    for i in $(seq "$n"); do value "$1" "$2-$i.txt"; done | median
}
value() {  # the value of the "name value" line named $1 in file $2
    awk -v n="$1" '$1 == n {print $2}' "$2"
}

best() {  # best of three runs of a command printing "name value" lines; prints the line named $1
    local name=$1; shift
    local b=""
    for _ in 1 2 3; do
        local v; v=$("$@" | tr -d '\r' | awk -v n="$name" '$1 == n {print $2}')
        if [ -z "$b" ] || awk -v a="$v" -v b="$b" 'BEGIN{exit !(a < b)}'; then b=$v; fi
    done
    echo "$b"
}

case ${1:-} in
    gaps) gap_bench; exit 0 ;;
    c2) c2_bench; exit 0 ;;
    replaygain) replaygain_bench; exit 0 ;;
esac

read_wall=$(best read_wall_seconds wine "$WORK/bench_cdlib.exe" read)
awk -v w="$read_wall" 'BEGIN {
    printf "image reading: 2400.0 s of audio in %.2f s = %.0fx real time (baseline: real time; target >= 500x)\n", w, 2400 / w }'

wma_ours=$(best wma_wall_seconds wine "$WORK/bench_cdlib.exe" wma "$(winepath -w "$WORK/ten.raw")" "$(winepath -w "$WORK/ours.wma")")
wma_native=$(best native_wall_seconds timed native_wall_seconds \
    ffmpeg -v error -y -f s16le -ar 44100 -ac 2 -i "$WORK/ten.raw" -c:a wmav2 -b:a 128k "$WORK/native.wma")
awk -v o="$wma_ours" -v n="$wma_native" 'BEGIN {
    printf "WMA encoding of 600 s: %.2f s in the program vs %.2f s native ffmpeg = %.2fx (baseline: ffmpeg %s; target <= 1.10x)\n", o, n, o / n, "5.1 command line" }'

# Ripping the 40-minute disc in the real program.
RIP=$WORK/rip
mkdir -p "$RIP/discs" "$RIP/out"
cp "${ORVO_BENCH_PROGRAM:-build/win/OrvoCdRipperSim.exe}" "$RIP/OrvoCdRipperSim.exe"
cp "$WORK/discs/long.bin" "$WORK/discs/long.cue" "$RIP/discs/"
out_win=$(winepath -w "$RIP/out")
printf '[Settings]\r\nMP3=1\r\nWAV=0\r\nWMA=0\r\nOutput=%s\\\r\nTestAndCopy=0\r\n' "$out_win" > "$RIP/settings.ini"
program_rip() {  # the disc ripped to format $1 in the program
    rm -f "$RIP"/out/*."$1"
    wine build/win/tests/bench_rip.exe "$RIP" "$1" | tr -d '\r'
}
wav_wall=$(best rip_wall_seconds program_rip wav)
program_rip wav > "$WORK/wav-run.txt"
# The AccurateRip checks (the lookup, the checksums, the log) against the
# same WAV rip with AccurateRip=0, in seven paired rounds.
checks_settings() {  # settings.ini of folder $1 for format $2 with AccurateRip=$3
    local flags="MP3=0\r\nWAV=1"
    [ "$2" = mp3 ] && flags="MP3=1\r\nWAV=0"
    printf '[Settings]\r\n%b\r\nWMA=0\r\nOutput=%s\\\r\nAccurateRip=%s\r\nTestAndCopy=0\r\n' "$flags" "$(winepath -w "$1/out")" "$3" > "$1/settings.ini"
}
for i in 1 2 3 4 5 6 7; do
    checks_settings "$RIP" wav 0; program_rip wav > "$WORK/wavoff-$i.txt"
    checks_settings "$RIP" wav 1; program_rip wav > "$WORK/wavon-$i.txt"
done
checks_settings "$RIP" mp3 1

# Baselines: LAME's command line on the WAV files the rip just wrote, and a copy of them.
lame_all() {
    local f
    for f in "$RIP"/out/*.wav; do wine build/deps/lame/bin/lame.exe --silent "$(winepath -w "$f")" "$(winepath -w "${f%.wav}.cli.mp3")"; done
}
# MP3: three rounds of LAME's command line on those WAV files and the rip.
for i in 1 2 3; do
    timed lame_wall_seconds lame_all > "$WORK/lame-$i.txt"
    program_rip mp3 > "$WORK/mp3-$i.txt"
done
copy_all() {
    wine cmd /c copy /b "$(winepath -w "$RIP/out")\\*.wav" "$(winepath -w "$WORK")\\" >/dev/null
}
copy_wall=$(best copy_wall_seconds timed copy_wall_seconds copy_all)
# FLAC: the program's rip against flac.exe on the WAV files of the WAV rip.
flac_wall=$(best rip_wall_seconds program_rip flac)
program_rip flac > "$WORK/flac-run.txt"
flac_cli_all() {
    local f
    rm -f "$WORK"/cli-flac/*.flac; mkdir -p "$WORK/cli-flac"
    for f in "$RIP"/out/*.wav; do
        wine build/deps/flac/bin/flac.exe -5 -s -f -o "$(winepath -w "$WORK/cli-flac/$(basename "${f%.wav}").flac")" "$(winepath -w "$f")"
    done
}
flac_cli_wall=$(best flac_wall_seconds timed flac_wall_seconds flac_cli_all)
flac_bytes=$(cat "$RIP"/out/*.flac | wc -c)
# WMA: the rip against the program's own WMA encoder on the four tracks one after another.
wma_wall=$(best rip_wall_seconds program_rip wma)
flac_cli_bytes=$(cat "$WORK"/cli-flac/*.flac | wc -c)

# The same disc read at a drive's speed: three rounds of WAV, MP3 and FLAC.
SLOW=$WORK/slow
mkdir -p "$SLOW/discs" "$SLOW/out"
cp "$RIP/OrvoCdRipperSim.exe" "$SLOW/"
ln "$RIP/discs/long.bin" "$SLOW/discs/long.bin"
{ echo 'REM SPEED 24'; cat "$RIP/discs/long.cue"; } > "$SLOW/discs/long.cue"
printf '[Settings]\r\nMP3=1\r\nWAV=0\r\nWMA=0\r\nOutput=%s\\\r\nTestAndCopy=0\r\n' "$(winepath -w "$SLOW/out")" > "$SLOW/settings.ini"
slow_rip() {  # format $1, with AccurateRip=$2
    rm -f "$SLOW"/out/*."$1"
    checks_settings "$SLOW" mp3 "$2"
    wine build/win/tests/bench_rip.exe "$SLOW" "$1" | tr -d '\r'
}
for i in 1 2 3; do
    for f in wav mp3 flac; do slow_rip "$f" 1 > "$WORK/slow-$f-$i.txt"; done
    slow_rip wav 0 > "$WORK/slow-wavoff-$i.txt"
done

mp3_wall=$(medians rip_wall_seconds "$WORK/mp3")
lame_wall=$(medians lame_wall_seconds "$WORK/lame")
mp3_ratio=$(ratios rip_wall_seconds "$WORK/mp3" lame_wall_seconds "$WORK/lame")
awk -v r="$mp3_wall" -v l="$lame_wall" -v q="$mp3_ratio" 'BEGIN {
    printf "MP3 rip of 40 min (median of 3): %.1f s vs %.1f s for LAME 3.100 frontend on the same WAV files one after another (median of 3) = %.2fx (median of the paired ratios; target <= 0.65x on 2 cores)\n", r, l, q }'
awk -v r="$wav_wall" -v c="$copy_wall" 'BEGIN {
    printf "WAV rip of 40 min (best of 3): %.2f s vs %.2f s copying the same bytes with the system copy (best of 3) = %.2fx (target <= 1.5x)\n", r, c, r / c }'
awk -v r="$flac_wall" -v c="$flac_cli_wall" -v b="$flac_bytes" -v cb="$flac_cli_bytes" 'BEGIN {
    printf "FLAC rip of 40 min (best of 3): %.1f s vs %.1f s for the flac 1.4.2 command line at -5 on the same WAV files (best of 3) = %.2fx (target <= 1.10x)\n", r, c, r / c
    printf "FLAC sizes: %d bytes from the program vs %d bytes from the command line = %+.2f%% (target within 1%%)\n", b, cb, (b - cb) * 100 / cb }'
awk -v r="$wma_wall" -v o="$wma_ours" 'BEGIN {
    printf "WMA rip of 40 min (best of 3): %.1f s vs %.1f s for the same WMA encoder on the four 600 s tracks one after another = %.2fx (no target: each encoder is fed as the disc is read)\n", r, 4 * o, r / (4 * o) }'
for f in mp3 flac; do
    awk -v n="$(echo "$f" | tr a-z A-Z)" -v r="$(medians rip_wall_seconds "$WORK/slow-$f")" -v w="$(medians rip_wall_seconds "$WORK/slow-wav")" \
        -v q="$(ratios rip_wall_seconds "$WORK/slow-$f" rip_wall_seconds "$WORK/slow-wav")" 'BEGIN {
        printf "%s rip of 40 min read at 24x (median of 3): %.1f s vs %.1f s for the WAV rip of the same disc, the reading time (median of 3) = %.3fx (median of the paired ratios; target <= 1.05x)\n", n, r, w, q }'
done
awk -v r="$(medians rip_wall_seconds "$WORK/wavon")" -v w="$(medians rip_wall_seconds "$WORK/wavoff")" \
    -v q="$(ratios rip_wall_seconds "$WORK/wavon" rip_wall_seconds "$WORK/wavoff")" 'BEGIN {
    printf "AccurateRip checks in the WAV rip of 40 min, unthrottled (median of 7): %.2f s vs %.2f s with AccurateRip=0 = %.3fx (median of the paired ratios; target: nothing measurable)\n", r, w, q }'
awk -v r="$(medians rip_wall_seconds "$WORK/slow-wav")" -v w="$(medians rip_wall_seconds "$WORK/slow-wavoff")" \
    -v q="$(ratios rip_wall_seconds "$WORK/slow-wav" rip_wall_seconds "$WORK/slow-wavoff")" 'BEGIN {
    printf "AccurateRip checks in the WAV rip read at 24x (median of 3): %.2f s vs %.2f s with AccurateRip=0 = %.4fx (median of the paired ratios; target <= 1.02x)\n", r, w, q }'
peak() {  # the highest peak working set and private bytes in MB of the runs in files $@
    awk '$1 == "peak_working_set_mb" && $2 > w {w = $2} $1 == "peak_private_mb" && $2 > p {p = $2} END {printf "working set %.1f MB, private %.1f MB", w, p}' "$@"
}
echo "peak memory (target < 96 MB): MP3 rip $(peak "$WORK"/mp3-?.txt); WAV rip $(peak "$WORK/wav-run.txt");" \
    "FLAC rip $(peak "$WORK/flac-run.txt"); at 24x: WAV $(peak "$WORK"/slow-wav-?.txt), MP3 $(peak "$WORK"/slow-mp3-?.txt), FLAC $(peak "$WORK"/slow-flac-?.txt)"
gap_bench
c2_bench
replaygain_bench
