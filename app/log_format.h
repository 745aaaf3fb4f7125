// Byte layout of log.txt, kept free of any platform calls.
//
// A line is 4 spaces per indentation level followed by the formatted text.
// The file is a run of records separated by CR LF; each record is one line
// followed by its terminating NUL byte.
#pragma once
#include <cstdarg>
#include <cstddef>

constexpr size_t kLogLineBufferSize = 4096;
constexpr size_t kLogTextLimit = 1024;  // formatted text with its terminator
// The deepest indentation a line can carry and still fit its text.
constexpr int kLogMaxIndentLevel = (kLogLineBufferSize - kLogTextLimit) / 4;

// Formats one line into `line` (kLogLineBufferSize bytes). Levels above
// kLogMaxIndentLevel are indented as that level; text beyond 1023 characters
// is cut. Returns the line length without its terminator.
size_t format_log_line(char* line, int level, const char* format, va_list args);

// Bytes needed to hold `old_size` bytes of log plus one more record of a line
// of `line_length` characters (the block the log allocates per line).
size_t log_block_size(size_t old_size, size_t line_length);

// `block` holds the old contents in its first `old_size` bytes and has room
// for log_block_size(old_size, line_length) bytes. Appends the separator (when
// the file is not empty) and the record; returns the new used length.
size_t append_log_record(char* block, size_t old_size, const char* line, size_t line_length);
