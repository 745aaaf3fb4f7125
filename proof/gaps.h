// A disc's indexes from its Q sub-channel: where each track's pregap
// (index 0) begins and where its later indexes (2, 3...) lie, found by
// searching, a handful of reads a track, not by reading every sector.
#pragma once
#include <cstdint>
#include <vector>

#include "cdlib/qsub.h"
#include "cdlib/toc.h"

// Reads the Q frame of a sector; false when the drive gives none.
typedef bool (*QRead)(void* context, uint32_t sector, uint8_t q[kQFrameBytes]);

struct TrackIndexes {
    uint32_t pregap = 0;          // sectors of index 0 before index 1
    std::vector<uint32_t> later;  // first sectors of index 2, 3... (from sector 0)
};

// The indexes of every audio track of `toc` into `indexes` (toc.count of
// them): each pregap searched between the track before's start and the
// track's own, the later indexes up to where the track's own sectors end.
// A frame counts only when its CRC is good and its absolute time is the
// sector asked for (some drives give a neighbour's); catalogue and ISRC
// frames are stepped over. `reads` counts the frames asked for. False when
// the drive gives no usable frame where one is needed (or `read` stops it).
bool find_disc_indexes(const Toc& toc, QRead read, void* context, TrackIndexes* indexes, int* reads);
