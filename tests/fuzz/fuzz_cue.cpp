// Cue sheets of any bytes: parsed, laid out against files of made-up sizes,
// and their texts taken as the program takes titles and names: cut into a
// track row's 108 bytes, made folder levels, folders (whole, and cut to fit
// the longest folder) and file names behind long folders, in buffers each
// allocated at exactly its size. The tracks of the disc they make follow
// each other.
#include "cd/track_rows.h"
#include "cdlib/cue.h"
#include "cdlib/image_layout.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static bool cp932_lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

static bool read_ones(void*, int, uint64_t, void* buffer, uint32_t bytes) { memset(buffer, 1, bytes); return true; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CueSheet sheet;
    std::string error;
    if (!parse_cue(reinterpret_cast<const char*>(data), size, &sheet, &error)) return 0;
    std::vector<char> title(kTitleSize), field(1024), folder(1024), fitted(kMaxFolderLength + 1), name(kMaxPathLength + 1);
    // Folders of 230 to 269 bytes: the names made behind them fit, never cut to nothing; up to kMaxFolderLength one is made.
    size_t folder_length = 230 + size % 40;
    for (const CueTrack& track : sheet.tracks) {
        copy_track_title(title.data(), title.size(), track.title.c_str(), cp932_lead);
        snprintf(field.data(), field.size(), "%s", track.title.c_str());
        sanitize_name(field.data(), cp932_lead);
        make_safe_folder_level(field.data(), field.size(), cp932_lead);
        bool made = compose_file_name(folder_length, track.number, track.title.c_str(), ".flac", name.data(), name.size(), cp932_lead);
        size_t length = made ? strlen(name.data()) : 0, least = std::to_string(track.number).size() + 6 + !track.title.empty();
        if (made ? folder_length + length > kMaxPathLength || length < least : folder_length <= kMaxFolderLength)
            abort();
    }
    compose_folder_text("C:\\Music\\", sheet.performer.c_str(), sheet.title.c_str(), "1999", true, true, folder.data(),
                        folder.size(), folder.size() - 1, cp932_lead);
    bool fields = sheet.performer.size() < 1024 && sheet.title.size() < 1024;  // what the program's fields hold
    if (fields && !compose_folder_text("C:\\Music\\", sheet.performer.c_str(), sheet.title.c_str(), "1999", true, true,
                                       fitted.data(), fitted.size(), fitted.size() - 1, cp932_lead))
        abort();  // a short root always leaves room for one character of each level
    std::vector<ImageFileInfo> files(sheet.files.size());
    for (size_t i = 0; i < files.size(); ++i) files[i].data_bytes = (size * 7919 + i * 104729) % (2352ull * 90000);
    ImageLayout layout;
    std::vector<uint8_t> sectors(4 * 2352);
    if (!build_image_layout(sheet, files, &layout, &error)) return 0;
    const Toc& toc = layout.toc;  // each track ends before the next one starts, the last before the lead-out
    for (int i = 0; i < toc.count; ++i)
        if (toc.tracks[i].start + toc.tracks[i].sectors > (i + 1 < toc.count ? toc.tracks[i + 1].start : toc.leadout)) abort();
    read_image_sectors(layout, toc.leadout > 2 ? toc.leadout - 2 : 0, 4, sectors.data(), read_ones, nullptr);
    return 0;
}
