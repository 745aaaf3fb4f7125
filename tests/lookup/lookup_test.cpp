// Disc information lookup with the real simulation build and a local CDDB
// server that the program reaches as its HTTP proxy.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "tests/support/harness.h"
#include "tests/support/sim.h"

using harness::Sim;
using harness::sectors;

namespace {

std::string g_sim;
std::string g_server;  // the server's folder (requests, reply, mode)

void serve(const std::string& body, const char* mode = "")
{
    harness::write_file(g_server + "\\reply.bin", body);
    harness::write_file(g_server + "\\mode.txt", mode);
}

// The last request line, with the proxy form's explicit default port dropped.
std::string last_request()
{
    std::string all = harness::read_file(g_server + "\\requests.txt");
    if (all.empty()) return all;
    all.pop_back();
    std::string line = all.substr(all.find_last_of('\n') + 1);
    size_t port = line.find(":80/");
    if (port != std::string::npos) line.erase(port, 3);
    return line;
}

// A three-track disc; the program started with the given proxy port.
void start(Sim& sim, const std::string& port)
{
    sim.file("d.bin", sectors(75 * 3));
    sim.file("d.cue", "FILE d.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n"
                      "  TRACK 03 AUDIO\n    INDEX 01 00:02:00\n");
    SetEnvironmentVariableA("http_proxy", ("http://127.0.0.1:" + port).c_str());
    ASSERT_TRUE(sim.start());
}

HWND open_disc_info(Sim& sim)
{
    harness::click(sim.main, IDC_DISC_INFO);
    return harness::wait_for_window(sim.program.process.dwProcessId, "Retrive Disc Info");
}

// Opens Disc Info after the user typed an artist, which failed lookups must keep.
HWND open_with_typed_artist(Sim& sim)
{
    HWND dialog = open_disc_info(sim);
    sim.set_field(IDC_ARTIST, "Typed");
    return dialog;
}

// Waits until the lookup has given the dialog back to the user.
void wait_enabled(HWND dialog)
{
    for (int i = 0; i < 100 && !IsWindowEnabled(dialog); ++i) Sleep(20);
}

std::string disc_id(Sim& sim)
{
    std::string log = sim.log();
    size_t at = log.find("CDDB: ");
    return at == std::string::npos ? std::string() : log.substr(at + 6, 8);
}

TEST(Lookup, OneReadRequestFillsFieldsAndTitles)
{
    Sim sim(g_sim);
    start(sim, harness::cddb_port(g_server));
    HWND dialog = open_disc_info(sim);
    ASSERT_TRUE(dialog != nullptr);
    HWND server = GetDlgItem(dialog, IDC_SERVER);
    EXPECT_EQ(harness::window_text(server), "gnudb.gnudb.org");
    EXPECT_TRUE(GetWindowLongA(server, GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_GENRE, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(harness::window_text(GetDlgItem(dialog, IDC_GENRE)), "Blues (self explanatory)");
    GUITHREADINFO gui = {sizeof gui};
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui);
    EXPECT_EQ(gui.hwndFocus, GetDlgItem(dialog, IDOK)) << "the focus is on Retrieve";

    serve("210 rock 0a0b0c0d CD database entry follows\r\n# xmcd\r\nDTITLE=The Band / An Album / Part 2\r\n"
          "DYEAR=1998\r\nTTITLE0=Opening\r\nTTITLE1=Middle: Part 1/2\r\nTTITLE10=Not this\r\n"
          "EXTD=YEAR: 1999 ID3G: 17\r\n.\r\n");
    SendDlgItemMessageA(dialog, IDC_GENRE, CB_SETCURSEL, 8, 0);
    harness::click(dialog, IDOK);
    ASSERT_TRUE(harness::wait_gone(dialog, 20000)) << "a lookup that counts as done ends the dialog";
    EXPECT_EQ(last_request(), "GET http://gnudb.gnudb.org/~cddb/cddb.cgi?cmd=cddb+read+rock+" + disc_id(sim) +
                                  "&hello=name+orvo+orvocdripper+1.2&proto=1 HTTP/1.1");
    EXPECT_EQ(harness::window_text(GetDlgItem(sim.main, IDC_ARTIST)), "The Band");
    EXPECT_EQ(harness::window_text(GetDlgItem(sim.main, IDC_ALBUM)), "An Album / Part 2");
    EXPECT_EQ(harness::window_text(GetDlgItem(sim.main, IDC_YEAR)), "1999 ID3G: 17") << "not cut, not DYEAR";
    EXPECT_EQ(sim.text(0, 1), "Opening");
    EXPECT_EQ(sim.text(1, 1), "Middle: Part 1/2");
    EXPECT_EQ(sim.text(2, 1), "") << "more rows than titles";
    EXPECT_EQ(sim.close(), 0);
}

TEST(Lookup, ShortRepliesKeepTheDialogOpen)
{
    Sim sim(g_sim);
    start(sim, harness::cddb_port(g_server));
    HWND dialog = open_with_typed_artist(sim);
    ASSERT_TRUE(dialog != nullptr);
    serve(std::string(100, 'x'));
    harness::click(dialog, IDOK);
    HWND box = harness::wait_for_message_box(sim.program.process.dwProcessId, "Orvo CD Ripper", 20000);
    ASSERT_TRUE(box != nullptr);
    EXPECT_EQ(harness::message_box_text(box), "Genre: blues\nNo such CD entry in database") << "100 bytes: no entry";
    harness::click(box, IDOK);
    ASSERT_TRUE(harness::wait_gone(box));
    wait_enabled(dialog);
    EXPECT_TRUE(IsWindow(dialog) && IsWindowEnabled(dialog)) << "the dialog stays, ready for another Retrieve";
    EXPECT_EQ(harness::window_text(GetDlgItem(sim.main, IDC_ARTIST)), "Typed") << "the fields are left alone";
    harness::fault_row("08", "CDDB reply of 100 bytes or less (the server has no such entry)",
                       "\"Genre: blues / No such CD entry in database\"; the dialog stays for another try", "nothing",
                       "artist, album, year and titles keep what was typed");

    serve(std::string(101, 'x'));
    harness::click(dialog, IDOK);
    ASSERT_TRUE(harness::wait_gone(dialog, 20000)) << "101 bytes are parsed: the lookup is done";
    EXPECT_EQ(harness::window_text(GetDlgItem(sim.main, IDC_ARTIST)), "") << "absent keys empty the fields";
    EXPECT_EQ(sim.text(0, 1), "");
    EXPECT_EQ(sim.close(), 0);
    harness::fault_row("08b", "Longer CDDB reply without an entry's keys (an error page)", "the dialog closes",
                       "nothing", "by the lookup's rules, artist, album, year and titles are emptied");
}

TEST(Lookup, RefusedConnectionAsksToCheckTheConnection)
{
    Sim sim(g_sim);
    start(sim, "1");  // nothing listens there
    HWND dialog = open_with_typed_artist(sim);
    ASSERT_TRUE(dialog != nullptr);
    harness::click(dialog, IDOK);
    HWND box = harness::wait_for_message_box(sim.program.process.dwProcessId, "Orvo CD Ripper", 30000);
    ASSERT_TRUE(box != nullptr);
    EXPECT_EQ(harness::message_box_text(box), "Please check your internet connection");
    harness::click(box, IDOK);
    wait_enabled(dialog);
    EXPECT_TRUE(IsWindow(dialog) && IsWindowEnabled(dialog));
    harness::click(dialog, IDCANCEL);
    EXPECT_TRUE(harness::wait_gone(dialog));
    EXPECT_EQ(harness::window_text(GetDlgItem(sim.main, IDC_ARTIST)), "Typed");
    EXPECT_EQ(sim.close(), 0);
    harness::fault_row("10a", "CDDB server not reachable (nothing listens)",
                       "\"Please check your internet connection\"; the dialog stays", "nothing",
                       "the fields keep what was typed");
}

TEST(Lookup, AServerThatNeverAnswersDoesNotFreezeTheProgram)
{
    Sim sim(g_sim);
    start(sim, harness::cddb_port(g_server));
    HWND dialog = open_with_typed_artist(sim);
    ASSERT_TRUE(dialog != nullptr);
    serve("", "hang");
    DWORD start_time = GetTickCount();
    harness::click(dialog, IDOK);
    Sleep(1500);
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(sim.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result))
        << "the main thread answers while the worker waits";
    EXPECT_FALSE(IsWindowEnabled(dialog)) << "the dialog is disabled during the lookup";
    // The time-out (15 s) ends the wait; the lookup then fails like a failed send.
    HWND box = harness::wait_for_message_box(sim.program.process.dwProcessId, "Orvo CD Ripper", 45000);
    bool ended = !IsWindow(dialog);
    EXPECT_TRUE(box != nullptr || ended) << "the lookup gives up";
    EXPECT_LT(GetTickCount() - start_time, 45000u);
    if (box) harness::click(box, IDOK);
    serve("");
    if (IsWindow(dialog)) {
        wait_enabled(dialog);
        harness::click(dialog, IDCANCEL);
    }
    EXPECT_EQ(harness::window_text(GetDlgItem(sim.main, IDC_ARTIST)), "Typed");
    EXPECT_EQ(sim.close(), 0);
    harness::fault_row("10b", "CDDB server that accepts and never answers",
                       "the main window stays responsive; after the 15-second time-out the lookup gives up",
                       "nothing", "the fields keep what was typed");
}

TEST(Lookup, RepliesOver64KiBAreCutNotOverflowed)
{
    Sim sim(g_sim);
    start(sim, harness::cddb_port(g_server));
    HWND dialog = open_disc_info(sim);
    ASSERT_TRUE(dialog != nullptr);
    std::string reply = "DTITLE=Big / Reply\r\nTTITLE0=Early\r\n" + std::string(70000, 'p') + "\r\nTTITLE1=Too late\r\n";
    serve(reply);
    harness::click(dialog, IDOK);
    ASSERT_TRUE(harness::wait_gone(dialog, 20000));
    EXPECT_EQ(harness::window_text(GetDlgItem(sim.main, IDC_ARTIST)), "Big");
    EXPECT_EQ(sim.text(0, 1), "Early");
    EXPECT_EQ(sim.text(1, 1), "") << "what lies past 65,535 bytes is not read";
    EXPECT_EQ(sim.close(), 0);
    harness::fault_row("09", "CDDB reply over 64 KiB", "the dialog closes; the entry is read from its first 65,535 bytes",
                       "nothing", "nothing overflows: the program runs on and closes normally");
}

}  // namespace

int main(int argc, char** argv)
{
    return harness::run_tests(argc, argv, {&g_sim, &g_server}, "SIMULATION_PROGRAM SERVER_FOLDER");
}
