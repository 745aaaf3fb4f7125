// MusicBrainz answers of any bytes, for a two-track disc: no crash, no
// throw, and what is found always fits the disc: its track count, a disc
// position within the release's media, texts in UTF-8. Asked with a disc
// id that no JSON text can hold, an answer can only match by lengths:
// then every track is within 10 s of the TOC's and the media are those
// found with the disc's id; whether the answer is bad does not change.
#include "fuzz_checks.h"
#include "lookup/musicbrainz.h"

static bool texts_valid(const MbRelease& release)
{
    bool valid = true;
    for (const std::string* text : {&release.id, &release.release_group_id, &release.title, &release.artist, &release.date,
                                    &release.country, &release.barcode, &release.label, &release.catalog_number, &release.format})
        valid = valid && valid_utf8(*text);
    for (const std::string& id : release.artist_ids) valid = valid && valid_utf8(id);
    for (const MbTrack& track : release.tracks) {
        for (const std::string* text : {&track.title, &track.artist, &track.recording_id, &track.track_id})
            valid = valid && valid_utf8(*text);
        for (const std::string& id : track.artist_ids) valid = valid && valid_utf8(id);
    }
    return valid;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MbToc toc;
    toc.last = 2, toc.leadout = 4100, toc.offsets[1] = 150, toc.offsets[2] = 2100;
    const uint32_t lengths_ms[] = {26000, 26666};  // 1950 and 2000 sectors
    std::string json(reinterpret_cast<const char*>(data), size);
    std::vector<MbRelease> releases, by_lengths;
    MbAnswer said = mb_parse_answer(json, "disc-id", toc, &releases);
    if ((said == MbAnswer::kFound) == releases.empty()) abort();
    for (const MbRelease& release : releases)
        if (release.tracks.size() != 2 || release.disc < 1 || release.disc > release.discs || !texts_valid(release)) abort();
    MbAnswer other = mb_parse_answer(json, "\xFF", toc, &by_lengths);
    if ((other == MbAnswer::kBad) != (said == MbAnswer::kBad) || (!by_lengths.empty() && by_lengths.size() != releases.size()))
        abort();
    for (const MbRelease& release : by_lengths)
        for (size_t i = 0; i < release.tracks.size(); ++i)
            if (release.tracks[i].length_ms < lengths_ms[i] - 10000 || release.tracks[i].length_ms > lengths_ms[i] + 10000)
                abort();
    return 0;
}
