#!/usr/bin/python3
"""AccurateRip answers for the scenario tests' stand-in web server, worked out apart from the program's code.

  accuraterip_ref.py selftest                         checks this script against known ids and checksums
  accuraterip_ref.py answer OUT LENGTHS [OPTION...]   writes OUT/<request path>/reply.bin
  accuraterip_ref.py tables OUT TABLE...              the same for every `accuraterip` step of the tables

LENGTHS, data=first|last, gap=S and first=N are the `disc` step's (tests/support/scenario_setup.cpp): the disc's
image, each track the test pattern of its number, a data track of 300 sectors, S seconds of silence before every
audio track but the first (ripped as the end of the track before). `device`: the disc as the test CD-ROM drive
shows it (tests/cdrom/device.cpp), a last data track moved 11400 sectors on into a second session; the image
drive has it right after the audio. The ids take the disc's own lead-out, past any data track.
The reply is two pressings, the v2 checksums at confidence 10 + slot, then the v1 ones at confidence 3; `good`;
`wrong=N`: slot N's CRC 0xBAD; `zero=N`: slot N CRC 0, confidence 0 (nobody submitted it); `cut`: 5 bytes cut
off; `pad`: a byte too many; `more`: the second record one slot longer; `404`: a 404 reply.

`tables` makes OUT/<KEY>/<request path>/reply.bin for each step, KEY being the step's words after `accuraterip`
(its scenario's `each` values and ${N*TEXT} put in) joined by "_": `accuraterip 2,2,2 wrong=3` gives
OUT/2,2,2_wrong=3/accuraterip/4/8/3/dBAR-003-00000384-00000bb9-0c000603.bin/reply.bin. A copy of OUT/<KEY>'s
contents into the server's folder www.accuraterip.com serves it.
"""
import os, re, shutil, struct, sys, zlib
from collections import namedtuple
from itertools import repeat
from operator import mul, rshift

MASK = 0xFFFFFFFF
SKIP = 5 * 588  # frames the disc's first and last audio tracks leave out, at the disc's two ends
DATA_SECTORS, SESSION_GAP = 300, 11400
SHIFTS = [bytes((x + add) & 255 for x in range(256)) for add in range(256)]
FLAGS = {"good", "cut", "pad", "more", "404", "device", "data=first", "data=last"}
Track = namedtuple("Track", "number start sectors audio silence", defaults=(True, 0))  # silence: sectors after


def sectors_of(seconds, least=1):
    sectors = int(float(seconds) * 75 + 0.5)
    return sectors if sectors >= least else sys.exit("bad length %r" % seconds)


def layout(lengths, data="", gap="0", first="1", device=False):
    """The tracks and lead-out of the `disc` step's image, as the drive reads them."""
    tracks, at, lengths = [], 0, lengths.split(",")
    def add(sectors, audio, silence=0):
        nonlocal at
        tracks.append(Track(int(first) + len(tracks), at, sectors, audio, silence))
        at += sectors + silence
    if data == "first":
        add(DATA_SECTORS, False)
    for i, seconds in enumerate(lengths):  # a gap no file holds: the track before runs on through it
        add(sectors_of(seconds), True, sectors_of(gap, 0) if i + 1 < len(lengths) else 0)
    if data == "last":
        at += SESSION_GAP if device else 0
        add(DATA_SECTORS, False)
    return tracks, at


