#include "log.h"

#include <windows.h>
#include <cstdio>

DiagnosticLog g_log;

void DiagnosticLog::open(const char* file_name)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    file_output_ = true;
    snprintf(file_name_, sizeof file_name_, "%s", file_name);
    HANDLE file = CreateFileA(file_name_, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

void DiagnosticLog::enter()
{
    ++level_;
}

void DiagnosticLog::leave()
{
    int level = level_.load();
    while (level > 0 && !level_.compare_exchange_weak(level, level - 1)) {
    }
}

void DiagnosticLog::print(const char* format, ...)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    va_list args;
    va_start(args, format);
    size_t length = format_log_line(line_, level_.load(), format, args);
    va_end(args);
    if (!file_output_) {
        OutputDebugStringA(line_);
        return;
    }
    write_line(line_, length);
}

// Rewrites the whole file with the new record behind the old ones, so the
// file on disk is complete after every line. A file that cannot be opened
// (removed, or held by another program) or read in full loses this line
// only: written back, a partial copy would leave old and new mixed.
void DiagnosticLog::write_line(const char* line, size_t length)
{
    HANDLE file = CreateFileA(file_name_, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    HANDLE heap = GetProcessHeap();
    // A file past 4 GiB, or of no known size, cannot be copied whole.
    char* block = high || size == INVALID_FILE_SIZE
                      ? nullptr
                      : static_cast<char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, log_block_size(size, length)));
    DWORD read = 0;
    bool whole = block && (size == 0 || (ReadFile(file, block, size, &read, nullptr) && read == size));
    CloseHandle(file);
    if (!whole) {
        if (block) HeapFree(heap, 0, block);
        return;
    }
    size_t used = append_log_record(block, size, line, length);
    file = CreateFileA(file_name_, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, block, static_cast<DWORD>(used), &written, nullptr);
        CloseHandle(file);
    }
    HeapFree(heap, 0, block);
}
