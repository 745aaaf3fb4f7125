#include "qsub.h"

#include <cctype>
#include <cstring>

#include "cdlib/cdtext.h"

namespace {

// A BCD byte's value; -1 when a nibble is no digit.
int bcd(uint8_t byte)
{
    int high = byte >> 4, low = byte & 0x0F;
    return high > 9 || low > 9 ? -1 : high * 10 + low;
}

uint8_t to_bcd(int value)
{
    return static_cast<uint8_t>(value / 10 << 4 | value % 10);
}

// Minutes, seconds and frames as sectors; -1 when not BCD or out of range.
int32_t msf_sectors(const uint8_t* msf)
{
    int m = bcd(msf[0]), s = bcd(msf[1]), f = bcd(msf[2]);
    if (m < 0 || s < 0 || s > 59 || f < 0 || f > 74) return -1;
    return (m * 60 + s) * 75 + f;
}

void put_msf(uint8_t* msf, int32_t sectors)
{
    msf[0] = to_bcd(sectors / 4500 % 100);
    msf[1] = to_bcd(sectors / 75 % 60);
    msf[2] = to_bcd(sectors % 75);
}

bool crc_ok(const uint8_t* q)
{
    uint16_t crc = cd_crc16(q, 10);
    return q[10] == (crc >> 8) && q[11] == (crc & 0xFF);
}

// An ISRC character of 6 bits: 0-9 are digits, 0x11-0x2A letters.
char isrc_char(int code)
{
    if (code <= 9) return static_cast<char>('0' + code);
    if (code >= 0x11 && code <= 0x2A) return static_cast<char>('A' + code - 0x11);
    return '?';
}

// `count` digits packed two a byte from `bytes` on, high nibble first,
// and the absolute frame of byte 9.
bool take_digits(const uint8_t* q, const uint8_t* bytes, int count, QFrame* frame)
{
    for (int i = 0; i < count; ++i) {
        int digit = i % 2 ? bytes[i / 2] & 0x0F : bytes[i / 2] >> 4;
        if (digit > 9) return false;
        frame->text += static_cast<char>('0' + digit);
    }
    return (frame->frame = bcd(q[9])) >= 0;
}

bool parse_isrc(const uint8_t* q, QFrame* frame)
{
    uint32_t letters = static_cast<uint32_t>(q[1]) << 24 | q[2] << 16 | q[3] << 8 | q[4];  // 5 characters of 6 bits
    for (int i = 0; i < 5; ++i) frame->text += isrc_char(letters >> (26 - 6 * i) & 0x3F);
    return take_digits(q, q + 5, 7, frame);
}

bool parse_position(const uint8_t* q, QFrame* frame)
{
    frame->track = q[1] == 0xAA ? 0xAA : bcd(q[1]);
    frame->index = bcd(q[2]);
    int32_t relative = msf_sectors(q + 3), absolute = msf_sectors(q + 7);
    if (frame->track < 0 || frame->index < 0 || relative < 0 || absolute < 0) return false;
    frame->relative = frame->index == 0 ? -relative : relative;  // the pregap counts down to index 1
    frame->absolute = absolute - 150;
    return true;
}

}  // namespace

bool parse_q_frame(const uint8_t q[kQFrameBytes], QFrame* frame)
{
    *frame = QFrame();
    if (!crc_ok(q)) return false;
    frame->control = q[0] >> 4;
    switch (q[0] & 0x0F) {
    case 1: frame->kind = QKind::kPosition; return parse_position(q, frame);
    case 2: frame->kind = QKind::kCatalog; return take_digits(q, q + 1, 13, frame);
    case 3: frame->kind = QKind::kIsrc; return parse_isrc(q, frame);
    }
    return false;
}

bool isrc_well_formed(const std::string& isrc)
{
    if (isrc.size() != 12) return false;
    for (size_t i = 0; i < 12; ++i) {
        unsigned char c = static_cast<unsigned char>(isrc[i]);
        bool ok = i < 2 ? isupper(c) != 0 : i < 5 ? isupper(c) || isdigit(c) : isdigit(c) != 0;
        if (!ok) return false;
    }
    return true;
}

bool mcn_well_formed(const std::string& mcn)
{
    if (mcn.size() != 13 || mcn == std::string(13, '0')) return false;
    for (unsigned char c : mcn)
        if (!isdigit(c)) return false;
    return true;
}

void make_q_position(uint8_t q[kQFrameBytes], int control, int track, int index, int32_t relative, int32_t absolute)
{
    memset(q, 0, kQFrameBytes);
    q[0] = static_cast<uint8_t>(control << 4 | 1);
    q[1] = track == 0xAA ? 0xAA : to_bcd(track);
    q[2] = to_bcd(index);
    put_msf(q + 3, relative < 0 ? -relative : relative);
    put_msf(q + 7, absolute + 150);
    uint16_t crc = cd_crc16(q, 10);
    q[10] = static_cast<uint8_t>(crc >> 8);
    q[11] = static_cast<uint8_t>(crc & 0xFF);
}
