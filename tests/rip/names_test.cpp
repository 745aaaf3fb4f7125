#include "rip/names.h"

#include "tests/table_file.h"

#include <cstring>

namespace {

bool cp932_lead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// One row of names.table, in a buffer of exactly `size` bytes: a write past
// it is caught.
std::string run(const TableRow& row)
{
    LeadByteTest lead = row.at(1) == "932" ? cp932_lead : nullptr;
    std::string step = row.at(0), in = row.at(2), album = row.at(5, "(off)");
    std::vector<char> buffer(std::stoul(row.at(4, "64")));
    if (step == "folder") {
        bool fits = compose_folder_text("C:\\M\\", in.c_str(), album.c_str(), row.at(6).c_str(), in != "(off)",
                                        album != "(off)", buffer.data(), buffer.size(), lead);
        return fits ? buffer.data() : "(too long)";
    }
    memcpy(buffer.data(), in.c_str(), in.size() + 1);
    sanitize_name(buffer.data(), lead);
    if (step == "level") make_safe_folder_level(buffer.data(), buffer.size(), lead);
    return buffer.data();
}

TEST(Names, SafeNamesAndFolderLevels)
{
    for (const TableRow& row : read_table("rip/names.table")) EXPECT_EQ(run(row), row.at(3)) << row.where;
    std::string long_level(300, 'a');
    EXPECT_EQ(run({"", {"level", "-", long_level, "", "400"}}), long_level) << "long levels are not cut here";
}

}  // namespace
