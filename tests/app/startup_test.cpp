// Start-up, settings and shutdown of the real program, run as a user would
// run it: each test copies the exe into a fresh folder and starts it.
// Without drives the main window reports "No CD drives found" and the
// program ends; that box is the point where a test steps in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/support/harness.h"

using harness::Program;

namespace {

std::string g_program;          // OrvoCdRipper.exe (no drives)
std::string g_bad_version;      // built with a library that reports 2.4
std::string g_faulty;           // built with a library that faults while listing drives
std::string g_packed;           // the program as the release package holds it, alone in a folder

const char kNoDrives[] = "No CD drives found\n(error code: 23)";

// Runs the program to its end through the "No CD drives found" box.
// Returns the exit code, or -1 when something did not happen as expected.
int run_without_drives(Program& program)
{
    HWND box = harness::wait_for_message_box(program.process.dwProcessId, "Error");
    EXPECT_TRUE(box != nullptr) << "the no-drives error box appears";
    if (!box) return -1;
    EXPECT_EQ(harness::message_box_text(box), kNoDrives);
    harness::click(box, IDOK);
    return program.wait_exit();
}

std::string ini_value(const std::string& folder, const char* key)
{
    char value[2048] = {};
    GetPrivateProfileStringA("Settings", key, "<absent>", value, sizeof value, (folder + "\\settings.ini").c_str());
    return value;
}

std::vector<std::string> records_of(const std::string& folder)
{
    bool ok = false;
    std::vector<std::string> records = harness::log_records(harness::read_file(folder + "\\log.txt"), &ok);
    EXPECT_TRUE(ok) << "every log record ends with its NUL byte";
    return records;
}

TEST(Startup, FirstRunWithoutDrivesWritesLogAndDefaults)
{
    RemoveDirectoryA("C:\\Music");  // only when empty; made again below
    Program program;
    ASSERT_TRUE(program.start(g_program));
    ASSERT_EQ(run_without_drives(program), 0) << "the process ends with exit code 0";

    std::string bytes = harness::read_file(program.folder + "\\log.txt");
    ASSERT_GE(bytes.size(), 16u);
    EXPECT_EQ(bytes.compare(0, 15, std::string("Start CDRipper\0", 15)), 0) << "first record, no CR LF before it";
    EXPECT_EQ(bytes.substr(bytes.size() - 16), std::string("\r\nEnd CDRipper\n\0", 16)) << "last record";

    std::vector<std::string> records = records_of(program.folder);
    ASSERT_EQ(records.size(), 10u);
    const char* start_lines[] = {"    msgMutex = 0x", "    hMutex = 0x", "    Heap = 0x"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(records[1 + i].rfind(start_lines[i], 0), 0u) << "record " << 1 + i << ": " << records[1 + i];
        EXPECT_GT(records[1 + i].size(), strlen(start_lines[i])) << "a hex value follows";
    }
    EXPECT_EQ(records[4], "    Full Path Name = " + program.folder);
    EXPECT_EQ(records[5], "    Current Directory = " + program.folder);
    EXPECT_EQ(records[6], "    0, 0, 0") << "flags as read, before the correction";
    EXPECT_EQ(records[7], "    Output path: C:\\Music\\");
    EXPECT_EQ(records[8], "    Message: DESTROY") << "the main window is destroyed at level 1";
    EXPECT_EQ(records[9], "End CDRipper\n");

    EXPECT_EQ(ini_value(program.folder, "MP3"), "1");
    EXPECT_EQ(ini_value(program.folder, "WAV"), "0");
    EXPECT_EQ(ini_value(program.folder, "WMA"), "0");
    EXPECT_EQ(ini_value(program.folder, "Output"), "C:\\Music\\");
    std::string ini = harness::read_file(program.folder + "\\settings.ini");
    EXPECT_LT(ini.find("[Settings]"), ini.find("MP3=")) << ini;
    EXPECT_LT(ini.find("MP3="), ini.find("WAV=")) << "keys in the order MP3, WAV, WMA, Output";
    EXPECT_LT(ini.find("WAV="), ini.find("WMA="));
    EXPECT_LT(ini.find("WMA="), ini.find("Output="));
    DWORD music = GetFileAttributesA("C:\\Music");
    EXPECT_TRUE(music != INVALID_FILE_ATTRIBUTES && (music & FILE_ATTRIBUTE_DIRECTORY)) << "C:\\Music is made";
    harness::fault_row("19", "No CD drive in the machine", "\"No CD drives found (error code: 23)\"; the program ends",
                       "log.txt; settings.ini with the defaults", "the program ends with exit code 0");
}

// Runs the program on a given settings.ini; returns the flags line it logged.
std::string run_with_settings(const std::string& ini, std::string* folder_out, std::string* log_out = nullptr)
{
    Program program;
    program.folder = harness::make_temp_folder("ini");
    harness::write_file(program.folder + "\\settings.ini", ini);
    EXPECT_TRUE(program.start(g_program));
    EXPECT_EQ(run_without_drives(program), 0);
    std::vector<std::string> records = records_of(program.folder);
    if (log_out) *log_out = records.size() > 7 ? records[7] : "";
    std::string flags = records.size() > 6 ? records[6] : "";
    // Keep the folder's settings for the caller: copy before the folder goes.
    *folder_out = harness::read_file(program.folder + "\\settings.ini");
    return flags;
}

std::string saved_value(const std::string& ini_bytes, const char* key)
{
    std::string folder = harness::make_temp_folder("read");
    harness::write_file(folder + "\\settings.ini", ini_bytes);
    std::string value = ini_value(folder, key);
    harness::remove_tree(folder);
    return value;
}

TEST(Startup, FormatFlagsAreValidatedAsRead)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"1,1,0", "1,0,0"}, {"1,1,1", "1,1,1"}};  // the whole rule: settings_rules_test
    for (const auto& c : cases) {
        int mp3, wav, wma;
        sscanf(c.in, "%d,%d,%d", &mp3, &wav, &wma);
        char ini[200];
        snprintf(ini, sizeof ini, "[Settings]\r\nMP3=%d\r\nWAV=%d\r\nWMA=%d\r\nOutput=C:\\Music\\\r\n", mp3, wav, wma);
        std::string saved;
        std::string logged = run_with_settings(ini, &saved);
        char expected_log[64];
        snprintf(expected_log, sizeof expected_log, "    %d, %d, %d", mp3, wav, wma);
        EXPECT_EQ(logged, expected_log) << "the log shows the values before the correction";
        std::string result = saved_value(saved, "MP3") + "," + saved_value(saved, "WAV") + "," + saved_value(saved, "WMA");
        EXPECT_EQ(result, c.out) << "flags read as " << c.in;
    }
}

