// The optical back end replaying scripted drives: their TOC, CD-TEXT packs,
// sectors and read errors, through the library's public calls.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "cdlib/cdlib.h"
#include "cdlib/cdtext.h"
#include "cdlib/optical_device.h"

namespace {

std::vector<std::string> g_log;
void capture_log(const char* line) { g_log.push_back(line); }

uint8_t byte_of(uint32_t lba, uint32_t offset)
{
    return static_cast<uint8_t>((lba * 31 + offset * 7) & 0xFF);
}

struct Script {
    std::string description;
    std::vector<std::pair<uint32_t, bool>> tracks;  // start, audio
    uint32_t leadout = 0;
    std::vector<uint8_t> cdtext;
    bool ready = true;
    uint32_t max_sectors = 16;
    std::map<uint32_t, int> flaky;   // sector -> reads that fail before it reads
    std::set<uint32_t> bad;          // sectors that never read
    int requests = 0;
};

class ScriptedDevice : public CdDevice {
public:
    explicit ScriptedDevice(Script* script) : s_(script) {}
    bool describe(char* text, size_t size) override
    {
        snprintf(text, size, "%s", s_->description.c_str());
        return true;
    }
    bool check_ready() override { return s_->ready; }
    bool read_toc(std::vector<uint8_t>* bytes) override
    {
        if (!s_->ready) return false;
        bytes->assign(4, 0);
        auto entry = [&](int number, uint32_t lba, bool audio) {
            uint32_t msf = lba + 150;
            uint8_t e[8] = {0, static_cast<uint8_t>(0x10 | (audio ? 0 : 4)), static_cast<uint8_t>(number), 0, 0,
                            static_cast<uint8_t>(msf / 4500), static_cast<uint8_t>(msf / 75 % 60), static_cast<uint8_t>(msf % 75)};
            bytes->insert(bytes->end(), e, e + 8);
        };
        for (size_t i = 0; i < s_->tracks.size(); ++i) entry(static_cast<int>(i + 1), s_->tracks[i].first, s_->tracks[i].second);
        entry(0xAA, s_->leadout, true);
        size_t length = bytes->size() - 2;
        (*bytes)[0] = static_cast<uint8_t>(length >> 8);
        (*bytes)[1] = static_cast<uint8_t>(length & 0xFF);
        (*bytes)[2] = 1;
        (*bytes)[3] = static_cast<uint8_t>(s_->tracks.size());
        return true;
    }
    bool read_cdtext(std::vector<uint8_t>* bytes) override
    {
        if (s_->cdtext.empty()) return false;
        *bytes = s_->cdtext;
        return true;
    }
    bool read_audio(uint32_t first, uint32_t count, uint8_t* out) override
    {
        ++s_->requests;
        if (!s_->ready || count > s_->max_sectors) return false;
        for (uint32_t lba = first; lba < first + count; ++lba) {
            if (s_->bad.count(lba)) return false;
            auto flaky = s_->flaky.find(lba);
            if (flaky != s_->flaky.end() && flaky->second > 0) {
                --flaky->second;
                return false;
            }
        }
        for (uint32_t i = 0; i < count * 2352; ++i) out[i] = byte_of(first + i / 2352, i % 2352);
        return true;
    }
    uint32_t max_sectors_per_read() override { return s_->max_sectors; }

private:
    Script* s_;
};

// Drives E:, G:, H:, ... each replaying one script.
std::vector<Script> g_scripts;

int list_scripted(int* letters, int max)
{
    int n = 0;
    for (size_t i = 0; i < g_scripts.size() && n < max; ++i) letters[n++] = 4 + static_cast<int>(i) * 2;
    return n;
}

CdDevice* open_scripted(int letter)
{
    return new ScriptedDevice(&g_scripts[(letter - 4) / 2]);
}

enum { kPlain, kEnhanced, kMixed, kNinetyNine, kCdText, kErrors, kCount };

TEST(OpticalDrives, DrivesCarryLettersAndDescriptions)
{
    ASSERT_STREQ(BASS_CD_GetDriveDescription(kPlain), "ACME CD-9000 1.02");
    EXPECT_EQ(BASS_CD_GetDriveLetter(kPlain), 4u);
    EXPECT_EQ(BASS_CD_GetDriveLetter(kEnhanced), 6u);
    EXPECT_TRUE(BASS_CD_GetDriveDescription(kCount) == nullptr);
}

TEST(OpticalDrives, PlainDiscTocAndId)
{
    ASSERT_EQ(BASS_CD_GetTracks(kPlain), 3);
    EXPECT_EQ(BASS_CD_GetTrackLength(kPlain, 0), 18000u * 2352);
    EXPECT_EQ(BASS_CD_GetTrackLength(kPlain, 2), (60000u - 33000u) * 2352);
    // offsets 150, 18150, 33150 are 2, 242 and 442 seconds: n = 2 + 8 + 10 = 20; t = 802 - 2
    EXPECT_STREQ(BASS_CD_GetID(kPlain, BASS_CDID_CDDB), "14032003 3 150 18150 33150 802");
    EXPECT_TRUE(BASS_CD_GetID(kPlain, BASS_CDID_TEXT) == nullptr) << "no CD-TEXT";
}

TEST(OpticalDrives, EnhancedCdEndsTheAudioBeforeTheDataSession)
{
    ASSERT_EQ(BASS_CD_GetTracks(kEnhanced), 3);
    EXPECT_EQ(BASS_CD_GetTrackLength(kEnhanced, 1), (50000u - 11400u - 20000u) * 2352);
    EXPECT_EQ(BASS_CD_GetTrackLength(kEnhanced, 2), 0xFFFFFFFFu) << "the data track is not playable";
}

TEST(OpticalDrives, MixedModeDataFirstAndNinetyNineTracks)
{
    ASSERT_EQ(BASS_CD_GetTracks(kMixed), 3);
    EXPECT_EQ(BASS_CD_GetTrackLength(kMixed, 0), 0xFFFFFFFFu);
    EXPECT_EQ(BASS_CD_GetTrackLength(kMixed, 1), 10000u * 2352);
    ASSERT_EQ(BASS_CD_GetTracks(kNinetyNine), 99);
    EXPECT_EQ(BASS_CD_GetTrackLength(kNinetyNine, 98), 1000u * 2352);
    std::string id = BASS_CD_GetID(kNinetyNine, BASS_CDID_CDDB);
    EXPECT_EQ(id.substr(8, 4), " 99 ");
}

TEST(OpticalDrives, CdTextAcrossPacksWithTabsAndABadPack)
{
    const char* run = BASS_CD_GetID(kCdText, BASS_CDID_TEXT);
    ASSERT_TRUE(run != nullptr);
    std::vector<std::string> entries;
    for (const char* p = run; *p; p += strlen(p) + 1) entries.push_back(p);
    std::vector<std::string> expected = {"TITLE0=Greatest Hits of All", "PERFORMER0=Band", "TITLE1=Opening Number",
                                         "PERFORMER1=Band", "TITLE2=Opening Number"};
    EXPECT_EQ(entries, expected) << "track 2's title repeats track 1 by tab; track 3's pack was damaged";
}

std::vector<uint8_t> read_track(HSTREAM stream)
{
    std::vector<uint8_t> all;
    std::vector<uint8_t> block(20000);
    while (BASS_ChannelIsActive(stream)) {
        CDLIB_DWORD got = BASS_ChannelGetData(stream, block.data(), 20000);
        if (got == 0xFFFFFFFFu) break;
        all.insert(all.end(), block.begin(), block.begin() + got);
    }
    return all;
}

TEST(OpticalDrives, ReadErrorsAreRetriedAndUnreadableSectorsBecomeSilence)
{
    g_log.clear();
    HSTREAM stream = BASS_CD_StreamCreate(kErrors, 0, BASS_STREAM_DECODE);
    ASSERT_NE(stream, 0u);
    std::vector<uint8_t> data = read_track(stream);
    ASSERT_EQ(data.size(), 100u * 2352);
    bool exact = true;
    for (uint32_t lba = 0; lba < 100 && exact; ++lba) {
        for (uint32_t i = 0; i < 2352; ++i) {
            uint8_t expected = lba == 77 ? 0 : byte_of(lba, i);
            if (data[lba * 2352 + i] != expected) {
                exact = false;
                ADD_FAILURE() << "sector " << lba << " byte " << i;
                break;
            }
        }
    }
    EXPECT_TRUE(exact) << "flaky sectors 10 and 40 recovered, sector 77 silent";
    ASSERT_EQ(g_log.size(), 1u);
    EXPECT_EQ(g_log[0], "track 1: 1 sectors could not be read and were given as silence");
}

TEST(OpticalDrives, ADiscTakenOutEndsTheStream)
{
    HSTREAM stream = BASS_CD_StreamCreate(kErrors, 0, BASS_STREAM_DECODE);
    uint8_t block[20000];
    EXPECT_EQ(BASS_ChannelGetData(stream, block, sizeof block), sizeof block);
    g_scripts[kErrors].ready = false;
    int requests = g_scripts[kErrors].requests;
    int reads = 0;  // what was read ahead may still come, then the reads fail
    while (BASS_ChannelGetData(stream, block, sizeof block) != 0xFFFFFFFFu && reads < 100) ++reads;
    EXPECT_LE(reads, 8);
    EXPECT_EQ(BASS_ErrorGetCode(), CDLIB_ERROR_NOCD);
    EXPECT_EQ(BASS_ChannelIsActive(stream), 0u);
    EXPECT_LE(g_scripts[kErrors].requests - requests, 4) << "gives up at once, no retry storm";
    EXPECT_FALSE(BASS_CD_IsReady(kErrors));
    EXPECT_EQ(BASS_CD_GetTracks(kErrors), -1);
    g_scripts[kErrors].ready = true;
}

std::vector<uint8_t> cdtext_packs()
{
    // Titles: album, 1 "Opening Number", 2 a tab, 3 "Closing Time Song";
    // performers "Band" for 0 and 1.
    std::string titles("Greatest Hits of All\0Opening Number\0\t\0Closing Time Song\0", 56);
    std::vector<uint8_t> out;
    int sequence = 0, track = 0, position = 0;
    for (size_t at = 0; at < titles.size(); at += 12) {
        char text[12] = {};
        memcpy(text, titles.data() + at, std::min<size_t>(12, titles.size() - at));
        uint8_t pack[18];
        make_cdtext_pack(pack, 0x80, static_cast<uint8_t>(track), static_cast<uint8_t>(sequence++),
                         static_cast<uint8_t>(std::min(position, 15)), text);
        out.insert(out.end(), pack, pack + 18);
        for (size_t i = at; i < at + 12 && i < titles.size(); ++i) {
            if (titles[i] == '\0') { ++track; position = 0; } else { ++position; }
        }
    }
    out[4 * 18 + 10] ^= 0x40;  // the last title pack (the end of track 3's title) is damaged
    uint8_t pack[18];
    make_cdtext_pack(pack, 0x81, 0, static_cast<uint8_t>(sequence), 0, "Band\0Band\0\0\0");
    out.insert(out.end(), pack, pack + 18);
    std::vector<uint8_t> with_header = {0, static_cast<uint8_t>(out.size() + 2), 0, 0};
    with_header.insert(with_header.end(), out.begin(), out.end());
    return with_header;
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    g_scripts.resize(kCount);
    g_scripts[kPlain] = {"ACME CD-9000 1.02", {{0, true}, {18000, true}, {33000, true}}, 60000};
    g_scripts[kEnhanced] = {"ACME", {{0, true}, {20000, true}, {50000, false}}, 70000};
    g_scripts[kMixed] = {"ACME", {{0, false}, {15000, true}, {25000, true}}, 30000};
    g_scripts[kNinetyNine].description = "ACME";
    for (uint32_t i = 0; i < 99; ++i) g_scripts[kNinetyNine].tracks.push_back({i * 1000, true});
    g_scripts[kNinetyNine].leadout = 99000;
    g_scripts[kCdText] = {"ACME", {{0, true}, {1000, true}, {2000, true}}, 3000};
    g_scripts[kCdText].cdtext = cdtext_packs();
    g_scripts[kErrors] = {"ACME", {{0, true}, {100, true}}, 200};
    g_scripts[kErrors].flaky = {{10, 2}, {40, 1}};
    g_scripts[kErrors].bad = {77};
    static const CdDeviceSource source = {list_scripted, open_scripted};
    cdlib_set_device_source(&source);
    CDLIB_SetLogProc(capture_log);
    return RUN_ALL_TESTS();
}
