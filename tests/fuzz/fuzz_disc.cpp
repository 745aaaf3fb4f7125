// What a drive or a disc image hands over, of any bytes. CD-TEXT packs,
// with and without valid CRCs: each title found in the run is the parsed
// one, cut into a track row's 108 bytes as code page 932 text; a size
// header in front changes nothing, a bad CRC drops a pack. A table of
// contents: each track is its entry and runs to the next one, and the
// AccurateRip path names the disc's ids. A WAVE header: the samples found
// lie inside the file, in whole stereo frames; one the program writes reads
// back. An AccurateRip answer for the disc its first record names is its
// records written again, byte for byte, and each track's checksum matches
// it; a drive list is its records' offsets and names, and the first drive
// is found by its own name. A Q frame of each 16 bytes: a position read is
// made again byte for byte; an ISRC or a catalogue number is digits where
// digits stand. A FLAC, ID3v2 or ASF tag (the bytes behind each one's
// magic) given ReplayGain values keeps its size, and what lies past the
// tag stays as it was.
#include "cdlib/cdtext.h"
#include "cdlib/cue.h"
#include "cdlib/qsub.h"
#include "fuzz_checks.h"
#include "lookup/accuraterip.h"
#include "rip/replaygain_tags.h"

#include <cstdio>
#include <cstring>
#include <vector>

static uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

static void put_le32(std::string* out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8) *out += static_cast<char>(value >> shift);
}

static std::string take_titles(const uint8_t* packs, size_t size)
{
    CdText text = parse_cdtext(packs, size);
    std::string run = cdtext_entries(text, 99);
    for (int track = 0; track <= 99; ++track) {
        const char* found = find_cdtext_title(run.c_str(), track);
        if (text.has_title[track] ? !found || text.titles[track] != found : found != nullptr) abort();
        if (found) check_title_copy(found);
    }
    return run;
}

// The path's three folders are id1's last three hex digits, last first;
// the file's name holds the audio track count and the three ids.
static void check_disc_ids(const Toc& toc)
{
    ArDiscIds ids = ar_disc_ids(toc);
    int audio = 0, count = 0;
    for (int i = 0; i < toc.count; ++i) audio += toc.tracks[i].audio;
    unsigned a, b, c, id1, id2, cddb;
    std::string path = ar_request_path(ids);
    if (ids.audio_tracks != audio || (freedb_disc_id(toc) & 0xFF) != static_cast<uint32_t>(toc.count)) abort();
    if (!audio) return;
    int read = sscanf(path.c_str(), "/accuraterip/%1x/%1x/%1x/dBAR-%d-%8x-%8x-%8x.bin", &a, &b, &c, &count, &id1, &id2, &cddb);
    if (read != 7 || a != (ids.id1 & 0xF) || b != (ids.id1 >> 4 & 0xF) || c != (ids.id1 >> 8 & 0xF) || count != audio ||
        id1 != ids.id1 || id2 != ids.id2 || cddb != ids.cddb || cddb != freedb_disc_id(toc))
        abort();
}

// Each track is its entry: the start less the lead-in, the control bits,
// audio when they hold no data bit.
static void check_toc(const uint8_t* data, size_t size)
{
    Toc toc;
    if (!parse_toc_bytes(data, size, &toc)) return;
    if (toc.first != data[2] || toc.count != data[3] - data[2] + 1) abort();
    for (int i = 0; i < toc.count; ++i) {
        const uint8_t* entry = data + 4 + 8 * i;
        uint32_t start = (entry[5] * 60 + entry[6]) * 75 + entry[7] - kLeadInFrames;
        const TocTrack& track = toc.tracks[i];
        if (track.start != start || track.control != (entry[1] & 0x0F) || track.audio == bool(entry[1] & kControlData))
            abort();
    }
    check_toc_lengths(toc, true);
    check_disc_ids(toc);
}

static void check_wave(const uint8_t* data, size_t size)
{
    WaveLayout wave;
    std::string error;
    uint64_t file_size = size + (size > 0 ? data[0] : 0) * 1000ull;
    if (parse_wave_header(data, size, file_size, &wave, &error) &&
        (wave.data_bytes % 4 || wave.data_offset < kWavHeaderBytes || wave.data_offset > size ||
         (wave.data_bytes && wave.data_offset + wave.data_bytes > file_size)))
        abort();
    uint8_t header[kWavHeaderBytes];
    uint32_t bytes = size >= 4 ? le32(data) : 0;
    make_wav_header(header, bytes);
    if (!parse_wave_header(header, sizeof header, sizeof header + uint64_t(bytes), &wave, &error) ||
        wave.data_offset != kWavHeaderBytes || wave.data_bytes != bytes - bytes % 4)
        abort();
}

