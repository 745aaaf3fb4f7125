// CD-TEXT packs of any bytes, with and without valid CRCs.
#include "cdlib/cdtext.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CdText text = parse_cdtext(data, size);
    cdtext_entries(text, 99);
    // The same bytes with every pack's CRC made right, so the text paths run too.
    std::vector<uint8_t> packs(data, data + size - size % 18);
    for (size_t at = 0; at + 18 <= packs.size(); at += 18) {
        char body[12];
        memcpy(body, &packs[at + 4], 12);
        make_cdtext_pack(&packs[at], static_cast<uint8_t>(0x80 | (packs[at] & 1)), packs[at + 1], packs[at + 2],
                         static_cast<uint8_t>(packs[at + 3] & 0x8F), body);
    }
    cdtext_entries(parse_cdtext(packs.data(), packs.size()), 99);
    return 0;
}