TEST(Startup, KeysInAnotherCaseAndLongOutputValues)
{
    std::string saved;
    EXPECT_EQ(run_with_settings("[settings]\r\nmp3=0\r\nwav=1\r\nwma=0\r\noutput=D:\\Rips\\\r\n", &saved), "    0, 1, 0");
    EXPECT_EQ(saved_value(saved, "WAV"), "1");
    EXPECT_EQ(saved_value(saved, "Output"), "D:\\Rips\\");

    std::string long_root = "C:\\" + std::string(1500, 'r');
    std::string output_line;
    run_with_settings("[Settings]\r\nOutput=" + long_root + "\r\n", &saved, &output_line);
    std::string logged_root = ("Output path: " + long_root.substr(0, 1023)).substr(0, 1023);
    EXPECT_EQ(output_line, "    " + logged_root) << "the root is cut to 1023 characters, the log line to its limit";
    EXPECT_EQ(saved_value(saved, "Output").size(), 1023u);

    run_with_settings("[Settings]\r\nOutput=\r\n", &saved, &output_line);
    EXPECT_EQ(output_line, "    Output path: C:\\Music\\") << "an empty root becomes the default";
}

TEST(Startup, GarbageSettingsLoadAsDefaults)
{
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 37 + 11) & 0xFF);
    const std::string garbage[] = {
        binary,
        "[Settings]\r\nMP3=" + std::string(100000, '9') + "\r\nOutput=" + std::string(100000, 'x') + "\r\n",
        "no section at all\r\n===\r\n[\r\n]]]\r\nMP3\r\n",
        std::string(100000, '['),
    };
    for (const std::string& ini : garbage) {
        std::string saved;
        run_with_settings(ini, &saved);
        EXPECT_NE(saved_value(saved, "MP3"), "<absent>") << "the program ran to its end and saved";
    }
    harness::fault_row("13", "Garbage settings.ini (binary bytes, 100 KB lines, no section)",
                       "nothing: the program starts as usual", "settings.ini written anew with valid values",
                       "the program runs to its end");
}

