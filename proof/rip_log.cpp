#include "rip_log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "lookup/accuraterip.h"
#include "proof/loudness.h"

namespace {

constexpr size_t kMaxRanges = 16;  // unreadable ranges listed per track

void add(std::string* text, const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    *text += line;
}

// A text from a drive, a disc or the user as it may stand in a line.
std::string plain(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return out;
}

// "m:ss.ff" of a count of sectors.
std::string time_text(uint32_t sectors)
{
    char text[32];
    snprintf(text, sizeof text, "%u:%02u.%02u", sectors / 4500, sectors / 75 % 60, sectors % 75);
    return text;
}

// The samples the read offset moves past what a drive can read (before the
// disc's first audio sector, or past its last), which the ripped track at
// that edge holds as silence.
std::string edges_text(const RipLog& log)
{
    int first = -1, last = -1;
    for (int i = 0; i < log.toc.count && i < kMaxTracks; ++i) {
        if (!log.toc.tracks[i].audio) continue;
        if (first < 0) first = i;
        last = i;
    }
    int edge = log.read_offset < 0 ? first : last;
    int number = edge < 0 ? 0 : log.toc.first + edge;
    bool ripped = false;
    for (const RipLogTrack& track : log.tracks) ripped = ripped || (edge >= 0 && track.number == number);
    if (log.read_offset == 0 || !ripped) return "nothing filled with silence";
    char text[160];
    snprintf(text, sizeof text, "%d samples at the %s of track %d filled with silence (the read offset moves them %s)",
             log.read_offset < 0 ? -log.read_offset : log.read_offset, log.read_offset < 0 ? "start" : "end", number,
             log.read_offset < 0 ? "before the disc's first sector" : "past its last");
    return text;
}

// A track's pregap, later indexes, ISRC and flags.
void add_disc_lines(std::string* text, const RipLogTrack& track)
{
    std::string pregap = track.pregap ? time_text(track.pregap) + " (" + std::to_string(track.pregap) + " sectors)" : "none";
    *text += "  Pregap:          " + (track.gaps_known ? pregap : "not detected") + "\r\n";
    if (!track.later.empty()) {
        std::string indexes;
        for (size_t i = 0; i < track.later.size(); ++i)
            indexes += (i ? ", " : "") + std::to_string(i + 2) + " at " + time_text(track.later[i]);
        *text += "  Indexes:         " + indexes + "\r\n";
    }
    *text += "  ISRC:            " + (track.isrc.empty() ? std::string("none") : plain(track.isrc)) + "\r\n";
    std::string flags;
    if (track.control & 1) flags += "pre-emphasis";
    if (track.control & 2) flags += std::string(flags.empty() ? "" : ", ") + "copy permitted";
    if (track.control & 8) flags += std::string(flags.empty() ? "" : ", ") + "four channels";
    *text += "  Flags:           " + (flags.empty() ? std::string("none") : flags) + "\r\n";
}

// The drive's capabilities and cache, two lines of the log's head.
void add_drive_lines(std::string* text, const RipLogDrive& drive)
{
    if (!drive.reported) {
        *text += "Capabilities:  not reported (no SCSI commands reach the drive): read without C2 error pointers\r\n";
    } else {
        add(text, "Capabilities:  C2 error pointers %s, CD-DA stream %s, buffer %u KiB\r\n",
            drive.c2 ? "(the audio is read with them)" : "not given", drive.accurate ? "accurate" : "not accurate", drive.buffer_kib);
    }
    const char* cache[] = {"not found out", "none", "caches audio"};
    const char* defeat[] = {"nothing needed", "READ(12) with Force Unit Access over the sectors",
                            "more than the cache holds read elsewhere first"};
    if (!drive.reported && drive.cache == 0 && drive.defeat == 0 && drive.disc_ms == 0) {
        *text += "Audio cache:   not tested (no audio was read through the drive's own commands)\r\n";
        return;
    }
    add(text, "Audio cache:   %s", cache[drive.cache < 0 || drive.cache > 2 ? 0 : drive.cache]);
    if (drive.disc_ms || drive.cache_ms) add(text, " (a read took %u ms, the same again %u ms)", drive.disc_ms, drive.cache_ms);
    add(text, "; before a re-read: %s", defeat[drive.defeat < 0 || drive.defeat > 2 ? 0 : drive.defeat]);
    if (drive.defeat != 0) add(text, " (%lu times)", drive.defeats);
    *text += "\r\n";
}

std::string track_verdict(const RipLogTrack& track)
{
    char text[160];
    if (!track.unreadable.empty()) {
        snprintf(text, sizeof text, "not accurate: %zu unreadable sectors", track.unreadable.size());
    } else if (!track.c2.empty() && track.verdict != ArVerdict::kAccurate) {
        snprintf(text, sizeof text, "not accurate: %zu sectors with C2 errors", track.c2.size());
    } else if (track.verdict == ArVerdict::kAccurate) {
        snprintf(text, sizeof text, "accurately ripped (confidence %d)", track.confidence);
    } else if (track.verdict == ArVerdict::kNoMatch) {
        snprintf(text, sizeof text, "did not match the database (its confidence %d)", track.confidence);
    } else if (track.verdict == ArVerdict::kNotSubmitted) {
        snprintf(text, sizeof text, "not in the database (no checksum for this track)");
    } else if (track.verdict == ArVerdict::kSilent) {
        snprintf(text, sizeof text, "digital silence, cannot be verified");
    } else {
        snprintf(text, sizeof text, "%s",
                 track.verdict == ArVerdict::kNotInDatabase ? "not in the database" : "not checked");
    }
    std::string verdict = text;
    if (track.rereads > 0)
        verdict += "; read " + std::to_string(track.rereads + 1) + " times, " +
                   (track.reads_agree ? "the reads agreed" : "the reads differed");
    return verdict;
}

// "reads agree (CRC32 1A2B3C4D, 1A2B3C4D)" for a track read twice.
std::string test_and_copy_text(const RipLogTrack& track)
{
    std::string crcs;
    for (uint32_t crc : track.read_crcs) add(&crcs, crcs.empty() ? "%08X" : ", %08X", crc);
    if (!track_reads_agree(track)) return "the reads never agreed (CRC32 " + crcs + "): the file keeps the last";
    if (track.read_crcs.size() == 2) return "reads agree (CRC32 " + crcs + ")";
    return "reads agree after " + std::to_string(track.read_crcs.size()) + " reads (CRC32 " + crcs + "): the file keeps an agreeing one";
}

// What reading twice found, for the end of a sentence ("" when no track
// was read twice): "every track read twice with the same result." or
// which tracks' reads never agreed.
std::string read_twice_text(const RipLog& log)
{
    std::string never;
    size_t twice = 0, disagreeing = 0;
    for (const RipLogTrack& track : log.tracks) {
        if (!track.read_twice) continue;
        ++twice;
        if (track_reads_agree(track)) continue;
        ++disagreeing;
        never += (never.empty() ? "" : ", ") + std::to_string(track.number);
    }
    if (twice == 0) return "";
    if (never.empty()) return "every track read twice with the same result.";
    std::string which = "the reads of " + std::string(never.find(',') == std::string::npos ? "track " : "tracks ") + never +
                        " never agreed.";
    return disagreeing < twice ? "every other track read twice with the same result; " + which : which;
}

// "-9.12 LUFS; gain -8.88 dB, peak 0.987654", or why there is no gain.
std::string loudness_text(bool audible, double lufs, int peak)
{
    char text[160];
    if (!audible)
        snprintf(text, sizeof text, "digital silence, no loudness: no gain written; peak %s", replaygain_peak_text(peak).c_str());
    else
        snprintf(text, sizeof text, "%.2f LUFS; gain %s, peak %s", lufs, replaygain_gain_text(lufs).c_str(),
                 replaygain_peak_text(peak).c_str());
    return text;
}

enum class Kind { kAccurate, kMissed, kNotSubmitted, kSilent };

Kind kind_of(const RipLogTrack& track)
{
    if (track_accurate(track)) return Kind::kAccurate;
    if (!track_unverifiable(track)) return Kind::kMissed;
    return track.verdict == ArVerdict::kSilent ? Kind::kSilent : Kind::kNotSubmitted;
}

std::string track_list(const RipLog& log, Kind kind)
{
    std::string list;
    for (const RipLogTrack& track : log.tracks)
        if (kind_of(track) == kind) list += (list.empty() ? "" : ", ") + std::to_string(track.number);
    return list;
}

// "track 2" or "tracks 2, 5".
std::string tracks_text(const std::string& list)
{
    return std::string(list.find(',') == std::string::npos ? "track " : "tracks ") + list;
}

// " Track 2 is ..." or " Tracks 2, 5 are ...": a sentence of its own.
std::string tracks_sentence(const std::string& list, const char* what)
{
    if (list.empty()) return "";
    std::string text = " " + tracks_text(list) + (list.find(',') == std::string::npos ? " is " : " are ") + what;
    text[1] = 'T';
    return text;
}

// What the database could not judge, as sentences ("" when nothing).
std::string unverifiable_text(const RipLog& log)
{
    return tracks_sentence(track_list(log, Kind::kNotSubmitted), "not in the AccurateRip database.") +
           tracks_sentence(track_list(log, Kind::kSilent), "digital silence, which it cannot verify.");
}

}  // namespace

