#include "names.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kLevelSize = 2048;  // a 1023-character field, its year and room to spare

// Bytes of a whole UTF-8 sequence at `p`; 1 for a byte that starts none.
size_t utf8_bytes(const char* p)
{
    unsigned char c = static_cast<unsigned char>(p[0]);
    size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 1;
    for (size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) return 1;
    return n;
}

// Bytes of the character at `p`: 2 for a lead byte with a byte behind it,
// or a whole UTF-8 sequence.
size_t char_bytes(const char* p, LeadByteTest is_lead)
{
    if (is_lead == utf8_text) return utf8_bytes(p);
    return (is_lead && is_lead(static_cast<unsigned char>(p[0])) && p[1] != '\0') ? 2 : 1;
}

// What a character of `bytes` bytes counts towards a path's length: its
// bytes in an ANSI code page, its UTF-16 units in UTF-8.
size_t char_units(size_t bytes, LeadByteTest is_lead)
{
    return is_lead != utf8_text ? bytes : bytes == 4 ? 2 : 1;
}

size_t units_of(const char* text, size_t bytes, LeadByteTest is_lead)
{
    size_t units = 0;
    for (size_t at = 0, n; at < bytes && text[at]; at += n) units += char_units(n = char_bytes(text + at, is_lead), is_lead);
    return units;
}

char safe_char(char c)
{
    switch (c) {
    case '\\': case '/': case ':': case '*': case '?': case '<': case '>': case '|':
        return '_';
    case '"':
        return '\'';
    }
    if ((c > 0 && c < 0x20) || c == 0x7F) return '_';
    return c;
}

char upper_ascii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool starts_with_word(const char* text, size_t length, const char* word)
{
    if (strlen(word) != length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (upper_ascii(text[i]) != word[i]) return false;
    }
    return true;
}

// Windows opens a device instead of a folder for these names, whatever
// follows the first dot and however many spaces stand before it.
bool is_device_name(const char* text)
{
    size_t base = strcspn(text, ".");
    while (base > 0 && text[base - 1] == ' ') --base;
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices) {
        if (starts_with_word(text, base, device)) return true;
    }
    if ((base != 4 && base != 5) || !(starts_with_word(text, 3, "COM") || starts_with_word(text, 3, "LPT"))) return false;
    // Windows also takes the superscript digits 1, 2 and 3 (bytes B9, B2, B3
    // in code page 1252, C2 B9... in UTF-8); a '_' too many elsewhere does no harm.
    unsigned char digit = static_cast<unsigned char>(text[base - 1]);
    bool superscript = digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    if (base == 5) return static_cast<unsigned char>(text[3]) == 0xC2 && superscript;
    return (digit >= '1' && digit <= '9') || superscript;
}

// Trailing dots and spaces become '_': Windows would drop them.
void mark_trailing_dots_and_spaces(char* text, LeadByteTest is_lead)
{
    size_t keep_end = 0, at = 0;
    while (text[at]) {
        size_t n = char_bytes(text + at, is_lead);
        at += n;
        if (n > 1 || (text[at - 1] != '.' && text[at - 1] != ' ')) keep_end = at;
    }
    for (size_t i = keep_end; i < at; ++i) text[i] = '_';
}

// Puts '_' in front, dropping whole characters at the end if `size` needs it.
void prefix_underscore(char* text, size_t size, LeadByteTest is_lead)
{
    size_t keep = 0;
    while (text[keep]) {
        size_t n = char_bytes(text + keep, is_lead);
        if (1 + keep + n > size - 1) break;
        keep += n;
    }
    memmove(text + 1, text, keep);
    text[0] = '_';
    text[keep + 1] = '\0';
}

// Copies `text` sanitized into `out`; false when it does not fit.
bool copy_sanitized(char* out, size_t size, const char* text, LeadByteTest is_lead)
{
    int n = snprintf(out, size, "%s", text);
    if (n < 0 || static_cast<size_t>(n) >= size) return false;
    sanitize_name(out, is_lead);
    return true;
}

