// ReplayGain values written into a finished file's tags, in place (the
// tag's own room; see replaygain_tags.h), every write checked.
#pragma once
#include <string>

#include "rip/replaygain_tags.h"

// Puts `values` into the tag of the FLAC, MP3 or WMA file at `path` (told
// by its name). "" when done; else why not, the file as it was.
std::string write_gain_tags(const std::string& path, const GainValues& values);
