// Our TOC and disc id of cue/bin images against two independent readers:
// libcdio's cd-info (track starts and lead-out) and libdiscid (freedb id).
#include "cdlib/cue.h"
#include "cdlib/image_layout.h"

#include "tests/table_file.h"

#include <discid/discid.h>

#include <filesystem>

// A sheet of one BINARY file in `folder`, named like it (the layout
// cd-info reads), made sparse: only its size matters. `gap` sectors of
// INDEX 00 stand before every track but the first. Returns the sectors.
static uint32_t write_image(const std::string& folder, uint32_t gap, const std::string& lengths, std::string* cue)
{
    *cue = "FILE \"disc.bin\" BINARY\n";
    char line[64];
    uint32_t at = 0, track = 0, sectors;
    auto add_index = [&](int number) {
        snprintf(line, sizeof line, "    INDEX %02d %02u:%02u:%02u\n", number, at / 4500, at / 75 % 60, at % 75);
        *cue += line;
    };
    for (std::istringstream list(lengths); list >> sectors; at += sectors) {
        snprintf(line, sizeof line, "  TRACK %02u AUDIO\n", ++track);
        *cue += line;
        if (track > 1 && gap) add_index(0), at += gap;
        add_index(1);
    }
    std::ofstream(folder + "/disc.cue") << *cue;
    std::ofstream(folder + "/disc.bin").close();
    std::filesystem::resize_file(folder + "/disc.bin", at * 2352ull);
    return at;
}

// Track starts and the lead-out as cd-info lists them (LSN column).
static std::vector<uint32_t> cd_info_starts(const std::string& folder)
{
    std::string command = "cd-info --no-header --no-device-info --no-cddb --no-analyze --cue-file '" + folder + "/disc.cue' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::vector<uint32_t> starts;
    char line[512], kind[16];
    unsigned number, lsn;
    while (pipe && fgets(line, sizeof line, pipe)) {
        if (sscanf(line, "%u: %*u:%*u:%*u %u %15s", &number, &lsn, kind) == 3) starts.push_back(lsn);
    }
    if (pipe) pclose(pipe);
    return starts;
}

static void check_disc(const std::string& folder, const TableRow& row)
{
    SCOPED_TRACE(row.where);
    std::string cue, error;
    uint32_t sectors = write_image(folder, static_cast<uint32_t>(std::stoul(row.at(0))), row.at(1), &cue);
    CueSheet sheet;
    ImageLayout layout;
    ASSERT_TRUE(parse_cue(cue.data(), cue.size(), &sheet, &error) &&
                build_image_layout(sheet, {ImageFileInfo{0, sectors * 2352ull}}, &layout, &error)) << error;
    const Toc& toc = layout.toc;
    std::vector<uint32_t> ours, reference = cd_info_starts(folder);
    for (int i = 0; i < toc.count; ++i) ours.push_back(toc.tracks[i].start);
    ours.push_back(toc.leadout);
    ASSERT_EQ(ours, reference) << "track starts and lead-out";

    std::vector<int> offsets(100, 0);  // [0] lead-out, [n] track n, with the lead-in
    offsets[0] = static_cast<int>(reference.back() + 150);
    for (int i = 0; i < toc.count; ++i) offsets[i + 1] = static_cast<int>(reference[i] + 150);
    DiscId* disc = discid_new();
    ASSERT_TRUE(discid_put(disc, 1, toc.count, offsets.data()));
    std::string query = std::string(discid_get_freedb_id(disc)) + " " + std::to_string(toc.count);
    discid_free(disc);
    for (int i = 1; i <= toc.count; ++i) query += " " + std::to_string(offsets[i]);
    EXPECT_EQ(cddb_query_text(toc), query + " " + std::to_string(offsets[0] / 75)) << "the id leads the query";
}

TEST(DiscId, TocAndFreedbIdOfImages)
{
    char folder[] = "/tmp/orvo-discid-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder) != nullptr);
    for (const TableRow& row : read_table("cdlib/discid.table")) check_disc(folder, row);
    std::filesystem::remove_all(folder);
}
