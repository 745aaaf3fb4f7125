#include "toc.h"

#include <algorithm>
#include <cstdio>

void finish_toc_lengths(Toc* toc, bool enhanced_layout)
{
    for (int i = 0; i < toc->count; ++i) {
        uint32_t end = (i + 1 < toc->count) ? toc->tracks[i + 1].start : toc->leadout;
        if (enhanced_layout && i + 2 == toc->count && toc->tracks[i].audio && !toc->tracks[i + 1].audio &&
            end >= toc->tracks[i].start + kEnhancedCdGap) {
            end -= kEnhancedCdGap;
        }
        toc->tracks[i].sectors = end > toc->tracks[i].start ? end - toc->tracks[i].start : 0;
    }
}

static int digit_sum(uint32_t n)
{
    int sum = 0;
    for (; n > 0; n /= 10) sum += static_cast<int>(n % 10);
    return sum;
}

uint32_t freedb_disc_id(const Toc& toc)
{
    if (toc.count <= 0) return 0;
    uint32_t n = 0;
    for (int i = 0; i < toc.count; ++i) n += digit_sum((toc.tracks[i].start + kLeadInFrames) / 75);
    uint32_t t = (toc.leadout + kLeadInFrames) / 75 - (toc.tracks[0].start + kLeadInFrames) / 75;
    return (n % 0xFF) << 24 | t << 8 | static_cast<uint32_t>(toc.count);
}

std::string cddb_query_text(const Toc& toc)
{
    char part[32];
    snprintf(part, sizeof part, "%08x %d", freedb_disc_id(toc), toc.count);
    std::string text = part;
    for (int i = 0; i < toc.count; ++i) {
        snprintf(part, sizeof part, " %u", toc.tracks[i].start + kLeadInFrames);
        text += part;
    }
    snprintf(part, sizeof part, " %u", (toc.leadout + kLeadInFrames) / 75);
    return text + part;
}

bool parse_toc_bytes(const uint8_t* data, size_t size, Toc* toc)
{
    *toc = Toc();
    if (size < 4) return false;
    size_t length = static_cast<size_t>(data[0]) << 8 | data[1];
    size_t end = std::min(size, length + 2);
    int first = data[2], last = data[3];
    if (first < 1 || last < first || last > kMaxTracks) return false;
    bool have_leadout = false;
    int expected = first;
    for (size_t at = 4; at + 8 <= end; at += 8) {
        const uint8_t* entry = data + at;
        int control = entry[1] & 0x0F;
        int number = entry[2];
        uint32_t msf = static_cast<uint32_t>((entry[5] * 60 + entry[6]) * 75 + entry[7]);
        if (entry[6] > 59 || entry[7] > 74 || msf < kLeadInFrames) return false;
        uint32_t lba = msf - kLeadInFrames;
        if (number == 0xAA) {
            toc->leadout = lba;
            have_leadout = true;
            break;
        }
        if (number != expected || toc->count >= kMaxTracks) return false;
        if (toc->count > 0 && lba < toc->tracks[toc->count - 1].start) return false;
        toc->tracks[toc->count].start = lba;
        toc->tracks[toc->count].audio = (control & kControlData) == 0;
        toc->tracks[toc->count].control = static_cast<uint8_t>(control);
        ++toc->count;
        ++expected;
    }
    if (!have_leadout || toc->count != last - first + 1) return false;
    toc->first = first;
    if (toc->leadout < toc->tracks[toc->count - 1].start) return false;
    finish_toc_lengths(toc, true);
    return true;
}
