#include "cdlib/cdtext.h"

#include "tests/table_file.h"

#include <cstring>
#include <sstream>

namespace {

// The packs of one type as a disc holds them: the texts one after another,
// each ended by a zero byte (two in a double-byte block), 12 bytes a pack.
void add_packs(std::vector<uint8_t>* out, uint8_t type, const std::string& list, int unit, int block, uint8_t* sequence)
{
    std::string stream, text;
    std::vector<std::pair<int, int>> owner;  // (track, character position) of each byte
    std::istringstream texts(list);
    for (int track = 0; !list.empty() && std::getline(texts, text, ';'); ++track) {
        text += std::string(unit, '\0');
        for (size_t i = 0; i < text.size(); ++i) owner.push_back({track, static_cast<int>(i) / unit});
        stream += text;
    }
    for (size_t start = 0; start < stream.size(); start += 12) {
        char bytes[12] = {};
        memcpy(bytes, stream.data() + start, std::min<size_t>(12, stream.size() - start));
        uint8_t pack[18];
        int flags = (unit == 2 ? 0x80 : 0) | block << 4 | std::min(owner[start].second, 15);
        make_cdtext_pack(pack, type, static_cast<uint8_t>(owner[start].first), (*sequence)++, static_cast<uint8_t>(flags), bytes);
        out->insert(out->end(), pack, pack + 18);
    }
}

// A disc of cdtext.table: its titles, performers and, when it has a
// character code, the three size-information packs that give it.
std::vector<uint8_t> packs_of(const TableRow& row)
{
    int block = std::stoi(row.at(0)), code = row.at(1) == "-" ? -1 : std::stoi(row.at(1), nullptr, 16);
    int unit = code >= 0x80 ? 2 : 1;
    uint8_t sequence = 0;
    std::vector<uint8_t> out;
    add_packs(&out, 0x80, row.at(3), unit, block, &sequence);
    add_packs(&out, 0x81, row.at(4), unit, block, &sequence);
    for (uint8_t i = 0; code >= 0 && i < 3; ++i) {
        char info[12] = {static_cast<char>(i == 0 ? code : 0), 1, 3};
        uint8_t pack[18];
        make_cdtext_pack(pack, 0x8F, i, sequence++, static_cast<uint8_t>(block << 4), info);
        out.insert(out.end(), pack, pack + 18);
    }
    return out;
}

TEST(CdText, EntriesOfBlockZero)
{
    for (const TableRow& row : read_table("cdlib/cdtext.table")) {
        std::vector<uint8_t> data = packs_of(row);
        std::string damage = row.at(2);
        for (size_t at = 0; at + 18 <= data.size(); at += 18) {
            if (damage == "pack " + std::to_string(at / 18) || (damage == "title packs" && data[at] == 0x80))
                data[at + 17] ^= 0x01;
        }
        if (damage == "header") data.insert(data.begin(), {0x00, static_cast<uint8_t>(data.size() + 2), 0, 0});
        EXPECT_EQ(cdtext_entries(parse_cdtext(data.data(), data.size()), 3), row.at(5)) << row.where;
    }
}

}  // namespace
