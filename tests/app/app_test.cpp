#include "app/log_format.h"
#include "app/program_dir.h"
#include "app/settings_rules.h"

#include "tests/table_file.h"

// The length of a log line at `level`, formatted into exactly the log's
// buffer: a write past it is caught.
static std::string line_length(int level, const char* format, ...)
{
    std::vector<char> line(kLogLineBufferSize, 'x');
    va_list args;
    va_start(args, format);
    size_t length = format_log_line(line.data(), level, format, args);
    va_end(args);
    return std::to_string(length) + (length == strlen(line.data()) ? "" : ", not the line's length");
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
    if (step == "log line") return line_length(std::stoi(in), "%s", row.at(2).c_str());
    if (step == "program dir") {
        std::vector<char> path(in.c_str(), in.c_str() + in.size() + 1);  // exactly its bytes: a write past them is caught
        cut_to_program_directory(path.data(), in.size());
        return path.data();
    }
    if (step == "read offset") {
        int samples = 12345;
        return parse_read_offset(in.c_str(), &samples) ? std::to_string(samples) : "not set";
    }
    int32_t f[4];
    std::istringstream(in) >> f[0] >> f[1] >> f[2] >> f[3];
    validate_format_flags(&f[0], &f[1], &f[2], f[3]);
    const char* names[] = {"mp3", "wav", "wma", "flac"};
    return std::to_string(f[0]) + " " + std::to_string(f[1]) + " " + std::to_string(f[2]) + " " +
           names[static_cast<int>(chosen_format(f[0], f[1], f[2], f[3]))];
}

TEST(App, FormatFlagsProgramFolderAndLog) { check_table("app/app.table", run); }
