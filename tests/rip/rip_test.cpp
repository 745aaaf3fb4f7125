// Ripping with the real simulation build, from the Rip CD button to the
// files on disk. MP3 files are also left in "rip-out" beside this program
// for tests/rip/check_rips.py, which reads them with independent tools.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "tests/support/harness.h"
#include "tests/support/sim.h"

using harness::Sim;
using harness::sectors;
using harness::RipRun;
using harness::count_files;
using harness::ini_for;
using harness::one_track_disc;
using harness::pattern;
using harness::rip;

namespace {

std::string g_sim;       // OrvoCdRipperSim.exe
std::string g_sample;    // folder of the sample disc image
std::string g_rip_out;   // MP3 and WAV files for the native check

uint32_t le32(const std::string& s, size_t at)
{
    return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 | static_cast<uint8_t>(s[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

TEST(Rip, WavFilesHoldTheTrackBytesExactly)
{
    Sim sim(g_sim);
    std::string out = harness::make_temp_folder("out");
    sim.settings(ini_for(out, "MP3=0\r\nWAV=1\r\nWMA=0"));
    sim.file("w.bin", pattern(1, 588 * 40) + pattern(2, 588 * 25) + pattern(3, 588 * 5) + pattern(4, 588 * 5));
    sim.file("w.cue", "FILE w.bin BINARY\n  TRACK 01 AUDIO\n    TITLE \"First\"\n    INDEX 01 00:00:00\n"
                      "  TRACK 02 AUDIO\n    TITLE \"Intro: Part 1/2\"\n    INDEX 01 00:00:40\n"
                      "  TRACK 03 AUDIO\n    TITLE \"Same\"\n    INDEX 01 00:00:65\n"
                      "  TRACK 04 AUDIO\n    TITLE \"Same\"\n    INDEX 01 00:00:70\n");
    ASSERT_TRUE(sim.start());
    RipRun run = rip(sim, IDC_WAV);
    EXPECT_TRUE(run.done) << "the rip ends with Done!";
    std::string first = harness::read_file(out + "\\1.First.wav");
    std::string second = harness::read_file(out + "\\2.Intro_ Part 1_2.wav");
    ASSERT_EQ(first.size(), 44u + 588 * 40 * 4);
    EXPECT_TRUE(first.substr(44) == pattern(1, 588 * 40)) << "the samples exactly as on the disc";
    EXPECT_TRUE(second.substr(44) == pattern(2, 588 * 25));
    EXPECT_TRUE(harness::read_file(out + "\\3.Same.wav").substr(44) == pattern(3, 588 * 5)) << "equal titles,";
    EXPECT_TRUE(harness::read_file(out + "\\4.Same.wav").substr(44) == pattern(4, 588 * 5)) << "two files";
    EXPECT_EQ(first.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(first, 4), first.size() - 8);
    EXPECT_EQ(first.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(first, 16), 16u);
    EXPECT_EQ(le32(first, 20), 0x00020001u) << "PCM, 2 channels";
    EXPECT_EQ(le32(first, 24), 44100u);
    EXPECT_EQ(le32(first, 28), 176400u);
    EXPECT_EQ(le32(first, 32), 0x00100004u) << "4 bytes a frame, 16 bits";
    EXPECT_EQ(first.substr(36, 4), "data");
    EXPECT_EQ(le32(first, 40), first.size() - 44);
    EXPECT_EQ(sim.close(), 0);
    std::string ini = harness::read_file(sim.program.folder + "\\settings.ini");
    EXPECT_NE(ini.find("WAV=1"), std::string::npos) << "the chosen format is saved";
    harness::remove_tree(out);
}

TEST(Rip, Mp3AndWmaFilesAreTaggedInTheirFolders)
{
    Sim sim(g_sim);
    sim.settings(ini_for(g_rip_out, "MP3=1\r\nWAV=0\r\nWMA=0"));
    for (const char* ext : {".bin", ".cdt"})
        CopyFileA((g_sample + "\\Orvo Sample Disc" + ext).c_str(), (sim.discs() + "\\Orvo Sample Disc" + ext).c_str(), FALSE);
    // The sample disc without its data track, so that the test owns the sheet.
    sim.file("Orvo Sample Disc.cue", "CDTEXTFILE \"Orvo Sample Disc.cdt\"\nFILE \"Orvo Sample Disc.bin\" BINARY\n"
                                     "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 00 00:12:00\n"
                                     "    INDEX 01 00:13:00\n  TRACK 03 AUDIO\n    INDEX 01 00:27:00\n");
    ASSERT_TRUE(sim.start());
    sim.set_field(IDC_ARTIST, "AC/DC \"Live\"");
    sim.set_field(IDC_ALBUM, "Live");
    sim.set_field(IDC_YEAR, "1999");
    // Only the first and third rows.
    harness::set_list_state_image(sim.program.process.hProcess, sim.list, 1, 1);
    RipRun run = rip(sim, IDC_MP3, 1, 1);
    EXPECT_TRUE(run.done);
    EXPECT_EQ(run.boxes.size(), 1u) << "only Done!: " << (run.boxes.empty() ? "" : run.boxes[0]) << " / "
                                    << (run.boxes.size() > 1 ? run.boxes[1] : "");
    std::string folder = g_rip_out + "\\AC_DC 'Live'\\1999 - Live\\";
    EXPECT_TRUE(harness::file_exists(folder + "1.Morning Light.mp3")) << "artist and year - album levels, made safe";
    EXPECT_TRUE(harness::file_exists(folder + "3.Long Way Home.mp3"));
    EXPECT_FALSE(harness::file_exists(folder + "2.Paper Boats.mp3")) << "the unticked row";
    EXPECT_FALSE(harness::file_exists(sim.program.folder + "\\wav.tmp")) << "no temporary file is left";

    // The same tracks as WAV, for the native check's comparison, and as WMA.
    harness::set_list_state_image(sim.program.process.hProcess, sim.list, 1, 2);
    EXPECT_TRUE(rip(sim, IDC_WAV, 1, 1).done);
    EXPECT_TRUE(rip(sim, IDC_WMA, 1, 1).done);
    EXPECT_TRUE(harness::file_exists(folder + "2.Paper Boats.wma"));
    EXPECT_EQ(sim.close(), 0);
}

bool contains(const std::vector<std::string>& boxes, const std::string& text, int* count = nullptr)
{
    int n = 0;
    for (const std::string& b : boxes) n += b.rfind(text, 0) == 0 ? 1 : 0;
    if (count) *count = n;
    return n > 0;
}

std::string four_tracks(Sim& sim, const char* rem, uint32_t frames_each)
{
    std::string bin;
    std::string cue = std::string(rem) + "FILE f.bin BINARY\n";
    for (int t = 0; t < 4; ++t) {
        bin += pattern(t, frames_each);
        char line[96];
        uint32_t start = t * frames_each / 588;
        snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02u:%02u:%02u\n", t + 1, start / 4500, start / 75 % 60,
                 start % 75);
        cue += line;
    }
    sim.file("f.bin", bin);
    sim.file("f.cue", cue);
    return bin;
}

const char* extension(int format)
{
    return format == IDC_WAV ? "wav" : format == IDC_WMA ? "wma" : "mp3";
}

TEST(RipFaults, DiscTakenOutBeforeARip)
{
    Sim sim(g_sim);
    std::string out = harness::make_temp_folder("out");
    sim.settings(ini_for(out, "MP3=0\r\nWAV=1\r\nWMA=0"));
    four_tracks(sim, "", 588 * 30);
    ASSERT_TRUE(sim.start());
    ASSERT_TRUE(MoveFileA((sim.discs() + "\\f.bin").c_str(), (sim.discs() + "\\f.away").c_str()));
    RipRun run = rip(sim, IDC_WAV);
    int count = 0;
    EXPECT_TRUE(contains(run.boxes, "No disc!", &count));
    EXPECT_EQ(count, 1) << "said once";
    EXPECT_FALSE(run.done) << "no Done!";
    EXPECT_EQ(count_files(out, "*"), 0) << "no file, not even a header-only WAV";
    EXPECT_EQ(sim.close(), 0);
    harness::fault_row("01", "Disc taken out before a rip", "\"No disc!\" once, no \"Done!\"", "no file",
                       "the program stays usable and closes normally");
    harness::remove_tree(out);
}

// Four 6-second tracks read at 4x real time (1.5 s each, so a slow test
// machine still acts well before the second track is read); `act` comes
// once the second track has been reading for a moment.
constexpr uint32_t kSecondsPerTrack = 6;

void rip_until_the_second_track(Sim& sim, int format, const std::string& out, void (*act)(Sim&), RipRun* run)
{
    sim.settings(ini_for(out, "MP3=1\r\nWAV=0\r\nWMA=0"));
    four_tracks(sim, "REM SPEED 4\n", 44100 * kSecondsPerTrack);
    ASSERT_TRUE(sim.start());
    static void (*g_act)(Sim&);
    g_act = act;
    *run = rip(sim, format, -1, -1, nullptr, [](Sim& s) {
        HWND progress = harness::wait_for_window(s.program.process.dwProcessId, "CD Ripping...");
        harness::wait_for_text(GetDlgItem(progress, IDC_TRACK_LABEL), "2.Track 02", 20000);
        Sleep(300);
        g_act(s);
    });
}

// The first track's file is whole; the second has none, nor has wav.tmp stayed.
void expect_first_track_only(Sim& sim, const std::string& out, int format)
{
    std::string ext = extension(format);
    std::string first = harness::read_file(out + "\\1.Track 01." + ext);
    EXPECT_GT(first.size(), format == IDC_WAV ? 44u + 44100 * 4 * kSecondsPerTrack - 1 : 10000u) << "the first " << ext << " remains";
    if (format == IDC_MP3) EXPECT_EQ(first.substr(0, 3), "ID3") << "and is tagged";
    EXPECT_FALSE(harness::file_exists(out + "\\2.Track 02." + ext)) << "no partial file for the second track, " << ext;
    EXPECT_EQ(count_files(out, "*"), 1);
    EXPECT_FALSE(harness::file_exists(sim.program.folder + "\\wav.tmp")) << "the temporary WAV is gone";
}

// Rips in each format until the second track is being read, then acts:
// the rip must stop, show `boxes` and keep the first track only.
void cut_short_in_every_format(void (*act)(Sim&), const std::vector<std::string>& boxes)
{
    for (int format : {IDC_WAV, IDC_MP3, IDC_WMA}) {
        Sim sim(g_sim);
        std::string out = harness::make_temp_folder("out");
        RipRun run;
        rip_until_the_second_track(sim, format, out, act, &run);
        EXPECT_FALSE(run.done) << "no Done! for a rip cut short";
        EXPECT_EQ(run.boxes, boxes);
        expect_first_track_only(sim, out, format);
        EXPECT_EQ(sim.close(), 0);
        harness::remove_tree(out);
    }
}

TEST(RipFaults, DiscTakenOutDuringARip)
{
    cut_short_in_every_format([](Sim& s) {
        MoveFileA((s.discs() + "\\f.bin").c_str(), (s.discs() + "\\f.away").c_str());
    }, {"No disc!"});
    harness::fault_row("02", "Disc taken out during a rip (WAV, MP3, WMA)", "\"No disc!\"; the rip stops, no \"Done!\"",
                       "the tracks ripped before it, whole; no part of the track being read, no wav.tmp",
                       "the earlier tracks' files are whole (MP3 tagged)");
}

TEST(RipFaults, AbortDuringTheCaptureOfTheSecondTrack)
{
    cut_short_in_every_format([](Sim& s) {
        harness::click(harness::wait_for_window(s.program.process.dwProcessId, "CD Ripping..."), IDCANCEL);
    }, {});
    harness::fault_row("03", "Abort while a track is read (WAV, MP3, WMA)", "the progress dialog closes, no message",
                       "the tracks finished before, whole; no part of the aborted track, no wav.tmp",
                       "the earlier tracks' files are whole (MP3 tagged)");
}

void abort_during_encoding(Sim& sim)
{
    HWND progress = harness::wait_for_window(sim.program.process.dwProcessId, "CD Ripping...");
    DWORD start = GetTickCount();
    while (sim.log().find("wavtomp3") == std::string::npos && GetTickCount() - start < 20000) Sleep(5);
    harness::click(progress, IDCANCEL);
}

TEST(RipFaults, AbortDuringEncodingDeletesThePartialMp3)
{
    Sim sim(g_sim);
    std::string out = harness::make_temp_folder("out");
    sim.settings(ini_for(out, "MP3=1\r\nWAV=0\r\nWMA=0"));
    four_tracks(sim, "", 44100 * 60);  // a minute each: encoding takes a while
    ASSERT_TRUE(sim.start());
    RipRun run = rip(sim, IDC_MP3, -1, -1, nullptr, abort_during_encoding);
    EXPECT_FALSE(run.done);
    EXPECT_FALSE(harness::file_exists(out + "\\1.Track 01.mp3")) << "the partial MP3 is deleted";
    EXPECT_FALSE(harness::file_exists(sim.program.folder + "\\wav.tmp"));
    EXPECT_NE(sim.log().find("wavtomp3"), std::string::npos) << "the abort came during encoding";
    EXPECT_EQ(sim.close(), 0);
    harness::fault_row("04", "Abort while a track is encoded to MP3", "the progress dialog closes, no message",
                       "no MP3 of that track, no wav.tmp", "the program stays usable and closes normally");
    harness::remove_tree(out);
}

TEST(RipFaults, UnwritableOutputIsReportedForEveryRowInEveryFormat)
{
    for (int format : {IDC_WAV, IDC_MP3, IDC_WMA}) {
        Sim sim(g_sim);
        std::string out = harness::make_temp_folder("out");
        harness::write_file(out + "\\a-file", "x");  // the output root runs through a file
        sim.settings(ini_for(out + "\\a-file\\sub\\", "MP3=1\r\nWAV=0\r\nWMA=0"));
        four_tracks(sim, "", 588 * 10);
        ASSERT_TRUE(sim.start());
        harness::set_list_state_image(sim.program.process.hProcess, sim.list, 3, 1);
        RipRun run = rip(sim, format);
        int count = 0;
        contains(run.boxes, "Can't create file\n(error code: ", &count);
        EXPECT_EQ(count, 3) << "one box for each of the three ticked rows, format " << format;
        EXPECT_FALSE(run.done) << "no Done! for a rip that made no file";
        EXPECT_EQ(run.boxes.back(), "3 of 3 tracks could not be ripped.") << "the rip runs to its end and says so";
        EXPECT_FALSE(harness::file_exists(sim.program.folder + "\\wav.tmp"));
        EXPECT_EQ(sim.close(), 0);
        harness::remove_tree(out);
    }
    harness::fault_row("05", "Output folder that cannot be made (a file stands in its path)",
                       "\"Can't create file (error code: n)\" once per ticked row, then \"3 of 3 tracks could not be ripped.\"", "nothing",
                       "no wav.tmp left; the rip still runs to its end");
}

TEST(RipFaults, NoWavTmpPossibleMeansNoMp3AndOneBoxPerRow)
{
    Sim sim(g_sim);
    std::string out = harness::make_temp_folder("out");
    sim.settings(ini_for(out, "MP3=1\r\nWAV=0\r\nWMA=0"));
    four_tracks(sim, "", 588 * 10);
    CreateDirectoryA((sim.program.folder + "\\wav.tmp").c_str(), nullptr);  // a folder where the file must go
    ASSERT_TRUE(sim.start());
    RipRun run = rip(sim, IDC_MP3);
    int count = 0;
    contains(run.boxes, "Can't create file", &count);
    EXPECT_EQ(count, 4) << "every MP3 row says so, once";
    EXPECT_EQ(run.boxes.back(), "4 of 4 tracks could not be ripped.");
    EXPECT_EQ(count_files(out, "*.mp3"), 0) << "no MP3 file";
    EXPECT_EQ(GetFileAttributesA((sim.program.folder + "\\wav.tmp").c_str()), DWORD(FILE_ATTRIBUTE_DIRECTORY))
        << "what stands at wav.tmp is left alone";
    EXPECT_EQ(sim.close(), 0);
    harness::fault_row("06", "No wav.tmp can be written beside the program (MP3)",
                       "\"Can't create file (error code: n)\" once per row, then \"4 of 4 tracks could not be ripped.\"", "no MP3 file",
                       "what stands at wav.tmp is left as it was");
    harness::remove_tree(out);
}

TEST(RipFaults, EmptyTitleGivesTrackNumberAndTwoDots)
{
    Sim sim(g_sim);
    std::string out = harness::make_temp_folder("out");
    sim.settings(ini_for(out, "MP3=0\r\nWAV=1\r\nWMA=0"));
    sim.file("e.bin", pattern(1, 588 * 5));
    sim.file("e.cue", "FILE e.bin BINARY\n  TRACK 01 AUDIO\n    TITLE \"\"\n    INDEX 01 00:00:00\n");
    ASSERT_TRUE(sim.start());
    EXPECT_TRUE(rip(sim, IDC_WAV).done);
    EXPECT_TRUE(harness::file_exists(out + "\\1..wav"));
    EXPECT_EQ(sim.close(), 0);
    harness::remove_tree(out);
}

TEST(RipOptions, CancelKeepsTheFormatChoice)
{
    Sim sim(g_sim);
    std::string out = harness::make_temp_folder("out");
    sim.settings(ini_for(out, "MP3=1\r\nWAV=0\r\nWMA=0"));
    one_track_disc(sim, "c");
    ASSERT_TRUE(sim.start());
    DWORD pid = sim.program.process.dwProcessId;
    harness::click(sim.main, IDC_RIP);
    HWND options = harness::wait_for_window(pid, "Settings");
    ASSERT_TRUE(options != nullptr);
    EXPECT_EQ(SendDlgItemMessageA(options, IDC_MP3, BM_GETCHECK, 0, 0), BST_CHECKED) << "opens on the saved format";
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(options, IDC_OPT_ARTIST))) << "no artist: no artist level";
    EXPECT_EQ(harness::window_text(GetDlgItem(options, IDC_FOLDER)), out + "\\") << "the root with its backslash";
    harness::click(options, IDC_WAV);
    harness::click(options, IDCANCEL);
    ASSERT_TRUE(harness::wait_gone(options));
    Sleep(200);
    EXPECT_TRUE(harness::wait_for_window(pid, "CD Ripping...", 300) == nullptr) << "Cancel rips nothing";
    harness::click(sim.main, IDC_RIP);
    options = harness::wait_for_window(pid, "Settings");
    ASSERT_TRUE(options != nullptr);
    EXPECT_EQ(SendDlgItemMessageA(options, IDC_WAV, BM_GETCHECK, 0, 0), BST_CHECKED) << "WAV stays chosen";
    harness::click(options, IDCANCEL);
    ASSERT_TRUE(harness::wait_gone(options));
    EXPECT_EQ(sim.close(), 0);
    EXPECT_NE(harness::read_file(sim.program.folder + "\\settings.ini").find("WAV=1"), std::string::npos);
    harness::remove_tree(out);
}

TEST(RipFaults, AnOverLongNameFailsCleanly)
{
    for (int format : {IDC_WAV, IDC_MP3}) {
        Sim sim(g_sim);
        std::string out = harness::make_temp_folder("out");
        sim.settings(ini_for(out, "MP3=0\r\nWAV=1\r\nWMA=0"));
        one_track_disc(sim, "l");
        ASSERT_TRUE(sim.start());
        ASSERT_TRUE(harness::set_list_text(sim.program.process.hProcess, sim.list, 0, 1, std::string(1500, 'n')));
        RipRun run = rip(sim, format);
        int count = 0;
        contains(run.boxes, "Can't create file", &count);
        EXPECT_EQ(count, 1) << "the row says so once, format " << format;
        EXPECT_EQ(count_files(out, "*"), 0) << "no file under a cut name";
        EXPECT_FALSE(harness::file_exists(sim.program.folder + "\\wav.tmp"));
        EXPECT_EQ(sim.close(), 0);
        harness::remove_tree(out);
    }
    harness::fault_row("07", "A title too long for a file name", "\"Can't create file\" once for that row",
                       "no file under a cut name, no wav.tmp", "the program stays usable and closes normally");
}

}  // namespace

int main(int argc, char** argv)
{
    g_rip_out = harness::beside_this_program("rip-out");
    harness::remove_tree(g_rip_out);
    CreateDirectoryA(g_rip_out.c_str(), nullptr);
    return harness::run_tests(argc, argv, {&g_sim, &g_sample}, "SIMULATION_PROGRAM SAMPLE_DISC_FOLDER");
}
