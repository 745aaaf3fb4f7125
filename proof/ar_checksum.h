// A track's checksums, taken as its audio is read: the AccurateRip v1 and v2
// checksums, the CRC-32 of the audio (zlib's), and its peak level.
//
// The audio is 16-bit stereo little-endian, fed in blocks of any size (a
// block may end inside a frame). Frame k (from 1) as a u32 little-endian
// word w: p = w * k as 64 bits; v1 = sum of low32(p), v2 = sum of low32(p) +
// high32(p), modulo 2^32. The disc's first audio track counts only from
// frame 2940 on, its last only up to frame N - 2940 (5 sectors each end).
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint32_t kArSkipFrames = 5 * 588;

class LoudnessMeter;

struct ArChecksum {
    // Set by ar_checksum_start.
    uint64_t frames = 0;  // N: the track's length in frames
    bool first = false, last = false;
    // The results so far.
    uint32_t v1 = 0, v2 = 0;
    uint32_t crc32 = 0;
    int peak = 0;  // the largest absolute sample, 0 to 32768
    // Fed the same blocks, when set: the track's loudness.
    LoudnessMeter* loudness = nullptr;
    // Where feeding stands.
    uint64_t k = 0;  // frames taken
    uint8_t partial[4] = {};
    int partial_bytes = 0;
};

void ar_checksum_start(ArChecksum* sum, uint64_t frames, bool first_track, bool last_track);
void ar_checksum_feed(ArChecksum* sum, const uint8_t* data, size_t size);