def pattern(number, frames):
    """The `disc` step's samples of track `number`: byte i is 13 i + 101 number + i / 997, modulo 256."""
    size = frames * 4
    ramp = (bytes(13 * i & 255 for i in range(256)) * (size // 256 + 1))[:size]
    return b"".join(ramp[at:at + 997].translate(SHIFTS[(101 * number + q) & 255])
                    for q, at in enumerate(range(0, size, 997)))


def track_audio(track):
    return pattern(track.number, track.sectors * 588) + bytes(track.silence * 2352)


def ar_checksums(audio, first, last):
    """v1 and v2 of a track's samples: frame k (from 1) as a u32le word w, p = w k, v1 = sum of low32(p),
    v2 = sum of low32(p) + high32(p). The disc's first audio track counts from frame SKIP, its last to N - SKIP."""
    words = struct.unpack("<%dI" % (len(audio) // 4), audio)
    low, high = SKIP if first else 1, max(len(words) - SKIP, 0) if last else len(words)
    products = list(map(mul, words[low - 1:high], range(low, high + 1)))
    total = sum(products)  # the sum of the low words, plus 2^32 times that of the high ones
    return total & MASK, (total + sum(map(rshift, products, repeat(32)))) & MASK


def freedb_id(tracks, leadout):
    seconds = [(t.start + 150) // 75 for t in tracks]
    digits = sum(sum(map(int, str(s))) for s in seconds)
    return (digits % 255 << 24 | ((leadout + 150) // 75 - seconds[0]) << 8 | len(tracks)) & MASK


def disc_ids(tracks, leadout):
    """The audio track count, id1, id2 (of the audio tracks and the lead-out) and the freedb id (of all tracks)."""
    lbas = [t.start for t in tracks if t.audio]
    id1 = sum(lbas) + leadout
    id2 = sum(max(lba, 1) * n for n, lba in enumerate(lbas, 1)) + leadout * (len(lbas) + 1)
    return len(lbas), id1 & MASK, id2 & MASK, freedb_id(tracks, leadout)


def request_path(count, id1, id2, cddb):
    hex1 = "%08x" % id1
    return "/accuraterip/%s/%s/%s/dBAR-%03d-%s-%08x-%08x.bin" % (hex1[7], hex1[6], hex1[5], count, hex1, id2, cddb)


def record(ids, entries):
    """One pressing: the ids, then per slot its confidence and CRC (the CRC of sector 450 left 0)."""
    return struct.pack("<B3I", len(entries), *ids[1:]) + b"".join(struct.pack("<BII", c, crc, 0) for c, crc in entries)


def slot_tracks(tracks):
    """The tracks of the slots, one a slot and as many as the audio tracks: on a disc whose first track is
    data, the disc's tracks in order (the last audio track left without one); else the audio tracks."""
    audio = [t for t in tracks if t.audio]
    return (audio if tracks[0].audio else tracks)[:len(audio)]


def answer(lengths, options):
    """The request path and the reply of `accuraterip LENGTHS OPTION...`."""
    flags, values = set(), {"wrong": [], "zero": [], "gap": ["0"], "first": ["1"]}
    for word in options:
        name, _, value = word.partition("=")
        if word in FLAGS:
            flags.add(word)
        elif name in values and value.replace(".", "", 1).isdigit():
            values[name].append(value)
        else:
            sys.exit("unknown accuraterip option %r" % word)
    data = "first" if "data=first" in flags else "last" if "data=last" in flags else ""
    tracks, leadout = layout(lengths, data, values["gap"][-1], values["first"][-1], "device" in flags)
    ids, audio = disc_ids(tracks, leadout), [t for t in tracks if t.audio]
    sums = {t.number: ar_checksums(track_audio(t), t is audio[0], t is audio[-1]) for t in audio}
    wrong, zero = (set(map(int, values[name])) for name in ("wrong", "zero"))
    def entries(v, confidence):
        return [(0, 0) if not t.audio or n in zero else (confidence(n), 0xBAD if n in wrong else sums[t.number][v])
                for n, t in enumerate(slot_tracks(tracks), 1)]
    more = [(3, 0xBAD)] if "more" in flags else []
    reply = record(ids, entries(1, lambda n: 10 + n)) + record(ids, entries(0, lambda n: 3) + more)
    reply = reply[:-5] if "cut" in flags else reply + b"\0" if "pad" in flags else reply
    return request_path(*ids), b"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n" if "404" in flags else reply


def write_answer(folder, words):
    path, reply = answer(words[0], words[1:])
    target = os.path.join(folder, *path.strip("/").split("/"), "reply.bin")
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(target, "wb") as out:
        out.write(reply)


def table_steps(path):
    """The words of every `accuraterip` step of a table, each `each` group's values put in."""
    scenarios = []  # names, groups of values, steps
    for line in open(path, encoding="latin-1"):
        line = re.sub(r"(^|\s)#.*", "", line).strip()
        head, _, values = line.partition(":")
        if line.startswith("scenario "):
            scenarios.append(([], [], []))
        elif scenarios and line.startswith("each "):
            names, values = head[5:].split(), words_of(values)
            scenarios[-1][0][:] = names
            scenarios[-1][1].extend(values[i:i + len(names)] for i in range(0, len(values), len(names)))
        elif scenarios and line.startswith("accuraterip "):
            scenarios[-1][2].append(line[12:])
    return [words_of(put_values(step, zip(names, group)))
            for names, groups, steps in scenarios for step in steps for group in groups or [[]]]


def put_values(text, values):
    """An `each` group's ${NAME} values, then ${N*TEXT}, as the scenario runner puts them in."""
    for name, value in values:
        text = text.replace("${%s}" % name, value)
    return re.sub(r"\$\{(\d+)\*([^}]*)\}", lambda m: m[2] * int(m[1]), text)


def words_of(text):
    return [word.replace('"', "") for word in re.findall(r'(?:"[^"]*"|\S)+', text)]


def write_tables(folder, tables):
    for words in (words for table in tables for words in table_steps(table)):
        if "${" in " ".join(words):
            sys.exit("a variable the script cannot know in `accuraterip %s`" % " ".join(words))
        key = os.path.join(folder, "_".join(words))
        shutil.rmtree(key, ignore_errors=True)
        write_answer(key, words)


def selftest():
    failures = []
    def expect(what, got, wanted, hint):
        if got != wanted:
            failures.append("%s: %s, expected %s: %s" % (what, got, wanted, hint))
    enhanced = [Track(n, lba, 0, n < 13) for n, lba in enumerate(
        [0, 15537, 31691, 50866, 66466, 81202, 99409, 115920, 133093, 149847, 161560, 177682, 207106], 1)]
    expect("enhanced CD", "%d %08x-%08x-%08x" % disc_ids(enhanced, 210385), "12 0013bd5a-00b8d489-c60af50d",
           "id1 and id2 count the audio tracks and the lead-out past the data track; cddb counts every track")
    audio = [Track(n, lba, 0) for n, lba in enumerate([0, 6464, 32137, 53891, 61086, 87979, 92579, 115126, 153727], 1)]
    expect("9-track disc", request_path(*disc_ids(audio, 189193)),
           "/accuraterip/6/7/6/dBAR-009-000c1676-005b9836-6309da09.bin", "the ids or the path's form are off")
    ramps = [struct.pack("<%dI" % (s * 44100), *((7 * i + 1000 * t) & 0xFFFF | ((13 * i + 3000 * t) & 0xFFFF) << 16
                                                  for i in range(s * 44100))) for t, s in ((1, 10), (2, 7), (3, 5))]
    expect("3-track disc", ["%08x %08x" % ar_checksums(a, i == 0, i == 2) for i, a in enumerate(ramps)],
           ["38d7aca0 854069aa", "818ea2f4 0b1b380c", "f24f7ba8 b24944cb"],
           "v1 or v2 is off: frame numbers from 1, the frames left out at the disc's ends, or v2's high words")
    expect("track 1 alone", "%08x %08x" % ar_checksums(ramps[0], True, True), "1807853c 4abb19d3",
           "a disc of one track leaves out frames at both of its ends")
    expect("CRC-32s", ["%08x" % zlib.crc32(a) for a in ramps], ["539fa1bd", "19f1c616", "db6e3aa3"],
           "the test samples are not the ones the checksums were taken of")
    # The CDDB query texts of `disc x 2,3 data=...` on the test drive (tests/cdrom/device.table).
    for data, device, wanted in (("first", False, "10000903 3 150 450 600 11"),
                                 ("last", True, "1500a103 3 150 300 11925 163")):
        tracks, leadout = layout("2,3", data, device=device)
        got = "%08x %d %s %d" % (freedb_id(tracks, leadout), len(tracks), " ".join(str(t.start + 150) for t in tracks),
                                 (leadout + 150) // 75)
        expect("the disc 2,3 data=" + data, got, wanted, "the data track's sectors or the session gap are off")
    print("\n".join(failures) or "accuraterip_ref: all checks pass")
    return 1 if failures else 0


def main(args):
    if args == ["selftest"]:
        return selftest()
    if len(args) >= 3 and args[0] in ("answer", "tables"):
        (write_answer if args[0] == "answer" else write_tables)(args[1], args[2:])
        return 0
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
