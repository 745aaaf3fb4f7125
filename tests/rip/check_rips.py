#!/usr/bin/python3
"""check_rips.py KEEP_FOLDER: the kept rips, read with tools of their own (the files: tests/rip/rip.table)."""
import hashlib, json, math, os, subprocess, sys
from array import array
from pathlib import Path

from mutagen.asf import ASF
from mutagen.id3 import ID3

MIN_SNR_DB = 12.0  # about 20 dB is usual at 128 kb/s
# Each key's names, as the most used tagger writes them: ID3 frames, Vorbis comments, WMA attributes.
IDS = {"mb_release": ("Album Id", "ALBUMID"), "mb_release_group": ("Release Group Id", "RELEASEGROUPID"),
       "mb_recording": ("Track Id", "TRACKID"), "mb_release_track": ("Release Track Id", "RELEASETRACKID"),
       "mb_artist": ("Artist Id", "ARTISTID"), "mb_album_artist": ("Album Artist Id", "ALBUMARTISTID"),
       "mb_disc_id": ("Disc Id", "DISCID")}
ID3_FRAMES = {"artist": "TPE1", "albumartist": "TPE2", "album": "TALB", "date": "TYER", "title": "TIT2", "track": "TRCK",
              "disc": "TPOS", **{key: "TXXX:MusicBrainz " + names[0] for key, names in IDS.items()}}
ID3_FRAMES.update({"mb_recording": "UFID:http://musicbrainz.org", "isrc": "TSRC", "barcode": "TXXX:BARCODE"})
VORBIS_NAMES = {"artist": ["ARTIST"], "albumartist": ["ALBUMARTIST"], "album": ["ALBUM"], "date": ["DATE"],
                "title": ["TITLE"], "track": ["TRACKNUMBER"], "tracks": ["TRACKTOTAL", "TOTALTRACKS"],
                "disc": ["DISCNUMBER"], "discs": ["DISCTOTAL", "TOTALDISCS"], "isrc": ["ISRC"], "barcode": ["BARCODE"],
                **{key: ["MUSICBRAINZ_" + names[1]] for key, names in IDS.items()}}
WMA_NAMES = {"artist": "Author", "albumartist": "WM/AlbumArtist", "album": "WM/AlbumTitle", "date": "WM/Year",
             "title": "Title", "track": "WM/TrackNumber", "disc": "WM/PartOfSet", "isrc": "WM/ISRC",
             "barcode": "WM/Barcode", **{key: "MusicBrainz/" + names[0] for key, names in IDS.items()}}
GAIN_NAMES = ("REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_ALBUM_GAIN", "REPLAYGAIN_ALBUM_PEAK")
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


def probe_streams(path):
    """The audio stream, and the attached pictures ffprobe finds."""
    found = json.loads(run("ffprobe", "-v", "error", "-show_entries", "stream=codec_type,codec_name,sample_rate,channels"
                           ":stream_disposition=attached_pic:stream_tags=comment", "-of", "json", path))["streams"]
    return [s for s in found if s["codec_type"] == "audio"][0], [s for s in found if s["disposition"]["attached_pic"]]


def utf16_text(data, at):
    """The UTF-16 text at `at`, ended by a NUL, and where the bytes after it start."""
    end = next(end for end in range(at, len(data) + 2, 2) if data[end:end + 2] in (b"\0\0", b""))
    return data[at:end].decode("utf-16-le", "replace"), end + 2


def read_tags(path, codec):
    """MP3 and WMA: each key's text, and the front covers as (type, MIME, bytes)."""
    if codec == "mp3":
        frames = ID3(path, translate=False)
        texts = {key: frames[fid] for key, fid in ID3_FRAMES.items() if fid in frames}
        texts = {key: frame.data.decode() if key == "mb_recording" else str(frame.text[0]) for key, frame in texts.items()}
        return texts, [(f.type, f.mime, f.data) for f in frames.getall("APIC")]
    tags = ASF(path).tags
    texts = {key: str(tags[name][0]) for key, name in WMA_NAMES.items() if name in tags}
    pictures = []
    for picture in (a.value for a in (tags["WM/Picture"] if "WM/Picture" in tags else [])):
        mime, at = utf16_text(picture, 5)
        _, at = utf16_text(picture, at)  # the description
        size = int.from_bytes(picture[1:5], "little")
        check(f"{path.name}: WM/Picture holds the length it states", len(picture) - at == size, f"{len(picture) - at} vs {size}")
        pictures.append((picture[0], mime, picture[at:]))
    return texts, pictures


def expected_texts(wanted, codec):
    """The key's texts as MP3 and WMA carry them: totals joined to the numbers."""
    want = dict(wanted)
    tracks, discs = want.pop("tracks", None), want.pop("discs", None)
    if tracks and codec == "mp3":
        want["track"] += "/" + tracks
    if discs:
        want["disc"] += "/" + discs
    return want


