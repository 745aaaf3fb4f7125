// CD-TEXT: the 18-byte packs a disc carries in its lead-in, and the run of
// "KEY=value" entries the library hands out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kCdTextPackBytes = 18;

// The character codes of block 0's texts, as its size information gives
// them, and the codes of a cue sheet's texts: UTF-8, or else the system's
// legacy ANSI code page.
constexpr int kCdTextIso8859 = 0x00;
constexpr int kCdTextMsJis = 0x80;
constexpr int kCdTextKorean = 0x81;
constexpr int kCdTextMandarin = 0x82;
constexpr int kCdTextUtf8 = 0x100;
constexpr int kCdTextAnsi = 0x101;

struct CdText {
    bool present = false;            // at least one title or performer
    int character_code = kCdTextIso8859;
    std::string titles[100];         // [0] album, [n] track n
    std::string performers[100];     // [0] artist, [n] track n
    bool has_title[100] = {};
    bool has_performer[100] = {};
};

// CRC-16 (CCITT, inverted) of sub-channel data: CD-TEXT packs and Q frames
// store it big-endian behind what it covers.
uint16_t cd_crc16(const uint8_t* data, size_t size);

// CRC-16 (CCITT, stored inverted and big-endian) check of one pack.
bool cdtext_pack_ok(const uint8_t* pack);

// Reads titles (0x80) and performers (0x81) of block 0 from `size` bytes of
// packs. A leading 4-byte size header (as raw reads and .cdt files carry)
// is skipped. Packs with a bad CRC are dropped; a text broken by a dropped
// pack is left out rather than joined wrongly. A text that is a lone tab
// repeats the previous track's text. When block 0's size information (0x8F)
// gives a double-byte character code (0x80 MS-JIS, 0x81 Korean, 0x82
// Mandarin), or has no readable pack and its text packs carry the
// double-byte flag, a text ends with two zero bytes in a row, two tabs
// repeat the previous track's text, and the bytes are kept as they are
// (code page 932's form for MS-JIS).
CdText parse_cdtext(const uint8_t* data, size_t size);

// "TITLE0=..\0PERFORMER0=..\0TITLE1=..\0..." ended by an empty entry; the
// entries of texts that are absent are left out. Empty when nothing present.
std::string cdtext_entries(const CdText& text, int track_count);

// One pack with its CRC, for tests and the sample disc.
void make_cdtext_pack(uint8_t* pack, uint8_t type, uint8_t track, uint8_t sequence, uint8_t position,
                      const char text[12]);
