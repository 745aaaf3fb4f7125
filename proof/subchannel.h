// What a disc's sub-channel tells beyond its table of contents, read at
// the start of a rip: the catalogue number, each track's ISRC, pregap and
// later indexes. For the log, the cue sheet and the tags.
#pragma once
#include <string>

#include "cdlib/toc.h"
#include "proof/gaps.h"

struct DiscSubchannel {
    std::string how;                  // how it was read, for the log
    std::string catalog;              // well formed, else ""
    std::string isrc[kMaxTracks];     // by track (0-based); well formed, else ""
    TrackIndexes indexes[kMaxTracks];
    bool searched = false;            // the pregaps and indexes were searched
};

// Reads it from the drive; the search for gaps (unless GapDetection=0)
// says "Detecting gaps..." in the progress dialog and stops at Abort.
DiscSubchannel read_subchannel(int drive, const Toc& toc);
