// The tracks of a rip against the AccurateRip database: the lookup in the
// background, the checksums of every read, whether a track is read again,
// and at the end the verdict and the rip log beside the files.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/digest.h"
#include "app/globals.h"
#include "app/log.h"
#include "app/settings.h"
#include "app/whole_file.h"
#include "cdlib/cdlib.h"
#include "lookup/accuraterip.h"
#include "lookup/mb_lookup.h"
#include "lookup/web.h"
#include "proof/accurate_rip_run.h"
#include "proof/ar_checksum.h"
#include "proof/cue_sheet.h"
#include "proof/loudness.h"
#include "proof/subchannel.h"
#include "rip/capture.h"
#include "rip/names.h"
#include "rip/replaygain.h"
#include "rip/rip_state.h"

namespace {

constexpr size_t kMaxDbarBytes = 1 << 20;
constexpr DWORD kEndWaitMs = 4000;  // what the end of a rip gives a lookup still under way
constexpr int kMaxReads = 3;
constexpr int kMaxTwiceReads = 4;  // a track read twice whose reads differ: until two agree, at most this many

// One rip's question to the database and, once it is in, the answer.
struct Lookup {
    std::shared_ptr<WebFetch> fetch;
    ArDiscIds ids;
    bool in = false;  // the fields below are final
    bool in_database = false, not_in_database = false;
    std::vector<ArRecord> records;
    std::string why;  // when neither: what went wrong
};

struct RipCheck {
    bool toc_ok = false;
    Toc toc;
    int first_audio = -1, last_audio = -1;  // indexes into toc.tracks
    ReadOffsetChoice offset;
    Lookup lookup;
    std::string musicbrainz_id;
    DiscSubchannel sub;
    int drive = 0;
    std::vector<RipLogTrack> tracks;
    std::vector<CueSheetTrack> sheet;  // the same tracks
    // Whether every track is read twice (the database cannot prove the
    // rip), decided at the end of the first read.
    enum class Twice { kUndecided, kNo, kYes } twice = Twice::kUndecided;
    // The read under way.
    int track = -1;
    ArChecksum sum;
    std::unique_ptr<LoudnessMeter> meter;  // its loudness (ReplayGain)
    std::vector<std::unique_ptr<LoudnessMeter>> meters;  // of the tracks done, as `tracks`
    std::vector<uint32_t> read_crcs;  // of the track's earlier reads
};
RipCheck g_check;

void start_lookup()
{
    Lookup& lookup = g_check.lookup;
    lookup.ids = ar_disc_ids(g_check.toc);
    std::string path = ar_request_path(lookup.ids);
    if (path.empty()) return;
    g_log.print("AccurateRip: asking for %s", path.c_str());
    lookup.fetch = web_fetch_start(kArHost, path, false, kMaxDbarBytes);
}

// What the reply says, taken once it has come.
void take_answer(Lookup* lookup, bool answered, const WebReply& reply)
{
    char why[160] = "";
    if (!answered) {
        snprintf(why, sizeof why, "no answer (error %lu)", reply.error);
    } else if (reply.status == 404) {
        lookup->not_in_database = true;
    } else if (reply.status != 200 || reply.too_big) {
        snprintf(why, sizeof why, "status %lu%s", reply.status, reply.too_big ? ", too long" : "");
    } else {
        std::string error;
        lookup->in_database = ar_parse_dbar(reinterpret_cast<const uint8_t*>(reply.body.data()), reply.body.size(),
                                            lookup->ids, &lookup->records, &error);
        snprintf(why, sizeof why, "%s", error.c_str());
    }
    lookup->why = why;
    lookup->in = true;
}

// The database's answer once it is in, within `ms`; null while there is
// none (yet, or at all).
const Lookup* answered(DWORD ms)
{
    Lookup& lookup = g_check.lookup;
    WebReply reply;
    bool came = false;
    if (!lookup.in && web_fetch_done(lookup.fetch, ms, &reply, &came)) take_answer(&lookup, came, reply);
    return lookup.in ? &lookup : nullptr;
}

// The track's slot in the database's records (from 1): they follow the
// disc's tracks, a data track first (mixed mode) taking slot 1.
int record_slot(int track)
{
    return track == static_cast<int>(CDLIB_HIDDEN_TRACK) ? 0 : track + 1;  // the database has none for a hidden track
}

bool is_hidden(int track)
{
    return track == static_cast<int>(CDLIB_HIDDEN_TRACK);
}

// Sectors the track's file holds: up to the next track's index 1; a hidden
// track, those before the first track's.
uint32_t track_sectors(int track)
{
    if (!g_check.toc_ok) return 0;
    if (is_hidden(track)) return g_check.toc.tracks[0].start;
    return track >= 0 && track < g_check.toc.count ? g_check.toc.tracks[track].sectors : 0;
}

// The disc's table of contents, each audio track as long as its stream.
bool read_toc(int drive, Toc* toc)
{
    CDLIB_TOC raw;
    if (!CDLIB_GetTOC(static_cast<CDLIB_DWORD>(drive), &raw) || raw.first < 1 || raw.last < raw.first ||
        raw.last - raw.first >= kMaxTracks)
        return false;
    toc->first = raw.first;
    toc->count = raw.last - raw.first + 1;
    for (int i = 0; i < toc->count; ++i) {
        toc->tracks[i].start = raw.start[i];
        toc->tracks[i].control = raw.control[i];
        toc->tracks[i].audio = (raw.control[i] & kControlData) == 0;
    }
    toc->leadout = raw.leadout;
    finish_toc_lengths(toc, false);
    for (int i = 0; i < toc->count; ++i) {
        CDLIB_DWORD bytes = toc->tracks[i].audio ? BASS_CD_GetTrackLength(static_cast<CDLIB_DWORD>(drive), i) : 0xFFFFFFFFu;
        if (bytes != 0xFFFFFFFFu) toc->tracks[i].sectors = bytes / kSectorBytes;
    }
    return true;
}

// The first line of `text` that starts with `key`, from the key on.
std::string line_of(const std::string& text, const char* key)
{
    size_t at = text.find(key);
    return at == std::string::npos ? "" : text.substr(at, text.find_first_of("\r\n", at) - at);
}

// Whether `path` is free for this disc's `extension` file: nothing there,
// or a file of the same disc (told by its `key` line), which is replaced.
bool free_for_disc(const std::string& path, const char* key, const std::string& own_line)
{
    std::string text;
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    // One that cannot be read (held by another program) is taken as this
    // disc's: replacing it then fails, and the end box says so.
    return !read_whole_file(path.c_str(), 1 << 20, &text) || line_of(text, key) == own_line;
}

// The log's and the cue sheet's path but for the extension: "<album>" in the
// output folder, named as the tracks are (made safe, shortened to fit).
// "<album> (disc n)" for a disc of a release of several; when the folder
// holds another disc's log or cue sheet under that name, "(2)", "(3)"...
// follow, so that each disc keeps its own. "" when no name fits.
std::string beside_base(const std::string& log_key_line, const std::string& cue_key_line)
{
    const MbFound* found = g_disc_fields.found;
    char disc[32] = "";
    if (found && found->found && found->release.discs > 1) snprintf(disc, sizeof disc, " (disc %d)", found->release.disc);
    size_t folder = text_units(OutputFolder, text_rules());
    for (int copy = 1; copy < 100; ++copy) {
        char suffix[48], log_name[kMaxNameBytes];
        snprintf(suffix, sizeof suffix, copy > 1 ? "%s (%d)" : "%s", disc, copy);
        // ".part" behind the name while it is written
        if (!compose_beside_name(folder, g_disc_fields.album, suffix, ".log", 5, log_name, sizeof log_name, text_rules()))
            return "";
        std::string base = std::string(OutputFolder) + log_name;
        base.resize(base.size() - 4);
        if (free_for_disc(base + ".log", "AccurateRip disc id:", log_key_line) &&
            free_for_disc(base + ".cue", "REM DISCID", cue_key_line))
            return base;
    }
    return "";
}

// The line of the log that tells its disc.
std::string log_key_line(const std::string& text)
{
    return line_of(text, "AccurateRip disc id:");
}

std::string disc_id_text()
{
    char id[16];
    snprintf(id, sizeof id, "%08x", freedb_disc_id(g_check.toc));
    return id;
}

std::string cue_sheet(const char* genre)
{
    CueSheetInfo info;
    info.genre = genre;
    info.date = g_disc_fields.year;
    info.disc_id = disc_id_text();
    info.comment = std::string(kAppCaption) + " 1.2";
    info.performer = g_disc_fields.artist;
    info.title = g_disc_fields.album;
    info.tracks = g_check.sheet;
    info.catalog = g_check.sub.catalog;
    // Audio before the disc's first track that no file holds (a hidden track not ripped).
    if (!info.tracks.empty() && info.tracks[0].number == g_check.toc.first) info.first_pregap = g_check.toc.tracks[0].start;
    // A byte order mark tells players of cue sheets that its texts are UTF-8.
    return (GetACP() == CP_UTF8 ? "\xEF\xBB\xBF" : "") + cue_sheet_text(info);
}

// "Track 2 is pre-emphasised: ..." for the tracks whose control bits say so.
std::string pre_emphasised_text(const std::vector<RipLogTrack>& tracks)
{
    std::string list;
    for (const RipLogTrack& t : tracks)
        if (t.control & kControlPreEmphasis) list += (list.empty() ? "" : ", ") + std::to_string(t.number);
    if (list.empty()) return "";
    bool one = list.find(',') == std::string::npos;
    return std::string(one ? "Track " : "Tracks ") + list + (one ? " is" : " are") +
           " pre-emphasised: players must de-emphasise it (the files keep the disc's samples).";
}

std::string now_text()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[32];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

// The values for one file: the track's gain (not for silence) and peak,
// then the album's.
GainValues gain_values(const RipLogTrack& t, const RipLog& log, bool album)
{
    GainValues values;
    if (t.audible) values.push_back({"REPLAYGAIN_TRACK_GAIN", replaygain_gain_text(t.lufs)});
    values.push_back({"REPLAYGAIN_TRACK_PEAK", replaygain_peak_text(t.peak)});
    if (album && log.album_audible) values.push_back({"REPLAYGAIN_ALBUM_GAIN", replaygain_gain_text(log.album_lufs)});
    if (album) values.push_back({"REPLAYGAIN_ALBUM_PEAK", replaygain_peak_text(log.album_peak)});
    return values;
}

// The album's loudness over the tracks ripped, and every tagged file's
// values written into it: all four, else the track's alone.
void put_replaygain(RipLog* log)
{
    log->replaygain = g_replaygain;
    if (!g_replaygain) return;
    std::vector<const LoudnessMeter*> meters;
    for (size_t i = 0; i < g_check.tracks.size(); ++i) {
        meters.push_back(g_check.meters[i].get());
        if (g_check.tracks[i].peak > log->album_peak) log->album_peak = g_check.tracks[i].peak;
    }
    log->album_audible = album_loudness(meters, &log->album_lufs);
    int audio_tracks = 0;
    for (int i = 0; i < g_check.toc.count; ++i) audio_tracks += g_check.toc.tracks[i].audio ? 1 : 0;
    int disc_tracks = 0;
    for (const RipLogTrack& t : g_check.tracks) disc_tracks += t.number > 0 ? 1 : 0;
    std::vector<uint32_t> numbers;
    for (const RipLogTrack& t : g_check.tracks) numbers.push_back(static_cast<uint32_t>(t.number));
    if (disc_tracks < audio_tracks) log->album_of = "tracks " + ranges_text(numbers);
    g_log.print("ReplayGain: album %s%s", log->album_audible ? replaygain_gain_text(log->album_lufs).c_str() : "(silence)",
                log->album_of.empty() ? "" : (" over " + log->album_of).c_str());
    for (RipLogTrack& t : g_check.tracks) {
        std::string path = std::string(OutputFolder) + t.file_name;
        if (rip_format() == OutputFormat::kWav || !t.measured) continue;
        std::string why = write_gain_tags(path, gain_values(t, *log, true));
        if (why.empty()) {
            t.gain_tags = "written (track and album)";
        } else if (why.find("no room") != std::string::npos && write_gain_tags(path, gain_values(t, *log, false)).empty()) {
            t.gain_tags = "the track's alone: " + why + " for the album's";
        } else {
            t.gain_tags = "not written: " + why;
        }
        g_log.print("ReplayGain tags of %s: %s", t.file_name.c_str(), t.gain_tags.c_str());
    }
}

// Whether the database can prove this rip: when it does not know the disc,
// gives no answer (within a few seconds, Abort watched) or is not asked,
// every track is read twice and the reads compared, unless TestAndCopy=0.
void decide_read_twice()
{
    bool twice = false;
    if (!g_test_and_copy) {
        g_log.print("read twice: off (TestAndCopy=0)");
    } else if (!g_accuraterip_check || !g_check.lookup.fetch) {
        g_log.print("read twice: every track (AccurateRip not asked)");
        twice = true;
    } else {
        DWORD waited = GetTickCount();
        const Lookup* lookup = answered(0);
        while (!lookup && !g_rip_abort.load() && GetTickCount() - waited < kEndWaitMs) lookup = answered(50);
        twice = !lookup || !lookup->in_database;
        g_log.print("read twice: %s", !twice ? "no, the database knows the disc"
                                      : !lookup ? "every track (no answer from AccurateRip in time)"
                                      : lookup->not_in_database ? "every track (the disc is not in the AccurateRip database)"
                                                                : "every track (AccurateRip gave no usable answer)");
    }
    g_check.twice = twice ? RipCheck::Twice::kYes : RipCheck::Twice::kNo;
}

}  // namespace

