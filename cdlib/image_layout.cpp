#include "image_layout.h"

#include <algorithm>
#include <cstring>

namespace {

void add_segment(ImageLayout* layout, uint32_t* position, uint32_t sectors, int file, uint64_t offset,
                 uint32_t sector_bytes, bool big_endian)
{
    if (sectors == 0) return;
    ImageSegment segment;
    segment.start = *position;
    segment.sectors = sectors;
    segment.file = file;
    segment.file_offset = offset;
    segment.sector_bytes = sector_bytes;
    segment.big_endian = big_endian;
    layout->segments.push_back(segment);
    *position += sectors;
}

}  // namespace

bool build_image_layout(const CueSheet& sheet, const std::vector<ImageFileInfo>& files, ImageLayout* layout,
                        std::string* error)
{
    *layout = ImageLayout();
    if (files.size() != sheet.files.size()) {
        *error = "file list does not match the cue sheet";
        return false;
    }
    const uint64_t kMaxSectors = 450000;  // 100 minutes
    uint32_t position = 0, region_starts[kMaxTracks] = {};
    uint64_t begins[kMaxTracks] = {};
    int count = static_cast<int>(sheet.tracks.size());
    for (int i = 0; i < count; ++i) {
        const CueTrack& track = sheet.tracks[i];
        const CueFile& file = sheet.files[track.file];
        const ImageFileInfo& info = files[track.file];
        uint32_t bytes = cue_sector_bytes(track.mode);
        uint64_t file_sectors = (info.data_bytes + bytes - 1) / bytes;
        bool first_in_file = i == 0 || sheet.tracks[i - 1].file != track.file;
        bool last_in_file = i + 1 == count || sheet.tracks[i + 1].file != track.file;
        uint64_t begin = first_in_file ? 0 : static_cast<uint64_t>(track.index1);
        uint64_t end = last_in_file ? file_sectors : static_cast<uint64_t>(sheet.tracks[i + 1].index1);
        if (static_cast<uint64_t>(track.index1) > file_sectors || end > file_sectors || end < static_cast<uint64_t>(track.index1)) {
            *error = "track " + std::to_string(track.number) + " lies beyond the end of " + file.name;
            return false;
        }
        if (position + track.pregap + end - begin + track.postgap > kMaxSectors) {
            *error = "disc longer than 100 minutes";
            return false;
        }
        uint32_t pregap_start = position;
        // The first track's INDEX 00 in a file of its own before (a hidden
        // track ripped apart): that file from INDEX 00 on is its pregap.
        int32_t own_pregap = -1;
        if (i == 0 && track.index0 >= 0 && track.index0_file >= 0 && track.index0_file != track.file) {
            const ImageFileInfo& hidden = files[track.index0_file];
            uint64_t hidden_sectors = (hidden.data_bytes + bytes - 1) / bytes;
            if (static_cast<uint64_t>(track.index0) < hidden_sectors) {
                own_pregap = static_cast<int32_t>(position);
                add_segment(layout, &position, static_cast<uint32_t>(hidden_sectors - track.index0), track.index0_file,
                            hidden.data_offset + static_cast<uint64_t>(track.index0) * bytes, bytes,
                            sheet.files[track.index0_file].type == CueFileType::Motorola);
            }
        }
        add_segment(layout, &position, track.pregap, -1, 0, kSectorBytes, false);
        uint32_t region_start = position;
        add_segment(layout, &position, static_cast<uint32_t>(end - begin), track.file, info.data_offset + begin * bytes,
                    bytes, file.type == CueFileType::Motorola);
        TocTrack& toc_track = layout->toc.tracks[i];
        toc_track.start = region_start + static_cast<uint32_t>(track.index1 - begin);
        toc_track.audio = track.mode == CueTrackMode::Audio;
        toc_track.control = static_cast<uint8_t>(track.flags | (toc_track.audio ? 0 : kControlData));
        add_segment(layout, &position, track.postgap, -1, 0, kSectorBytes, false);
        region_starts[i] = region_start;
        begins[i] = begin;
        ImageIndexes& indexes = layout->indexes[i];
        if (track.pregap > 0 || own_pregap >= 0) indexes.index0 = own_pregap >= 0 ? own_pregap : static_cast<int32_t>(pregap_start);
        // INDEX 00 lies in the track's own region, or in the one of the track
        // before (the end of its file, or the same file before INDEX 01).
        uint64_t index0 = static_cast<uint64_t>(track.index0);
        int owner = track.index0_file == track.file && index0 >= begin ? i : i - 1;
        if (track.index0 >= 0 && indexes.index0 < 0 && owner >= 0 &&
            (owner == i || sheet.tracks[owner].file == track.index0_file) && index0 >= begins[owner])
            indexes.index0 = static_cast<int32_t>(region_starts[owner] + (index0 - begins[owner]));
        for (int64_t later : track.later_indexes)
            if (static_cast<uint64_t>(later) >= begin && static_cast<uint64_t>(later) < end)
                indexes.later.push_back(region_start + static_cast<uint32_t>(later - begin));
    }
    layout->toc.first = sheet.tracks.empty() ? 1 : sheet.tracks[0].number;
    layout->toc.count = count;
    layout->toc.leadout = position;
    finish_toc_lengths(&layout->toc, false);
    return true;
}

bool read_image_sectors(const ImageLayout& layout, uint32_t first, uint32_t count, uint8_t* out, ImageReadFn read,
                        void* context)
{
    uint32_t end = first + count;
    uint32_t covered = first;  // sectors before this one are filled
    for (const ImageSegment& segment : layout.segments) {
        uint32_t from = std::max(first, segment.start);
        uint32_t to = std::min(end, segment.start + segment.sectors);
        if (from >= to || segment.file < 0 || segment.sector_bytes != kSectorBytes) continue;  // silence, data
        uint8_t* target = out + static_cast<size_t>(from - first) * kSectorBytes;
        uint64_t offset = segment.file_offset + static_cast<uint64_t>(from - segment.start) * segment.sector_bytes;
        uint32_t bytes = (to - from) * segment.sector_bytes;
        if (from > covered) memset(out + static_cast<size_t>(covered - first) * kSectorBytes, 0, static_cast<size_t>(from - covered) * kSectorBytes);
        covered = to;
        if (!read(context, segment.file, offset, target, bytes)) return false;
        if (segment.big_endian) {
            for (uint32_t i = 0; i + 1 < bytes; i += 2) std::swap(target[i], target[i + 1]);
        }
    }
    if (end > covered) memset(out + static_cast<size_t>(covered - first) * kSectorBytes, 0, static_cast<size_t>(end - covered) * kSectorBytes);
    return true;
}

ImagePosition image_position(const ImageLayout& layout, uint32_t sector)
{
    const Toc& toc = layout.toc;
    ImagePosition at;
    // The track whose pregap or index 1 the sector has reached last.
    for (int i = 0; i < toc.count; ++i) {
        int32_t begins = layout.indexes[i].index0 >= 0 ? layout.indexes[i].index0 : static_cast<int32_t>(toc.tracks[i].start);
        if (i > 0 && static_cast<int64_t>(sector) < begins) break;
        at.track = i;
    }
    uint32_t start = toc.tracks[at.track].start;
    if (sector < start) {
        at.index = 0;
        at.relative = -static_cast<int32_t>(start - sector);
        return at;
    }
    at.relative = static_cast<int32_t>(sector - start);
    for (uint32_t later : layout.indexes[at.track].later) at.index += sector >= later ? 1 : 0;
    return at;
}