def check_covers(name, pictures, streams, cover, pictured):
    """The front cover alone, as type 3 with its MIME type and its bytes; ffprobe sees it as an attached picture."""
    data = cover.read_bytes()
    mime = "image/png" if cover.suffix == ".png" else "image/jpeg"
    check(f"{name}: the front cover alone, exactly", [(p[0], p[1], p[2] == data) for p in pictures] == [(3, mime, True)],
          str([(p[0], p[1], len(p[2])) for p in pictures]))
    if pictured:
        check(f"{name}: ffprobe sees the front cover", [s.get("tags", {}).get("comment") for s in streams] == ["Cover (front)"],
              str(streams))


def check_flac(name, path, source_bytes, audio, wanted, cover):
    """Lossless: the decoded audio, the STREAMINFO MD5, the comments exactly and the PICTURE block."""
    tested = subprocess.run(["flac", "-t", "-s", path], capture_output=True)
    check(f"{name}: flac -t decodes it and its MD5 holds", tested.returncode == 0, tested.stderr.decode(errors="replace"))
    check(f"{name}: ffmpeg decodes exactly the WAV's samples", audio.tobytes() == source_bytes,
          f"{len(audio) // 2} vs {len(source_bytes) // 4} frames")
    md5 = run("metaflac", "--show-md5sum", path).decode().strip()
    check(f"{name}: STREAMINFO MD5 is the source's", md5 == hashlib.md5(source_bytes).hexdigest(), md5)
    lines = [line for line in run("metaflac", "--export-tags-to=-", path).decode("utf-8").splitlines()
             if not line.upper().startswith("REPLAYGAIN_")]  # checked on their own
    want = [f"{comment}={text}" for key, text in wanted.items() for comment in VORBIS_NAMES[key]]
    check(f"{name}: the comments exactly", sorted(lines) == sorted(want), f"{lines!r} vs {want!r}")
    listed = run("metaflac", "--list", "--block-type=PICTURE", path).decode("utf-8", "replace")
    fields = (line.strip().partition(": ") for line in listed.split("  data:")[0].splitlines())
    block = {key: value for key, colon, value in fields if colon}
    if not cover:
        return check(f"{name}: no PICTURE block", not listed, listed)
    size = json.loads(run("ffprobe", "-v", "error", "-show_entries", "stream=width,height", "-of", "json", cover))["streams"][0]
    seen = (block.get("type", "").split(" ")[0], block.get("MIME type"), block.get("width"), block.get("height"))
    check(f"{name}: PICTURE block of the front cover's type, MIME type and size", seen ==
          ("3", "image/png" if cover.suffix == ".png" else "image/jpeg", str(size["width"]), str(size["height"])), str(block))
    check(f"{name}: PICTURE block's depth", int(block.get("depth", "0")) in (8, 24, 32, 48, 64), str(block))
    exported = run("metaflac", "--export-picture-to=-", path)
    check(f"{name}: PICTURE block holds the cover's bytes", exported == cover.read_bytes(), f"{len(exported)} bytes")


def gain_tags(path, codec):
    """The four ReplayGain values as the file's tags hold them (names as players read them)."""
    if codec == "flac":
        lines = run("metaflac", "--export-tags-to=-", path).decode("utf-8").splitlines()
        found = dict(line.split("=", 1) for line in lines if "=" in line)
        return {name: found[name] for name in GAIN_NAMES if name in found}
    if codec == "mp3":
        frames = ID3(path)
        return {name: str(frames["TXXX:" + name].text[0]) for name in GAIN_NAMES if "TXXX:" + name in frames}
    tags = ASF(path).tags
    return {name: str(tags[name][0]) for name in GAIN_NAMES if name in tags}


def loudgain(paths):
    """Debian's loudgain on WAV files: each one's loudness in LUFS (None for silence), and the album's."""
    found = {}
    for line in run("loudgain", "-q", "-O", "-a", *paths).decode().splitlines()[1:]:
        fields = line.split("\t")
        value = fields[1].split()[0]
        found[fields[0]] = None if value.endswith("inf") else float(value)
    return found


def peak_of(path):
    return max(abs(v) for v in array("h", path.read_bytes()[44:])) if path.stat().st_size > 44 else 0


def check_gain(name, what, tags, key, lufs, peak):
    """A gain within 0.05 dB of the reference's (none for silence), a peak exactly the samples'."""
    gain = tags.get(f"REPLAYGAIN_{key}_GAIN")
    if lufs is None:
        check(f"{name}: no {what} gain for digital silence", gain is None, str(gain))
    else:
        ok = gain is not None and gain.endswith(" dB") and abs(float(gain[:-3]) - (-18 - lufs)) <= 0.05
        check(f"{name}: {what} gain within 0.05 dB of loudgain's", ok, f"{gain!r} vs {-18 - lufs:.2f} dB")
    check(f"{name}: {what} peak exact", tags.get(f"REPLAYGAIN_{key}_PEAK") == f"{peak / 32768:.6f}",
          f"{tags.get(f'REPLAYGAIN_{key}_PEAK')!r} vs {peak / 32768:.6f}")


