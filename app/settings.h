// settings.ini: the RipOptions kept between runs.
#pragma once
#include <cstdint>

#include "settings_rules.h"

int32_t read_setting_int(const char* section, const char* key);
void read_setting_text(const char* section, const char* key, char* destination);  // 1024 bytes
void write_setting_int(const char* section, const char* key, int32_t value);
void write_setting_text(const char* section, const char* key, const char* text);

// `MusicBrainz` in settings.ini: 0 turns the lookup after each Refresh off.
extern bool g_musicbrainz_lookup;
// `AccurateRip` in settings.ini: 0 turns the checks of rips off (no
// request to the database, no checksums, no re-reads).
extern bool g_accuraterip_check;
// `GapDetection` in settings.ini: 0 skips searching the disc's
// sub-channel for each track's pregap and indexes.
extern bool g_gap_detection;
// `TestAndCopy` in settings.ini (the rip dialog's "Read twice when
// AccurateRip cannot verify"): every track of a disc the database cannot
// prove is read twice and the reads compared.
extern bool g_test_and_copy;
// `ReplayGain` in settings.ini: 0 leaves loudness unmeasured and the
// files without ReplayGain tags.
extern bool g_replaygain;
// ReadOffset, when settings.ini sets it to a valid offset.
bool read_offset_setting(int* samples);

void load_settings();
void save_settings();

// The format of the next rip, from the flags in g_rip_options.
OutputFormat rip_format();
