// Texts of the track list's rows, kept free of platform calls.
#pragma once
#include <cstddef>
#include <cstdint>

#include "rip/names.h"

constexpr size_t kTitleSize = 108;  // 107 characters and the terminator

// "Track %02d" of the 1-based track number (Track 01, ..., Track 100).
void default_track_title(int number, char* title, size_t size);

// Copies `text` into `title`, cut to `size` - 1 bytes at a character
// boundary: with `is_lead`, a double-byte character is never split.
void copy_track_title(char* title, size_t size, const char* text, LeadByteTest is_lead);

// "%d:%02d" of the whole seconds in `bytes` of CD audio.
void format_track_time(uint32_t bytes, char* text, size_t size);

// The title of 1-based track `number` from a CD-TEXT run ("TITLEn=..." entries
// ended by an empty one): the text behind the first entry that starts with
// the key. Returns null when there is none.
const char* find_cdtext_title(const char* run, int number);
