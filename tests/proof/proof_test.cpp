#include "cdlib/cue.h"
#include "cdlib/image_layout.h"
#include "proof/ar_checksum.h"
#include "proof/cue_sheet.h"
#include "proof/gaps.h"
#include "proof/loudness.h"
#include "proof/rip_log.h"

#include <openssl/sha.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>

#include "tests/table_file.h"

// The checksums of audio fed in blocks of `block` bytes: the row's bytes, or
// track t of the test disc (frame i: left 7i + 1000t, right 13i + 3000t).
static std::string checksums(const TableRow& row)
{
    int count = std::stoi(row.at(1)), t = std::stoi(row.at(2));
    size_t block = std::stoul(row.at(4));
    std::string audio = row.at(3);
    if (row.at(0) == "track") {
        audio.resize(static_cast<size_t>(std::stod(audio) * 44100) * 4);
        for (size_t i = 0; i < audio.size() / 4; ++i) {
            uint16_t left = uint16_t(7 * i + 1000 * t), right = uint16_t(13 * i + 3000 * t);
            audio.replace(i * 4, 4, {char(left), char(left >> 8), char(right), char(right >> 8)});
        }
    }
    ArChecksum sum;
    ar_checksum_start(&sum, audio.size() / 4, t == 1, t == count);
    for (size_t at = 0; at < audio.size(); at += block)
        ar_checksum_feed(&sum, reinterpret_cast<const uint8_t*>(audio.data()) + at, std::min(block, audio.size() - at));
    char text[64];
    snprintf(text, sizeof text, "%08x %08x %08x %d", sum.v1, sum.v2, sum.crc32, sum.peak);
    return text;
}

TEST(Proof, AccurateRipChecksumsCrcAndPeak) { check_table("proof/ar_checksum.table", checksums); }

// A cue sheet of the row's album and tracks ("title;title..." and their
// control bits): its text (of WAV files, or of MP3 files), or what the
// program's cue parser reads back.
static std::string cue(const TableRow& row)
{
    CueSheetInfo info = {"Rock", "1999", "0A0B0C03", "Orvo CD Ripper 1.2.0", "Artist", row.at(1), {}};
    std::istringstream titles(row.at(2)), controls(row.at(3));
    std::string title, text, error, out;
    for (int n = 1, control; std::getline(titles, title, ';') && controls >> control; ++n)
        info.tracks.push_back({n, control, "Track " + std::to_string(n) + (row.at(0) == "mp3" ? ".mp3" : ".wav"), title,
                               n == 2 ? "Guest" : ""});
    text = cue_sheet_text(info);
    if (row.at(0) != "read") return text;
    CueSheet sheet;
    if (!parse_cue(text.data(), text.size(), &sheet, &error)) return error;
    out = "[" + sheet.title + "] by [" + sheet.performer + "]";
    for (const CueTrack& t : sheet.tracks)
        out += "; " + std::to_string(t.number) + " " + sheet.files[t.file].name + " at " + std::to_string(t.index1) +
               " [" + t.title + "]" + (t.has_performer ? " by [" + t.performer + "]" : "");
    return out;
}

TEST(Proof, CueSheets) { check_table("proof/cue_sheet.table", cue); }

