// The About dialog and its web link: a recorder program registered as the
// http open command of the test prefix stands in for the browser.
#include <windows.h>
#include <gtest/gtest.h>

#include "tests/support/harness.h"
#include "tests/support/sim.h"

namespace {

std::string g_sim, g_recorder;
const char kCommandKey[] = "http\\shell\\open\\command";

// How About is left (a command, or the close box), with which browser
// command in the registry: the browser's folder and name, and what follows
// its quoted path (no name: no browser registered). Only Visit Home Page
// with a browser opens the page, and the address is its only argument.
struct Use { UINT message; WPARAM command; const char *folder, *name, *arguments; };
const Use kUses[] = {{WM_COMMAND, IDC_HOME_PAGE, "Web Browser", "browser.exe", " -osint -url \"%1\""},
                     {WM_COMMAND, IDC_HOME_PAGE, "BROWSER", "WEB.EXE", " -nohome"},
                     {WM_COMMAND, IDC_HOME_PAGE, "Mixed", "Rec.Exe", " \"%1\""},
                     {WM_COMMAND, IDC_HOME_PAGE, "None", "", ""},
                     {WM_COMMAND, IDCANCEL, "Escape", "browser.exe", ""},
                     {WM_CLOSE, 0, "Close box", "browser.exe", ""}};

TEST(About, HomePageOpensInTheRegisteredBrowser)
{
    harness::Sim sim(g_sim);
    harness::one_track_disc(sim, "a");
    ASSERT_TRUE(sim.start());
    std::string base = harness::make_temp_folder("browser");
    for (const Use& use : kUses) {
        std::string folder = base + "\\" + use.folder, path = folder + "\\" + use.name;
        std::string command = "\"" + path + "\"" + use.arguments, expected = "https://orvo-cd-ripper.example/";
        CreateDirectoryA(folder.c_str(), nullptr);
        RegDeleteKeyA(HKEY_CLASSES_ROOT, kCommandKey);
        if (*use.name && CopyFileA(g_recorder.c_str(), path.c_str(), FALSE))
            RegSetKeyValueA(HKEY_CLASSES_ROOT, kCommandKey, nullptr, REG_SZ, command.c_str(), command.size() + 1);
        harness::click(sim.main, IDC_ABOUT);
        HWND about = harness::wait_for_window(sim.program.process.dwProcessId, "Orvo CD Ripper :: About");
        PostMessageA(about, use.message, use.command, 0);
        EXPECT_TRUE(about && harness::wait_gone(about)) << "the dialog closes";
        if (!*use.name || use.command != IDC_HOME_PAGE) expected = "";
        for (int i = 0; i < 150 && !expected.empty() && !harness::file_exists(folder + "\\args.txt"); ++i) Sleep(20);
        Sleep(300);
        EXPECT_EQ(harness::read_file(folder + "\\args.txt"), expected) << use.folder << ": " << command;
        EXPECT_FALSE(harness::wait_for_message_box(sim.program.process.dwProcessId, nullptr, 0)) << "nothing is shown";
    }
    EXPECT_EQ(sim.close(), 0);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kCommandKey);
    harness::remove_tree(base);
}

}  // namespace

int main(int argc, char** argv)
{
    return harness::run_tests(argc, argv, {&g_sim, &g_recorder}, "SIMULATION_PROGRAM RECORDER_PROGRAM");
}
