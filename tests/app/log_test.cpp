// The diagnostic log on real files: every thread's lines arrive whole, and
// a file held by another program loses only the lines written meanwhile.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "app/log.h"
#include "tests/support/harness.h"

namespace {

TEST(DiagnosticLog, LinesFromManyThreadsArriveWholeAndNoneIsLost)
{
    std::string folder = harness::make_temp_folder("log");
    std::string path = folder + "\\log.txt";
    DiagnosticLog log;
    log.open(path.c_str());
    const int kThreads = 4, kLines = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kLines; ++i) log.print("thread %d line %d", t, i);
        });
    }
    for (auto& thread : threads) thread.join();

    bool ok = false;
    std::vector<std::string> records = harness::log_records(harness::read_file(path), &ok);
    EXPECT_TRUE(ok) << "every record ends with its NUL";
    ASSERT_EQ(records.size(), static_cast<size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const std::string& record : records) {
        int t = -1, i = -1;
        ASSERT_EQ(sscanf(record.c_str(), "thread %d line %d", &t, &i), 2) << "mixed record: " << record;
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(i, next[t]++) << "each thread's lines in its own order";
    }
    harness::remove_tree(folder);
}

TEST(DiagnosticLog, FileHeldWithoutSharingLosesOnlyThoseLines)
{
    std::string folder = harness::make_temp_folder("held");
    std::string path = folder + "\\log.txt";
    DiagnosticLog log;
    log.open(path.c_str());
    log.print("before");
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DWORD start = GetTickCount();
    log.print("while held");
    EXPECT_LT(GetTickCount() - start, 2000u) << "a held file never blocks the caller";
    CloseHandle(held);
    log.print("after");
    EXPECT_EQ(harness::read_file(path), std::string("before\0\r\nafter\0", 15));
    harness::remove_tree(folder);
    harness::fault_row("14", "log.txt held open by another program without sharing", "nothing: the program runs on",
                       "log.txt lacks only the lines written while it was held", "the writer never waits for the file");
}

}  // namespace
