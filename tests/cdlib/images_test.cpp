// The audio-CD library with the disc-image back end, through its public
// calls. Each drive is a row (tests/cdlib/drive_rows.h): a cue sheet of
// tests/cdlib/discs and the files made for it here, put into "discs" beside
// this program before the first call (the library lists its drives once).
// Plain BINARY discs, the sheets' texts and the reasons of broken sheets are
// also seen through the program (tests/ui, tests/rip), the parsers natively.
#include "cdlib/cdtext.h"
#include "tests/cdlib/drive_rows.h"
#include "tests/support/harness.h"

namespace {

std::string g_discs;

// A WAVE file, with a chunk before "fmt " that a reader must skip.
std::string wave_file(const std::string& samples)
{
    auto u32 = [](size_t v) { uint32_t n = static_cast<uint32_t>(v); return std::string(reinterpret_cast<char*>(&n), 4); };
    std::string body = "WAVELIST" + u32(5) + "hello" + '\0' + "fmt " + u32(16) + u32(0x20001) + u32(44100) + u32(176400) +
                       u32(0x100004) + "data" + u32(samples.size()) + samples;
    return "RIFF" + u32(body.size()) + body;
}

struct Disc {
    DriveRow row;  // its description names its sheet
    std::vector<std::pair<std::string, std::string>> files;  // the sheet's files
};
std::vector<Disc> g_rows;

void make_discs(const std::string& sheets)
{
    std::string a = sectors(1000, 10), b = sectors(2000, 10), c = sectors(3000, 100), gap(30 * 2352, '\0'), motorola = a;
    for (size_t i = 0; i < motorola.size(); i += 2) std::swap(motorola[i], motorola[i + 1]);  // big-endian samples
    uint8_t pack[18];  // its texts win over the sheet's
    make_cdtext_pack(pack, 0x80, 0, 0, 0, "Packed\0One\0\0");
    std::string log = "disc image " + g_discs + "\\";
    g_rows = {
        // Track 1 runs on through track 2's pregap (silence) and the pause that opens track 2's file.
        {{"a-wave D: 2 tracks 130 10 | 05000102 2 150 280 3 |", {c + gap, b}},
         {{"a1.wav", wave_file(c)}, {"a2.wav", wave_file(gap.substr(2 * 2352) + b)}}},
        {{"b-cdtext E: 1 tracks 10 | 02000001 1 150 2 | TITLE0=Packed TITLE1=One", {a}},
         {{"b.cdt", std::string(reinterpret_cast<char*>(pack), 18)}, {"b.bin", a}}},
        {{"c-mixed F: 2 tracks data 10 | 04000002 2 150 200 2 |", {"", a}},
         {{"c.iso", std::string(2352 * 50, 'D')}, {"c.raw", motorola}}},
        // Track 1's postgap and track 2's pregap are silence after track 1.
        {{"d-gaps G: 2 tracks 15 10 | 04000002 2 150 165 2 |", {a + gap.substr(0, 5 * 2352), b}}, {{"d.bin", a + b}}},
        {{"e-missing H: no disc | - |", {""}, log + "e-missing.cue: missing file " + g_discs + "\\nowhere.bin\n"}},
        {{"f-malformed I: no disc | - |", {""}, log + "f-malformed.cue: bad cue sheet: line 4: unknown command: SHUFFLE\n"}},
        // Four queries of 300 ms, and two seconds of audio read at four times real time.
        {{"g-slow J: 1 tracks 150 | 02000201 1 150 4 |", {sectors(4000, 150)}, "", 1600}, {{"g.bin", sectors(4000, 150)}}},
    };
    for (const Disc& d : g_rows) {
        std::string sheet = d.row.says.substr(0, d.row.says.find(' ')) + ".cue";
        ASSERT_TRUE(CopyFileA((sheets + "\\" + sheet).c_str(), (g_discs + "\\" + sheet).c_str(), FALSE)) << sheet;
        for (const auto& file : d.files) ASSERT_TRUE(harness::write_file(g_discs + "\\" + file.first, file.second));
    }
    ASSERT_TRUE(CopyFileA((sheets + "\\not-a-disc.txt").c_str(), (g_discs + "\\not-a-disc.txt").c_str(), FALSE));
}

TEST(ImageDrives, EveryDriveIsTheDiscItsSheetDescribes)
{
    for (CDLIB_DWORD drive = 0; drive < g_rows.size(); ++drive) check_drive(drive, g_rows[drive].row);
    EXPECT_TRUE(BASS_CD_GetDriveDescription(g_rows.size()) == nullptr) << "no drive past the last sheet";
}

TEST(ImageDrives, RenamingAFileAwayTakesTheDiscOutAndBackIn)
{
    std::string file = g_discs + "\\a1.wav", away = g_discs + "\\a1.away";
    HSTREAM stream = BASS_CD_StreamCreate(0, 0, BASS_STREAM_DECODE);
    char block[20000];
    EXPECT_EQ(BASS_ChannelGetData(stream, block, sizeof block), sizeof block);
    ASSERT_TRUE(MoveFileA(file.c_str(), away.c_str()));
    EXPECT_EQ(drive_summary(0), "a-wave D: no disc | - |");
    int reads = 0;  // what was read ahead (64 sectors) may still come; then reads fail, never block
    while (BASS_ChannelGetData(stream, block, sizeof block) != 0xFFFFFFFFu && reads < 100) ++reads;
    EXPECT_LE(reads, 8);
    EXPECT_FALSE(BASS_CD_StreamSetTrack(stream, 1));
    EXPECT_EQ(BASS_ChannelIsActive(stream), 0u) << "a track that cannot be set gives nothing, not old data";
    ASSERT_TRUE(MoveFileA(away.c_str(), file.c_str()));
    EXPECT_TRUE(BASS_CD_StreamSetTrack(stream, 0)) << "renamed back, the disc is in again";
    EXPECT_TRUE(read_all(stream) == g_rows[0].row.tracks[0]) << "the same stream, from track 1's start";
}

// The WMA writer, for what rips cannot show (tests/rip checks the files of rips).
TEST(WmaWriter, FailuresAreReportedAndLeaveNothing)
{
    ASSERT_TRUE(CreateDirectoryA((g_discs + "\\folder.wma").c_str(), nullptr));
    for (const char* name : {"folder.wma", "no\\such\\folder.wma"}) {
        EXPECT_EQ(BASS_WMA_EncodeOpenFile(44100, 2, 0, 128000, (g_discs + "\\" + name).c_str()), 0u) << name;
        EXPECT_EQ(BASS_ErrorGetCode(), CDLIB_ERROR_FILEOPEN) << name;
    }
    EXPECT_FALSE(harness::file_exists(g_discs + "\\no")) << "a file that cannot be opened leaves nothing behind";
    // Wine's Z: drive reaches the host's /dev/full, where every write fails for want of space.
    if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) GTEST_SKIP() << "no /dev/full without Wine";
    HWMENCODE full = BASS_WMA_EncodeOpenFile(44100, 2, BASS_WMA_ENCODE_TAGS, 128000, "Z:\\dev\\full");
    std::string second = sectors(0, 75);
    for (int i = 0; i < 10; ++i) BASS_WMA_EncodeWrite(full, second.data(), second.size());  // more than the writer holds
    int closes = BASS_WMA_EncodeClose(full);
    DWORD why = GetLastError();
    EXPECT_EQ(closes, 0) << "a file that is not whole is not reported as finished";
    EXPECT_EQ(why, static_cast<DWORD>(ERROR_DISK_FULL)) << "the system's reason";
    EXPECT_FALSE(BASS_WMA_EncodeSetTag(full, "Title", "late", 0) || BASS_WMA_EncodeWrite(full, "....", 4) || BASS_WMA_EncodeClose(full));
    EXPECT_EQ(BASS_ErrorGetCode(), CDLIB_ERROR_HANDLE) << "a closed handle is no longer valid";
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    g_discs = harness::beside_this_program("discs");
    harness::remove_tree(g_discs);
    CreateDirectoryA(g_discs.c_str(), nullptr);
    make_discs(harness::windows_path(argc > 1 ? argv[1] : "."));
    CDLIB_SetLogProc(capture_log);
    return RUN_ALL_TESTS();
}
