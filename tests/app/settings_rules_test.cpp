#include "app/settings_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The flags stay when (MP3 XOR WAV) equals (WMA == 0); otherwise MP3 alone.
TEST(SettingsRules, FormatFlags)
{
    const int32_t rows[][6] = {
        // read as MP3, WAV, WMA    kept as MP3, WAV, WMA
        {0, 0, 0, 1, 0, 0}, {1, 0, 0, 1, 0, 0}, {0, 1, 0, 0, 1, 0}, {1, 1, 0, 1, 0, 0},
        {0, 0, 1, 0, 0, 1}, {1, 0, 1, 1, 0, 0}, {0, 1, 1, 1, 0, 0}, {1, 1, 1, 1, 1, 1},
        {2, 3, 0, 2, 3, 0}, {0, 0, 7, 0, 0, 7}, {2, 0, 0, 1, 0, 0}, {-1, -1, 5, -1, -1, 5},
    };
    for (const auto& row : rows) {
        int32_t mp3 = row[0], wav = row[1], wma = row[2];
        validate_format_flags(&mp3, &wav, &wma);
        EXPECT_EQ(std::vector<int32_t>({mp3, wav, wma}), std::vector<int32_t>(row + 3, row + 6))
            << "read as " << row[0] << "," << row[1] << "," << row[2];
    }
}

}  // namespace
