// The About dialog and its web link: a recorder program registered as the
// http open command of the test prefix stands in for the browser.
#include <windows.h>
#include <gtest/gtest.h>

#include "tests/support/harness.h"
#include "tests/support/sim.h"

using harness::Sim;
using harness::sectors;

namespace {

std::string g_sim, g_recorder;
const char kHomePage[] = "https://orvo-cd-ripper.example/";

void register_browser(const std::string* command)
{
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command");
    if (!command) return;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command->c_str()),
                   static_cast<DWORD>(command->size() + 1));
    RegCloseKey(key);
}

// A copy of the recorder at `path`; returns the file it will write.
std::string place_recorder(const std::string& folder, const std::string& name)
{
    CreateDirectoryA(folder.c_str(), nullptr);
    CopyFileA(harness::windows_path(g_recorder).c_str(), (folder + "\\" + name).c_str(), FALSE);
    DeleteFileA((folder + "\\args.txt").c_str());
    return folder + "\\args.txt";
}

// Opens About, presses Visit Home Page, waits for the dialog to end;
// returns what the recorder got, or "" when nothing started.
std::string visit(Sim& sim, const std::string& args_file)
{
    harness::click(sim.main, IDC_ABOUT);
    HWND about = harness::wait_for_window(sim.program.process.dwProcessId, "Orvo CD Ripper :: About");
    EXPECT_TRUE(about != nullptr);
    if (!about) return "";
    harness::click(about, IDC_HOME_PAGE);
    EXPECT_TRUE(harness::wait_gone(about)) << "the dialog closes all the same";
    for (int i = 0; i < 150 && !harness::file_exists(args_file); ++i) Sleep(20);
    Sleep(100);
    return harness::read_file(args_file);
}

TEST(About, HomePageOpensInTheRegisteredBrowser)
{
    Sim sim(g_sim);
    sim.file("a.bin", sectors(75));
    sim.file("a.cue", "FILE a.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    ASSERT_TRUE(sim.start());
    std::string base = harness::make_temp_folder("browser");

    std::string args = place_recorder(base + "\\Web Browser", "browser.exe");
    std::string command = "\"" + base + "\\Web Browser\\browser.exe\" -osint -url \"%1\"";
    register_browser(&command);
    EXPECT_EQ(visit(sim, args), kHomePage) << "the address is its only argument";

    args = place_recorder("C:\\BROWSER", "WEB.EXE");
    command = "\"C:\\BROWSER\\WEB.EXE\" -nohome";
    register_browser(&command);
    EXPECT_EQ(visit(sim, args), kHomePage) << "an upper-case command works";

    args = place_recorder(base + "\\Mixed", "Rec.Exe");
    command = "\"" + base + "\\Mixed\\Rec.Exe\" \"%1\"";
    register_browser(&command);
    EXPECT_EQ(visit(sim, args), kHomePage) << "any case of the extension works";

    register_browser(nullptr);
    DeleteFileA(args.c_str());
    EXPECT_EQ(visit(sim, args), "") << "no handler: nothing opens";
    EXPECT_TRUE(harness::wait_for_message_box(sim.program.process.dwProcessId, nullptr, 300) == nullptr)
        << "and nothing is shown";

    for (UINT how : {0u, 1u}) {  // Escape, then the close box
        harness::click(sim.main, IDC_ABOUT);
        HWND about = harness::wait_for_window(sim.program.process.dwProcessId, "Orvo CD Ripper :: About");
        ASSERT_TRUE(about != nullptr);
        if (how == 0) PostMessageA(about, WM_COMMAND, IDCANCEL, 0);
        else PostMessageA(about, WM_CLOSE, 0, 0);
        EXPECT_TRUE(harness::wait_gone(about));
    }
    EXPECT_EQ(sim.close(), 0);
    harness::remove_tree(base);
    harness::remove_tree("C:\\BROWSER");
}

}  // namespace

int main(int argc, char** argv)
{
    return harness::run_tests(argc, argv, {&g_sim, &g_recorder}, "SIMULATION_PROGRAM RECORDER_PROGRAM");
}
