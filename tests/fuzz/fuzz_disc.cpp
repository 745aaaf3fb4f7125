// What a drive or a disc image hands over, of any bytes. CD-TEXT packs,
// with and without valid CRCs: the titles they give are cut into a track
// row's 108 bytes as code page 932 text; a size header in front changes
// nothing. A table of contents: each track ends before the next one starts,
// the last before the lead-out. A WAVE header: the samples found lie inside
// the file, in whole stereo frames. An AccurateRip answer for the disc its
// first record names, and a drive list: what is kept spans every byte, and
// the first drive is found by its own name.
#include "cd/track_rows.h"
#include "cdlib/cdtext.h"
#include "cdlib/cue.h"
#include "cdlib/toc.h"
#include "lookup/accuraterip.h"

#include <cstdlib>
#include <string>
#include <vector>

static bool cp932_lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

static std::string take_titles(const uint8_t* packs, size_t size)
{
    std::string run = cdtext_entries(parse_cdtext(packs, size), 99);
    std::vector<char> title(kTitleSize);  // exactly a row's bytes
    for (int track = 1; track <= 99; ++track) {
        const char* found = find_cdtext_title(run.c_str(), track);
        if (found) copy_track_title(title.data(), title.size(), found, cp932_lead);
    }
    return run;
}

static void take_accuraterip(const uint8_t* data, size_t size)
{
    std::vector<ArRecord> records;
    std::vector<ArDrive> drives;
    std::string error;
    ArDiscIds disc;
    auto le32 = [data](size_t at) { return data[at] | data[at + 1] << 8 | data[at + 2] << 16 | uint32_t(data[at + 3]) << 24; };
    if (size >= 13) disc = {data[0], le32(1), le32(5), le32(9)};
    size_t spanned = 0;
    if (ar_parse_dbar(data, size, disc, &records, &error))
        for (const ArRecord& record : records) spanned += 13 + 9 * record.tracks.size();
    for (int track = 0; track <= disc.audio_tracks + 1; ++track)
        if (ar_match_track(records, track, 0, 1).confidence > 255) abort();
    int offset;
    if (ar_parse_drive_list(data, size, &drives, &error)) {
        size_t dash = drives[0].name.find(" - ");
        if (drives.size() * 69 != size || (dash != std::string::npos && abs(drives[0].offset) <= kArMaxOffset &&
            drives[0].name.find_first_not_of(" -\t\n\v\f\r") != std::string::npos &&
            !ar_find_drive_offset(drives, drives[0].name.substr(0, dash), drives[0].name.substr(dash + 3), &offset)))
            abort();
    }
    if (spanned != (records.empty() ? 0 : size)) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    take_titles(data, size);
    // The same packs with every CRC made right, a type of 0x80-0x8F and
    // block 0, so the text paths run too; then behind a size header.
    std::vector<uint8_t> packs(data, data + size - size % 18), headed(4);
    for (size_t at = 0; at + 18 <= packs.size(); at += 18) {
        std::string body(packs.begin() + at + 4, packs.begin() + at + 16);  // a copy: the pack is rewritten in place
        make_cdtext_pack(&packs[at], 0x80 | (packs[at] & 0x0F), packs[at + 1], packs[at + 2], packs[at + 3] & 0x8F, body.data());
    }
    headed.insert(headed.end(), packs.begin(), packs.end());
    if (take_titles(packs.data(), packs.size()) != take_titles(headed.data(), headed.size())) abort();
    Toc toc;
    for (int i = 0; parse_toc_bytes(data, size, &toc) && i < toc.count; ++i)
        if (toc.tracks[i].start + toc.tracks[i].sectors > (i + 1 < toc.count ? toc.tracks[i + 1].start : toc.leadout)) abort();
    WaveLayout wave;
    std::string error;
    uint64_t file_size = size + (size > 0 ? data[0] : 0) * 1000ull;
    if (parse_wave_header(data, size, file_size, &wave, &error) &&
        (wave.data_bytes % 4 || (wave.data_bytes && wave.data_offset + wave.data_bytes > file_size)))
        abort();
    take_accuraterip(data, size);
    return 0;
}
