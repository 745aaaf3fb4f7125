// Texts of the track list's rows, kept free of platform calls.
#pragma once
#include <cstddef>
#include <cstdint>

#include "rip/names.h"

// A row's title: 107 characters as Windows counts them (bytes in an ANSI
// code page, UTF-16 units in UTF-8), up to 3 bytes each, and the terminator.
constexpr size_t kTitleChars = 107;
constexpr size_t kTitleSize = 3 * kTitleChars + 1;

// "Track %02d" of the 1-based track number (Track 01, ..., Track 100).
void default_track_title(int number, char* title, size_t size);

// Copies `text` into `title`, cut to kTitleChars (text_units) and `size` - 1
// bytes at a character boundary: a double-byte character or a UTF-8
// sequence is never split.
void copy_track_title(char* title, size_t size, const char* text, LeadByteTest is_lead);

// "%d:%02d" of the whole seconds in `bytes` of CD audio.
void format_track_time(uint32_t bytes, char* text, size_t size);

// The title of 1-based track `number` from a CD-TEXT run ("TITLEn=..." entries
// ended by an empty one): the text behind the first entry that starts with
// the key. Returns null when there is none.
const char* find_cdtext_title(const char* run, int number);
