// The diagnostic log on real files: lines from every thread arrive whole,
// a line that cannot be appended whole is lost alone, and a fault inside
// the writer still lets the start-up guard's last line out.
#include <gtest/gtest.h>

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
};

TEST(DiagnosticLog, LinesFromManyThreadsArriveWholeAndInOrder)
{
    LogFile file;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&file, t] { for (int i = 0; i < 150; ++i) file.log.print("thread %d line %d", t, i); });
    for (auto& thread : threads) thread.join();
    bool ok = false;
    std::vector<int> next(4, 0);
    for (const std::string& record : harness::log_records(harness::read_file(file.path), &ok)) {
        int t = -1, i = -1;
        ASSERT_TRUE(sscanf(record.c_str(), "thread %d line %d", &t, &i) == 2 && t >= 0 && t < 4) << record;
        EXPECT_EQ(i, next[t]++) << "each thread's lines in their order";
    }
    EXPECT_TRUE(ok && next == std::vector<int>(4, 150)) << "every line, each ending with its NUL";
}

void set_end(const std::string& path, LONGLONG at)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILE_END_OF_FILE_INFO end;
    end.EndOfFile.QuadPart = at;
    SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end);
    CloseHandle(file);
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
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
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
DWORD WINAPI guarded_run(LPVOID)
{
    run_guarded([] { g_log.print("%s", reinterpret_cast<const char*>(16)); },
                [] { g_log.print("End CDRipper\n"), ExitThread(0); });
    return 1;
}

TEST(DiagnosticLog, AFaultInsideTheWriterStillLetsTheGuardsLastLineOut)
{
    LogFile file;
    g_log.open(file.path.c_str());
    HANDLE thread = CreateThread(nullptr, 0, guarded_run, nullptr, 0, nullptr);
    HWND box = harness::wait_for_message_box(GetCurrentProcessId(), "Error");
    EXPECT_EQ(harness::message_box_text(box), "Failed");
    harness::click(box, IDOK);
    DWORD code = 1;
    EXPECT_TRUE(WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &code) && !code);
    bool ok = false;
    EXPECT_EQ(harness::log_records(harness::read_file(file.path), &ok).back(), "End CDRipper\n");
}

}  // namespace
