#include "app/log_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

size_t line_length(int level, const char* format, ...)
{
    std::vector<char> line(kLogLineBufferSize, 'x');
    va_list args;
    va_start(args, format);
    size_t length = format_log_line(line.data(), level, format, args);
    va_end(args);
    EXPECT_EQ(length, strlen(line.data())) << "returned length must match the text";
    return length;
}

TEST(LogFormat, CutsLongTextAndDeepLevelsWithinTheBuffer)
{
    std::string long_text(5000, 'a');
    EXPECT_EQ(line_length(1, "%s", long_text.c_str()), 4u + 1023u) << "text is cut to 1023 characters";
    size_t deep = line_length(100000, "%s", long_text.c_str());
    EXPECT_EQ(deep, static_cast<size_t>(kLogMaxIndentLevel) * 4 + 1023u);
    EXPECT_LT(deep, kLogLineBufferSize) << "line and terminator fit the 4096-byte buffer";
}

// Records appended the way the log does: the file's bytes.
std::string file_of(const std::vector<std::string>& lines)
{
    std::string file;
    for (const std::string& line : lines) {
        std::vector<char> block(log_block_size(file.size(), line.size()), '\x7f');
        memcpy(block.data(), file.data(), file.size());
        size_t used = append_log_record(block.data(), file.size(), line.c_str(), line.size());
        EXPECT_LE(used, block.size()) << "record must fit the block the log allocates";
        file.assign(block.data(), used);
    }
    return file;
}

TEST(LogFormat, RecordsAreSeparatedByCrLfAndEndWithNul)
{
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"A", "    B"}, std::string("A\0\r\n    B\0", 10)},
        {{"only"}, std::string("only\0", 5)},  // no CR LF before the first record
        {{"", "next"}, std::string("\0\r\nnext\0", 8)},  // an empty line still writes its NUL
        {{"End CDRipper\n"}, std::string("End CDRipper\n\0", 14)},
    };
    for (const auto& row : rows) EXPECT_EQ(file_of(row.first), row.second);
}

}  // namespace
