#include "lookup/cddb.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct Row {
    const char* text;
    const char* key;
    const char* value;
    int at;             // the key's offset, -1: not found
    size_t size = 256;  // the out buffer's bytes
};

const Row kRows[] = {
    {"xx\r\nDTITLE=A / B\r\nYEAR: 1999\r\n", "DTITLE=", "A / B", 4},
    {"TTITLE0=One\nTwo\r\n", "TITLE0=", "One\nTwo", 1},  // a line feed is no end mark
    {"KEY=\r\nmore", "KEY=", "", 0},
    {"TTITLE10=Ten\r\nTTITLE1=One\r\n", "TITLE1=", "One", 15},
    {"DYEAR=1999\r\nYEAR: 2001 ID3G: 17\r\n", "YEAR: ", "2001 ID3G: 17", 12},
    {"DYEAR=1999\r\n", "YEAR: ", "", -1},
    {"abc KEY=", "KEY=", "", -1},  // nothing behind the key
    {"", "KEY=", "", -1},
    {"K=1234567\r\n", "K=", "1234567", 0, 8},  // values of size - 1, size and size + 1 bytes
    {"K=12345678\r\n", "K=", "1234567", 0, 8},
    {"K=123456789", "K=", "1234567", 0, 8},
    {"K=1", "K=", "", 0, 1},
};

TEST(Cddb, FindKeyValue)
{
    for (const Row& row : kRows) {
        std::unique_ptr<char[]> out(new char[row.size]);  // exactly `size` bytes: a write past it is caught
        out[0] = 'x';
        EXPECT_EQ(find_key_value(row.text, row.key, out.get(), row.size), row.at) << row.text;
        EXPECT_EQ(std::string(out.get()), row.value) << row.text;
    }
}

TEST(Cddb, DtitleSplitsAtTheFirstSeparator)
{
    const char* const rows[][2] = {
        {"Artist / Album", "Artist|Album"}, {"A / B / C", "A|B / C"}, {"Solo", "Solo|"}, {"X / ", "X / |"}};
    for (const auto& row : rows) {
        char artist[64], album[64];
        split_dtitle(row[0], artist, sizeof artist, album, sizeof album);
        EXPECT_EQ(std::string(artist) + "|" + album, row[1]);
    }
}

TEST(Cddb, CategoryNamesInTheirOrder)
{
    std::string names;
    for (const CddbCategory& category : CddbCategories) names += std::string(category.name) + " ";
    EXPECT_EQ(names, "blues classical country data folk jazz newage reggae rock soundtrack misc ");
}

}  // namespace
