#include "cd/track_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(TrackRows, DefaultTitlesTimesAndCdTextTitles)
{
    char text[kTitleSize];
    const std::pair<int, const char*> titles[] = {{1, "Track 01"}, {100, "Track 100"}};
    for (const auto& row : titles) {
        default_track_title(row.first, text, sizeof text);
        EXPECT_STREQ(text, row.second);
    }
    // Whole seconds, the remainder dropped; the largest length still formats.
    const std::pair<uint32_t, const char*> times[] = {
        {43218000, "4:05"}, {176399, "0:00"}, {635040000, "60:00"}, {0xFFFFFFFEu, "405:47"}};
    for (const auto& row : times) {
        format_track_time(row.first, text, sizeof text);
        EXPECT_STREQ(text, row.second);
    }
    // The first entry with the key counts; TITLE1= is not inside TITLE10=.
    const std::string run("TITLE0=Album\0TITLE10=X\0TITLE1=Y\0TITLE3=\0TITLE1=Later\0\0", 55);
    const std::pair<int, const char*> found[] = {{1, "Y"}, {10, "X"}, {3, ""}, {2, "(none)"}};
    for (const auto& row : found) {
        const char* title = find_cdtext_title(run.c_str(), row.first);
        EXPECT_STREQ(title ? title : "(none)", row.second) << "track " << row.first;
    }
    EXPECT_EQ(find_cdtext_title(nullptr, 1), nullptr) << "no CD-TEXT";
}

TEST(TrackRows, TitlesAreCutTo107BytesBetweenCharacters)
{
    const std::pair<std::string, size_t> rows[] = {
        {std::string(107, 'a'), 107}, {std::string(108, 'a'), 107}, {std::string(106, 'a') + "\x83\x5C", 106},
        {std::string(105, 'a') + "\x83\x5C", 107}, {"ab\x83", 3}};
    for (const auto& row : rows) {
        std::vector<char> title(kTitleSize);  // exactly 108 bytes: a write past them is caught
        copy_track_title(title.data(), title.size(), row.first.c_str(), [](unsigned char c) { return c >= 0x81 && c <= 0x9F; });
        EXPECT_EQ(std::string(title.data()), row.first.substr(0, row.second));
    }
}

}  // namespace
