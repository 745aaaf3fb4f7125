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

struct ImageLayout {
    Toc toc;
    std::vector<ImageSegment> segments;
};

bool build_image_layout(const CueSheet& sheet, const std::vector<ImageFileInfo>& files, ImageLayout* layout,
                        std::string* error);

// Reads `count` audio sectors from `first` into `out` (count * 2352 bytes),
// as little-endian samples. `read` fetches bytes of a file, with zeros for
// any part past the file's end; it returns false when the file cannot be
// read. Returns false on such a failure.
typedef bool (*ImageReadFn)(void* context, int file, uint64_t offset, void* buffer, uint32_t bytes);
bool read_image_sectors(const ImageLayout& layout, uint32_t first, uint32_t count, uint8_t* out, ImageReadFn read,
                        void* context);