// A log of the test disc (two audio tracks and a data track) with one track
// per token: A accurate, N no match, D disc not in the database, C not
// checked, Z not submitted (checksum 0), S digital silence, O AccurateRip
// off; the confidence; r: read twice more, the reads differed; u:
// unreadable sectors; c: C2 errors in every read of two sectors; t: read
// twice, the reads agreed; x: read four times, no two agreed. The whole file, its last line checked against the
// SHA-256 of the text before it; or the verdict alone.
static std::string rip_log(const TableRow& row)
{
    RipLog log;
    log.program = "Orvo CD Ripper", log.version = "1.2.0", log.date = "2026-12-07 21:00";
    log.vendor = "PLEXTOR", log.product = "DVDR   PX-716A", log.read_offset = 48;
    log.offset_source = OffsetSource::kDriveList, log.settings = {"MP3, LAME, 192 kbit/s"};
    log.drive = {true, true, true, 2048, 2, 45, 0, 1, 3};
    log.artist = "Artist", log.album = "Album\r\nForged line";
    log.toc.count = 3, log.toc.leadout = 13050 + 1000;
    log.toc.tracks[0] = {0, 750, true}, log.toc.tracks[1] = {750, 900, true}, log.toc.tracks[2] = {13050, 1000, false};
    std::istringstream in(row.at(1));
    for (std::string token; in >> token;) {
        RipLogTrack t;
        t.number = static_cast<int>(log.tracks.size()) + 1, t.file_name = "0" + std::to_string(t.number) + " Song.mp3";
        t.peak = 32767, t.crc32 = 0x539fa1bd, t.ar_v1 = 0x38d7aca0, t.ar_v2 = 0x854069aa;
        t.verdict = token[0] == 'A' ? ArVerdict::kAccurate : token[0] == 'N' ? ArVerdict::kNoMatch
                  : token[0] == 'D' ? ArVerdict::kNotInDatabase : token[0] == 'Z' ? ArVerdict::kNotSubmitted
                  : token[0] == 'S' ? ArVerdict::kSilent : ArVerdict::kNotChecked;
        t.confidence = token[1] - '0';
        if (token.find('r') != std::string::npos) t.rereads = 2, t.reads_agree = false;
        if (token.find('u') != std::string::npos) t.unreadable = {1200, 1201, 1202, 1300};
        if (token.find('c') != std::string::npos) t.c2 = {160, 161};
        if (token.find('t') != std::string::npos) t.read_twice = true, t.read_crcs = {0x539fa1bd, 0x539fa1bd};
        if (token.find('x') != std::string::npos) t.read_twice = true, t.read_crcs = {1, 2, 3, 0x539fa1bd};
        log.checked = log.checked && token[0] != 'O';
        log.tracks.push_back(t);
    }
    if (row.at(0) == "verdict") return rip_verdict_text(log);
    std::string text = rip_log_text(log);
    uint8_t sha256[32];
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), sha256);
    std::string file = text + rip_log_checksum_line(sha256);
    size_t last = file.rfind("\r\n", file.size() - 3) + 2;
    SHA256(reinterpret_cast<const unsigned char*>(file.data()), last, sha256);
    return rip_log_checksum_line(sha256) == file.substr(last) ? file : "checksum line wrong";
}

TEST(Proof, RipLogsAndVerdicts) { check_table("proof/rip_log.table", rip_log); }

// The Q frames of a disc image as a drive gives them; with `noise`, the
// first read of some sectors gives a bad CRC or the next sector's position,
// and some sectors always give a catalogue frame.
struct ImageQ {
    ImageLayout layout;
    bool noise;
    std::set<uint32_t> read;
};

static bool image_q(void* context, uint32_t sector, uint8_t q[kQFrameBytes])
{
    auto* image = static_cast<ImageQ*>(context);
    bool first = image->read.insert(sector).second, noisy = image->noise && first;
    uint32_t asked = noisy && sector % 7 == 3 ? sector + 1 : sector;
    ImagePosition at = image_position(image->layout, asked);
    make_q_position(q, 0, image->layout.toc.first + at.track, at.index, at.relative, static_cast<int32_t>(asked));
    if (noisy && sector % 5 == 1) q[11] ^= 1;
    if (image->noise && sector % 97 == 2) {  // a catalogue frame
        uint8_t catalog[kQFrameBytes] = {0x02, 0x07, 0x24, 0x38, 0x42, 0x60, 0x92, 0x90, 0x00, 0x33, 0x83, 0x89};
        memcpy(q, catalog, sizeof catalog);
    }
    return true;
}