void ar_rip_begin(int drive, const ReadOffsetChoice& offset)
{
    g_check = RipCheck();
    g_check.offset = offset;
    g_check.toc_ok = read_toc(drive, &g_check.toc);
    g_check.musicbrainz_id = mb_drive_disc_id(drive);
    g_check.drive = drive;
    if (g_check.toc_ok) g_check.sub = read_subchannel(drive, g_check.toc);
    for (int i = 0; g_check.toc_ok && i < g_check.toc.count; ++i) {
        if (!g_check.toc.tracks[i].audio) continue;
        if (g_check.first_audio < 0) g_check.first_audio = i;
        g_check.last_audio = i;
    }
    if (g_check.first_audio >= 0 && g_accuraterip_check) start_lookup();
}

void ar_read_begin(int track)
{
    if (track != g_check.track) g_check.read_crcs.clear();
    g_check.track = track;
    ar_checksum_start(&g_check.sum, track_sectors(track) * 588ull, track == g_check.first_audio, track == g_check.last_audio);
    g_check.meter.reset();
    if (g_replaygain) {
        g_check.meter = std::make_unique<LoudnessMeter>();
        if (!g_check.meter->start()) g_check.meter.reset(), g_log.print("ReplayGain: no loudness meter");
    }
    g_check.sum.loudness = g_check.meter.get();
    g_capture_checksum = g_accuraterip_check || g_test_and_copy || g_check.meter ? &g_check.sum : nullptr;
}

