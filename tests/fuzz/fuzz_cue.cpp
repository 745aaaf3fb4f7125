// Cue sheets of any bytes: parsed, laid out against files of made-up sizes.
#include "cdlib/cue.h"
#include "cdlib/image_layout.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CueSheet sheet;
    std::string error;
    if (!parse_cue(reinterpret_cast<const char*>(data), size, &sheet, &error)) return 0;
    std::vector<ImageFileInfo> files(sheet.files.size());
    for (size_t i = 0; i < files.size(); ++i) files[i].data_bytes = (size * 7919 + i * 104729) % (2352ull * 90000);
    ImageLayout layout;
    if (build_image_layout(sheet, files, &layout, &error)) {
        std::vector<uint8_t> sectors(4 * 2352);
        read_image_sectors(layout, layout.toc.leadout > 2 ? layout.toc.leadout - 2 : 0, 4, sectors.data(),
                           [](void*, int, uint64_t, void* buffer, uint32_t bytes) {
                               memset(buffer, 1, bytes);
                               return true;
                           },
                           nullptr);
    }
    return 0;
}
