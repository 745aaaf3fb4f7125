// The main window of the simulation build, driven as a user drives it:
// track list refresh, close during a refresh, the second start, title
// editing and the input filters.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "res/resource.h"
#include "tests/support/harness.h"
#include "tests/support/sim.h"

using harness::Program;

namespace {

std::string g_sim;  // OrvoCdRipperSim.exe

using harness::Sim;
using harness::sectors;

int count_of(const std::string& haystack, const std::string& needle)
{
    int n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

TEST(MainWindow, ListsTracksWithTitlesDefaultsAndTimes)
{
    Sim sim(g_sim);
    std::string long_title(150, 'L');
    sim.file("disc.bin", sectors(1) + sectors(74) + sectors(1));
    sim.file("data.iso", std::string(2048 * 10, 'D'));
    sim.file("disc.cue", "FILE disc.bin BINARY\n"
                         "  TRACK 01 AUDIO\n    TITLE \"Opening\"\n    INDEX 01 00:00:00\n    POSTGAP 04:04:74\n"
                         "  TRACK 02 AUDIO\n    INDEX 01 00:00:01\n"
                         "  TRACK 03 AUDIO\n    TITLE \"" + long_title + "\"\n    INDEX 01 00:01:00\n    POSTGAP 59:59:74\n"
                         "FILE data.iso BINARY\n  TRACK 04 MODE1/2048\n    INDEX 01 00:00:00\n");
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(harness::list_count(sim.list), 3) << "the data track at the end has no row";
    const char* numbers[] = {"1", "2", "3"};
    const char* times[] = {"4:05", "0:00", "60:00"};  // 43,218,000 / 174,048 / 635,040,000 bytes
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(sim.text(row, 0), numbers[row]);
        EXPECT_EQ(sim.text(row, 2), times[row]) << "row " << row;
        EXPECT_EQ(harness::list_state_image(sim.list, row), 2) << "row " << row << " is ticked";
    }
    EXPECT_EQ(sim.text(0, 1), "Opening");
    EXPECT_EQ(sim.text(1, 1), "Track 02") << "no CD-TEXT title: the default";
    EXPECT_EQ(sim.text(2, 1), long_title.substr(0, 107)) << "a long title is cut to 107 characters";
    std::string drive = harness::window_text(GetDlgItem(sim.main, IDC_DRIVES));
    EXPECT_EQ(drive, "D: disc");
    EXPECT_EQ(sim.close(), 0);
}

TEST(MainWindow, DataTrackFirstKeepsRowsInStepWithTheDisc)
{
    Sim sim(g_sim);
    sim.file("data.bin", sectors(20, 'D'));
    sim.file("audio.bin", sectors(75) + sectors(150));
    sim.file("mixed.cue", "FILE data.bin BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                          "FILE audio.bin BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
                          "  TRACK 03 AUDIO\n    INDEX 01 00:01:00\n");
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(harness::list_count(sim.list), 2);
    EXPECT_EQ(sim.text(0, 0), "2");
    EXPECT_EQ(sim.text(1, 0), "3");
    EXPECT_EQ(sim.text(1, 1), "Track 03");
    EXPECT_EQ(harness::list_param(sim.program.process.hProcess, sim.list, 0), 1) << "row 0 is disc track 1 (0-based)";
    EXPECT_EQ(harness::list_param(sim.program.process.hProcess, sim.list, 1), 2);
    EXPECT_EQ(sim.close(), 0);
}

TEST(MainWindow, BrokenSheetsAreEmptyDrivesAndTheLogSaysWhy)
{
    const std::pair<const char*, const char*> sheets[] = {
        {"FILE gone.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n", "missing file"},
        {"FILE b.bin BINARY\n  TRACK 01 AUDIO\n    FROB 1\n    INDEX 01 00:00:00\n", "unknown command"},
        {"FILE b.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:99:00\n", "bad time"},
        {"FILE b.bin BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n  TRACK 01 AUDIO\n    INDEX 01 00:01:00\n",
         "tracks out of order"},
    };
    for (const auto& sheet : sheets) {
        Sim sim(g_sim);
        sim.file("b.bin", sectors(150));
        sim.file("b.cue", sheet.first);
        ASSERT_TRUE(sim.start());
        EXPECT_EQ(harness::list_count(sim.list), 0) << sheet.second;
        EXPECT_EQ(harness::window_text(sim.status), "Done");
        EXPECT_EQ(sim.close(), 0);
        EXPECT_NE(sim.log().find("CD Tracks: -1"), std::string::npos);
        EXPECT_NE(sim.log().find(sheet.second), std::string::npos) << "the log says why the drive is empty";
        EXPECT_TRUE(harness::file_exists(sim.discs() + "\\b.cue")) << "the sheet is left as it was";
    }
    harness::fault_row("11", "Malformed cue sheet (missing file, unknown command, bad time, tracks out of order)",
                       "the drive shows no disc: an empty list and \"Done\"", "log.txt names the sheet and why",
                       "the sheet and its files are only read");
}

TEST(MainWindow, DamagedCdTextGivesDefaultTitles)
{
    Sim sim(g_sim);
    std::string packs;
    for (int i = 0; i < 18 * 6; ++i) packs += static_cast<char>(0x80 + (i * 7) % 64);  // no pack's CRC holds
    sim.file("t.cdt", packs);
    sim.file("t.bin", sectors(150));
    sim.file("t.cue", "CDTEXTFILE t.cdt\nFILE t.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                      "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n");
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(harness::list_count(sim.list), 2) << "the disc plays";
    EXPECT_EQ(sim.text(0, 1), "Track 01");
    EXPECT_EQ(sim.text(1, 1), "Track 02");
    EXPECT_EQ(sim.close(), 0);
    harness::fault_row("12", "Damaged CD-TEXT (packs failing their CRC)", "the tracks with \"Track 01\", \"Track 02\"...",
                       "nothing", "every audio track of the disc is listed");
}

std::string slow_disc(int tracks, int delay_ms)
{
    std::string cue = "REM DELAY " + std::to_string(delay_ms) + "\nFILE slow.bin BINARY\n";
    for (int i = 0; i < tracks; ++i) {
        char line[80];
        snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 00:%02d:00\n", i + 1, i);
        cue += line;
    }
    return cue;
}

TEST(MainWindow, RefreshDuringARefreshDoesNothing)
{
    Sim sim(g_sim);
    sim.file("slow.bin", sectors(75 * 6));
    sim.file("slow.cue", slow_disc(6, 120));
    ASSERT_TRUE(sim.start(false));
    ASSERT_TRUE(harness::wait_for_text(sim.status, "Refreshing. Please wait...", 5000)) << "status while refreshing";
    harness::click(sim.main, IDC_REFRESH);
    ASSERT_TRUE(harness::wait_for_text(sim.status, "Done"));
    EXPECT_EQ(harness::list_count(sim.list), 6);
    Sleep(300);
    EXPECT_EQ(count_of(sim.log(), "WaitForSingleObject"), 1) << "the press during the refresh started nothing";
    EXPECT_EQ(count_of(sim.log(), "Button: REFRESH"), 1);
    EXPECT_EQ(harness::list_count(sim.list), 6);

    harness::click(sim.main, IDC_REFRESH);  // now idle: a second refresh runs
    ASSERT_TRUE(harness::wait_for_text(sim.status, "Refreshing. Please wait...", 5000));
    ASSERT_TRUE(harness::wait_for_text(sim.status, "Done"));
    EXPECT_EQ(count_of(sim.log(), "WaitForSingleObject"), 2);
    EXPECT_EQ(sim.close(), 0);
}

TEST(MainWindow, CloseDuringARefreshWaitsForTheWorker)
{
    Sim sim(g_sim);
    sim.file("slow.bin", sectors(75 * 20));
    sim.file("slow.cue", slow_disc(20, 150));
    ASSERT_TRUE(sim.start(false));
    ASSERT_TRUE(harness::wait_for_text(sim.status, "Refreshing. Please wait...", 5000));
    Sleep(400);
    PostMessageA(sim.main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(harness::wait_for_text(sim.status, "Aborting...", 5000)) << "the status shows the abort";
    EXPECT_EQ(sim.program.wait_exit(20000), 0) << "no hang: the wait serves the worker's requests";

    bool ok = false;
    std::vector<std::string> records = harness::log_records(sim.log(), &ok);
    EXPECT_TRUE(ok);
    auto at = [&](const std::string& line) {
        for (size_t i = 0; i < records.size(); ++i) {
            std::string r = records[i];
            r.erase(0, r.find_first_not_of(' '));
            if (r == line) return static_cast<int>(i);
        }
        return -1;
    };
    int close = at("Message: CLOSE"), end = at("end thread..."), destroy = at("Message: DESTROY");
    ASSERT_GE(close, 0);
    ASSERT_GE(end, 0);
    ASSERT_GE(destroy, 0);
    EXPECT_LT(close, end) << "the close started while the worker was busy";
    EXPECT_LT(close, destroy);
    EXPECT_EQ(records.back(), "End CDRipper\n");
    EXPECT_EQ(records[destroy].find("Message: DESTROY"), records[close].find("Message: CLOSE"))
        << "CLOSE and DESTROY at the same level, their inner lines indented";
    EXPECT_NE(sim.log().find("CD Tracks: 20"), std::string::npos);
    harness::fault_row("16", "Close during a refresh", "\"Aborting...\", then the program ends (exit code 0)",
                       "log.txt ends with \"End CDRipper\"", "the refresh worker ends before the program");
}

// Opens the TitleEditor by double-clicking a cell; returns it, or null.
HWND double_click(Sim& sim, int row, int column)
{
    RECT cell = harness::list_cell_rect(sim.program.process.hProcess, sim.list, row, column);
    PostMessageA(sim.list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2));
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 1500) {
        HWND editor = FindWindowExA(sim.list, nullptr, "Edit", nullptr);
        if (editor && IsWindowVisible(editor)) return editor;
        Sleep(10);
    }
    return nullptr;
}

// Opens the editor on a row's title and types `text` into it; null when
// no editor opened.
HWND edit_title(Sim& sim, int row, const char* text)
{
    HWND editor = double_click(sim, row, 1);
    if (editor) SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    return editor;
}

void key(HWND window, UINT vk)
{
    PostMessageA(window, WM_KEYDOWN, vk, 1);
    PostMessageA(window, WM_KEYUP, vk, 0xC0000001);
}

Sim* title_sim()
{
    auto* sim = new Sim(g_sim);
    sim->file("t.bin", sectors(75 * 3));
    sim->file("t.cue", "FILE t.bin BINARY\n  TRACK 01 AUDIO\n    TITLE \"First Song\"\n    INDEX 01 00:00:00\n"
                       "  TRACK 02 AUDIO\n    TITLE \"Second Song\"\n    INDEX 01 00:01:00\n"
                       "  TRACK 03 AUDIO\n    INDEX 01 00:02:00\n");
    EXPECT_TRUE(sim->start());
    return sim;
}

TEST(TitleEditing, EnterCommitsEscapeAndClicksElsewhereDoNot)
{
    std::unique_ptr<Sim> sim(title_sim());
    HWND editor = double_click(*sim, 0, 1);
    ASSERT_TRUE(editor != nullptr) << "a double-click on a Title cell opens the editor";
    EXPECT_EQ(harness::window_text(editor), "First Song");
    DWORD selection = static_cast<DWORD>(SendMessageA(editor, EM_GETSEL, 0, 0));
    EXPECT_EQ(LOWORD(selection), 0);
    EXPECT_EQ(HIWORD(selection), 10) << "the text is selected";
    EXPECT_EQ(SendMessageA(editor, EM_GETLIMITTEXT, 0, 0), 100);

    SendMessageA(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Renamed"));
    key(editor, VK_RETURN);
    ASSERT_TRUE(harness::wait_gone(editor, 3000)) << "Enter closes the editor";
    EXPECT_EQ(sim->text(0, 1), "Renamed") << "Enter commits";
    EXPECT_TRUE(IsWindow(sim->main)) << "Enter does not close the main window";

    editor = edit_title(*sim, 1, "Not this");
    ASSERT_TRUE(editor != nullptr);
    key(editor, VK_ESCAPE);
    ASSERT_TRUE(harness::wait_gone(editor, 3000));
    EXPECT_EQ(sim->text(1, 1), "Second Song") << "Escape does not commit";

    editor = edit_title(*sim, 1, "Nor this");
    ASSERT_TRUE(editor != nullptr);
    HWND artist = GetDlgItem(sim->main, IDC_ARTIST);
    PostMessageA(artist, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageA(artist, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    ASSERT_TRUE(harness::wait_gone(editor, 3000)) << "a click elsewhere closes the editor";
    EXPECT_EQ(sim->text(1, 1), "Second Song");

    editor = edit_title(*sim, 2, "");
    ASSERT_TRUE(editor != nullptr);
    key(editor, VK_RETURN);
    ASSERT_TRUE(harness::wait_gone(editor, 3000));
    EXPECT_EQ(sim->text(2, 1), "") << "an empty text is committed too";
    EXPECT_EQ(sim->close(), 0);
}

TEST(TitleEditing, OnlyTitleCellsOpenTheEditorAndLongTitlesAreCut)
{
    std::unique_ptr<Sim> sim(title_sim());
    EXPECT_TRUE(double_click(*sim, 0, 0) == nullptr) << "Track column";
    EXPECT_TRUE(double_click(*sim, 0, 2) == nullptr) << "Time column";
    RECT last = harness::list_cell_rect(sim->program.process.hProcess, sim->list, 2, 1);
    PostMessageA(sim->list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(last.left + 10, last.bottom + 40));
    Sleep(300);
    EXPECT_TRUE(FindWindowExA(sim->list, nullptr, "Edit", nullptr) == nullptr) << "below the last row";

    std::string long_title(300, 'x');
    ASSERT_TRUE(harness::set_list_text(sim->program.process.hProcess, sim->list, 0, 1, long_title));
    HWND editor = double_click(*sim, 0, 1);
    ASSERT_TRUE(editor != nullptr);
    EXPECT_EQ(harness::window_text(editor), long_title.substr(0, 254)) << "the editor shows the first 254 characters";
    key(editor, VK_RETURN);
    ASSERT_TRUE(harness::wait_gone(editor, 3000));
    EXPECT_EQ(sim->text(0, 1), long_title.substr(0, 254)) << "committed, the cut text replaces it";
    EXPECT_EQ(sim->close(), 0);
}

TEST(InputFilters, ArtistAndAlbumRefuseNineCharactersAndPastes)
{
    std::unique_ptr<Sim> sim(title_sim());
    HWND artist = GetDlgItem(sim->main, IDC_ARTIST), album = GetDlgItem(sim->main, IDC_ALBUM);
    EXPECT_EQ(SendMessageA(artist, EM_GETLIMITTEXT, 0, 0), 100);
    EXPECT_EQ(SendMessageA(album, EM_GETLIMITTEXT, 0, 0), 100);
    EXPECT_EQ(SendMessageA(GetDlgItem(sim->main, IDC_YEAR), EM_GETLIMITTEXT, 0, 0), 4);
    for (HWND field : {artist, album}) {
        for (char c : std::string("A\"*/:<>?\\|b")) PostMessageA(field, WM_CHAR, static_cast<unsigned char>(c), 1);
        Sleep(200);
        EXPECT_EQ(harness::window_text(field), "Ab") << "the nine characters are refused";
    }
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 16);
        memcpy(GlobalLock(text), "pasted", 7);
        GlobalUnlock(text);
        SetClipboardData(CF_TEXT, text);
        CloseClipboard();
    }
    SendMessageA(artist, WM_PASTE, 0, 0);
    EXPECT_EQ(harness::window_text(artist), "Ab") << "nothing is pasted";
    key(artist, VK_RETURN);
    key(artist, VK_ESCAPE);
    Sleep(300);
    EXPECT_TRUE(IsWindow(sim->main)) << "Enter and Escape leave the window open";
    EXPECT_EQ(sim->close(), 0);
}

}  // namespace

int main(int argc, char** argv)
{
    return harness::run_tests(argc, argv, {&g_sim}, "SIMULATION_PROGRAM");
}
