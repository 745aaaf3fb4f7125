#include "app/program_dir.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ProgramDirectory, CutsAtTheLastBackslash)
{
    const char* const rows[][2] = {
        {"C:\\Apps\\Rip\\ripper.exe", "C:\\Apps\\Rip"},
        {"C:\\ripper.exe", "C:"},  // a program in a drive's root
        {"\\\\server\\share\\r.exe", "\\\\server\\share"},
        {"ripper.exe", "."},  // no backslash: the current folder
    };
    for (const auto& row : rows) {
        char buffer[256];
        snprintf(buffer, sizeof buffer, "%s", row[0]);
        cut_to_program_directory(buffer, strlen(buffer));
        EXPECT_STREQ(buffer, row[1]);
    }
}

}  // namespace