def check_replaygain(name, path, codec, reference, wanted, folder):
    """The track's values against its WAV; the album's against the WAVs listed as `rg_album` (else not asked)."""
    tags = gain_tags(path, codec)
    if wanted.pop("replaygain", "") == "none":
        return check(f"{name}: no ReplayGain tags", not tags, str(tags))
    album = [folder / p.replace("\\", "/") for p in wanted.pop("rg_album").split(",")] if "rg_album" in wanted else []
    check_gain(name, "track", tags, "TRACK", loudgain([str(reference)])[str(reference)], peak_of(reference))
    if album:
        check_gain(name, "album", tags, "ALBUM", loudgain([str(p) for p in album])["Album"], max(peak_of(p) for p in album))
    if wanted.pop("album_values", "") == "none":
        check(f"{name}: no album values", not any(k.startswith("REPLAYGAIN_ALBUM") for k in tags), str(tags))


def check_file(folder, wanted):
    path, reference = (folder / wanted.pop(key).replace("\\", "/") for key in ("file", "ref"))
    cover = folder / wanted.pop("cover").replace("\\", "/") if "cover" in wanted else None
    name = path.name
    stream, attached = probe_streams(path)
    codec = {".mp3": "mp3", ".wma": "wmav2", ".flac": "flac"}[path.suffix]
    check(f"{name}: codec, 44.1 kHz stereo", (stream["codec_name"], stream["sample_rate"], stream["channels"]) == (codec, "44100", 2),
          str(stream))
    check_replaygain(name, path, codec, reference, wanted, folder)
    source_bytes = reference.read_bytes()[44:]
    source = array("h", source_bytes)
    audio = array("h", run("ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-ac", "2", "-ar", "44100", "-"))
    if codec == "flac":
        return check_flac(name, path, source_bytes, audio, wanted, cover)
    slack = 0 if codec != "wmav2" else 2 * 2048  # WMA pads its last frame with silence
    check(f"{name}: decoded length", 0 <= len(audio) - len(source) <= slack, f"{len(audio) // 2} vs {len(source) // 2}")
    figure, swapped = snr_db(source, audio), snr_db(source, audio, swap=True)
    shifted = max(snr_db(source, audio, lag) for lag in (-2, -1, 1, 2))
    check(f"{name}: SNR above {MIN_SNR_DB} dB, aligned to the sample, channels in place", figure > max(MIN_SNR_DB, shifted, swapped),
          f"{figure:.1f} dB; shifted {shifted:.1f}, swapped {swapped:.1f}")
    if codec == "mp3":
        check(f"{name}: ID3v1 at the end", path.read_bytes()[-128:][:3] == b"TAG")
    tags, pictures = read_tags(path, codec)
    for key, text in expected_texts(wanted, codec).items():
        check(f"{name}: {key}", tags.get(key) == text, f"{tags.get(key)!r} vs {text!r}")
    if cover:
        check_covers(name, pictures, attached, cover, codec == "mp3" or cover.stat().st_size < 65000)
    else:
        check(f"{name}: no picture", not pictures and not attached, str(attached))


def check_decoded_lengths(folder, wanted):
    """A file cut short may still carry both tags and an Info frame: only decoding tells."""
    frames = round(float(wanted["seconds"]) * 75) * 588
    for path in sorted((folder / wanted["folder"]).rglob("*.mp3")):
        audio = run("ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-")
        check(f"{path.name}: decodes to its {wanted['seconds']} s", len(audio) == frames * 4, f"{len(audio) // 4} frames")


LOG_LABEL = b"Orvo log checksum (SHA-256 of the text above): "


def check_log_checksums(folder):
    """Each kept rip log ends with a line holding the SHA-256 of every byte before it."""
    for path in sorted(folder.rglob("*.log")):
        text = path.read_bytes()
        start = text.rfind(b"\r\n", 0, len(text) - 2) + 2
        last = text[start:]
        check(f"{path.name}: its last line is the log's checksum", last.startswith(LOG_LABEL) and last.endswith(b"\r\n"),
              last[:80].decode(errors="replace"))
        check(f"{path.name}: the checksum is the SHA-256 of the text above it",
              last[len(LOG_LABEL):].strip() == hashlib.sha256(text[:start]).hexdigest().encode())


def main():
    folder = Path(sys.argv[1])
    tags_files = sorted(folder.glob("*.tags"))
    # A run of some scenarios alone (GTEST_FILTER) may keep nothing; the whole run keeps files.
    partial = bool(os.environ.get("GTEST_FILTER"))
    check("tags files were kept", partial or bool(tags_files) or any(folder.glob("*.decodes")), str(folder))
    for lengths_file in sorted(folder.glob("*.decodes")):
        check_decoded_lengths(folder, dict(line.split("=", 1) for line in lengths_file.read_text().splitlines()))
    for tags_file in tags_files:
        raw = tags_file.read_bytes()
        code_page = raw[9:raw.index(b"\n")].decode() if raw.startswith(b"codepage=") else "cp1252"
        lines = raw.decode(code_page).splitlines()
        check_file(folder, dict(line.split("=", 1) for line in lines if "=" in line and not line.startswith("codepage=")))
    check_log_checksums(folder)
    print(f"rips: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
