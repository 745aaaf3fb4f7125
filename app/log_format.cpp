#include "log_format.h"

#include <cstdio>
#include <cstring>

size_t format_log_line(char* line, int level, const char* format, va_list args)
{
    if (level < 0) level = 0;
    if (level > kLogMaxIndentLevel) level = kLogMaxIndentLevel;
    size_t indent = static_cast<size_t>(level) * 4;
    memset(line, ' ', indent);
    char* text = line + indent;
    int written = vsnprintf(text, kLogTextLimit, format, args);
    if (written < 0) text[0] = '\0';
    text[kLogTextLimit - 1] = '\0';
    return indent + strlen(text);
}

size_t log_block_size(size_t old_size, size_t line_length)
{
    return old_size + line_length + 3;
}

size_t append_log_record(char* block, size_t old_size, const char* line, size_t line_length)
{
    size_t used = old_size;
    if (old_size != 0) {
        block[used++] = '\r';
        block[used++] = '\n';
    }
    memcpy(block + used, line, line_length);
    used += line_length;
    block[used++] = '\0';
    return used;
}
