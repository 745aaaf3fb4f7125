#include "lookup/cddb.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string value_of(const char* text, const char* key, int* at = nullptr, size_t size = 256)
{
    char out[256] = "garbage";
    int p = find_key_value(text, key, out, size);
    if (at) *at = p;
    return out;
}

TEST(FindKeyValue, ValueUpToTheCarriageReturn)
{
    int at = 0;
    EXPECT_EQ(value_of("xx\r\nDTITLE=A / B\r\nYEAR: 1999\r\n", "DTITLE=", &at), "A / B");
    EXPECT_EQ(at, 4) << "the offset of the key, not of its value";
    EXPECT_EQ(value_of("TTITLE0=One\nTwo\r\n", "TITLE0="), "One\nTwo") << "a line feed is no end mark";
    EXPECT_EQ(value_of("KEY=\r\nmore", "KEY=", &at), "");
    EXPECT_EQ(at, 0) << "an empty value is found";
}

TEST(FindKeyValue, KeysInsideOtherKeysAndAtTheEnd)
{
    EXPECT_EQ(value_of("TTITLE10=Ten\r\nTTITLE1=One\r\n", "TITLE1="), "One") << "TITLE1= is not in TITLE10=";
    EXPECT_EQ(value_of("DYEAR=1999\r\nYEAR: 2001 ID3G: 17\r\n", "YEAR: "), "2001 ID3G: 17");
    int at = 0;
    EXPECT_EQ(value_of("DYEAR=1999\r\n", "YEAR: ", &at), "");
    EXPECT_EQ(at, -1) << "DYEAR= does not satisfy YEAR: ";
    EXPECT_EQ(value_of("abc KEY=", "KEY=", &at), "");
    EXPECT_EQ(at, -1) << "a key at the very end is not found";
    EXPECT_EQ(value_of("", "KEY=", &at), "");
    EXPECT_EQ(at, -1);
}

TEST(FindKeyValue, ValuesAreCutToTheBuffer)
{
    std::string text = "K=" + std::string(5000, 'v') + "\r\n";
    char small[8];
    EXPECT_EQ(find_key_value(text.c_str(), "K=", small, sizeof small), 0);
    EXPECT_STREQ(small, "vvvvvvv");
}

TEST(Dtitle, SplitsAtTheFirstSeparator)
{
    auto split = [](const char* d) {
        char artist[64], album[64];
        split_dtitle(d, artist, sizeof artist, album, sizeof album);
        return std::string(artist) + "|" + album;
    };
    EXPECT_EQ(split("Artist / Album"), "Artist|Album");
    EXPECT_EQ(split("A / B / C"), "A|B / C");
    EXPECT_EQ(split("Solo"), "Solo|");
    EXPECT_EQ(split("X / "), "X / |") << "nothing after the separator: the whole value is the artist";
}

TEST(Categories, ElevenInTheirOrder)
{
    EXPECT_STREQ(CddbCategories[0].name, "blues");
    EXPECT_STREQ(CddbCategories[0].description, "Blues (self explanatory)");
    EXPECT_STREQ(CddbCategories[8].name, "rock");
    EXPECT_STREQ(CddbCategories[10].name, "misc");
    EXPECT_STREQ(CddbCategories[10].description, "Misc (others that do not fit in the above categories) ");
}

}  // namespace
