#include "cd/track_rows.h"

#include "tests/table_file.h"

// One row of track_rows.table, into exactly a row's bytes: a write past
// them is caught. "cut8": the title in UTF-8.
static std::string run(const TableRow& row)
{
    std::string step = row.at(0), in = row.at(1);
    std::vector<char> text(kTitleSize);
    if (step == "title") default_track_title(std::stoi(in), text.data(), text.size());
    if (step == "time") format_track_time(static_cast<uint32_t>(std::stoul(in)), text.data(), text.size());
    if (step == "cut" || step == "cut8") copy_track_title(text.data(), text.size(), in.c_str(), step == "cut" ? cp932_lead : utf8_text);
    if (step != "cdtext") return text.data();
    const char* title = find_cdtext_title(in == "(none)" ? nullptr : in.c_str(), std::stoi(row.at(2)));
    return title ? title : "(none)";
}

TEST(TrackRows, TitlesTimesAndCdTextTitles) { check_table("cd/track_rows.table", run); }
