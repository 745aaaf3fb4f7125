#include "cdlib/cdtext.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Packs of one type for texts[0..n], 12 text bytes a pack, as a disc holds them.
std::vector<uint8_t> packs_of(uint8_t type, const std::vector<std::string>& texts, uint8_t* sequence)
{
    std::string stream;
    std::vector<std::pair<int, int>> owner;  // (track, position) of each byte
    for (size_t t = 0; t < texts.size(); ++t) {
        for (size_t i = 0; i <= texts[t].size(); ++i) {
            stream += i < texts[t].size() ? texts[t][i] : '\0';
            owner.push_back({static_cast<int>(t), static_cast<int>(i)});
        }
    }
    std::vector<uint8_t> out;
    for (size_t start = 0; start < stream.size(); start += 12) {
        char text[12] = {};
        memcpy(text, stream.data() + start, std::min<size_t>(12, stream.size() - start));
        uint8_t pack[18];
        make_cdtext_pack(pack, type, static_cast<uint8_t>(owner[start].first), (*sequence)++,
                         static_cast<uint8_t>(std::min(owner[start].second, 15)), text);
        out.insert(out.end(), pack, pack + 18);
    }
    return out;
}

TEST(CdText, TitlesAndPerformersAcrossPacks)
{
    uint8_t sequence = 0;
    std::vector<uint8_t> data = packs_of(0x80, {"A Rather Long Album Title", "First", "A second title that spans"}, &sequence);
    std::vector<uint8_t> more = packs_of(0x81, {"Artist", "Singer", "\t"}, &sequence);
    data.insert(data.end(), more.begin(), more.end());
    CdText text = parse_cdtext(data.data(), data.size());
    ASSERT_TRUE(text.present);
    EXPECT_EQ(text.titles[0], "A Rather Long Album Title");
    EXPECT_EQ(text.titles[1], "First");
    EXPECT_EQ(text.titles[2], "A second title that spans");
    EXPECT_EQ(text.performers[0], "Artist");
    EXPECT_EQ(text.performers[2], "Singer") << "a tab repeats the previous track's text";
    EXPECT_FALSE(text.has_title[3]);

    std::string run = cdtext_entries(text, 3);
    std::string expected = std::string("TITLE0=A Rather Long Album Title\0PERFORMER0=Artist\0TITLE1=First\0", 64) +
                           std::string("PERFORMER1=Singer\0TITLE2=A second title that spans\0PERFORMER2=Singer\0\0", 70);
    EXPECT_EQ(run, expected) << "entries in order, ended by an empty one";
}

TEST(CdText, BadCrcDropsThePackAndItsBrokenText)
{
    uint8_t sequence = 0;
    std::vector<uint8_t> data = packs_of(0x80, {"Album", "Track one is long!", "Three"}, &sequence);
    // The pack holding the middle of "Track one is long!" gets a wrong CRC.
    data[18 + 17] ^= 0x01;
    CdText text = parse_cdtext(data.data(), data.size());
    EXPECT_EQ(text.titles[0], "Album");
    EXPECT_FALSE(text.has_title[1]) << "a text with a lost piece is left out, not joined wrongly";
    EXPECT_EQ(text.titles[2], "Three") << "texts after the lost pack are found again";
}

TEST(CdText, SizeHeaderOtherBlocksAndGarbage)
{
    uint8_t sequence = 0;
    std::vector<uint8_t> data = packs_of(0x80, {"Album", "One"}, &sequence);
    std::vector<uint8_t> with_header = {0x00, static_cast<uint8_t>(data.size() + 2), 0, 0};
    with_header.insert(with_header.end(), data.begin(), data.end());
    EXPECT_EQ(parse_cdtext(with_header.data(), with_header.size()).titles[1], "One");

    std::vector<uint8_t> block1 = data;
    for (size_t i = 0; i + 18 <= block1.size(); i += 18) {
        char text[12];
        memcpy(text, &block1[i + 4], 12);
        make_cdtext_pack(&block1[i], block1[i], block1[i + 1], block1[i + 2], static_cast<uint8_t>(block1[i + 3] | 0x10), text);
    }
    EXPECT_FALSE(parse_cdtext(block1.data(), block1.size()).present) << "only block 0 is read";

    std::vector<uint8_t> junk(1000, 0xA5);
    EXPECT_FALSE(parse_cdtext(junk.data(), junk.size()).present);
    EXPECT_EQ(cdtext_entries(CdText(), 5), "") << "no CD-TEXT, no run";
}

}  // namespace
