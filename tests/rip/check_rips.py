#!/usr/bin/python3
"""Reads the MP3 and WMA files that the rip table's "tagged" scenario kept
with tools of their own: ffprobe and ffmpeg for the stream, its length and
its audio, mutagen for the ID3 tags. The WAV files ripped from the same tracks are the reference.

    check_rips.py KEEP_FOLDER
"""
import json
import math
import struct
import subprocess
import sys
from array import array
from pathlib import Path

from mutagen.id3 import ID3

# 128 kb/s MP3 of this music keeps the waveform to within roughly 20 dB;
# a stream that is shifted by even one sample, has its channels swapped or
# its rate wrong falls to a few dB at most.
MIN_SNR_DB = 12.0

passed = failed = 0


def check(what, ok, detail=""):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print(f"FAIL: {what} {detail}")


def pcm_of_mp3(path):
    out = subprocess.run(["ffmpeg", "-v", "error", "-i", str(path), "-f", "s16le", "-ac", "2", "-ar", "44100", "-"],
                         check=True, capture_output=True).stdout
    return array("h", out)


def pcm_of_wav(path):
    data = path.read_bytes()
    return array("h", data[44:])


def snr_db(reference, decoded):
    n = min(len(reference), len(decoded))
    signal = noise = 0.0
    for i in range(0, n, 3):  # every third sample is plenty for the figure
        r = reference[i]
        d = decoded[i] - r
        signal += r * r
        noise += d * d
    return 10 * math.log10(signal / noise) if noise else 99.0


def main():
    folder = Path(sys.argv[1]) / "AC_DC 'Live'" / "1999 - Live"
    for number, title in ((1, "Morning Light"), (3, "Long Way Home")):
        mp3 = folder / f"{number}.{title}.mp3"
        wav = folder / f"{number}.{title}.wav"
        probe = json.loads(subprocess.run(
            ["ffprobe", "-v", "error", "-show_streams", "-of", "json", str(mp3)],
            check=True, capture_output=True, text=True).stdout)
        stream = probe["streams"][0]
        check(f"{mp3.name}: codec", stream["codec_name"] == "mp3", stream["codec_name"])
        check(f"{mp3.name}: MPEG-1 44.1 kHz", stream["sample_rate"] == "44100", stream["sample_rate"])
        check(f"{mp3.name}: stereo", stream["channels"] == 2)
        check(f"{mp3.name}: 128 kb/s", stream.get("bit_rate") == "128000", stream.get("bit_rate"))
        head = mp3.read_bytes()
        frame = head.find(b"\xff\xfb")  # MPEG-1 layer III, no CRC
        check(f"{mp3.name}: MPEG-1 layer III frames", frame >= 0)

        reference = pcm_of_wav(wav)
        decoded = pcm_of_mp3(mp3)
        check(f"{mp3.name}: decoded sample count equals the source's", len(decoded) == len(reference),
              f"{len(decoded) // 2} vs {len(reference) // 2} frames")
        figure = snr_db(reference, decoded)
        print(f"{mp3.name}: SNR {figure:.1f} dB")
        check(f"{mp3.name}: SNR above {MIN_SNR_DB} dB", figure > MIN_SNR_DB, f"{figure:.1f}")

        tags = ID3(str(mp3), translate=False)
        check(f"{mp3.name}: ID3v2 version", tags.version[:2] in ((2, 3), (2, 4)), str(tags.version))
        expected = {"TPE1": "AC_DC 'Live'", "TALB": "Live", "TYER": "1999", "TIT2": title, "TRCK": str(number)}
        for frame_id, text in expected.items():
            found = tags.get(frame_id)
            check(f"{mp3.name}: {frame_id}", found is not None and str(found.text[0]) == text,
                  repr(found.text[0] if found else None))
        tail = head[-128:]
        check(f"{mp3.name}: ID3v1 at the end", tail[:3] == b"TAG")
        fields = struct.unpack("3s30s30s30s4s", tail[:97])
        v1 = [f.split(b"\0")[0].decode("latin-1").rstrip() for f in fields[1:]]
        check(f"{mp3.name}: ID3v1 texts", v1 == [title, "AC_DC 'Live'", "Live", "1999"], repr(v1))
        check(f"{mp3.name}: ID3v1 track", tail[125] == 0 and tail[126] == number, repr(tail[125:127]))

        wma = folder / f"{number}.{title}.wma"
        tags = json.loads(subprocess.run(
            ["ffprobe", "-v", "error", "-show_entries", "format_tags:stream=codec_name", "-of", "json", str(wma)],
            check=True, capture_output=True, text=True).stdout)
        check(f"{wma.name}: codec", tags["streams"][0]["codec_name"] == "wmav2")
        found = {k.lower(): v for k, v in tags["format"].get("tags", {}).items()}
        for key, text in (("title", title), ("artist", "AC_DC 'Live'"), ("album", "Live"),
                          ("wm/year", "1999"), ("track", str(number))):
            check(f"{wma.name}: {key}", found.get(key) == text or found.get(key.replace("/", "_")) == text,
                  repr(found))
        decoded = len(pcm_of_mp3(wma))
        check(f"{wma.name}: decoded length within one codec frame", abs(decoded - len(reference)) <= 2 * 2048,
              f"{decoded // 2} vs {len(reference) // 2}")

    print(f"rips: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