// "1200-1205, 3000" and how many more.
std::string ranges_text(const std::vector<uint32_t>& sectors)
{
    std::string text;
    size_t ranges = 0, i = 0;
    for (; i < sectors.size() && ranges < kMaxRanges; ++ranges) {
        size_t end = i;
        while (end + 1 < sectors.size() && sectors[end + 1] == sectors[end] + 1) ++end;
        add(&text, ranges ? ", %u" : "%u", sectors[i]);
        if (end > i) add(&text, "-%u", sectors[end]);
        i = end + 1;
    }
    if (i < sectors.size()) add(&text, " and %zu more", sectors.size() - i);
    return text;
}

bool track_reads_agree(const RipLogTrack& track)
{
    if (track.read_crcs.empty()) return true;
    for (size_t i = 0; i + 1 < track.read_crcs.size(); ++i)
        if (track.read_crcs[i] == track.read_crcs.back()) return true;
    return false;
}

bool track_accurate(const RipLogTrack& track)
{
    return track.verdict == ArVerdict::kAccurate && track.unreadable.empty();
}

bool track_unverifiable(const RipLogTrack& track)
{
    return (track.verdict == ArVerdict::kNotSubmitted || track.verdict == ArVerdict::kSilent) && track.unreadable.empty() &&
           track.c2.empty();
}

