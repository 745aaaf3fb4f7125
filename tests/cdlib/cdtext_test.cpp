#include "cdlib/cdtext.h"
#include "cdlib/drive_caps.h"
#include "cdlib/qsub.h"

#include "tests/table_file.h"

static void add_pack(std::vector<uint8_t>* out, uint8_t type, int track, int flags, const char text[12])
{
    uint8_t pack[18];
    make_cdtext_pack(pack, type, track, out->size() / 18, flags, text);  // the packs' sequence numbers follow each other
    out->insert(out->end(), pack, pack + 18);
}

// The packs of one type as a disc holds them: the texts one after another,
// each ended by a zero byte (two in a double-byte block), 12 bytes a pack
// (the last one padded with zero bytes).
static void add_texts(std::vector<uint8_t>* out, uint8_t type, const std::string& list, int unit, int block)
{
    std::string stream, text;
    std::vector<std::pair<int, int>> owner;  // (track, character position) of each byte
    std::istringstream texts(list);
    for (int track = 0; !list.empty() && std::getline(texts, text, ';'); ++track) {
        text += std::string(unit, '\0');
        for (size_t i = 0; i < text.size(); ++i) owner.push_back({track, static_cast<int>(i) / unit});
        stream += text;
    }
    stream.resize((stream.size() + 11) / 12 * 12, '\0');
    for (size_t start = 0; start < stream.size(); start += 12)
        add_pack(out, type, owner[start].first, (unit == 2 ? 0x80 : 0) | block << 4 | std::min(owner[start].second, 15), &stream[start]);
}

// The entries of block 0 read from a disc of cdtext.table: its titles,
// performers and, when it has a character code, the three size-information
// packs that give it; damaged as the row says.
static std::string run(const TableRow& row)
{
    int block = std::stoi(row.at(0)), code = row.at(1) == "-" ? -1 : std::stoi(row.at(1), nullptr, 16);
    std::vector<uint8_t> data;
    add_texts(&data, 0x80, row.at(3), code >= 0x80 ? 2 : 1, block);
    add_texts(&data, 0x81, row.at(4), code >= 0x80 ? 2 : 1, block);
    for (int i = 0; code >= 0 && i < 3; ++i) {
        const char info[12] = {static_cast<char>(i == 0 ? code : 0), 1, 3};
        add_pack(&data, 0x8F, i, block << 4, info);
    }
    std::string damage = row.at(2);
    for (size_t at = 0; at + 18 <= data.size(); at += 18) {
        if (damage == "pack " + std::to_string(at / 18) || (damage == "title packs" && data[at] == 0x80)) data[at + 17] ^= 1;
    }
    if (damage == "header") data.insert(data.begin(), {0x00, static_cast<uint8_t>(data.size() + 2), 0, 0});
    return cdtext_entries(parse_cdtext(data.data(), data.size()), 3);
}

TEST(CdText, EntriesOfBlockZero) { check_table("cdlib/cdtext.table", run); }

// A drive's capabilities page, or the reads a cache may still answer.
static std::string drive_fact(const std::string& step, std::istringstream& in)
{
    std::string out;
    if (step == "caps") {
        std::vector<uint8_t> answer;
        for (unsigned byte; in >> std::hex >> byte;) answer.push_back(static_cast<uint8_t>(byte));
        DriveCaps caps;
        if (!parse_capabilities_page(answer.data(), answer.size(), &caps)) return "refused";
        return std::string("c2 ") + (caps.c2 ? "yes" : "no") + ", accurate " + (caps.accurate ? "yes" : "no") +
               ", buffer " + std::to_string(caps.buffer_kib) + " KiB";
    }
    RecentReads recent;
    uint32_t limit, first, count;
    in >> limit;
    recent.set_limit(limit);
    for (std::string op; in >> op;) {
        if (sscanf(op.c_str() + 1, "%u,%u", &first, &count) != 2) return "bad step " + op;
        if (op[0] == '+') recent.add(first, count);
        else out += std::string(out.empty() ? "" : " ") + (recent.overlaps(first, count) ? "yes" : "no");
    }
    return out;
}

// One row of qsub.table: a Q frame read or made, or a text's form.
static std::string q_frame(const TableRow& row)
{
    std::string step = row.at(0), out;
    std::istringstream in(row.at(1));
    if (step == "isrc") return isrc_well_formed(row.at(1)) ? "yes" : "no";
    if (step == "mcn") return mcn_well_formed(row.at(1)) ? "yes" : "no";
    if (step == "caps" || step == "recent") return drive_fact(step, in);
    uint8_t q[kQFrameBytes] = {};
    if (step == "make") {
        int control, track, index, relative, absolute;
        in >> control >> track >> index >> relative >> absolute;
        make_q_position(q, control, track, index, relative, absolute);
        char hex[4];
        for (uint8_t byte : q) snprintf(hex, sizeof hex, "%02x ", byte), out += hex;
        return out.substr(0, out.size() - 1);
    }
    for (unsigned byte, i = 0; i < kQFrameBytes && in >> std::hex >> byte; ++i) q[i] = static_cast<uint8_t>(byte);
    QFrame frame;
    if (!parse_q_frame(q, &frame)) return "refused";
    char text[128];
    if (frame.kind == QKind::kPosition)
        snprintf(text, sizeof text, "track %d index %d at %d (%d from index 1), control %d", frame.track, frame.index,
                 frame.absolute, frame.relative, frame.control);
    else
        snprintf(text, sizeof text, "%s %s at frame %d", frame.kind == QKind::kCatalog ? "catalog" : "isrc",
                 frame.text.c_str(), frame.frame);
    return text;
}

TEST(CdText, QSubChannelFrames) { check_table("cdlib/qsub.table", q_frame); }