// An accepted database file is its records written again, every record
// the disc's; a track's own checksum matches it, at no less than its
// confidence; a checksum of 0 and a track out of range match nothing.
static void check_dbar(const uint8_t* data, size_t size)
{
    std::vector<ArRecord> records;
    std::string error, again;
    ArDiscIds disc;
    if (size >= 13) disc = {data[0], le32(data + 1), le32(data + 5), le32(data + 9)};
    bool accepted = ar_parse_dbar(data, size, disc, &records, &error);
    for (const ArRecord& record : records) {
        if (record.tracks.size() != size_t(disc.audio_tracks) || record.id1 != disc.id1 || record.id2 != disc.id2 ||
            record.cddb != disc.cddb)
            abort();
        again += static_cast<char>(record.tracks.size());
        put_le32(&again, record.id1), put_le32(&again, record.id2), put_le32(&again, record.cddb);
        for (size_t i = 0; i < record.tracks.size(); ++i) {
            const ArTrackEntry& entry = record.tracks[i];
            again += static_cast<char>(entry.confidence);
            put_le32(&again, entry.crc), put_le32(&again, entry.crc450);
            ArMatch match = ar_match_track(records, int(i) + 1, entry.crc, entry.crc);
            if ((entry.crc && (!match.matched || match.v2 || match.confidence < entry.confidence ||
                               match.best_confidence < match.confidence)) ||
                ar_match_track(records, int(i) + 1, 0, 0).matched)
                abort();
        }
    }
    if (accepted != !records.empty() || again != std::string(reinterpret_cast<const char*>(data), accepted ? size : 0))
        abort();
    for (int track : {0, disc.audio_tracks + 1})
        if (ar_match_track(records, track, 1, 1).best_confidence) abort();
}

// Each drive is its record's s16le offset and its name up to the first NUL
// of 33 bytes; the first drive is found by its own name, with its offset.
static void check_drives(const uint8_t* data, size_t size)
{
    std::vector<ArDrive> drives;
    std::string error;
    int offset;
    if (!ar_parse_drive_list(data, size, &drives, &error)) return;
    if (drives.size() * 69 != size) abort();
    for (size_t i = 0; i < drives.size(); ++i) {
        const uint8_t* record = data + 69 * i;
        std::string name(reinterpret_cast<const char*>(record + 2), 33);
        if (drives[i].offset != int16_t(record[0] | record[1] << 8) || drives[i].name != name.substr(0, name.find('\0')))
            abort();
    }
    size_t dash = drives[0].name.find(" - ");
    if (dash != std::string::npos && abs(drives[0].offset) <= kArMaxOffset &&
        drives[0].name.find_first_not_of(" -\t\n\v\f\r") != std::string::npos &&
        (!ar_find_drive_offset(drives, drives[0].name.substr(0, dash), drives[0].name.substr(dash + 3), &offset) ||
         offset != drives[0].offset))
        abort();
}

static void check_q_frames(const uint8_t* data, size_t size)
{
    for (size_t at = 0; at + kQFrameBytes <= size; at += kQFrameBytes) {
        uint8_t q[kQFrameBytes], again[kQFrameBytes];
        memcpy(q, data + at, sizeof q);  // with its CRC made right, so the reading runs
        uint16_t crc = cd_crc16(q, 10);
        q[10] = static_cast<uint8_t>(crc >> 8), q[11] = static_cast<uint8_t>(crc);
        QFrame frame;
        if (!parse_q_frame(q, &frame)) continue;
        bool digits = frame.text.size() >= 7 && frame.text.find_first_not_of("0123456789", frame.text.size() - 7) == std::string::npos;
        if (frame.kind != QKind::kPosition) {
            if (!digits || (frame.kind == QKind::kCatalog && frame.text.size() != 13) || frame.frame > 99) abort();
            continue;
        }
        make_q_position(again, frame.control, frame.track, frame.index, frame.relative, frame.absolute);
        if (q[6] == 0 && memcmp(again, q, 12) != 0) abort();
    }
}

static void check_gain_tags(const uint8_t* data, size_t size)
{
    static const char* const kMagic[] = {"fLaC", "ID3\x03", "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"};
    size_t (*put[])(std::string*, const GainValues&, std::string*) = {flac_with_gains, id3v2_with_gains, asf_with_gains};
    const GainValues values = {{"REPLAYGAIN_TRACK_GAIN", "-6.54 dB"}, {"REPLAYGAIN_TRACK_PEAK", "0.987654"}};
    for (int i = 0; i < 3; ++i) {
        static const size_t kLength[] = {4, 4, 16};  // the GUID holds NULs
        std::string before = std::string(kMagic[i], kLength[i]) + std::string(reinterpret_cast<const char*>(data), size), head = before, why;
        size_t spans = put[i](&head, values, &why);
        if (head.size() != before.size() || spans > before.size() || head.compare(spans, std::string::npos, before, spans, std::string::npos) != 0)
            abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    check_q_frames(data, size);
    take_titles(data, size);
    // The same packs with every CRC made right, a type of 0x80-0x8F and
    // block 0, so the text paths run too; then behind a size header, and
    // with every CRC broken.
    std::vector<uint8_t> packs(data, data + size - size % 18), headed(4);
    for (size_t at = 0; at + 18 <= packs.size(); at += 18) {
        std::string body(packs.begin() + at + 4, packs.begin() + at + 16);  // a copy: the pack is rewritten in place
        make_cdtext_pack(&packs[at], 0x80 | (packs[at] & 0x0F), packs[at + 1], packs[at + 2], packs[at + 3] & 0x8F, body.data());
    }
    headed.insert(headed.end(), packs.begin(), packs.end());
    if (take_titles(packs.data(), packs.size()) != take_titles(headed.data(), headed.size())) abort();
    for (size_t at = 17; at < packs.size(); at += 18) packs[at] ^= 1;
    if (parse_cdtext(packs.data(), packs.size()).present) abort();
    check_toc(data, size);
    check_wave(data, size);
    check_dbar(data, size);
    check_drives(data, size);
    check_gain_tags(data, size);
    return 0;
}