// "year - album", or the album alone, as one safe level. One byte of `size`
// is left for the '_' a device name gets, so nothing is ever cut.
bool make_album_level(char* level, size_t size, const char* album, const char* year, LeadByteTest is_lead)
{
    size_t at = 0;
    if (year[0] != '\0') {
        if (!copy_sanitized(level, size - 1, year, is_lead)) return false;
        at = strlen(level);
        if (at + 3 >= size - 1) return false;
        memcpy(level + at, " - ", 4);
        at += 3;
    }
    if (!copy_sanitized(level + at, size - 1 - at, album, is_lead)) return false;
    make_safe_folder_level(level, size, is_lead);
    return true;
}

bool make_artist_level(char* level, size_t size, const char* artist, LeadByteTest is_lead)
{
    if (!copy_sanitized(level, size - 1, artist, is_lead)) return false;
    make_safe_folder_level(level, size, is_lead);
    return true;
}

// The bytes of `text` up to `max_units` (as text_units counts them), ended
// at a character boundary, but never fewer than its first `keep` bytes and
// one character behind them.
size_t fitting_bytes(const char* text, size_t max_units, size_t keep, LeadByteTest is_lead)
{
    size_t at = keep, units = units_of(text, keep, is_lead);
    if (text[at]) {
        size_t n = char_bytes(text + at, is_lead);
        units += char_units(n, is_lead);
        at += n;
    }
    while (text[at]) {
        size_t n = char_bytes(text + at, is_lead);
        if (units + char_units(n, is_lead) > max_units) break;
        units += char_units(n, is_lead);
        at += n;
    }
    return at;
}

// Cuts a folder level by up to `excess` units, keeping its first `keep`
// bytes; returns the units it saved. The cut may leave a dot or a space
// last, or a device name: the level is made safe again within its new length.
size_t cut_level(char* level, size_t excess, size_t keep, LeadByteTest is_lead)
{
    size_t length = text_units(level, is_lead);
    size_t end = fitting_bytes(level, length > excess ? length - excess : 0, keep, is_lead);
    if (level[end] == '\0') return 0;
    level[end] = '\0';
    make_safe_folder_level(level, end + 1, is_lead);
    return length - text_units(level, is_lead);
}

}  // namespace

bool utf8_text(unsigned char c)
{
    return c >= 0xC2 && c <= 0xF4;
}

size_t text_char_bytes(const char* p, LeadByteTest is_lead)
{
    return char_bytes(p, is_lead);
}

size_t text_char_units(size_t bytes, LeadByteTest is_lead)
{
    return char_units(bytes, is_lead);
}

size_t text_prefix_bytes(const char* text, size_t max_units, LeadByteTest is_lead)
{
    size_t at = 0;
    for (size_t units = 0, n; text[at]; at += n) {
        n = char_bytes(text + at, is_lead);
        units += char_units(n, is_lead);
        if (units > max_units) break;
    }
    return at;
}

size_t text_units(const char* text, LeadByteTest is_lead)
{
    return units_of(text, strlen(text), is_lead);
}

void sanitize_name(char* text, LeadByteTest is_lead)
{
    for (char* p = text; *p; ++p) {
        size_t n = char_bytes(p, is_lead);
        if (n > 1) {
            p += n - 1;  // the trail bytes are part of the character
        } else if (is_lead && is_lead(static_cast<unsigned char>(*p)) && p[1] == '\0') {
            *p = '_';  // a lead byte cut from its trail bytes
        } else {
            *p = safe_char(*p);
        }
    }
}

void make_safe_folder_level(char* text, size_t size, LeadByteTest is_lead)
{
    if (size < 2) return;
    if (text[0] == '\0') {
        text[0] = '_';
        text[1] = '\0';
        return;
    }
    mark_trailing_dots_and_spaces(text, is_lead);
    if (is_device_name(text)) {
        prefix_underscore(text, size, is_lead);
        mark_trailing_dots_and_spaces(text, is_lead);  // the cut may have left a dot or a space last
    }
}

