// Rules of the settings store that do not touch the file.
#pragma once
#include <cstdint>

// The format flags as read stay only when (MP3 XOR WAV) equals (WMA == 0);
// any other combination falls back to MP3 alone.
void validate_format_flags(int32_t* mp3, int32_t* wav, int32_t* wma);

// An empty output root becomes this folder.
extern const char kDefaultOutputRoot[];
