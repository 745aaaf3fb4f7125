#!/usr/bin/env python3
"""Writes the sample disc image the simulation build plays: a cue sheet,
one BINARY file with three short music-like audio tracks, a CD-TEXT file of
raw 18-byte packs, and a small data track after the audio; and a second
disc of the same music whose CD-TEXT is Japanese (MS-JIS).

    python3 tools/make_sample_disc.py OUTPUT_FOLDER [--seconds N]
"""
import argparse
import math
import struct
from array import array
from pathlib import Path

RATE = 44100
ALBUM = "Orvo Sample Disc"
ARTIST = "The Orvo Test Band"
TITLES = ["Morning Light", "Paper Boats", "Long Way Home"]
# Chord roots (MIDI note numbers) for each track, one chord a bar.
PROGRESSIONS = [[57, 53, 48, 55], [50, 55, 57, 52], [52, 48, 55, 50]]
TEMPO = [96, 110, 84]


def crc16(data):
    crc = 0
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) & 0xFFFF if crc & 0x8000 else (crc << 1) & 0xFFFF
    return crc ^ 0xFFFF


# The same disc's CD-TEXT in Japanese (MS-JIS), for the tests of texts in
# other scripts: Japanese.cdt beside the sample disc.
JAPANESE_ALBUM = "オルヴォの見本盤"
JAPANESE_ARTIST = "オルヴォ楽団"
JAPANESE_TITLES = ["朝の光", "紙の舟", "家路"]


def cdtext_packs(pack_type, texts, sequence_start=0, encoding="latin-1"):
    """Packs of one type: texts[0] is the album's, texts[n] track n's;
    double-byte texts (MS-JIS) end with two zero bytes."""
    stream = []  # (track, position-in-text, byte)
    for track, text in enumerate(texts):
        raw = text.encode(encoding) + (b"\0\0" if encoding == "cp932" else b"\0")
        for i, byte in enumerate(raw):
            stream.append((track, i, byte))
    packs = []
    seq = sequence_start
    for start in range(0, len(stream), 12):
        chunk = stream[start:start + 12]
        track, position, _ = chunk[0]
        body = bytes(b for _, _, b in chunk).ljust(12, b"\0")
        head = bytes([pack_type, track, seq & 0xFF, min(position, 15)])
        crc = crc16(head + body)
        packs.append(head + body + struct.pack(">H", crc))
        seq += 1
    return packs, seq


def note_freq(note):
    return 440.0 * 2 ** ((note - 69) / 12)


def synth_track(index, seconds):
    """A short piece: pad chords, a bass line and a plucked melody."""
    n = int(seconds * RATE)
    n -= n % 588  # whole sectors
    left = array("h", bytes(2 * n))
    right = array("h", bytes(2 * n))
    beat = 60.0 / TEMPO[index]
    bar = beat * 4
    progression = PROGRESSIONS[index]
    melody_steps = [0, 4, 7, 12, 7, 4, 9, 7]
    two_pi = 2 * math.pi
    for i in range(n):
        t = i / RATE
        root = progression[int(t / bar) % len(progression)]
        in_bar = (t % bar) / bar
        pad = 0.0
        for k, interval in enumerate((0, 4, 7)):
            f = note_freq(root + interval)
            pad += math.sin(two_pi * f * t + k) * 0.09
        bass = math.sin(two_pi * note_freq(root - 12) * t) * 0.22 * (1 - 0.6 * ((t % beat) / beat))
        step = int(t / (beat / 2))
        mt = t % (beat / 2)
        mnote = root + 12 + melody_steps[(step + index) % len(melody_steps)]
        pluck = math.sin(two_pi * note_freq(mnote) * t) * 0.25 * math.exp(-mt * 7)
        fade = min(1.0, t / 0.5, (seconds - t) / 1.0) if seconds > 2 else 1.0
        swell = 0.85 + 0.15 * math.sin(two_pi * in_bar)
        l = (pad * swell + bass + pluck * 0.7) * fade
        r = (pad * swell + bass * 0.9 + pluck * 1.0) * fade
        left[i] = max(-32767, min(32767, int(l * 32767 * 0.8)))
        right[i] = max(-32767, min(32767, int(r * 32767 * 0.8)))
    inter = array("h", bytes(4 * n))
    inter[0::2] = left
    inter[1::2] = right
    if inter.itemsize != 2:
        raise SystemExit("16-bit samples needed")
    if struct.pack("=h", 1) != b"\x01\x00":
        inter.byteswap()  # CD samples are little-endian
    return inter.tobytes()