bool ar_reading_again()
{
    return !g_check.read_crcs.empty();
}

bool ar_read_again(int track, unsigned long unread)
{
    g_capture_checksum = nullptr;
    g_check.read_crcs.push_back(g_check.sum.crc32);
    int number = is_hidden(track) ? 0 : g_check.toc.first + track;
    if (g_check.twice == RipCheck::Twice::kUndecided) decide_read_twice();
    if (g_check.twice == RipCheck::Twice::kYes) {
        // Until the last read agrees with an earlier one.
        const std::vector<uint32_t>& crcs = g_check.read_crcs;
        bool agrees = false;
        for (size_t i = 0; i + 1 < crcs.size(); ++i) agrees = agrees || crcs[i] == crcs.back();
        if (agrees || static_cast<int>(crcs.size()) >= kMaxTwiceReads) return false;
        g_log.print("track %d: read %d of at most %d, CRC32 %08X: read again to verify", number,
                    static_cast<int>(crcs.size()), kMaxTwiceReads, crcs.back());
        return true;
    }
    if (static_cast<int>(g_check.read_crcs.size()) >= kMaxReads) return false;
    // A disc the database does not know (or no answer yet) is read once.
    const Lookup* lookup = answered(0);
    if (!lookup || !lookup->in_database) return false;
    if (unread == 0) {
        // Matched, or nothing to match: nobody submitted the track, or its
        // checksums are those of digital silence. Another read tells nothing.
        ArMatch match = ar_match_track(lookup->records, record_slot(track), g_check.sum.v1, g_check.sum.v2);
        if (match.matched || !match.submitted || (g_check.sum.v1 == 0 && g_check.sum.v2 == 0)) return false;
    }
    g_log.print("track %d: read %d of %d did not match the database%s: read again", number,
                static_cast<int>(g_check.read_crcs.size()), kMaxReads, unread ? " (unreadable sectors)" : "");
    return true;
}

