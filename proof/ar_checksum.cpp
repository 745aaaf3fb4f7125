#include "ar_checksum.h"

#include <zlib.h>

#include <cstring>

#include "proof/loudness.h"

namespace {

// Plain loops over whole frames: the compiler turns them into vector code
// (this file is built with -ftree-vectorize), so the sums keep up with any
// drive and cost little against an image read from memory.

int peak_of(const uint8_t* p, size_t samples)
{
    int peak = 0;
    for (size_t i = 0; i < samples; ++i) {
        int sample = static_cast<int16_t>(static_cast<uint16_t>(p[2 * i] | p[2 * i + 1] << 8));
        int level = sample < 0 ? -sample : sample;
        peak = level > peak ? level : peak;
    }
    return peak;
}

// Frames p[0..count) as frame numbers k, k + 1, ... (k fits 32 bits: a
// track of 2^32 frames would last 27 hours).
void add_products(ArChecksum* sum, const uint8_t* p, size_t count, uint32_t k)
{
    uint32_t v1 = 0, v2 = 0;
    for (size_t i = 0; i < count; ++i) {
        uint32_t w = p[4 * i] | p[4 * i + 1] << 8 | p[4 * i + 2] << 16 | static_cast<uint32_t>(p[4 * i + 3]) << 24;
        uint64_t product = static_cast<uint64_t>(w) * static_cast<uint32_t>(k + i);
        v1 += static_cast<uint32_t>(product);
        v2 += static_cast<uint32_t>(product) + static_cast<uint32_t>(product >> 32);
    }
    sum->v1 += v1;
    sum->v2 += v2;
}

// The next `count` whole frames of the track.
void take_frames(ArChecksum* sum, const uint8_t* p, size_t count)
{
    int peak = peak_of(p, count * 2);
    if (peak > sum->peak) sum->peak = peak;
    uint64_t next = sum->k + 1;  // the frame number of p[0]
    sum->k += count;
    // Counted: frame numbers from `low` up to `high`.
    uint64_t low = sum->first ? kArSkipFrames : 1;
    uint64_t high = !sum->last ? UINT64_MAX : sum->frames > kArSkipFrames ? sum->frames - kArSkipFrames : 0;
    uint64_t begin = low > next ? low - next : 0;
    uint64_t end = high < next ? 0 : high - next + 1 < count ? high - next + 1 : count;
    if (begin < end) add_products(sum, p + 4 * begin, end - begin, static_cast<uint32_t>(next + begin));
}

}  // namespace

void ar_checksum_start(ArChecksum* sum, uint64_t frames, bool first_track, bool last_track)
{
    *sum = ArChecksum();
    sum->frames = frames;
    sum->first = first_track;
    sum->last = last_track;
    sum->crc32 = static_cast<uint32_t>(crc32(0, Z_NULL, 0));
}

void ar_checksum_feed(ArChecksum* sum, const uint8_t* data, size_t size)
{
    if (size == 0) return;
    if (sum->loudness) sum->loudness->feed(data, size);
    // zlib takes a uInt length: feed it in pieces that fit.
    for (size_t done = 0; done < size;) {
        uInt piece = static_cast<uInt>(size - done < (1u << 30) ? size - done : (1u << 30));
        sum->crc32 = static_cast<uint32_t>(crc32(sum->crc32, data + done, piece));
        done += piece;
    }
    size_t have = static_cast<size_t>(sum->partial_bytes) & 3;  // of a frame begun before
    if (have > 0) {
        size_t take = size < 4 - have ? size : 4 - have;
        memcpy(sum->partial + have, data, take);
        data += take, size -= take, have += take;
        if (have < 4) {
            sum->partial_bytes = static_cast<int>(have);
            return;
        }
        take_frames(sum, sum->partial, 1);
    }
    take_frames(sum, data, size / 4);
    memcpy(sum->partial, data + size / 4 * 4, size % 4);  // under a frame
    sum->partial_bytes = static_cast<int>(size % 4);
}