TEST(Startup, SecondStartWakesTheFirstAndChangesNothing)
{
    Program first;
    first.folder = harness::make_temp_folder("first");
    harness::write_file(first.folder + "\\settings.ini", "[Settings]\r\nMP3=0\r\nWAV=1\r\nWMA=0\r\nOutput=C:\\Music\\\r\n");
    ASSERT_TRUE(first.start(g_program));
    HWND box = harness::wait_for_message_box(first.process.dwProcessId, "Error");
    ASSERT_TRUE(box != nullptr);
    HWND main_window = harness::wait_for_window(first.process.dwProcessId, "Orvo CD Ripper");
    ASSERT_TRUE(main_window != nullptr) << "the main window exists behind the box";
    ShowWindow(main_window, SW_MINIMIZE);
    std::string log_before = harness::read_file(first.folder + "\\log.txt");
    std::string ini_before = harness::read_file(first.folder + "\\settings.ini");

    Program second;
    second.folder = harness::make_temp_folder("second");
    ASSERT_TRUE(second.start_in(first.folder + "\\OrvoCdRipper.exe"));
    second.folder.clear();  // the folder belongs to the first instance
    EXPECT_EQ(second.wait_exit(), 0) << "the second instance leaves with code 0";

    EXPECT_TRUE(IsWindowVisible(main_window)) << "the first window is shown";
    EXPECT_FALSE(IsIconic(main_window)) << "and restored from minimised";
    EXPECT_EQ(harness::read_file(first.folder + "\\log.txt"), log_before) << "log.txt untouched";
    EXPECT_EQ(harness::read_file(first.folder + "\\settings.ini"), ini_before) << "settings.ini untouched";

    harness::click(box, IDOK);
    EXPECT_EQ(first.wait_exit(), 0);
    harness::fault_row("15", "A second copy started", "the first window comes to the front, restored; the second ends",
                       "nothing new", "the first copy's log.txt and settings.ini byte for byte as they were");
}

TEST(Startup, WrongLibraryVersionIsRefused)
{
    Program program;
    ASSERT_TRUE(program.start(g_bad_version));
    HWND box = harness::wait_for_message_box(program.process.dwProcessId, nullptr);
    ASSERT_TRUE(box != nullptr);
    EXPECT_EQ(harness::message_box_text(box), "An incorrect version of BASS.DLL was loaded");
    harness::click(box, IDOK);
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_FALSE(harness::file_exists(program.folder + "\\settings.ini")) << "no settings written";
    std::vector<std::string> records = records_of(program.folder);
    ASSERT_EQ(records.size(), 6u) << "only the start-up lines";
    EXPECT_EQ(records[0], "Start CDRipper");
    EXPECT_EQ(records[5], "    Current Directory = " + program.folder);
    harness::fault_row("17", "Audio-CD library of the wrong version",
                       "\"An incorrect version of BASS.DLL was loaded\"; the program ends",
                       "log.txt with the start-up lines", "no settings.ini written");
}

TEST(Startup, FailureInTheMainWindowIsCaughtAndTheLogStillEnds)
{
    Program program;
    program.folder = harness::make_temp_folder("fault");
    const std::string ini = "[Settings]\r\nMP3=0\r\nWAV=0\r\nWMA=1\r\nOutput=C:\\Elsewhere\\\r\n";
    harness::write_file(program.folder + "\\settings.ini", ini);
    ASSERT_TRUE(program.start(g_faulty));
    HWND box = harness::wait_for_message_box(program.process.dwProcessId, "Error");
    ASSERT_TRUE(box != nullptr) << "the guard shows its box";
    EXPECT_EQ(harness::message_box_text(box), "Failed");
    harness::click(box, IDOK);
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_EQ(harness::read_file(program.folder + "\\settings.ini"), ini) << "the previous settings are kept";
    std::vector<std::string> records = records_of(program.folder);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back(), "End CDRipper\n");
    harness::fault_row("18", "A processor fault inside the main window", "\"Failed\", then the program ends (exit code 0)",
                       "log.txt complete to \"End CDRipper\"", "settings.ini as it was");
}

}  // namespace

TEST(Startup, ThePackagedProgramRunsAloneInItsFolder)
{
    Program program;
    program.folder = harness::windows_path(g_packed);
    ASSERT_TRUE(program.start_in(program.folder + "\\OrvoCdRipper.exe")) << "it starts: no DLL is missing";
    ASSERT_EQ(run_without_drives(program), 0);
    program.folder.clear();  // the folder belongs to the package check
    std::vector<std::string> files;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((harness::windows_path(g_packed) + "\\*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        if (found.cFileName[0] != '.') files.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"OrvoCdRipper.exe", "log.txt", "settings.ini"}))
        << "beside itself it writes its log and its settings, nothing else";
}

int main(int argc, char** argv)
{
    return harness::run_tests(argc, argv, {&g_program, &g_bad_version, &g_faulty, &g_packed},
                              "PROGRAM BAD_VERSION_PROGRAM FAULTY_PROGRAM PACKED_PROGRAM_FOLDER");
}
