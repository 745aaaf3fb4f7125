// Checks more than one fuzz target makes: code page 932 lead bytes, UTF-8,
// a title cut into a track row, and a table of contents' track lengths.
#pragma once
#include "cd/track_rows.h"
#include "cdlib/toc.h"

#include <cstdlib>
#include <cstring>
#include <string>

static bool cp932_lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Where the character at `at` ends: a lead byte and the byte behind it are one.
static size_t char_end(const char* text, size_t at)
{
    return at + (cp932_lead(static_cast<unsigned char>(text[at])) && text[at + 1] ? 2 : 1);
}

// Bytes of the UTF-8 sequence that `c` starts; 0 for a byte that starts none.
static size_t utf8_sequence_bytes(unsigned char c)
{
    return c < 0x80 ? 1 : c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xF0 && c < 0xF5 ? 4 : 0;
}

// Well-formed UTF-8: no stray or missing continuation bytes, no overlong
// forms, no surrogates, nothing past U+10FFFF.
static bool valid_utf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        unsigned char c = text[i], d = i + 1 < text.size() ? text[i + 1] : 0;
        size_t n = utf8_sequence_bytes(c);
        if (n == 0 || i + n > text.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((text[i + k] & 0xC0) != 0x80) return false;
        if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) || (c == 0xF4 && d > 0x8F))
            return false;
        i += n;
    }
    return true;
}

// A title cut into a row's bytes is the text's start, ends at a character
// boundary, and loses at most the one double-byte character that did not fit.
static void check_title_copy(const char* text)
{
    char title[kTitleSize];
    copy_track_title(title, sizeof title, text, cp932_lead);
    size_t n = strlen(title), at = 0;
    while (at < n) at = char_end(text, at);
    if (strncmp(title, text, n) || at != n || (text[n] && n + 1 < kTitleChars)) abort();
}

// Each track runs up to the next one's start, the last up to the lead-out;
// with `enhanced`, an audio track before a last data track may end
// kEnhancedCdGap sooner (the gap between the sessions).
static void check_toc_lengths(const Toc& toc, bool enhanced)
{
    for (int i = 0; i < toc.count; ++i) {
        const TocTrack& track = toc.tracks[i];
        uint32_t end = i + 1 < toc.count ? toc.tracks[i + 1].start : toc.leadout;
        bool before_data = enhanced && i + 2 == toc.count && track.audio && !toc.tracks[i + 1].audio;
        if (end < track.start) abort();
        if (track.sectors != end - track.start && !(before_data && track.sectors + kEnhancedCdGap == end - track.start))
            abort();
    }
}
