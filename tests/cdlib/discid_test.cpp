// Our TOC and disc id of cue/bin images against two independent readers:
// libcdio's cd-info (track starts and lead-out) and libdiscid (freedb id).
#include "cdlib/cue.h"
#include "cdlib/image_layout.h"
#include "cdlib/toc.h"

#include <discid/discid.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Image {
    std::string cue;            // the sheet's text
    std::vector<int> seconds;   // length of each track's audio in the file
};

std::string msf(uint32_t sectors)
{
    char text[16];
    snprintf(text, sizeof text, "%02u:%02u:%02u", sectors / 4500, sectors / 75 % 60, sectors % 75);
    return text;
}

// One BINARY file named like the cue (the layout cd-info reads); tracks
// of the given sectors, each after `index0_gap` sectors of INDEX 00.
std::string write_image(const std::string& folder, const std::vector<uint32_t>& sectors, uint32_t index0_gap)
{
    std::string cue = "FILE \"disc.bin\" BINARY\n";
    uint32_t at = 0;
    for (size_t i = 0; i < sectors.size(); ++i) {
        char head[32];
        snprintf(head, sizeof head, "  TRACK %02zu AUDIO\n", i + 1);
        cue += head;
        if (i > 0 && index0_gap) {
            cue += "    INDEX 00 " + msf(at) + "\n";
            at += index0_gap;
        }
        cue += "    INDEX 01 " + msf(at) + "\n";
        at += sectors[i];
    }
    std::ofstream(folder + "/disc.cue") << cue;
    std::ofstream bin(folder + "/disc.bin", std::ios::binary);
    std::vector<char> zero(2352, 0);
    for (uint32_t s = 0; s < at; ++s) bin.write(zero.data(), zero.size());
    return cue;
}

Toc our_toc(const std::string& folder, const std::string& cue)
{
    CueSheet sheet;
    std::string error;
    EXPECT_TRUE(parse_cue(cue.data(), cue.size(), &sheet, &error)) << error;
    struct stat st;
    stat((folder + "/disc.bin").c_str(), &st);
    ImageLayout layout;
    EXPECT_TRUE(build_image_layout(sheet, {ImageFileInfo{0, static_cast<uint64_t>(st.st_size)}}, &layout, &error)) << error;
    return layout.toc;
}

// Track starts and lead-out as cd-info prints them (LSN column).
std::vector<uint32_t> cd_info_starts(const std::string& folder)
{
    std::string command = "cd-info --no-header --no-device-info --no-cddb --no-analyze --cue-file '" + folder +
                          "/disc.cue' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_TRUE(pipe != nullptr);
    std::string output;
    char buffer[4096];
    size_t n;
    while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    if (pipe) pclose(pipe);
    std::vector<uint32_t> starts;
    std::regex row(R"(^\s*\d+: \d\d:\d\d:\d\d\s+(\d+) (audio|data|leadout))");
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (std::regex_search(line, m, row)) starts.push_back(static_cast<uint32_t>(std::stoul(m[1])));
    }
    return starts;
}

void check_layout(const std::vector<uint32_t>& sectors, uint32_t index0_gap)
{
    char folder[] = "/tmp/orvo-discid-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder) != nullptr);
    std::string cue = write_image(folder, sectors, index0_gap);
    Toc toc = our_toc(folder, cue);
    ASSERT_EQ(toc.count, static_cast<int>(sectors.size()));

    std::vector<uint32_t> reference = cd_info_starts(folder);
    ASSERT_EQ(reference.size(), sectors.size() + 1) << "cd-info lists every track and the lead-out";
    for (int i = 0; i < toc.count; ++i) EXPECT_EQ(toc.tracks[i].start, reference[i]) << "start of track " << i + 1;
    EXPECT_EQ(toc.leadout, reference.back()) << "lead-out";

    DiscId* disc = discid_new();
    std::vector<int> offsets(100, 0);
    offsets[0] = static_cast<int>(reference.back() + 150);
    for (int i = 0; i < toc.count; ++i) offsets[i + 1] = static_cast<int>(reference[i] + 150);
    ASSERT_TRUE(discid_put(disc, 1, toc.count, offsets.data()));
    char id[16];
    snprintf(id, sizeof id, "%08x", freedb_disc_id(toc));
    EXPECT_STREQ(id, discid_get_freedb_id(disc));
    std::string query = std::string(discid_get_freedb_id(disc)) + " " + std::to_string(toc.count);
    for (int i = 0; i < toc.count; ++i) query += " " + std::to_string(offsets[i + 1]);
    query += " " + std::to_string(offsets[0] / 75);
    EXPECT_EQ(cddb_query_text(toc), query);
    discid_free(disc);
    system((std::string("rm -rf ") + folder).c_str());
}

TEST(DiscId, ThreeTracksWithAPause)
{
    check_layout({12 * 75, 14 * 75, 16 * 75}, 75);
}

TEST(DiscId, TwelveUnevenTracksWithPauses)
{
    std::vector<uint32_t> sectors;
    for (int i = 0; i < 12; ++i) sectors.push_back(static_cast<uint32_t>(2000 + i * 977 + (i % 3) * 31));
    check_layout(sectors, 150);
}

TEST(DiscId, KnownDiscOfTheFreedbDocumentation)
{
    // Two tracks at 150 and 20000 with the lead-out at 40000 (frames with lead-in).
    Toc toc;
    toc.count = 2;
    toc.tracks[0] = {0, 0, true};
    toc.tracks[1] = {19850, 0, true};
    toc.leadout = 39850;
    // digit sums: 150/75=2 -> 2; 20000/75=266 -> 14; n=16; t=533-2=531
    EXPECT_EQ(freedb_disc_id(toc), (16u << 24) | (531u << 8) | 2u);
    EXPECT_EQ(cddb_query_text(toc), "10021302 2 150 20000 533");
}

}  // namespace
