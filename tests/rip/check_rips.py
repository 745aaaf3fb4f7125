#!/usr/bin/python3
"""check_rips.py KEEP_FOLDER: reads the files the rip scenarios kept with tools of their own (ffprobe,
ffmpeg, mutagen; flac and metaflac for FLAC, whose audio must be the WAV's exactly). Each NAME.tags file
(code page 1252, or 932 after a first line "codepage=cp932") holds file=, ref= (the WAV of the same
track) and the tags expected: artist= album= date= title= track=.
A NAME.decodes file (folder=KEPT_FOLDER, seconds=S): every MP3 under it decodes to S s exactly.
"""
import hashlib
import json
import math
import subprocess
import sys
from array import array
from pathlib import Path

from mutagen.id3 import ID3

# 128 kb/s of this music keeps the waveform to within roughly 20 dB. ffmpeg
# drops the encoder delay and padding that MP3's LAME tag states, so the
# decoded audio must match best where it stands: not a sample earlier or
# later, nor with its channels swapped.
MIN_SNR_DB = 12.0
ID3_FRAMES = {"artist": "TPE1", "album": "TALB", "date": "TYER", "title": "TIT2", "track": "TRCK"}
VORBIS_NAMES = {"artist": "ARTIST", "album": "ALBUM", "date": "DATE", "title": "TITLE", "track": "TRACKNUMBER"}
failed = passed = 0


def check(what, ok, detail=""):
    global passed, failed
    passed, failed = passed + bool(ok), failed + (not ok)
    ok or print(f"FAIL: {what} {detail}")


def run(*args):
    return subprocess.run(args, check=True, capture_output=True).stdout


def snr_db(reference, got, lag=0, swap=False):
    """Of `got` `lag` frames later, or each channel against the other's reference."""
    n = min(len(reference), len(got)) - 8
    pairs = [(reference[i], got[i + 2 * lag + (1 - 2 * (i % 2) if swap else 0)]) for i in range(8, n, 3)]
    noise = sum((g - r) ** 2 for r, g in pairs)
    return 10 * math.log10(sum(r * r for r, _ in pairs) / noise) if noise else 99.0


def probe_tags(path):
    found = json.loads(run("ffprobe", "-v", "error", "-show_entries", "format_tags:stream=codec_name,sample_rate,channels",
                           "-of", "json", path))
    tags = {k.lower().replace("wm/", ""): v for k, v in found["format"].get("tags", {}).items()}
    tags.setdefault("date", tags.get("year"))
    return found["streams"][0], tags


def check_flac(name, path, source_bytes, audio, wanted):
    """Lossless: the decoded audio, the STREAMINFO MD5 and the five comments exactly."""
    tested = subprocess.run(["flac", "-t", "-s", path], capture_output=True)
    check(f"{name}: flac -t decodes it and its MD5 holds", tested.returncode == 0, tested.stderr.decode(errors="replace"))
    check(f"{name}: ffmpeg decodes exactly the WAV's samples", audio.tobytes() == source_bytes,
          f"{len(audio) // 2} vs {len(source_bytes) // 4} frames")
    md5 = run("metaflac", "--show-md5sum", path).decode().strip()
    check(f"{name}: STREAMINFO MD5 is the source's", md5 == hashlib.md5(source_bytes).hexdigest(), md5)
    lines = run("metaflac", "--export-tags-to=-", path).decode("utf-8").splitlines()
    want = [f"{VORBIS_NAMES[key]}={text}" for key, text in wanted.items()]
    check(f"{name}: the five comments exactly", sorted(lines) == sorted(want), f"{lines!r} vs {want!r}")


def check_file(folder, wanted):
    path, reference = (folder / wanted.pop(key).replace("\\", "/") for key in ("file", "ref"))
    name = path.name
    stream, tags = probe_tags(path)
    codec = {".mp3": "mp3", ".wma": "wmav2", ".flac": "flac"}[path.suffix]
    check(f"{name}: codec, 44.1 kHz stereo", (stream["codec_name"], stream["sample_rate"], stream["channels"]) == (codec, "44100", 2),
          str(stream))
    source_bytes = reference.read_bytes()[44:]
    source = array("h", source_bytes)
    audio = array("h", run("ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-ac", "2", "-ar", "44100", "-"))
    if codec == "flac":
        return check_flac(name, path, source_bytes, audio, wanted)
    slack = 0 if codec != "wmav2" else 2 * 2048  # WMA pads its last frame with silence
    check(f"{name}: decoded length", 0 <= len(audio) - len(source) <= slack, f"{len(audio) // 2} vs {len(source) // 2}")
    figure, swapped = snr_db(source, audio), snr_db(source, audio, swap=True)
    shifted = max(snr_db(source, audio, lag) for lag in (-2, -1, 1, 2))
    check(f"{name}: SNR above {MIN_SNR_DB} dB, aligned to the sample, channels in place", figure > max(MIN_SNR_DB, shifted, swapped),
          f"{figure:.1f} dB; shifted {shifted:.1f}, swapped {swapped:.1f}")
    if codec == "mp3":
        frames = ID3(path, translate=False)
        tags = {key: str(frames[fid].text[0]) if fid in frames else None for key, fid in ID3_FRAMES.items()}
        check(f"{name}: ID3v1 at the end", path.read_bytes()[-128:][:3] == b"TAG")
    for key, text in wanted.items():
        check(f"{name}: {key}", tags.get(key) == text, f"{tags.get(key)!r} vs {text!r}")


def check_decoded_lengths(folder, wanted):
    """A file cut short may still carry both tags and an Info frame: only decoding tells."""
    frames = round(float(wanted["seconds"]) * 75) * 588
    for path in sorted((folder / wanted["folder"]).rglob("*.mp3")):
        audio = run("ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-")
        check(f"{path.name}: decodes to its {wanted['seconds']} s", len(audio) == frames * 4, f"{len(audio) // 4} frames")


def main():
    folder = Path(sys.argv[1])
    tags_files = sorted(folder.glob("*.tags"))
    check("tags files were kept", bool(tags_files) or any(folder.glob("*.decodes")), str(folder))
    for lengths_file in sorted(folder.glob("*.decodes")):
        check_decoded_lengths(folder, dict(line.split("=", 1) for line in lengths_file.read_text().splitlines()))
    for tags_file in tags_files:
        raw = tags_file.read_bytes()
        lines = raw.decode("cp932" if raw.startswith(b"codepage=cp932") else "cp1252").splitlines()
        check_file(folder, dict(line.split("=", 1) for line in lines if "=" in line and not line.startswith("codepage=")))
    print(f"rips: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
