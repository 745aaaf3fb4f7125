// The diagnostic log on real files: lines from several threads at once, a
// line that cannot be appended whole is lost alone, and a fault inside the
// writer still lets the start-up guard's last line out.
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "app/guard.h"
#include "app/log.h"
#include "tests/support/harness.h"

namespace {

struct LogFile {
    std::string folder = harness::make_temp_folder("log"), path = folder + "\\log.txt";
    DiagnosticLog log;
    LogFile() { log.open(path.c_str()); }
    ~LogFile() { harness::remove_tree(folder); }
    std::vector<std::string> records(bool* whole) { return harness::log_records(harness::read_file(path), whole); }
};

void set_end(const std::string& path, LONGLONG at)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILE_END_OF_FILE_INFO end;
    end.EndOfFile.QuadPart = at;
    SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end);
    CloseHandle(file);
}

// Four threads log at once, as a rip's reader and encoders do: every line
// arrives once and whole.
TEST(DiagnosticLog, LinesFromSeveralThreadsAtOnceAllArriveWhole)
{
    LogFile file;
    std::vector<std::thread> threads;
    std::multiset<std::string> sent, records;
    for (int t = 0; t < 200; t += 50) threads.emplace_back([&file, t] { for (int n = t; n < t + 50; ++n) file.log.print("%d", n); });
    for (int n = 0; n < 200; ++n) sent.insert(std::to_string(n));
    for (std::thread& thread : threads) thread.join();
    bool whole = false;
    for (const std::string& record : file.records(&whole)) records.insert(record);
    EXPECT_TRUE(whole && records == sent) << records.size() << " records";
}

// While one line is written, log.txt is held open by another program without
// sharing, or has grown past 4 GiB, so that its old contents cannot be read
// in full (written back, a partial copy would leave old and new mixed).
TEST(DiagnosticLog, ALineThatCannotBeAppendedWholeIsLostAlone)
{
    for (bool grown : {false, true}) {
        LogFile file;
        file.log.print("before");
        if (grown) set_end(file.path, 7 + (1LL << 32));
        HANDLE held = grown ? nullptr : CreateFileA(file.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD start = GetTickCount();
        file.log.print("while held or grown");
        EXPECT_LT(GetTickCount() - start, 2000u) << "the writer never waits for the file";
        CloseHandle(held);
        if (grown) set_end(file.path, 9);  // two bytes of what grew stay: nothing was to be written there
        file.log.print("after");
        EXPECT_EQ(harness::read_file(file.path), std::string("before\0\0\0", grown ? 9 : 7) + std::string("\r\nafter", 8));
    }
    harness::fault_row("14", "log.txt held open by another program without sharing", "nothing: the program runs on",
                       "log.txt lacks only the lines written while it was held", "the writer never waits for the file");
}

// The fault comes inside print, which holds the log's lock; the guard's last
// step logs on that same thread (and ends it, where the program ends its process).
TEST(DiagnosticLog, AFaultInsideTheWriterStillLetsTheGuardsLastLineOut)
{
    LogFile file;
    g_log.open(file.path.c_str());
    LPTHREAD_START_ROUTINE guarded_run = [](LPVOID) -> DWORD {
        run_guarded([] { g_log.print("%s", reinterpret_cast<const char*>(16)); },
                    [] { g_log.print("End CDRipper\n"), ExitThread(0); });
        return 1;
    };
    HANDLE thread = CreateThread(nullptr, 0, guarded_run, nullptr, 0, nullptr);
    HWND box = harness::wait_for_message_box(GetCurrentProcessId(), "Error");
    EXPECT_EQ(harness::message_box_text(box), "Failed");
    harness::click(box, IDOK);
    DWORD code = 1;
    bool whole = false;
    EXPECT_TRUE(WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &code) && !code);
    EXPECT_EQ(file.records(&whole).back(), "End CDRipper\n");
}

}  // namespace