// One row of gaps.table: each track's pregap and later indexes as found,
// and how many frames that took.
static std::string gaps(const TableRow& row)
{
    CueSheet sheet;
    std::string error, out;
    std::vector<ImageFileInfo> files;
    std::istringstream sizes(row.at(1));
    for (uint64_t bytes; sizes >> bytes;) files.push_back({0, bytes});
    ImageQ image = {{}, row.at(3) == "noise", {}};
    if (!parse_cue(row.at(2).data(), row.at(2).size(), &sheet, &error) || !build_image_layout(sheet, files, &image.layout, &error))
        return error;
    int reads = 0;
    TrackIndexes found[kMaxTracks];
    if (!find_disc_indexes(image.layout.toc, image_q, &image, found, &reads)) return "no frames";
    for (int t = 0; t < image.layout.toc.count; ++t) {
        out += std::to_string(t + 1) + ":" + std::to_string(found[t].pregap);
        for (uint32_t later : found[t].later) out += "," + std::to_string(later);
        out += " ";
    }
    return out + std::to_string(reads) + " reads";
}

TEST(Proof, GapsFromTheQSubChannel) { check_table("proof/gaps.table", gaps); }

// The samples of a loudness.table signal.
static std::vector<int16_t> signal(const std::string& description)
{
    std::vector<int16_t> samples;
    std::istringstream parts(description);
    for (std::string part; std::getline(parts, part, '+');) {
        std::istringstream words(part);
        std::string kind;
        double hz = 0, amplitude = 0, seconds = 0;
        words >> kind;
        if (kind == "silence") words >> seconds;
        else words >> hz >> amplitude >> seconds;
        for (long n = 0; n < static_cast<long>(seconds * 44100); ++n) {
            auto v = static_cast<int16_t>(std::floor(amplitude * 32767 * std::sin(2 * 3.14159265358979323846 * hz * n / 44100) + 0.5));
            samples.push_back(v), samples.push_back(v);
        }
    }
    return samples;
}

// One row of loudness.table: the reference again when the measurement
// (track, or the tracks together) is within 0.05 LU of it and the gain
// text follows from it, else what was measured; then the peak.
static std::string loudness(const TableRow& row)
{
    std::vector<std::unique_ptr<LoudnessMeter>> meters;
    std::vector<const LoudnessMeter*> tracks;
    ArChecksum peak_sum;  // the peak comes from the checksums' pass over the audio
    ar_checksum_start(&peak_sum, 0, false, false);
    std::istringstream descriptions(row.at(1));
    for (std::string description; std::getline(descriptions, description, '/');) {
        std::vector<int16_t> samples = signal(description);
        meters.push_back(std::make_unique<LoudnessMeter>());
        if (!meters.back()->start()) return "no meter";
        peak_sum.loudness = meters.back().get();
        const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
        for (size_t at = 0, size = samples.size() * 2; at < size; at += 7001)  // blocks that end inside frames
            ar_checksum_feed(&peak_sum, bytes + at, std::min<size_t>(7001, size - at));
        tracks.push_back(meters.back().get());
    }
    double lufs = 0;
    bool audible = row.at(0) == "album" ? album_loudness(tracks, &lufs) : tracks[0]->loudness(&lufs);
    std::string peak = replaygain_peak_text(peak_sum.peak), reference = row.at(2).substr(0, row.at(2).find(' '));
    if (!audible) return "none " + peak;
    double gain = std::strtod(replaygain_gain_text(lufs).c_str(), nullptr);
    bool near = reference != "none" && std::fabs(lufs - std::strtod(reference.c_str(), nullptr)) <= 0.05;
    bool follows = std::fabs(gain - (-18 - lufs)) <= 0.005 && replaygain_gain_text(lufs).find(" dB") != std::string::npos;
    return (near && follows ? reference : std::to_string(lufs) + " (gain " + replaygain_gain_text(lufs) + ")") + " " + peak;
}

TEST(Proof, LoudnessForReplayGain) { check_table("proof/loudness.table", loudness); }
