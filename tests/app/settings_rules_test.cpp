#include "app/settings_rules.h"

#include "tests/table_file.h"

#include <cstdio>

namespace {

std::string flags(int32_t a, int32_t b, int32_t c)
{
    return std::to_string(a) + ", " + std::to_string(b) + ", " + std::to_string(c);
}

// One row of format_flags.table: the flags kept and the format chosen.
TEST(SettingsRules, FormatFlags)
{
    const char* names[] = {"mp3", "wav", "wma", "flac"};
    for (const TableRow& row : read_table("app/format_flags.table")) {
        int32_t f[4] = {};
        ASSERT_EQ(sscanf(row.at(0).c_str(), "%d , %d , %d , %d", &f[0], &f[1], &f[2], &f[3]), 4) << row.where;
        validate_format_flags(&f[0], &f[1], &f[2], f[3]);
        EXPECT_EQ(flags(f[0], f[1], f[2]), row.at(1)) << row.where;
        EXPECT_STREQ(names[static_cast<int>(chosen_format(f[0], f[1], f[2], f[3]))], row.at(2).c_str()) << row.where;
    }
}

}  // namespace
