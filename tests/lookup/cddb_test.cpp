#include "lookup/cddb.h"

#include "tests/table_file.h"

#include <memory>

// One row of cddb.table.
static std::string run(const TableRow& row)
{
    std::string step = row.at(0), text = row.at(2), names;
    for (const CddbCategory& category : CddbCategories) names += (names.empty() ? "" : " ") + std::string(category.name);
    if (step == "categories") return names;
    size_t size = std::stoul(row.at(1));
    std::unique_ptr<char[]> out(new char[size]), album(new char[size]);  // a write past them is caught
    out[0] = 'x';
    if (step == "dtitle") {
        split_dtitle(text.c_str(), out.get(), size, album.get(), size);
        return "[" + std::string(out.get()) + "] [" + album.get() + "]";
    }
    int at = find_key_value(text.c_str(), row.at(3).c_str(), out.get(), size);
    return "\"" + std::string(out.get()) + "\" at " + std::to_string(at);
}

TEST(Cddb, KeysDtitlesAndCategories) { check_table("lookup/cddb.table", run); }
