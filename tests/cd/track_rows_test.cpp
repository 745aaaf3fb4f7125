#include "cd/track_rows.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string title(int n)
{
    char text[kTitleSize];
    default_track_title(n, text, sizeof text);
    return text;
}

std::string time_of(uint32_t bytes)
{
    char text[32];
    format_track_time(bytes, text, sizeof text);
    return text;
}

TEST(TrackRows, DefaultTitlesAndTimes)
{
    EXPECT_EQ(title(1), "Track 01");
    EXPECT_EQ(title(100), "Track 100") << "three digits";
    EXPECT_EQ(time_of(43218000), "4:05");
    EXPECT_EQ(time_of(176399), "0:00") << "whole seconds, the remainder dropped";
    EXPECT_EQ(time_of(635040000), "60:00");
    EXPECT_EQ(time_of(0xFFFFFFFEu), "405:47") << "the largest length still formats";
}

TEST(TrackRows, CdTextTitleIsTheFirstEntryWithTheKey)
{
    const std::string run("TITLE0=Album\0TITLE10=X\0TITLE1=Y\0TITLE3=\0TITLE1=Later\0\0", 55);
    EXPECT_STREQ(find_cdtext_title(run.c_str(), 1), "Y") << "TITLE1= is not found inside TITLE10=";
    EXPECT_STREQ(find_cdtext_title(run.c_str(), 10), "X");
    EXPECT_STREQ(find_cdtext_title(run.c_str(), 3), "") << "an empty title";
    EXPECT_EQ(find_cdtext_title(run.c_str(), 2), nullptr);
    EXPECT_EQ(find_cdtext_title(nullptr, 1), nullptr) << "no CD-TEXT";
}

}  // namespace