void ar_add_codes(int track, TagSet* tags)
{
    if (track >= 0 && track < kMaxTracks) tags->isrc = g_check.sub.isrc[track];
    tags->barcode = g_check.sub.catalog;
}

void ar_track_done(int track, const char* file_name, const char* title, const std::vector<uint32_t>& unread,
                   const std::vector<uint32_t>& c2)
{
    bool known = g_check.toc_ok && track >= 0 && track < g_check.toc.count;
    const TrackIndexes& indexes = g_check.sub.indexes[known ? track : 0];
    std::vector<uint32_t> later;  // from the track's index 1
    for (uint32_t sector : indexes.later)
        if (known) later.push_back(sector - g_check.toc.tracks[track].start);
    CueSheetTrack entry;
    entry.number = is_hidden(track) ? 0 : g_check.toc.first + track;
    entry.control = known ? g_check.toc.tracks[track].control : 0;
    entry.isrc = known ? g_check.sub.isrc[track] : "";
    entry.sectors = track_sectors(track);
    entry.pregap = known ? indexes.pregap : 0;
    // The first track's pregap is the hidden track's file, when there is one.
    if (track == 0 && !g_check.sheet.empty() && g_check.sheet.back().number == 0) entry.pregap = g_check.toc.tracks[0].start;
    entry.later = later;
    entry.file_name = file_name;
    entry.title = title;
    entry.performer = g_disc_fields.track_artist[0] ? g_disc_fields.track_artist : g_disc_fields.artist;
    g_check.sheet.push_back(entry);
    g_capture_checksum = nullptr;
    RipLogTrack t;
    t.number = entry.number;
    t.file_name = file_name;
    t.peak = g_check.sum.peak;
    t.crc32 = g_check.sum.crc32;
    t.ar_v1 = g_check.sum.v1;
    t.ar_v2 = g_check.sum.v2;
    t.rereads = g_check.read_crcs.empty() ? 0 : static_cast<int>(g_check.read_crcs.size()) - 1;
    t.read_twice = g_check.twice == RipCheck::Twice::kYes;
    if (t.read_twice) t.read_crcs = g_check.read_crcs;
    for (uint32_t crc : g_check.read_crcs) t.reads_agree = t.reads_agree && crc == t.crc32;
    t.unreadable = unread;
    t.c2 = c2;
    t.control = entry.control;
    t.gaps_known = g_check.sub.searched;
    t.pregap = entry.pregap;
    t.later = later;
    t.isrc = entry.isrc;
    t.confidence = record_slot(track);  // the database's slot until the verdict
    t.measured = g_check.meter != nullptr;
    t.audible = t.measured && g_check.meter->loudness(&t.lufs);
    g_check.tracks.push_back(t);
    g_check.meters.push_back(std::move(g_check.meter));
    g_check.track = -1;
    g_log.print("track %d: CRC32 %08X, AccurateRip v1 %08X v2 %08X", t.number, t.crc32, t.ar_v1, t.ar_v2);
}

