#include "lookup/accuraterip.h"

#include "tests/table_file.h"

// A table of contents: "start start... | lead-out", a 'd' after a data track's start.
static Toc read_toc(const std::string& starts, const std::string& leadout)
{
    Toc toc;
    std::istringstream in(starts);
    for (std::string start; in >> start && toc.count < kMaxTracks; ++toc.count)
        toc.tracks[toc.count] = {static_cast<uint32_t>(std::stoul(start)), 0, start.back() != 'd'};
    toc.leadout = std::stoul(leadout);
    return toc;
}

// Bytes from tokens: two hex digits a byte, eight a u32le.
static std::string bytes_of(const std::string& tokens)
{
    std::string out;
    std::istringstream in(tokens);
    for (std::string token; in >> token;)
        for (size_t i = 0, value = std::stoul(token, nullptr, 16); i < token.size() / 2; ++i) out += char(value >> 8 * i);
    return out;
}

static std::string matched(const std::vector<ArRecord>& records, const std::string& track_v1_v2)
{
    std::istringstream in(track_v1_v2);
    std::string v1, v2;
    int track;
    in >> track >> v1 >> v2;
    ArMatch m = ar_match_track(records, track, std::stoul(v1, nullptr, 16), std::stoul(v2, nullptr, 16));
    return (m.matched ? std::string(m.v2 ? "v2" : "v1") + " confidence " + std::to_string(m.confidence) : "no match") +
           ", best " + std::to_string(m.best_confidence) + (m.submitted ? "" : ", not submitted");
}

// One row of accuraterip.table.
static std::string run(const TableRow& row)
{
    std::string step = row.at(0), error;
    if (step == "path") return ar_request_path(ar_disc_ids(read_toc(row.at(1), row.at(2))));
    if (step == "dbar") {
        std::string data = bytes_of(row.at(1));
        std::vector<ArRecord> records(1);
        ArDiscIds disc = {2, 0x11, 0x22, 0x33};  // the disc every row asks about
        bool read = ar_parse_dbar(reinterpret_cast<const uint8_t*>(data.data()), data.size(), disc, &records, &error);
        return read ? std::to_string(records.size()) + " records; " + matched(records, row.at(2))
                    : "refused: " + error + (records.empty() ? "" : " (yet records kept)");
    }
    std::string list;  // "offset=name;..." as DriveOffsets.bin records
    std::istringstream in(row.at(1));
    for (std::string entry; std::getline(in, entry, ';');) {
        int offset = std::stoi(entry);
        std::string record = {char(offset), char(offset >> 8)};
        record += entry.substr(entry.find('=') + 1);
        list += record.append(69 - record.size(), '\0');
    }
    list.resize(list.size() + std::stoi(row.at(2)), '\0');  // cut or padded
    std::vector<ArDrive> drives;
    int offset = 0;
    if (!ar_parse_drive_list(reinterpret_cast<const uint8_t*>(list.data()), list.size(), &drives, &error))
        return "refused: " + error;
    return ar_find_drive_offset(drives, row.at(3), row.at(4), &offset) ? std::to_string(offset) : "not found";
}

TEST(AccurateRip, DiscIdsAnswersAndDriveOffsets) { check_table("lookup/accuraterip.table", run); }
