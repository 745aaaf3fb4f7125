#!/usr/bin/python3
"""AccurateRip ids and checksums worked out apart from the program's code, for its tests.

  accuraterip_ref.py selftest    checks this script against known ids and checksums
"""
import struct, sys, zlib
from collections import namedtuple
from itertools import repeat
from operator import mul, rshift

MASK = 0xFFFFFFFF
SKIP = 5 * 588  # frames the disc's first and last audio tracks leave out, at the disc's two ends
Track = namedtuple("Track", "number start sectors audio", defaults=(True,))


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
    print("\n".join(failures) or "accuraterip_ref: all checks pass")
    return 1 if failures else 0


def main(args):
    if args == ["selftest"]:
        return selftest()
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
