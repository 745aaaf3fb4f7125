#include "app/settings_rules.h"

#include <gtest/gtest.h>

namespace {

struct Flags {
    int32_t mp3, wav, wma;
    bool operator==(const Flags& o) const { return mp3 == o.mp3 && wav == o.wav && wma == o.wma; }
};

Flags validated(Flags f)
{
    validate_format_flags(&f.mp3, &f.wav, &f.wma);
    return f;
}

std::ostream& operator<<(std::ostream& os, const Flags& f)
{
    return os << f.mp3 << "," << f.wav << "," << f.wma;
}

TEST(SettingsRules, EightCombinationsOfZeroAndOne)
{
    const Flags mp3_only = {1, 0, 0};
    const struct {
        Flags in, out;
    } cases[] = {
        {{0, 0, 0}, mp3_only}, {{1, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {0, 1, 0}}, {{1, 1, 0}, mp3_only},
        {{0, 0, 1}, {0, 0, 1}}, {{1, 0, 1}, mp3_only}, {{0, 1, 1}, mp3_only}, {{1, 1, 1}, {1, 1, 1}},
    };
    for (const auto& c : cases) EXPECT_EQ(validated(c.in), c.out) << "flags read as " << c.in;
}

TEST(SettingsRules, OtherValuesFollowTheSameRule)
{
    EXPECT_EQ(validated({2, 3, 0}), (Flags{2, 3, 0})) << "2 XOR 3 = 1 with WMA 0 stays";
    EXPECT_EQ(validated({0, 0, 7}), (Flags{0, 0, 7}));
    EXPECT_EQ(validated({2, 0, 0}), (Flags{1, 0, 0}));
    EXPECT_EQ(validated({-1, -1, 5}), (Flags{-1, -1, 5})) << "0 XOR with WMA set stays";
}

}  // namespace
