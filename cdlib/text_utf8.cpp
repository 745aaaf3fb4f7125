#include "text_utf8.h"

#include <cstdint>

bool is_valid_utf8(const std::string& text)
{
    for (size_t at = 0; at < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[at]);
        size_t n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (n == 0 || at + n > text.size()) return false;
        for (size_t i = 1; i < n; ++i)
            if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return false;
        unsigned char second = static_cast<unsigned char>(n > 1 ? text[at + 1] : 0);
        if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
            (c == 0xF4 && second > 0x8F))
            return false;
        at += n;
    }
    return true;
}

namespace {

// What code page 1252 puts at 80-9F, where ISO-8859-1 has control
// characters (0: none there either).
constexpr uint16_t kWindowsPunctuation[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

void put_utf8(std::string* out, uint32_t code)
{
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | code >> 6);
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out += static_cast<char>(0xE0 | code >> 12);
        *out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::string latin1_to_utf8(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        uint32_t code = c >= 0x80 && c < 0xA0 && kWindowsPunctuation[c - 0x80] ? kWindowsPunctuation[c - 0x80] : c;
        put_utf8(&out, code);
    }
    return out;
}
