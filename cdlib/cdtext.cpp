#include "cdtext.h"

#include <cstring>

namespace {

// CRC-16/CCITT (polynomial 0x1021) of each byte value, made at compile time.
struct CrcTable {
    uint16_t of[256];
};

constexpr CrcTable make_crc_table()
{
    CrcTable table = {};
    for (int byte = 0; byte < 256; ++byte) {
        uint16_t crc = static_cast<uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? static_cast<uint16_t>(crc << 1 ^ 0x1021) : static_cast<uint16_t>(crc << 1);
        table.of[byte] = crc;
    }
    return table;
}

constexpr CrcTable kCrcTable = make_crc_table();

uint16_t crc16(const uint8_t* data, size_t size)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i) crc = static_cast<uint16_t>(crc << 8 ^ kCrcTable.of[(crc >> 8 ^ data[i]) & 0xFF]);
    return static_cast<uint16_t>(~crc);
}

// Collects the texts of one pack type. In a double-byte block a text ends
// with two zero bytes and a text of two tabs repeats the previous track's.
struct TextStream {
    std::string* texts;  // 100 slots
    bool* seen;          // 100 flags
    bool double_byte = false;
    int track = -1;      // track the text being read belongs to; -1: none
    std::string current;
    bool broken = false;     // the current text lost a piece
    bool zero_seen = false;  // double-byte: the last byte was a first zero
    // Empty texts count only when more text follows: the zero bytes that
    // pad the last pack are not texts of further tracks.
    int pending_empty[100];
    int pending_count = 0;
    int last_sequence = -1;

    void store(int t, const std::string& text)
    {
        texts[t] = text;
        seen[t] = true;
    }

    void finish()
    {
        if (track >= 0 && track < 100 && !broken) {
            if (current.empty()) {
                if (pending_count < 100) pending_empty[pending_count++] = track;
            } else {
                if (current == (double_byte ? "\t\t" : "\t")) current = track > 0 ? texts[track - 1] : std::string();
                store(track, current);
            }
        }
        current.clear();
        broken = false;
    }

    void end_text()
    {
        finish();
        ++track;
        if (track > 99) track = 99;
    }

    // A double-byte text ends at two zero bytes in a row; a lone zero byte
    // is dropped, so no text ever holds a NUL.
    void add_byte(uint8_t byte)
    {
        if (byte == 0 && double_byte && !zero_seen) {
            zero_seen = true;
            return;
        }
        zero_seen = false;
        if (byte == 0) {
            end_text();
            return;
        }
        for (int i = 0; i < pending_count; ++i) store(pending_empty[i], std::string());
        pending_count = 0;
        current += static_cast<char>(byte);
    }

    void add(const uint8_t* pack)
    {
        int sequence = pack[2];
        int pack_track = pack[1] & 0x7F;
        int position = pack[3] & 0x0F;
        bool continues = last_sequence >= 0 && sequence == ((last_sequence + 1) & 0xFF);
        if (!continues) {
            // Start afresh at this pack; a text that began in a lost pack is broken.
            if (track >= 0) {
                broken = true;
                finish();
            }
            track = pack_track;
            current.clear();
            broken = position != 0;
            zero_seen = false;
        }
        last_sequence = sequence;
        for (int i = 4; i < 16; ++i) add_byte(pack[i]);
    }
};

int pack_block(const uint8_t* pack)
{
    return (pack[3] >> 4) & 0x07;
}

// The character code of block 0's texts: the first of its size-information
// packs (0x8F) gives it; without readable size information, the double-byte
// flag of its text packs tells MS-JIS from ISO-8859-1.
int block0_character_code(const uint8_t* data, size_t size)
{
    bool flagged = false;
    for (size_t offset = 0; offset + kCdTextPackBytes <= size; offset += kCdTextPackBytes) {
        const uint8_t* pack = data + offset;
        if (pack_block(pack) != 0 || !cdtext_pack_ok(pack)) continue;
        if (pack[0] == 0x8F && pack[1] == 0) return pack[4];
        if (pack[0] == 0x80 || pack[0] == 0x81) flagged = flagged || (pack[3] & 0x80) != 0;
    }
    return flagged ? kCdTextMsJis : kCdTextIso8859;
}

}  // namespace

uint16_t cd_crc16(const uint8_t* data, size_t size)
{
    return crc16(data, size);
}

bool cdtext_pack_ok(const uint8_t* pack)
{
    uint16_t crc = crc16(pack, 16);
    return pack[16] == (crc >> 8) && pack[17] == (crc & 0xFF);
}

void make_cdtext_pack(uint8_t* pack, uint8_t type, uint8_t track, uint8_t sequence, uint8_t position,
                      const char text[12])
{
    pack[0] = type;
    pack[1] = track;
    pack[2] = sequence;
    pack[3] = position;
    memcpy(pack + 4, text, 12);
    uint16_t crc = crc16(pack, 16);
    pack[16] = static_cast<uint8_t>(crc >> 8);
    pack[17] = static_cast<uint8_t>(crc & 0xFF);
}

CdText parse_cdtext(const uint8_t* data, size_t size)
{
    CdText result;
    if (size % kCdTextPackBytes == 4) {  // size header in front of the packs
        data += 4;
        size -= 4;
    }
    // MS-JIS (0x80), Korean (0x81) and Mandarin (0x82) blocks hold double-byte
    // texts; their bytes are kept as they are (MS-JIS is code page 932's form).
    result.character_code = block0_character_code(data, size);
    bool double_byte = (result.character_code & 0x80) != 0;
    TextStream titles, performers;
    titles.texts = result.titles;
    titles.seen = result.has_title;
    titles.double_byte = double_byte;
    performers.texts = result.performers;
    performers.seen = result.has_performer;
    performers.double_byte = double_byte;
    for (size_t offset = 0; offset + kCdTextPackBytes <= size; offset += kCdTextPackBytes) {
        const uint8_t* pack = data + offset;
        if (!cdtext_pack_ok(pack) || pack_block(pack) != 0) continue;
        if (pack[0] == 0x80) titles.add(pack);
        else if (pack[0] == 0x81) performers.add(pack);
    }
    for (int i = 0; i < 100; ++i) {
        if (result.has_title[i] || result.has_performer[i]) result.present = true;
    }
    return result;
}

std::string cdtext_entries(const CdText& text, int track_count)
{
    if (!text.present) return std::string();
    std::string run;
    if (track_count > 99) track_count = 99;
    for (int i = 0; i <= track_count; ++i) {
        if (text.has_title[i]) {
            run += "TITLE" + std::to_string(i) + "=" + text.titles[i];
            run += '\0';
        }
        if (text.has_performer[i]) {
            run += "PERFORMER" + std::to_string(i) + "=" + text.performers[i];
            run += '\0';
        }
    }
    run += '\0';
    return run;
}