def msf(sectors):
    return f"{sectors // 4500:02d}:{sectors // 75 % 60:02d}:{sectors % 75:02d}"


def japanese_cdtext():
    """Block 0 in MS-JIS: its size information (0x8F) names character code 0x80."""
    packs, seq = cdtext_packs(0x80, [JAPANESE_ALBUM] + JAPANESE_TITLES, 0, "cp932")
    more, seq = cdtext_packs(0x81, [JAPANESE_ARTIST] * (len(JAPANESE_TITLES) + 1), seq, "cp932")
    head = bytes([0x8F, 0, seq & 0xFF, 0])
    body = bytes([0x80, 1, len(JAPANESE_TITLES)]).ljust(12, b"\0")
    size_info = head + body + struct.pack(">H", crc16(head + body))
    for pack in packs + more:
        pack_bytes = bytearray(pack)
        pack_bytes[3] |= 0x80  # the double-byte flag of each text pack
        pack_bytes[16:18] = struct.pack(">H", crc16(bytes(pack_bytes[:16])))
        yield bytes(pack_bytes)
    yield size_info


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--seconds", type=float, default=12.0)
    args = parser.parse_args()
    folder = Path(args.folder)
    folder.mkdir(parents=True, exist_ok=True)

    audio = b""
    starts = []
    pregap_track2 = 75  # a one-second pause before track 2, inside the file (INDEX 00)
    for i in range(len(TITLES)):
        if i == 1:
            audio += bytes(pregap_track2 * 2352)
        starts.append(len(audio) // 2352)
        audio += synth_track(i, args.seconds + i * 2)
    (folder / "Orvo Sample Disc.bin").write_bytes(audio)
    (folder / "Orvo Sample Disc (data).iso").write_bytes(bytes(2048 * 300))

    packs, seq = cdtext_packs(0x80, [ALBUM] + TITLES)
    more, _ = cdtext_packs(0x81, [ARTIST] * (len(TITLES) + 1), seq)
    (folder / "Orvo Sample Disc.cdt").write_bytes(b"".join(packs + more))
    (folder / "Japanese.cdt").write_bytes(b"".join(japanese_cdtext()))

    lines = [
        'REM Sample disc of Orvo CD Ripper, made by tools/make_sample_disc.py',
        'CDTEXTFILE "Orvo Sample Disc.cdt"',
        f'PERFORMER "{ARTIST}"',
        f'TITLE "{ALBUM}"',
        'FILE "Orvo Sample Disc.bin" BINARY',
    ]
    for i, title in enumerate(TITLES):
        lines.append(f"  TRACK {i + 1:02d} AUDIO")
        lines.append(f'    TITLE "{title}"')
        lines.append(f'    PERFORMER "{ARTIST}"')
        if i == 1:
            lines.append(f"    INDEX 00 {msf(starts[i] - pregap_track2)}")
        lines.append(f"    INDEX 01 {msf(starts[i])}")
    lines.append('FILE "Orvo Sample Disc (data).iso" BINARY')
    lines.append(f"  TRACK {len(TITLES) + 1:02d} MODE1/2048")
    lines.append("    PREGAP 00:02:00")
    lines.append("    INDEX 01 00:00:00")
    (folder / "Orvo Sample Disc.cue").write_text("\r\n".join(lines) + "\r\n", encoding="latin-1")

    # The same music as a second disc whose CD-TEXT is Japanese (drive E:).
    japanese = ['CDTEXTFILE "Japanese.cdt"', 'FILE "Orvo Sample Disc.bin" BINARY']
    for i in range(len(TITLES)):
        japanese.append(f"  TRACK {i + 1:02d} AUDIO")
        if i == 1:
            japanese.append(f"    INDEX 00 {msf(starts[i] - pregap_track2)}")
        japanese.append(f"    INDEX 01 {msf(starts[i])}")
    (folder / "Orvo Sample Japanese.cue").write_text("\r\n".join(japanese) + "\r\n", encoding="ascii")


if __name__ == "__main__":
    main()