std::string rip_verdict_text(const RipLog& log)
{
    int lowest = -1;
    bool not_in_database = false, not_checked = false, reread = false;
    for (const RipLogTrack& track : log.tracks) {
        if (track_accurate(track) && (lowest < 0 || track.confidence < lowest)) lowest = track.confidence;
        not_in_database |= track.verdict == ArVerdict::kNotInDatabase;
        not_checked |= track.verdict == ArVerdict::kNotChecked;
        reread |= kind_of(track) == Kind::kMissed && track.rereads > 0;
    }
    std::string missed = track_list(log, Kind::kMissed), unverifiable = unverifiable_text(log);
    if (log.tracks.empty()) return "No track was ripped.";
    std::string twice = read_twice_text(log);
    if (!log.checked)
        return "AccurateRip checks are off (AccurateRip=0 in settings.ini): " +
               (twice.empty() ? std::string("the rip was not verified.") : twice);
    if (not_in_database)
        return twice.empty() ? "The disc is not in the AccurateRip database: the rip could not be verified."
                             : "Not in the AccurateRip database: " + twice;
    if (missed.empty() && unverifiable.empty())
        return "Every track accurately ripped (lowest confidence " + std::to_string(lowest) + ").";
    if (missed.empty())
        return (lowest < 0 ? "" : "Every other track accurately ripped (lowest confidence " + std::to_string(lowest) + ").") +
               (lowest < 0 ? unverifiable.substr(1) : unverifiable);
    if (not_checked && lowest < 0)
        return "The AccurateRip database gave no answer: " + (twice.empty() ? std::string("the rip could not be verified.") : twice);
    return "Not accurately ripped: " + tracks_text(missed) + (reread ? " (read again)." : ".") + unverifiable;
}

