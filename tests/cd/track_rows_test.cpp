#include "cd/track_rows.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
