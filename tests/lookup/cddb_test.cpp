#include "lookup/cddb.h"

#include "tests/table_file.h"

#include <memory>

namespace {

TEST(Cddb, FindKeyValue)
{
    for (const TableRow& row : read_table("lookup/cddb.table")) {
        size_t size = std::stoul(row.at(4, "256"));
        std::unique_ptr<char[]> out(new char[size]);  // exactly `size` bytes: a write past it is caught
        out[0] = 'x';
        EXPECT_EQ(find_key_value(row.at(0).c_str(), row.at(1).c_str(), out.get(), size), std::stoi(row.at(3))) << row.where;
        EXPECT_EQ(std::string(out.get()), row.at(2)) << row.where;
    }
}

TEST(Cddb, HelloWordsFromTheSavedAddress)
{
    std::vector<TableRow> rows = read_table("lookup/hello.table");
    rows.push_back({"254 characters", {std::string(242, 'a') + "@example.org", std::string(242, 'a') + "+example.org"}});
    rows.push_back({"255 characters", {std::string(243, 'a') + "@example.org", "refused"}});
    for (const TableRow& row : rows) {
        char hello[3 * kMaxEmailLength + 1];
        bool used = cddb_hello_words(row.at(0).c_str(), hello, sizeof hello);
        EXPECT_EQ(used ? std::string(hello) : "refused", row.at(1)) << row.where;
    }
}

TEST(Cddb, DtitleSplitsAtTheFirstSeparator)
{
    const char* const rows[][2] = {
        {"Artist / Album", "Artist|Album"}, {"A / B / C", "A|B / C"}, {"Solo", "Solo|"}, {"X / ", "X / |"}};
    for (const auto& row : rows) {
        char artist[64], album[64];
        split_dtitle(row[0], artist, sizeof artist, album, sizeof album);
        EXPECT_EQ(std::string(artist) + "|" + album, row[1]);
    }
}

TEST(Cddb, CategoryNamesInTheirOrder)
{
    std::string names;
    for (const CddbCategory& category : CddbCategories) names += std::string(category.name) + " ";
    EXPECT_EQ(names, "blues classical country data folk jazz newage reggae rock soundtrack misc ");
}

}  // namespace
