#include "app/log_format.h"
#include "app/program_dir.h"
#include "app/settings_rules.h"

#include "tests/table_file.h"

#include <cstring>
#include <sstream>

static size_t format_line(char* line, int level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    size_t length = format_log_line(line, level, format, args);
    va_end(args);
    return length;
}

// The log's bytes after appending `lines`, each into exactly the block the
// log allocates for it (filled with 7F: a byte left unwritten shows).
static std::string log_of(const std::string& lines)
{
    std::string file, line;
    std::istringstream list(lines);
    while (std::getline(list, line, ';')) {
        std::vector<char> block(log_block_size(file.size(), line.size()), '\x7f');
        memcpy(block.data(), file.data(), file.size());
        file.assign(block.data(), append_log_record(block.data(), file.size(), line.c_str(), line.size()));
    }
    return file;
}

// One row of app.table.
static std::string run(const TableRow& row)
{
    std::string step = row.at(0), in = row.at(1);
    if (step == "log") return log_of(in);
    if (step == "log line") {
        std::vector<char> line(kLogLineBufferSize, 'x');  // a write past it is caught
        size_t length = format_line(line.data(), std::stoi(in), "%s", row.at(2).c_str());
        return std::to_string(length) + (length == strlen(line.data()) ? "" : ", not the line's length");
    }
    char text[256];
    snprintf(text, sizeof text, "%s", in.c_str());
    if (step == "program dir") cut_to_program_directory(text, strlen(text));
    if (step != "flags") return text;
    int32_t mp3, wav, wma;
    sscanf(text, "%d %d %d", &mp3, &wav, &wma);
    validate_format_flags(&mp3, &wav, &wma);
    snprintf(text, sizeof text, "%d %d %d", mp3, wav, wma);
    return text;
}

TEST(App, FormatFlagsProgramFolderAndLog) { check_table("app/app.table", run); }
