// Our TOC and disc id of cue/bin images against two independent readers:
// libcdio's cd-info (track starts and lead-out) and libdiscid (freedb id).
#include "cdlib/cue.h"
#include "cdlib/image_layout.h"
#include "cdlib/toc.h"

#include "tests/table_file.h"

#include <discid/discid.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

struct Disc {
    uint32_t index0_gap;            // sectors of INDEX 00 before every track but the first
    std::vector<uint32_t> sectors;  // each track's length
};

std::string msf(uint32_t sectors)
{
    char text[16];
    snprintf(text, sizeof text, "%02u:%02u:%02u", sectors / 4500, sectors / 75 % 60, sectors % 75);
    return text;
}

// One BINARY file named like the cue (the layout cd-info reads), made
// sparse: only its size matters. Returns the sheet's text.
std::string write_image(const std::string& folder, const Disc& disc, uint32_t* total)
{
    std::string cue = "FILE \"disc.bin\" BINARY\n";
    uint32_t at = 0;
    for (size_t i = 0; i < disc.sectors.size(); ++i) {
        char head[32];
        snprintf(head, sizeof head, "  TRACK %02zu AUDIO\n", i + 1);
        cue += head;
        if (i > 0 && disc.index0_gap) {
            cue += "    INDEX 00 " + msf(at) + "\n";
            at += disc.index0_gap;
        }
        cue += "    INDEX 01 " + msf(at) + "\n";
        at += disc.sectors[i];
    }
    std::ofstream(folder + "/disc.cue") << cue;
    std::ofstream(folder + "/disc.bin").close();
    EXPECT_EQ(truncate((folder + "/disc.bin").c_str(), static_cast<off_t>(at) * 2352), 0);
    *total = at;
    return cue;
}

Toc our_toc(const std::string& cue, uint32_t sectors)
{
    CueSheet sheet;
    std::string error;
    EXPECT_TRUE(parse_cue(cue.data(), cue.size(), &sheet, &error)) << error;
    ImageLayout layout;
    EXPECT_TRUE(build_image_layout(sheet, {ImageFileInfo{0, sectors * 2352ull}}, &layout, &error)) << error;
    return layout.toc;
}

// Track starts and lead-out as cd-info prints them (LSN column).
std::vector<uint32_t> cd_info_starts(const std::string& folder)
{
    std::string command = "cd-info --no-header --no-device-info --no-cddb --no-analyze --cue-file '" + folder +
                          "/disc.cue' 2>/dev/null";
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

void check_disc(const std::string& folder, const Disc& disc)
{
    uint32_t total;
    std::string cue = write_image(folder, disc, &total);
    Toc toc = our_toc(cue, total);
    std::vector<uint32_t> reference = cd_info_starts(folder);
    ASSERT_EQ(reference.size(), disc.sectors.size() + 1) << "cd-info lists every track and the lead-out";
    ASSERT_EQ(toc.count, static_cast<int>(disc.sectors.size()));
    std::vector<int> offsets(100, 0);  // [0] lead-out, [n] track n, with the lead-in
    offsets[0] = static_cast<int>(reference.back() + 150);
    for (int i = 0; i < toc.count; ++i) {
        EXPECT_EQ(toc.tracks[i].start, reference[i]) << "start of track " << i + 1;
        offsets[i + 1] = static_cast<int>(reference[i] + 150);
    }
    EXPECT_EQ(toc.leadout, reference.back()) << "lead-out";

    DiscId* reference_id = discid_new();
    ASSERT_TRUE(discid_put(reference_id, 1, toc.count, offsets.data()));
    std::string query = std::string(discid_get_freedb_id(reference_id)) + " " + std::to_string(toc.count);
    discid_free(reference_id);
    for (int i = 0; i < toc.count; ++i) query += " " + std::to_string(offsets[i + 1]);
    EXPECT_EQ(cddb_query_text(toc), query + " " + std::to_string(offsets[0] / 75)) << "the id leads the query";
}

TEST(DiscId, TocAndFreedbIdOfImages)
{
    char folder[] = "/tmp/orvo-discid-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder) != nullptr);
    for (const TableRow& row : read_table("cdlib/discid.table")) {
        SCOPED_TRACE(row.where);
        Disc disc = {static_cast<uint32_t>(std::stoul(row.at(0))), {}};
        std::istringstream sectors(row.at(1));
        for (uint32_t n; sectors >> n;) disc.sectors.push_back(n);
        check_disc(folder, disc);
    }
    unlink((std::string(folder) + "/disc.cue").c_str());
    unlink((std::string(folder) + "/disc.bin").c_str());
    rmdir(folder);
}

}  // namespace
