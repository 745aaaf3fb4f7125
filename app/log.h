// The diagnostic log: one indented line per event in log.txt.
#pragma once
#include <atomic>
#include <mutex>

#include "log_format.h"

class DiagnosticLog {
public:
    // Creates or empties the file; from now on lines go there.
    void open(const char* file_name);
    // Formats one line (printf rules for %d, %s, %x) and appends it.
    void print(const char* format, ...);
    void enter();
    void leave();

private:
    void write_line(const char* line, size_t length);

    bool file_output_ = false;
    std::atomic<int> level_{0};
    char line_[kLogLineBufferSize] = {};
    char file_name_[kLogLineBufferSize] = {};
    // One line at a time, from every thread. Recursive because the start-up
    // guard's fault handler logs the last lines on the thread that faulted,
    // which may have faulted inside print itself.
    std::recursive_mutex mutex_;
};

extern DiagnosticLog g_log;