bool compose_folder_text(const char* root, const char* artist, const char* album, const char* year, bool with_artist,
                         bool with_album, char* out, size_t size, size_t max_units, LeadByteTest is_lead)
{
    char artist_level[kLevelSize], album_level[kLevelSize];
    if (with_artist && !make_artist_level(artist_level, sizeof artist_level, artist, is_lead)) return false;
    if (with_album && !make_album_level(album_level, sizeof album_level, album, year, is_lead)) return false;
    size_t length = text_units(root, is_lead) + (with_artist ? text_units(artist_level, is_lead) + 1 : 0) +
                    (with_album ? text_units(album_level, is_lead) + 1 : 0);
    if (with_album && length > max_units) {
        size_t level = strlen(album_level), album_bytes = strlen(album);  // the album part ends the level
        length -= cut_level(album_level, length - max_units, level > album_bytes ? level - album_bytes : 0, is_lead);
    }
    if (with_artist && length > max_units) length -= cut_level(artist_level, length - max_units, 0, is_lead);
    int n;
    if (with_artist && with_album) n = snprintf(out, size, "%s%s\\%s\\", root, artist_level, album_level);
    else if (with_artist) n = snprintf(out, size, "%s%s\\", root, artist_level);
    else if (with_album) n = snprintf(out, size, "%s%s\\", root, album_level);
    else n = snprintf(out, size, "%s", root);
    return n >= 0 && static_cast<size_t>(n) < size && length <= max_units;
}

bool compose_file_name(size_t folder_length, int number, const char* title, const char* extension, char* out,
                       size_t size, LeadByteTest is_lead)
{
    char head[16];
    if (size == 0) return false;
    snprintf(head, sizeof head, "%d.", number);
    size_t fixed = strlen(head) + strlen(extension);
    size_t room = folder_length < kMaxPathLength ? kMaxPathLength - folder_length : 0;
    if (room > kMaxNameLength) room = kMaxNameLength;
    size_t title_bytes = title[0] ? fitting_bytes(title, room > fixed ? room - fixed : 0, 0, is_lead) : 0;
    if (fixed + units_of(title, title_bytes, is_lead) > room || fixed + title_bytes >= size) return false;
    snprintf(out, size, "%s%.*s", head, static_cast<int>(title_bytes), title);
    sanitize_name(out + strlen(head), is_lead);
    memcpy(out + strlen(out), extension, strlen(extension) + 1);
    return true;
}

bool compose_beside_name(size_t folder_length, const char* base, const char* suffix, const char* extension,
                         size_t spare, char* out, size_t size, LeadByteTest is_lead)
{
    char whole[kLevelSize], level[kLevelSize];
    if (size == 0 || !copy_sanitized(whole, sizeof whole - 1, base[0] ? base : "Rip", is_lead)) return false;
    size_t fixed = strlen(suffix) + strlen(extension);
    size_t room = folder_length + spare < kMaxPathLength ? kMaxPathLength - folder_length - spare : 0;
    if (room + spare > kMaxNameLength) room = kMaxNameLength - spare;  // its temporary name is a name too
    if (room <= fixed) return false;
    // Cut to fit; making the level safe may add a '_' in front (a device
    // name), so it is cut a character shorter until it fits.
    for (size_t limit = room - fixed;; --limit) {
        memcpy(level, whole, sizeof whole);
        level[fitting_bytes(level, limit, 0, is_lead)] = '\0';
        make_safe_folder_level(level, sizeof level, is_lead);
        if (text_units(level, is_lead) + fixed <= room && strlen(level) + fixed < size) break;
        if (limit <= 1) return false;
    }
    snprintf(out, size, "%s%s%s", level, suffix, extension);
    sanitize_name(out + strlen(level), is_lead);
    return true;
}

static void put32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

static void put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void make_wav_header(uint8_t* h, uint32_t data_bytes)
{
    memcpy(h, "RIFF", 4);
    put32(h + 4, data_bytes + 36);
    memcpy(h + 8, "WAVE", 4);
    memcpy(h + 12, "fmt ", 4);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, 2);
    put32(h + 24, 44100);
    put32(h + 28, 176400);
    put16(h + 32, 4);
    put16(h + 34, 16);
    memcpy(h + 36, "data", 4);
    put32(h + 40, data_bytes);
}
