#include "rip/cover_picture.h"

#include <cstdint>

namespace {

struct Facts {
    const char* mime;
    uint32_t width, height, depth;
};

uint32_t big_endian(const unsigned char* p, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | p[i];
    return value;
}

// A start-of-frame marker: the frames that give the picture's size (not
// DHT C4, JPG C8 or DAC CC, which share the range).
bool frame_marker(unsigned char marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The segments after SOI up to the first frame header; a scan or the end
// of the picture before it means there is no size to be had.
bool read_jpeg(const unsigned char* p, size_t size, Facts* facts)
{
    if (size < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
    for (size_t at = 2; at + 4 <= size;) {
        if (p[at] != 0xFF) return false;
        unsigned char marker = p[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // no length follows
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return false;
        size_t length = big_endian(p + at + 2, 2);
        if (length < 2 || at + 2 + length > size) return false;
        if (frame_marker(marker)) {
            if (length < 8) return false;
            const unsigned char* frame = p + at + 4;  // precision, height, width, components
            *facts = {"image/jpeg", big_endian(frame + 3, 2), big_endian(frame + 1, 2), 1u * frame[0] * frame[5]};
            return facts->width && facts->height && facts->depth;
        }
        at += 2 + length;
    }
    return false;
}

// The signature and the IHDR chunk that must follow it. Palette pictures
// count as 24 bits a pixel, as their samples are 8-bit RGB.
bool read_png(const unsigned char* p, size_t size, Facts* facts)
{
    static const unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static const unsigned char kHeader[] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    if (size < 8 + 8 + 13 + 4) return false;
    for (int i = 0; i < 8; ++i)
        if (p[i] != kSignature[i] || p[8 + i] != kHeader[i]) return false;
    const unsigned char* header = p + 16;
    uint32_t width = big_endian(header, 4), height = big_endian(header + 4, 4), bits = header[8];
    uint32_t channels = 0;
    switch (header[9]) {  // colour type, and the bit depths it allows
    case 0: channels = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 ? 1 : 0; break;
    case 2: channels = bits == 8 || bits == 16 ? 3 : 0; break;
    case 3: channels = bits == 1 || bits == 2 || bits == 4 || bits == 8 ? 3 : 0, bits = 8; break;
    case 4: channels = bits == 8 || bits == 16 ? 2 : 0; break;
    case 6: channels = bits == 8 || bits == 16 ? 4 : 0; break;
    }
    if (!channels || !width || !height || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
    *facts = {"image/png", width, height, channels * bits};
    return true;
}

}  // namespace

bool read_cover_picture(const std::string& bytes, CoverPicture* cover)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    Facts facts = {};
    if (bytes.size() > kMaxCoverBytes || !(read_jpeg(p, bytes.size(), &facts) || read_png(p, bytes.size(), &facts)))
        return false;
    cover->bytes = bytes;
    cover->mime = facts.mime;
    cover->width = facts.width;
    cover->height = facts.height;
    cover->depth = facts.depth;
    return true;
}
