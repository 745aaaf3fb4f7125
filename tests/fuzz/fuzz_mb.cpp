// MusicBrainz answers of any bytes, for a two-track disc: no crash, no
// throw, and what is found always fits the disc.
#include "lookup/musicbrainz.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MbToc toc;
    toc.last = 2, toc.leadout = 4100, toc.offsets[1] = 150, toc.offsets[2] = 2100;
    std::vector<MbRelease> releases;
    MbAnswer said = mb_parse_answer(std::string(reinterpret_cast<const char*>(data), size), "disc-id", toc, &releases);
    if ((said == MbAnswer::kFound) == releases.empty()) abort();
    for (const MbRelease& release : releases)
        if (release.tracks.size() != 2 || release.disc < 1 || release.disc > release.discs) abort();
    return 0;
}
