// Test cases kept as rows of a plain-text table under tests/: one row a
// line, fields separated by '|', blank lines and lines starting with '#'
// skipped. Fields are trimmed; inside them \\ \| \n \r \t \0 and \xHH stand
// for those bytes (\x20 for a space at a field's edge) and \*N repeats the
// byte before it up to N bytes in all; "" is the empty text.
#pragma once
#include <gtest/gtest.h>

#include <cstring>  // for the tests' run functions too
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct TableRow {
    std::string where;  // "file:line", for failure messages
    std::vector<std::string> fields;
    std::string at(size_t i) const { return i < fields.size() ? fields[i] : ""; }
};

inline std::string table_field(const std::string& raw)
{
    size_t first = raw.find_first_not_of(" \t"), last = raw.find_last_not_of(" \t"), used;
    std::string text = first == std::string::npos ? "" : raw.substr(first, last - first + 1), out;
    for (size_t i = 0; text != "\"\"" && i < text.size(); ++i) {
        char c = text[i] == '\\' && i + 1 < text.size() ? text[++i] : 0;
        if (c == 'x') out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
        else if (c == '*') out.append(std::stoul(text.substr(i + 1), &used) - 1, out.back()), i += used;
        else if (c) out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == '0' ? '\0' : c;
        else out += text[i];
    }
    return out;
}

// The rows of tests/<name>.
inline std::vector<TableRow> read_table(const std::string& name)
{
    std::vector<TableRow> rows;
    std::ifstream file(std::string(ORVO_TESTS_DIR) + "/" + name);
    EXPECT_TRUE(file.good()) << "cannot read " << name;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
        rows.push_back({name + ":" + std::to_string(number), {}});
        for (size_t i = 0, start = 0; i <= line.size(); ++i) {
            if (i + 1 < line.size() && line[i] == '\\') ++i;  // an escaped byte, '|' too
            else if (i == line.size() || line[i] == '|')
                rows.back().fields.push_back(table_field(line.substr(start, i - start))), start = i + 1;
        }
    }
    return rows;
}

// Checks every row of tests/<name>: what `run` makes of it must be the row's
// last field or, when that starts with "...", hold the rest of it.
inline void check_table(const std::string& name, std::string (*run)(const TableRow& row))
{
    for (const TableRow& row : read_table(name)) {
        std::string seen = run(row), expected = row.fields.back();
        if (expected.compare(0, 3, "...") != 0) EXPECT_EQ(seen, expected) << row.where;
        else EXPECT_NE(seen.find(expected.substr(3)), std::string::npos) << row.where << ": " << seen;
    }
}

// Code page 932's lead bytes, for the double-byte rows.
inline bool cp932_lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