std::string ar_rip_end(const std::vector<std::string>& settings, bool finished, bool succeeded, const char* genre,
                       bool* aborted)
{
    g_capture_checksum = nullptr;
    *aborted = false;
    if (g_check.tracks.empty() || !finished) return "";
    // The answer still under way is waited for while Abort is not pressed;
    // an aborted rip leaves no log and no cue sheet.
    DWORD waited = GetTickCount();
    const Lookup* lookup = answered(0);
    if (!lookup && g_check.lookup.fetch) g_log.print("AccurateRip: waiting for the answer");
    while (!lookup && g_check.lookup.fetch && !g_rip_abort.load() && GetTickCount() - waited < kEndWaitMs)
        lookup = answered(50);
    g_log.print("AccurateRip: the end of the rip waited %lu ms for the answer", GetTickCount() - waited);
    if ((*aborted = g_rip_abort.load() != 0)) return "";  // from here on the rip counts as finished
    if (!lookup) g_log.print(g_accuraterip_check ? "AccurateRip: no answer in time" : "AccurateRip: off");
    else if (!lookup->why.empty()) g_log.print("AccurateRip: %s", lookup->why.c_str());
    for (RipLogTrack& t : g_check.tracks) {
        int slot = t.confidence;
        t.confidence = 0;
        if (!lookup || (!lookup->in_database && !lookup->not_in_database)) continue;
        if (lookup->not_in_database) {
            t.verdict = ArVerdict::kNotInDatabase;
            continue;
        }
        ArMatch match = ar_match_track(lookup->records, slot, t.ar_v1, t.ar_v2);
        // Digital silence sums to 0, which the database stores as "nothing":
        // it is told as silence before a checksum the database lacks.
        t.verdict = match.matched                  ? ArVerdict::kAccurate
                    : t.ar_v1 == 0 && t.ar_v2 == 0 ? ArVerdict::kSilent
                    : !match.submitted             ? ArVerdict::kNotSubmitted
                                                   : ArVerdict::kNoMatch;
        t.confidence = match.matched ? match.confidence : match.best_confidence;
    }
    RipLog log;
    put_replaygain(&log);
    log.program = kAppCaption;
    log.version = "1.2";
    log.date = now_text();
    log.vendor = g_check.offset.vendor;
    log.product = g_check.offset.product;
    CDLIB_DRIVEINFO info = {};
    if (CDLIB_GetDriveInfo(static_cast<CDLIB_DWORD>(g_check.drive), &info)) {
        log.drive = {info.reported != 0, info.c2 != 0,  info.accurate != 0, info.buffer_kib, info.cache,
                     info.disc_ms,       info.cache_ms, info.defeat,        info.defeats};
    }
    log.read_offset = g_check.offset.samples;
    log.offset_source = g_check.offset.source;
    log.settings = settings;
    log.artist = g_disc_fields.artist;
    log.album = g_disc_fields.album;
    log.toc = g_check.toc;
    log.musicbrainz_id = g_check.musicbrainz_id;
    log.catalog = g_check.sub.catalog;
    log.subchannel = g_check.sub.how;
    log.tracks = g_check.tracks;
    log.checked = g_accuraterip_check;
    log.test_and_copy = g_test_and_copy;
    std::string text = rip_log_text(log);
    std::string verdict = rip_verdict_text(log);
    g_log.print("AccurateRip: %s", verdict.c_str());
    // No answer at all is for the log alone: the rip is as it always was.
    bool told = lookup && (lookup->in_database || lookup->not_in_database);
    for (const RipLogTrack& t : g_check.tracks) told = told || !track_reads_agree(t);
    if (!told) verdict.clear();
    std::string emphasised = pre_emphasised_text(g_check.tracks);
    if (!emphasised.empty()) verdict += (verdict.empty() ? "" : "\n") + emphasised;

    // The log and the cue sheet beside the files; one that cannot be
    // written is said at the end.
    bool sheet_wanted = succeeded && g_check.toc_ok;
    if (sheet_wanted && !cue_sheet_tracks_in_a_run(g_check.sheet)) {
        g_log.print("no cue sheet: the tracks ripped are not one run of the disc");
        sheet_wanted = false;
    }
    std::string base = beside_base(log_key_line(text), "REM DISCID " + disc_id_text());
    uint8_t digest[32];
    bool log_written = !base.empty() && sha256_digest(text, digest) &&
                       replace_file(base + ".log", text + rip_log_checksum_line(digest));
    bool sheet_written = !sheet_wanted || (!base.empty() && replace_file(base + ".cue", cue_sheet(genre)));
    if (base.empty()) g_log.print("no name for the rip log fits the folder %s", OutputFolder);
    const char* unwritten = !log_written && !sheet_written ? "The rip log and the cue sheet could not be written."
                            : !log_written                 ? "The rip log could not be written."
                            : !sheet_written               ? "The cue sheet could not be written."
                                                           : "";
    if (unwritten[0]) verdict += (verdict.empty() ? "" : "\n") + std::string(unwritten);
    return verdict;
}
