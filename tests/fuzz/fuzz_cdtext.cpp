// CD-TEXT packs of any bytes, with and without valid CRCs, and the titles
// they give cut into a track row's 108 bytes as code page 932 text.
#include "cd/track_rows.h"
#include "cdlib/cdtext.h"

#include <string>
#include <vector>

static bool cp932_lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

static void take_titles(const uint8_t* packs, size_t size)
{
    std::string run = cdtext_entries(parse_cdtext(packs, size), 99);
    std::vector<char> title(kTitleSize);  // exactly a row's bytes
    for (int track = 1; track <= 99; ++track) {
        const char* found = find_cdtext_title(run.c_str(), track);
        if (found) copy_track_title(title.data(), title.size(), found, cp932_lead);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    take_titles(data, size);
    // The same packs with every CRC made right, a type of 0x80-0x8F and
    // block 0, so the text paths run too.
    std::vector<uint8_t> packs(data, data + size - size % 18);
    for (size_t at = 0; at + 18 <= packs.size(); at += 18) {
        std::string body(packs.begin() + at + 4, packs.begin() + at + 16);  // a copy: the pack is rewritten in place
        make_cdtext_pack(&packs[at], 0x80 | (packs[at] & 0x0F), packs[at + 1], packs[at + 2], packs[at + 3] & 0x8F, body.data());
    }
    take_titles(packs.data(), packs.size());
    return 0;
}
