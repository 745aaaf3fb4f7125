#include "app/log_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string line_of(int level, const char* format, ...)
{
    std::vector<char> line(kLogLineBufferSize, 'x');
    va_list args;
    va_start(args, format);
    size_t length = format_log_line(line.data(), level, format, args);
    va_end(args);
    EXPECT_EQ(length, strlen(line.data())) << "returned length must match the text";
    return std::string(line.data(), length);
}

// Appends records the way the log does and returns the file's bytes.
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

TEST(LogFormat, CutsLongTextAndDeepLevelsWithinTheBuffer)
{
    std::string long_text(5000, 'a');
    std::string line = line_of(1, "%s", long_text.c_str());
    EXPECT_EQ(line.size(), 4u + 1023u) << "text is cut to 1023 characters";

    std::string deep = line_of(100000, "%s", long_text.c_str());
    EXPECT_EQ(deep.size(), static_cast<size_t>(kLogMaxIndentLevel) * 4 + 1023u);
    EXPECT_LT(deep.size(), kLogLineBufferSize) << "line and terminator fit the 4096-byte buffer";
}

TEST(LogFormat, RecordsAreSeparatedByCrLfAndEndWithNul)
{
    std::string file = file_of({"A", "    B"});
    EXPECT_EQ(file, std::string("A\0\r\n    B\0", 10)) << "the ten bytes 41 00 0D 0A 20 20 20 20 42 00";

    EXPECT_EQ(file_of({"only"}), std::string("only\0", 5)) << "no CR LF before the first record";
    EXPECT_EQ(file_of({"", "next"}), std::string("\0\r\nnext\0", 8)) << "an empty line still writes its NUL";
    std::string end = file_of({"End CDRipper\n"});
    EXPECT_EQ(end.substr(end.size() - 2), std::string("\n\0", 2));
}

}  // namespace
