#include "cdlib/drive_caps.h"

namespace {

std::string trimmed(const uint8_t* bytes, size_t size)
{
    std::string text;
    for (size_t i = 0; i < size && bytes[i]; ++i) text.push_back(bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : ' ');
    while (!text.empty() && text.back() == ' ') text.pop_back();
    size_t lead = text.find_first_not_of(' ');
    return lead == std::string::npos ? std::string() : text.substr(lead);
}

}  // namespace

bool parse_inquiry(const uint8_t* answer, size_t size, DriveCaps* caps)
{
    if (size < 36) return false;
    caps->vendor = trimmed(answer + 8, 8);
    caps->product = trimmed(answer + 16, 16);
    caps->revision = trimmed(answer + 32, 4);
    return true;
}

bool parse_capabilities_page(const uint8_t* answer, size_t size, DriveCaps* caps)
{
    if (size < 8) return false;
    size_t length = 2u + (answer[0] << 8 | answer[1]), descriptors = answer[6] << 8 | answer[7];
    size_t at = 8 + descriptors;
    if (length < size) size = length;
    // The page: its code, its length, then byte 5 (CD-DA, accuracy, C2) and
    // bytes 12-13 (the buffer in KiB) of it.
    if (at + 14 > size || (answer[at] & 0x3F) != 0x2A || answer[at + 1] + 2u < 14) return false;
    const uint8_t* page = answer + at;
    caps->page_read = true;
    caps->accurate = (page[5] & 0x02) != 0;
    caps->c2 = (page[5] & 0x10) != 0;
    caps->buffer_kib = static_cast<unsigned>(page[12] << 8 | page[13]);
    return true;
}

bool c2_flagged(const uint8_t* pointers, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        if (pointers[i]) return true;
    return false;
}

void RecentReads::add(uint32_t first, uint32_t count)
{
    if (count == 0) return;
    ranges_.emplace_back(first, count);
    held_ += count;
    trim();
}

bool RecentReads::overlaps(uint32_t first, uint32_t count) const
{
    for (const auto& range : ranges_)
        if (first < range.first + range.second && range.first < first + count) return true;
    return false;
}

void RecentReads::trim()
{
    while (held_ > limit_ && !ranges_.empty()) {
        auto& oldest = ranges_.front();
        uint32_t drop = held_ - limit_ < oldest.second ? held_ - limit_ : oldest.second;
        oldest.first += drop, oldest.second -= drop, held_ -= drop;
        if (oldest.second == 0) ranges_.pop_front();
    }
}
