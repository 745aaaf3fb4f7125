// How a cue sheet's files make up a disc: its TOC and, for every sector,
// where the audio comes from (a file, or silence for gaps not in the files).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "cdlib/cue.h"
#include "cdlib/toc.h"

struct ImageFileInfo {
    uint64_t data_offset = 0;  // where the sectors begin (WAVE: behind the header)
    uint64_t data_bytes = 0;
};

struct ImageSegment {
    uint32_t start = 0;        // first disc sector
    uint32_t sectors = 0;
    int file = -1;             // -1: silence
    uint64_t file_offset = 0;  // byte offset of `start` in the file
    uint32_t sector_bytes = kSectorBytes;
    bool big_endian = false;   // MOTOROLA files hold big-endian samples
};

// Where a track's indexes lie on the disc, besides index 1 (its start in
// the TOC).
struct ImageIndexes {
    int32_t index0 = -1;            // first sector of its pregap (index 0); -1: none
    std::vector<uint32_t> later;    // index 2, 3...
};

struct ImageLayout {
    Toc toc;
    std::vector<ImageSegment> segments;
    ImageIndexes indexes[kMaxTracks];
};

// The Q sub-channel position of disc sector `sector` as a drive gives it
// (see cdlib/qsub.h): the track it belongs to, its index, and the sectors
// from the track's index 1 (counting down in a pregap).
struct ImagePosition {
    int track = 0;     // 0-based into the TOC
    int index = 1;
    int32_t relative = 0;
};
ImagePosition image_position(const ImageLayout& layout, uint32_t sector);

bool build_image_layout(const CueSheet& sheet, const std::vector<ImageFileInfo>& files, ImageLayout* layout,
                        std::string* error);

// Reads `count` audio sectors from `first` into `out` (count * 2352 bytes),
// as little-endian samples. `read` fetches bytes of a file, with zeros for
// any part past the file's end; it returns false when the file cannot be
// read. Returns false on such a failure.
typedef bool (*ImageReadFn)(void* context, int file, uint64_t offset, void* buffer, uint32_t bytes);
bool read_image_sectors(const ImageLayout& layout, uint32_t first, uint32_t count, uint8_t* out, ImageReadFn read,
                        void* context);
