#include "toc.h"

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
