#include "rip/names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Lead bytes of code page 932 (Shift-JIS).
bool cp932_lead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

enum Step { Name, Level, Folder };

// Name: sanitize_name. Level: sanitize_name, then make_safe_folder_level in
// a buffer of `size` bytes. Folder: compose_folder_text under "C:\M\" with
// `in` as the artist and `album`, `year`; a null artist or album turns that
// level off; a null `out` means the folder does not fit `size`.
struct Row {
    Step step;
    LeadByteTest lead;
    const char* in;
    const char* out;
    size_t size = 64;
    const char* album = nullptr;
    const char* year = "";
};

const Row kRows[] = {
    {Name, nullptr, "\\/:*?\"<>|", "_____'___"},
    {Name, nullptr, "a\x01z\x1f\x7f\t~", "a_z___~"},
    {Name, nullptr, "Caf\xE9 \x83\x5C", "Caf\xE9 \x83_"},
    {Name, cp932_lead, "\x83\x5C\x83\x7C", "\x83\x5C\x83\x7C"},
    {Name, cp932_lead, "\\\x81\x40:|", "_\x81\x40__"},
    {Name, cp932_lead, "ab\x83", "ab_"},
    {Level, nullptr, "", "_"},
    {Level, nullptr, ".", "_"},
    {Level, nullptr, "..", "__"},
    {Level, nullptr, "...", "___"},
    {Level, nullptr, " . ", "___"},
    {Level, nullptr, "Live.", "Live_"},
    {Level, nullptr, "Band  ", "Band__"},
    {Level, nullptr, " a. b", " a. b"},
    {Level, nullptr, "CON", "_CON"},
    {Level, nullptr, "con.txt", "_con.txt"},
    {Level, nullptr, "Nul .x", "_Nul .x"},
    {Level, nullptr, "Com1", "_Com1"},
    {Level, nullptr, "lpt3.tar.gz", "_lpt3.tar.gz"},
    {Level, nullptr, "aux", "_aux"},
    {Level, nullptr, "PRN", "_PRN"},
    {Level, nullptr, "conout$", "_conout$"},
    {Level, nullptr, "COM\xB9", "_COM\xB9"},
    {Level, nullptr, "LPT9 ", "LPT9_"},
    {Level, nullptr, "COM0", "COM0"},
    {Level, nullptr, "CONSOLE", "CONSOLE"},
    {Level, nullptr, "NULL.x", "NULL.x"},
    {Level, nullptr, "CON.x", "_CON_", 6},
    {Level, cp932_lead, "NUL.\x83\x5C", "_NUL_", 7},
    {Level, cp932_lead, "\x83\x5C ", "\x83\x5C_"},
    {Level, cp932_lead, "\x83\x5C\x83\x7C", "\x83\x5C\x83\x7C"},
    {Folder, nullptr, "AC/DC", "C:\\M\\AC_DC\\Live_ 1999\\", 64, "Live: 1999"},
    {Folder, nullptr, "..", "C:\\M\\__\\"},
    {Folder, nullptr, nullptr, "C:\\M\\1999 - Live\\", 64, "Live", "1999"},
    {Folder, nullptr, "Band", "C:\\M\\Band\\_\\", 64, ""},
    {Folder, nullptr, "CON", "C:\\M\\_CON\\x_\\", 64, "x."},
    {Folder, nullptr, nullptr, "C:\\M\\", 64, nullptr, "1999"},
    {Folder, cp932_lead, "\x83\x5C", "C:\\M\\\x83\x5C\\"},
    {Folder, nullptr, "Band", "C:\\M\\Band\\", 11},
    {Folder, nullptr, "Band", nullptr, 10},
};

std::string run(const Row& row)
{
    std::vector<char> buffer(row.size);  // exactly `size` bytes: a write past it is caught
    if (row.step == Folder) {
        bool fits = compose_folder_text("C:\\M\\", row.in ? row.in : "", row.album ? row.album : "", row.year,
                                        row.in != nullptr, row.album != nullptr, buffer.data(), buffer.size(), row.lead);
        return fits ? buffer.data() : "(does not fit)";
    }
    memcpy(buffer.data(), row.in, strlen(row.in) + 1);
    sanitize_name(buffer.data(), row.lead);
    if (row.step == Level) make_safe_folder_level(buffer.data(), buffer.size(), row.lead);
    return buffer.data();
}

TEST(Names, SafeNamesAndFolderLevels)
{
    for (const Row& row : kRows) {
        EXPECT_EQ(run(row), row.out ? row.out : "(does not fit)")
            << "step " << row.step << (row.lead ? ", code page 932" : "") << ", input \"" << (row.in ? row.in : "(off)")
            << "\"";
    }
    std::string long_level(300, 'a');
    EXPECT_EQ(run({Level, nullptr, long_level.c_str(), nullptr, 400}), long_level) << "long levels are not cut here";
}

}  // namespace
