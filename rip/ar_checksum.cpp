#include "ar_checksum.h"

#include <zlib.h>

#include <cstring>

namespace {

int sample_level(const uint8_t* p)
{
    int sample = static_cast<int16_t>(p[0] | p[1] << 8);
    return sample < 0 ? -sample : sample;
}

void take_frame(ArChecksum* sum, const uint8_t* p)
{
    uint64_t k = ++sum->k;
    int left = sample_level(p), right = sample_level(p + 2);
    if (left > sum->peak) sum->peak = left;
    if (right > sum->peak) sum->peak = right;
    if (sum->first && k < kArSkipFrames) return;
    if (sum->last && k + kArSkipFrames > sum->frames) return;
    uint32_t w = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    uint64_t product = w * k;
    sum->v1 += static_cast<uint32_t>(product);
    sum->v2 += static_cast<uint32_t>(product) + static_cast<uint32_t>(product >> 32);
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
        take_frame(sum, sum->partial);
    }
    for (; size >= 4; data += 4, size -= 4) take_frame(sum, data);
    memcpy(sum->partial, data, size);  // under a frame
    sum->partial_bytes = static_cast<int>(size);
}
