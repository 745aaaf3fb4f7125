// Rules of the settings store that do not touch the file.
#pragma once
#include <cstdint>

// The format flags as read stay only when (MP3 XOR WAV) equals (WMA == 0);
// any other combination falls back to MP3 alone. A non-zero FLAC flag
// chooses FLAC, and the other three are then kept exactly as read.
void validate_format_flags(int32_t* mp3, int32_t* wav, int32_t* wma, int32_t flac);

enum class OutputFormat { kMp3, kWav, kWma, kFlac };

// The format the flags choose: FLAC when its flag is set, otherwise the
// first of MP3, WAV and WMA that is set (MP3 when none is, as the rule
// above makes it).
OutputFormat chosen_format(int32_t mp3, int32_t wav, int32_t wma, int32_t flac);

// ReadOffset: the drive's read offset correction in samples, a whole number
// from -3000 to 3000 (a leading + allowed). False for anything else, which
// counts as not set.
bool parse_read_offset(const char* text, int* samples);

// An empty output root becomes this folder.
extern const char kDefaultOutputRoot[];
