#include "cdlib/cdtext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Disc {
    std::vector<std::string> titles, performers;  // [0] album and artist, [n] track n
    int code = -1;                                 // block 0's character code; -1: no size information
    int block = 0;                                 // the block every pack is in
};

// The packs of one type as a disc holds them: the texts one after another,
// each ended by a zero byte (two in a double-byte block), 12 bytes a pack.
void add_packs(std::vector<uint8_t>* out, uint8_t type, const std::vector<std::string>& texts, int unit, int block,
               uint8_t* sequence)
{
    std::string stream;
    std::vector<std::pair<int, int>> owner;  // (track, character position) of each byte
    for (size_t t = 0; t < texts.size(); ++t) {
        std::string text = texts[t] + std::string(unit, '\0');
        for (size_t i = 0; i < text.size(); ++i) owner.push_back({static_cast<int>(t), static_cast<int>(i) / unit});
        stream += text;
    }
    for (size_t start = 0; start < stream.size(); start += 12) {
        char text[12] = {};
        memcpy(text, stream.data() + start, std::min<size_t>(12, stream.size() - start));
        uint8_t pack[18];
        int flags = (unit == 2 ? 0x80 : 0) | block << 4 | std::min(owner[start].second, 15);
        make_cdtext_pack(pack, type, static_cast<uint8_t>(owner[start].first), (*sequence)++, static_cast<uint8_t>(flags), text);
        out->insert(out->end(), pack, pack + 18);
    }
}

// Titles, performers and, when the disc has a character code, the three
// size-information packs that give it.
std::vector<uint8_t> packs_of(const Disc& disc)
{
    int unit = disc.code >= 0x80 ? 2 : 1;
    uint8_t sequence = 0;
    std::vector<uint8_t> out;
    add_packs(&out, 0x80, disc.titles, unit, disc.block, &sequence);
    add_packs(&out, 0x81, disc.performers, unit, disc.block, &sequence);
    for (uint8_t i = 0; disc.code >= 0 && i < 3; ++i) {
        char info[12] = {static_cast<char>(i == 0 ? disc.code : 0), 1, static_cast<char>(disc.titles.size())};
        uint8_t pack[18];
        make_cdtext_pack(pack, 0x8F, i, sequence++, static_cast<uint8_t>(disc.block << 4), info);
        out.insert(out.end(), pack, pack + 18);
    }
    return out;
}

constexpr int kEveryTitlePack = 99;

struct Row {
    const char* what;
    Disc disc;
    const char* entries;  // cdtext_entries for 3 tracks, every NUL shown as '|'
    int bad_pack = -1;    // this pack's CRC is made wrong (kEveryTitlePack: each title pack's)
    bool header = false;  // a 4-byte size header in front of the packs
};

const Row kRows[] = {
    {"texts across packs, a tab repeats the previous track's",
     {{"A Rather Long Album Title", "First", "A second title that spans"}, {"Artist", "Singer", "\t"}, 0x00},
     "TITLE0=A Rather Long Album Title|PERFORMER0=Artist|TITLE1=First|PERFORMER1=Singer|"
     "TITLE2=A second title that spans|PERFORMER2=Singer||"},
    {"a pack failing its CRC drops the text it breaks, not the ones after it",
     {{"Album", "Track one is long!", "Three"}, {}}, "TITLE0=Album|TITLE2=Three||", 1},
    {"every title pack of block 0 failing its CRC: no titles",
     {{"Album", "One", "Two"}, {"Band"}}, "PERFORMER0=Band||", kEveryTitlePack},
    {"a size header in front", {{"Album", "One"}, {}}, "TITLE0=Album|TITLE1=One||", -1, true},
    {"only block 0 is read", {{"Album", "One"}, {}, -1, 1}, ""},
    {"MS-JIS: two bytes a character, texts spanning packs, two tabs repeat",
     {{"\x83\x41\x83\x8B\x83\x6F\x83\x80", "\x83\x5C\x83\x7C\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8", "\t\t",
       "\x8B\x4C"},
      {"\x89\xCC\x8E\xE8"},
      0x80},
     "TITLE0=\x83\x41\x83\x8B\x83\x6F\x83\x80|PERFORMER0=\x89\xCC\x8E\xE8|"
     "TITLE1=\x83\x5C\x83\x7C\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8|"
     "TITLE2=\x83\x5C\x83\x7C\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8|TITLE3=\x8B\x4C||"},
    {"MS-JIS: a lone zero byte is dropped; an odd-length text shifts nothing",
     {{"Album", std::string("\x82\0\x82\xA0", 4)}, {}, 0x80}, "TITLE0=Album|TITLE1=\x82\x82\xA0||"},
};

TEST(CdText, EntriesOfBlockZero)
{
    for (const Row& row : kRows) {
        std::vector<uint8_t> data = packs_of(row.disc);
        for (size_t at = 0; at + 18 <= data.size(); at += 18) {
            if (static_cast<int>(at / 18) == row.bad_pack || (row.bad_pack == kEveryTitlePack && data[at] == 0x80))
                data[at + 17] ^= 0x01;
        }
        if (row.header) data.insert(data.begin(), {0x00, static_cast<uint8_t>(data.size() + 2), 0, 0});
        std::string run = cdtext_entries(parse_cdtext(data.data(), data.size()), 3);
        std::replace(run.begin(), run.end(), '\0', '|');
        EXPECT_EQ(run, row.entries) << row.what;
    }
}

}  // namespace
