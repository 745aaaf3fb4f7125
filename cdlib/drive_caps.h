// What a drive says it can do (INQUIRY, MODE SENSE page 2Ah) and what it
// was lately asked to read, so that a re-read its cache could answer is
// known as one. No system calls: the optical back end feeds it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

struct DriveCaps {
    std::string vendor, product, revision;  // INQUIRY, spaces trimmed
    bool page_read = false;                 // MODE SENSE page 2Ah answered
    bool c2 = false;                        // C2 error pointers supported
    bool accurate = false;                  // "CD-DA stream is accurate"
    unsigned buffer_kib = 0;                // the drive's buffer, 0: not said
};

// INQUIRY's standard answer (at least 36 bytes); false when shorter.
bool parse_inquiry(const uint8_t* answer, size_t size, DriveCaps* caps);
// MODE SENSE(10)'s answer (an 8-byte header, block descriptors, the page);
// false unless it holds the whole capabilities page.
bool parse_capabilities_page(const uint8_t* answer, size_t size, DriveCaps* caps);
// Whether any bit of a sector's C2 error pointers (294 bytes) is set.
bool c2_flagged(const uint8_t* pointers, size_t size);

// The sectors read lately, as many as a cache of `limit` sectors holds
// (the oldest leave first).
class RecentReads {
public:
    void set_limit(uint32_t sectors) { limit_ = sectors, trim(); }
    uint32_t limit() const { return limit_; }
    void add(uint32_t first, uint32_t count);
    bool overlaps(uint32_t first, uint32_t count) const;
    void clear() { ranges_.clear(), held_ = 0; }

private:
    void trim();
    std::deque<std::pair<uint32_t, uint32_t>> ranges_;  // first, count; oldest first
    uint32_t held_ = 0, limit_ = 0;
};
