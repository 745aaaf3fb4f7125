#include "rip/cover_picture.h"
#include "rip/names.h"

#include "tests/table_file.h"

// One row of names.table, in a buffer of exactly `size` bytes (in UTF-8,
// of the bytes `size` - 1 units may take): a write past it is caught.
static std::string run(const TableRow& row)
{
    LeadByteTest lead = row.at(1) == "932" ? cp932_lead : row.at(1) == "utf8" ? utf8_text : nullptr;
    std::string step = row.at(0), in = row.at(3), album = row.at(4);
    size_t size = step == "file" || step == "beside" ? kMaxPathLength + 1 : std::stoul(row.at(2)), units = size - 1;
    std::vector<char> buffer(lead == utf8_text ? 3 * units + 1 : size);
    if (step == "file")
        return compose_file_name(std::stoul(row.at(2)), std::stoi(album), in.c_str(), row.at(5).c_str(), buffer.data(),
                                 buffer.size(), lead) ? buffer.data() : "(too long)";
    if (step == "beside")  // the album as the base, the year column as the suffix, ".log" with 5 spare bytes
        return compose_beside_name(std::stoul(row.at(2)), in.c_str(), row.at(5).c_str(), ".log", 5, buffer.data(),
                                   buffer.size(), lead) ? buffer.data() : "(too long)";
    if (step == "folder") {
        bool fits = compose_folder_text("C:\\M\\", in.c_str(), album.c_str(), row.at(5).c_str(), in != "(off)",
                                        album != "(off)", buffer.data(), buffer.size(), units, lead);
        return fits ? buffer.data() : "(too long)";
    }
    memcpy(buffer.data(), in.c_str(), in.size() + 1);
    sanitize_name(buffer.data(), lead);
    if (step == "level") make_safe_folder_level(buffer.data(), buffer.size(), lead);
    return buffer.data();
}

TEST(Names, SafeNamesAndFolderLevels) { check_table("rip/names.table", run); }

// One row of cover.table: what is taken of the bytes.
static std::string take_cover(const TableRow& row)
{
    CoverPicture cover;
    if (!read_cover_picture(row.at(0), &cover)) return "(refused)";
    bool whole = cover.bytes == row.at(0);
    return cover.mime + " " + std::to_string(cover.width) + "x" + std::to_string(cover.height) + "x" +
           std::to_string(cover.depth) + (whole ? "" : " (bytes not kept)");
}

TEST(Cover, JpegAndPngTakenWithTheirSize) { check_table("rip/cover.table", take_cover); }
