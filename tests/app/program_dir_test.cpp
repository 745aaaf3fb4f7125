#include "app/program_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string directory_of(const char* path)
{
    char buffer[256];
    snprintf(buffer, sizeof buffer, "%s", path);
    cut_to_program_directory(buffer, strlen(buffer));
    return buffer;
}

TEST(ProgramDirectory, CutsAtTheLastBackslash)
{
    EXPECT_EQ(directory_of("C:\\Apps\\Rip\\ripper.exe"), "C:\\Apps\\Rip");
    EXPECT_EQ(directory_of("C:\\ripper.exe"), "C:") << "a program in a drive's root";
    EXPECT_EQ(directory_of("\\\\server\\share\\r.exe"), "\\\\server\\share");
}

TEST(ProgramDirectory, PathWithoutBackslashMeansCurrentFolder)
{
    EXPECT_EQ(directory_of("ripper.exe"), ".");
}

}  // namespace
