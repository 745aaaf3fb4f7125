#include "lookup/cddb.h"

#include "tests/table_file.h"

// One row of cddb.table.
static std::string run(const TableRow& row)
{
    std::string step = row.at(0), text = row.at(2), names;
    for (const CddbCategory& category : CddbCategories) names += (names.empty() ? "" : " ") + std::string(category.name);
    if (step == "categories") return names;
    if (step == "utf8") return cddb_text_utf8(text);
    if (step == "reply") {
        const char* kinds[] = {"entry", "no entry", "not an entry", "HTTP error"};
        return kinds[static_cast<int>(classify_cddb_reply(std::stoul(row.at(1)), text.c_str()))];
    }
    size_t size = std::stoul(row.at(1));
    std::vector<char> out(size, 'x'), album(size);  // a write past them is caught
    if (step == "hello")  // a refusal leaves nothing that could be sent
        return cddb_hello_words(text.c_str(), out.data(), size) ? out.data() : out[0] ? "refused, yet " + std::string(out.data()) : "refused";
    if (step == "dtitle") {
        split_dtitle(text.c_str(), out.data(), size, album.data(), size);
        return "[" + std::string(out.data()) + "] [" + album.data() + "]";
    }
    bool found = step == "year"    ? cddb_year(text.c_str(), out.data(), size)
                 : step == "genre" ? cddb_genre(text.c_str(), row.at(3).c_str(), out.data(), size)
                                   : cddb_value(text.c_str(), row.at(3).c_str(), out.data(), size);
    return found ? "\"" + std::string(out.data()) + "\"" : out[0] ? "absent, yet " + std::string(out.data()) : "absent";
}

TEST(Cddb, RepliesValuesYearsAndCategories) { check_table("lookup/cddb.table", run); }
