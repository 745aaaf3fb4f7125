#!/usr/bin/env bash
# Checks the WMA files that images_test wrote, with the native ffprobe and
# ffmpeg: codec, rate, channels, bit rate, the five tags, the decoded
# length, and that a file with tags and no audio is still valid.
set -u
dir=${1:?usage: check_wma.sh FOLDER}
passed=0; failed=0
check() {  # what, actual, expected
    if [ "$2" = "$3" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1: got '$2', expected '$3'"; fi
}
f="$dir/tagged.wma"
probe() { ffprobe -v error -show_entries "$1" -of default=noprint_wrappers=1:nokey=1 "$f" 2>&1 | head -n 1; }
check codec "$(probe stream=codec_name)" wmav2
check rate "$(probe stream=sample_rate)" 44100
check channels "$(probe stream=channels)" 2
rate=$(probe stream=bit_rate)
check "bit rate about 128 kb/s ($rate)" "$([ "${rate:-0}" -ge 120000 ] && [ "${rate:-0}" -le 136000 ] && echo ok)" ok
check title "$(probe format_tags=title)" "A Title"
check artist "$(probe format_tags=artist)" "An Artist"
check album "$(probe format_tags=album)" "An Album"
check year "$(ffprobe -v error -show_entries format_tags -of flat "$f" | grep -i year | head -1 | cut -d'"' -f2)" 1999
check track "$(probe format_tags=track)" 7
frames=$(cat "$dir/tagged.frames")
decoded=$(ffmpeg -v error -i "$f" -f s16le -ac 2 -ar 44100 - | wc -c)
decoded=$((decoded / 4))
diff=$((decoded - frames)); diff=${diff#-}
check "decoded $decoded frames of $frames, within one codec frame" "$([ "$diff" -le 2048 ] && echo ok)" ok
ffprobe -v error "$dir/tags-only.wma" >/dev/null 2>&1
check "tags-only file is valid" "$?" 0
check "tags-only title" "$(ffprobe -v error -show_entries format_tags=title -of default=nw=1:nk=1 "$dir/tags-only.wma")" Nothing
echo "wma: $passed passed, $failed failed"
[ "$failed" = 0 ]