std::string rip_log_text(const RipLog& log)
{
    std::string text;
    const Toc& toc = log.toc;
    ArDiscIds ids = ar_disc_ids(toc);
    const char* sources[] = {"unknown, none applied", "from settings.ini", "from the AccurateRip drive list"};
    add(&text, "%s %s rip log\r\n\r\n", plain(log.program).c_str(), plain(log.version).c_str());
    std::string drive = log.vendor.empty() && log.product.empty() ? "not reported" : plain(log.vendor) + " - " + plain(log.product);
    text += "Date:          " + plain(log.date) + "\r\nDrive:         " + drive + "\r\n";
    add_drive_lines(&text, log.drive);
    add(&text, "Read offset:   %+d samples (%s)\r\n", log.read_offset, sources[static_cast<int>(log.offset_source)]);
    for (const std::string& line : log.settings) text += "Settings:      " + plain(line) + "\r\n";
    text += std::string("Read twice:    ") +
            (log.test_and_copy ? "where AccurateRip cannot verify (TestAndCopy=1)" : "never (TestAndCopy=0 in settings.ini)") + "\r\n";
    text += "Album:         " + plain(log.artist) + " / " + plain(log.album) + "\r\n";
    if (!log.subchannel.empty()) text += "Sub-channel:   " + plain(log.subchannel) + "\r\n";
    text += "Catalogue:     " + (log.catalog.empty() ? std::string("none") : plain(log.catalog)) + "\r\n";
    text += "Edges:         " + edges_text(log) + "\r\n\r\n";

    text += "Table of contents\r\n  Track |   Start   |  Length   | Start sector | End sector\r\n";
    for (int i = 0; i < toc.count && i < kMaxTracks; ++i) {
        const TocTrack& t = toc.tracks[i];
        add(&text, "  %5d | %9s | %9s | %12u | %10u%s\r\n", toc.first + i, time_text(t.start).c_str(), time_text(t.sectors).c_str(),
            t.start, t.start + t.sectors - (t.sectors > 0), t.audio ? "" : "  (data)");
    }
    add(&text, "  Lead-out at sector %u\r\n\r\n", toc.leadout);
    add(&text, "freedb disc id:      %08x\r\n", freedb_disc_id(toc));
    text += "MusicBrainz disc id: " + (log.musicbrainz_id.empty() ? std::string("none") : plain(log.musicbrainz_id)) + "\r\n";
    add(&text, "AccurateRip disc id: %03d-%08x-%08x-%08x\r\n", ids.audio_tracks, ids.id1, ids.id2, ids.cddb);

    for (const RipLogTrack& track : log.tracks) {
        add(&text, "\r\nTrack %2d\r\n", track.number);
        text += "  File:            " + plain(track.file_name) + "\r\n";
        if (log.checked) {
            add(&text, "  Peak level:      %.1f %%\r\n", track.peak * 100.0 / 32768);
            add(&text, "  CRC-32:          %08X\r\n", track.crc32);
            add(&text, "  AccurateRip:     v1 %08X, v2 %08X\r\n", track.ar_v1, track.ar_v2);
        } else if (track.read_twice) {
            add(&text, "  CRC-32:          %08X\r\n", track.crc32);
        } else {
            text += "  Checksums:       not taken (AccurateRip=0 in settings.ini)\r\n";
        }
        text += "  Verdict:         " + track_verdict(track) + "\r\n";
        add(&text, "  Re-reads:        %d\r\n", track.rereads);
        if (track.read_twice) text += "  Test and copy:   " + test_and_copy_text(track) + "\r\n";
        std::string unreadable = std::to_string(track.unreadable.size()) + " sectors: " + ranges_text(track.unreadable);
        text += "  Unreadable:      " + (track.unreadable.empty() ? "none" : unreadable) + "\r\n";
        if (log.drive.c2)
            text += "  C2 errors:       " + (track.c2.empty() ? std::string("none") : std::to_string(track.c2.size()) +
                                         " sectors in every read: " + ranges_text(track.c2)) + "\r\n";
        add_disc_lines(&text, track);
        if (track.measured) text += "  Loudness:        " + loudness_text(track.audible, track.lufs, track.peak) + "\r\n";
        if (!track.gain_tags.empty()) text += "  ReplayGain tags: " + plain(track.gain_tags) + "\r\n";
    }

    std::string accurate = track_list(log, Kind::kAccurate), missed = track_list(log, Kind::kMissed);
    std::string unknown = track_list(log, Kind::kNotSubmitted), silent = track_list(log, Kind::kSilent);
    text += "\r\nSummary\r\n";
    text += "  Accurately ripped:      " + (accurate.empty() ? "none" : accurate) + "\r\n";
    text += "  Not accurately ripped:  " + (missed.empty() ? "none" : missed) + "\r\n";
    if (!unknown.empty()) text += "  Not in the database:    " + unknown + "\r\n";
    if (!silent.empty()) text += "  Digital silence:        " + silent + "\r\n";
    if (!log.replaygain)
        text += "  ReplayGain:             off (ReplayGain=0 in settings.ini)\r\n";
    else if (std::any_of(log.tracks.begin(), log.tracks.end(), [](const RipLogTrack& t) { return t.measured; }))
        text += "  ReplayGain album:       " + loudness_text(log.album_audible, log.album_lufs, log.album_peak) +
                (log.album_of.empty() ? "" : " (over " + plain(log.album_of) + " alone)") + "\r\n";
    text += "  " + rip_verdict_text(log) + "\r\n\r\n";
    return text;
}

std::string rip_log_checksum_line(const uint8_t sha256[32])
{
    std::string line = "Orvo log checksum (SHA-256 of the text above): ";
    for (int i = 0; i < 32; ++i) add(&line, "%02x", sha256[i]);
    return line + "\r\n";
}
