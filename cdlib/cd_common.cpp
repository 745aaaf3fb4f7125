// The drive, disc and stream calls, on top of whichever back end is linked.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cdlib/cdlib.h"
#include "cdlib/cdlib_internal.h"
#include "cdlib/drives.h"
#include "cdlib/text_utf8.h"

namespace {

std::mutex g_mutex;  // guards everything below
bool g_listed = false;
int g_drive_count = 0;
DriveName g_drives[kMaxDrives];
// The last CDDB text and CD-TEXT run handed out per drive, one set per
// thread: a text stays valid while other threads query the same drive.
thread_local std::string g_ids[kMaxDrives][2];
CDLIB_LOGPROC g_log_proc = nullptr;
std::atomic<CDLIB_STOPPROC> g_stop_proc{nullptr};
int g_read_offsets[kMaxDrives] = {};  // samples, per drive

constexpr uint32_t kReadAheadSectors = 64;  // what a stream asks the drive for at once

struct Stream {
    int drive;
    int track;
    int number;      // the track's number on the disc
    uint32_t start;  // first sector
    uint64_t length; // bytes
    uint64_t position = 0;
    // The drive's correction in bytes: the track's byte b is read at disc
    // byte start * 2352 + b + shift. Sectors outside [lowest, end) (the
    // disc's audio) are never read; they give silence.
    int64_t shift = 0;
    uint32_t lowest = 0, end = 0;
    bool ended = false;
    // pacing for drives that read at a limited speed
    DWORD paced_since = 0;
    uint64_t paced_bytes = 0;
    uint32_t silenced = 0;        // not yet logged
    uint32_t unread = 0;          // of the current track
    std::vector<uint32_t> unread_list;  // which, as far as the back end tells
    std::vector<uint32_t> c2_list;      // sectors whose every read had C2 errors
    // Sectors read ahead: [ahead_first, ahead_first + ahead_count) of the disc.
    std::vector<uint8_t> ahead;
    uint32_t ahead_first = 0;
    uint32_t ahead_count = 0;
};
std::vector<std::unique_ptr<Stream>> g_streams;  // handle = index + 1

void list_drives_once()
{
    if (g_listed) return;
    g_listed = true;
    g_drive_count = backend_list_drives(g_drives, kMaxDrives);
    if (g_drive_count > kMaxDrives) g_drive_count = kMaxDrives;
    if (g_drive_count < 0) g_drive_count = 0;
}

bool valid_drive(CDLIB_DWORD drive)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    list_drives_once();
    return drive < static_cast<CDLIB_DWORD>(g_drive_count);
}

Stream* find_stream(CDLIB_DWORD handle)
{
    if (handle == 0 || handle > g_streams.size()) return nullptr;
    return g_streams[handle - 1].get();
}

// The disc in the drive, or an error code set for the caller.
bool read_disc(CDLIB_DWORD drive, Toc* toc, CdText* text, bool text_wanted = false)
{
    if (!valid_drive(drive)) return cdlib_fail(CDLIB_ERROR_DEVICE);
    int error = backend_read_disc(static_cast<int>(drive), toc, text, text_wanted);
    if (error != CDLIB_OK) return cdlib_fail(error);
    return true;
}

const TocTrack* audio_track(const Toc& toc, CDLIB_DWORD track)
{
    if (track == CDLIB_HIDDEN_TRACK) {
        // Sectors 0 up to the first track's index 1, as a track of its own.
        thread_local TocTrack hidden;
        if (toc.count < 1 || !toc.tracks[0].audio || toc.tracks[0].start == 0) return nullptr;
        hidden = {0, toc.tracks[0].start, true, toc.tracks[0].control};
        return &hidden;
    }
    if (track >= static_cast<CDLIB_DWORD>(toc.count) || !toc.tracks[track].audio) return nullptr;
    return &toc.tracks[track];
}

// Points the stream at a track of the disc, with the drive's correction.
void aim_stream(Stream* s, const Toc& toc, const TocTrack& t)
{
    s->start = t.start;
    s->length = static_cast<uint64_t>(t.sectors) * kSectorBytes;
    s->shift = 4 * static_cast<int64_t>(g_read_offsets[s->drive]);
    s->lowest = t.start;  // a hidden track lies before every track's start
    s->end = 0;
    for (int i = 0; i < toc.count; ++i) {
        if (!toc.tracks[i].audio) continue;
        s->lowest = std::min(s->lowest, toc.tracks[i].start);
        s->end = std::max(s->end, toc.tracks[i].start + toc.tracks[i].sectors);
    }
}

}  // namespace

void CDLIB_SetLogProc(CDLIB_LOGPROC proc)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_log_proc = proc;
}

int CDLIB_SetReadOffset(CDLIB_DWORD drive, int samples)
{
    if (!valid_drive(drive)) return cdlib_fail(CDLIB_ERROR_DEVICE);
    if (samples < -CDLIB_MAX_READ_OFFSET || samples > CDLIB_MAX_READ_OFFSET) return cdlib_fail(CDLIB_ERROR_ILLPARAM);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_read_offsets[drive] = samples;
    cdlib_ok();
    return 1;
}

int CDLIB_GetDriveModel(CDLIB_DWORD drive, const char** vendor, const char** product)
{
    if (!valid_drive(drive)) return cdlib_fail(CDLIB_ERROR_DEVICE);
    *vendor = g_drives[drive].vendor;
    *product = g_drives[drive].product;
    cdlib_ok();
    return 1;
}

void CDLIB_SetStopProc(CDLIB_STOPPROC proc)
{
    g_stop_proc = proc;
}

bool cdlib_stop_asked()
{
    CDLIB_STOPPROC proc = g_stop_proc.load();
    return proc && proc() != 0;
}

void cdlib_log(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    CDLIB_LOGPROC proc;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        proc = g_log_proc;
    }
    if (proc) proc(line);
}

const char* BASS_CD_GetDriveDescription(CDLIB_DWORD drive)
{
    if (!valid_drive(drive)) {
        cdlib_fail(CDLIB_ERROR_DEVICE);
        return nullptr;
    }
    cdlib_ok();
    return g_drives[drive].description;
}

CDLIB_DWORD BASS_CD_GetDriveLetter(CDLIB_DWORD drive)
{
    if (!valid_drive(drive)) {
        cdlib_fail(CDLIB_ERROR_DEVICE);
        return 0xFFFFFFFFu;
    }
    cdlib_ok();
    return static_cast<CDLIB_DWORD>(g_drives[drive].letter);
}

int BASS_CD_IsReady(CDLIB_DWORD drive)
{
    Toc toc;
    CdText text;
    if (!read_disc(drive, &toc, &text)) return 0;
    cdlib_ok();
    return 1;
}

int BASS_CD_GetTracks(CDLIB_DWORD drive)
{
    Toc toc;
    CdText text;
    if (!read_disc(drive, &toc, &text)) return -1;
    cdlib_ok();
    return toc.count;
}

CDLIB_DWORD BASS_CD_GetTrackLength(CDLIB_DWORD drive, CDLIB_DWORD track)
{
    Toc toc;
    CdText text;
    if (!read_disc(drive, &toc, &text)) return 0xFFFFFFFFu;
    const TocTrack* t = audio_track(toc, track);
    if (!t) {
        cdlib_fail(CDLIB_ERROR_CDTRACK);
        return 0xFFFFFFFFu;
    }
    cdlib_ok();
    return t->sectors * kSectorBytes;
}

namespace {

// The system's ANSI code page, which the program's declaration of UTF-8
// does not change: what a cue sheet of old is written in.
UINT system_ansi_code_page()
{
    DWORD page = 0;
    GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                   reinterpret_cast<LPWSTR>(&page), sizeof page / sizeof(WCHAR));
    return page && page != CP_UTF8 ? page : 1252;
}

// A disc's text in the program's code page: where Windows took UTF-8 as
// that, ISO-8859-1 and the double-byte codes are converted to it; else the
// bytes stay as they are (an ANSI code page's, as on the systems of old).
std::string program_text(const std::string& bytes, int code)
{
    if (GetACP() != CP_UTF8 || code == kCdTextUtf8) return bytes;
    UINT page = code == kCdTextMsJis ? 932 : code == kCdTextKorean ? 949 : code == kCdTextMandarin ? 936 : 0;
    if (code == kCdTextAnsi) page = system_ansi_code_page();
    if (page == 0) return latin1_to_utf8(bytes);
    int wide = MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(wide > 0 ? wide : 0, L'\0');
    if (wide > 0) MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], wide);
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size : 0, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, &utf8[0], size, nullptr, nullptr);
    return utf8;
}

void convert_texts(CdText* text)
{
    for (int i = 0; i < 100; ++i) {
        text->titles[i] = program_text(text->titles[i], text->character_code);
        text->performers[i] = program_text(text->performers[i], text->character_code);
    }
}

}  // namespace

const char* BASS_CD_GetID(CDLIB_DWORD drive, CDLIB_DWORD id)
{
    if (id != BASS_CDID_CDDB && id != BASS_CDID_TEXT) {
        cdlib_fail(CDLIB_ERROR_ILLPARAM);
        return nullptr;
    }
    Toc toc;
    CdText text;
    if (!read_disc(drive, &toc, &text, id == BASS_CDID_TEXT)) return nullptr;
    if (id == BASS_CDID_TEXT) convert_texts(&text);
    std::string value = id == BASS_CDID_CDDB ? cddb_query_text(toc) : cdtext_entries(text, toc.first + toc.count - 1);
    if (value.empty()) {
        cdlib_fail(CDLIB_ERROR_NOTAVAIL);
        return nullptr;
    }
    std::string& slot = g_ids[drive][id == BASS_CDID_CDDB ? 0 : 1];
    slot = value;
    cdlib_ok();
    return slot.c_str();  // the run keeps its inner NULs and ends with two
}

int CDLIB_ReadQ(CDLIB_DWORD drive, CDLIB_DWORD sector, unsigned char q[16])
{
    if (!q) return cdlib_fail(CDLIB_ERROR_ILLPARAM);
    int status = backend_read_q(static_cast<int>(drive), sector, q);
    return status == CDLIB_OK ? (cdlib_ok(), 1) : cdlib_fail(status);
}

namespace {

// The disc's catalogue number, or a track's ISRC, into `out` (bounded).
int read_code(CDLIB_DWORD drive, int track, char* out, size_t size)
{
    if (!out) return cdlib_fail(CDLIB_ERROR_ILLPARAM);
    std::string catalog, isrc;
    int status = backend_read_codes(static_cast<int>(drive), track, &catalog, &isrc);
    if (status != CDLIB_OK) return cdlib_fail(status);
    snprintf(out, size, "%s", track < 0 ? catalog.c_str() : isrc.c_str());
    cdlib_ok();
    return 1;
}

}  // namespace

int CDLIB_GetCatalog(CDLIB_DWORD drive, char catalog[14])
{
    return read_code(drive, -1, catalog, 14);
}

int CDLIB_GetIsrc(CDLIB_DWORD drive, CDLIB_DWORD track, char isrc[13])
{
    return read_code(drive, static_cast<int>(track), isrc, 13);
}

int CDLIB_GetTOC(CDLIB_DWORD drive, CDLIB_TOC* out)
{
    Toc toc;
    CdText text;
    if (!out) return cdlib_fail(CDLIB_ERROR_ILLPARAM);
    if (!read_disc(drive, &toc, &text)) return 0;
    *out = CDLIB_TOC();
    out->first = toc.first;
    out->last = toc.first + toc.count - 1;
    for (int i = 0; i < toc.count; ++i) {
        out->start[i] = toc.tracks[i].start;
        out->control[i] = toc.tracks[i].control;
    }
    out->leadout = toc.leadout;
    cdlib_ok();
    return 1;
}

HSTREAM BASS_CD_StreamCreate(CDLIB_DWORD drive, CDLIB_DWORD track, CDLIB_DWORD)
{
    Toc toc;
    CdText text;
    if (!read_disc(drive, &toc, &text)) return 0;
    const TocTrack* t = audio_track(toc, track);
    if (!t) return cdlib_fail(CDLIB_ERROR_CDTRACK);
    auto stream = std::make_unique<Stream>();
    stream->drive = static_cast<int>(drive);
    stream->track = static_cast<int>(track);
    stream->number = track == CDLIB_HIDDEN_TRACK ? 0 : toc.first + static_cast<int>(track);
    std::lock_guard<std::mutex> lock(g_mutex);
    aim_stream(stream.get(), toc, *t);
    g_streams.push_back(std::move(stream));
    cdlib_ok();
    return static_cast<HSTREAM>(g_streams.size());
}

int BASS_CD_StreamSetTrack(HSTREAM handle, CDLIB_DWORD track)
{
    int drive;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        Stream* s = find_stream(handle);
        if (!s) return cdlib_fail(CDLIB_ERROR_HANDLE);
        drive = s->drive;
    }
    Toc toc;
    CdText text;
    bool ok = read_disc(static_cast<CDLIB_DWORD>(drive), &toc, &text);
    const TocTrack* t = ok ? audio_track(toc, track) : nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    Stream* s = find_stream(handle);
    if (!t) {
        // Nothing of the earlier track (or its read-ahead) may come out now.
        s->ended = true;
        s->ahead_count = 0;
        return ok ? cdlib_fail(CDLIB_ERROR_CDTRACK) : 0;
    }
    s->track = static_cast<int>(track);
    s->number = track == CDLIB_HIDDEN_TRACK ? 0 : toc.first + static_cast<int>(track);
    aim_stream(s, toc, *t);
    s->position = 0;
    s->unread = 0;
    s->unread_list.clear();
    s->c2_list.clear();
    s->ended = false;
    s->ahead_count = 0;
    s->paced_since = GetTickCount();
    s->paced_bytes = 0;
    cdlib_ok();
    return 1;
}

// One byte count of a stream (its length or its position), or ~0 for a bad handle.
static CDLIB_QWORD stream_bytes(CDLIB_DWORD handle, uint64_t Stream::*field)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    Stream* s = find_stream(handle);
    if (!s) {
        cdlib_fail(CDLIB_ERROR_HANDLE);
        return ~0ull;
    }
    cdlib_ok();
    return s->*field;
}

CDLIB_QWORD BASS_ChannelGetLength(CDLIB_DWORD handle)
{
    return stream_bytes(handle, &Stream::length);
}

CDLIB_QWORD BASS_ChannelGetPosition(CDLIB_DWORD handle)
{
    return stream_bytes(handle, &Stream::position);
}

float BASS_ChannelBytes2Seconds(CDLIB_DWORD, CDLIB_QWORD bytes)
{
    return static_cast<float>(static_cast<double>(bytes) / kBytesPerSecond);
}

int BASS_ChannelPlay(CDLIB_DWORD handle, int)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    Stream* s = find_stream(handle);
    if (!s) return cdlib_fail(CDLIB_ERROR_HANDLE);
    s->paced_since = GetTickCount();
    s->paced_bytes = 0;
    cdlib_ok();
    return 1;
}

CDLIB_DWORD BASS_ChannelIsActive(CDLIB_DWORD handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    Stream* s = find_stream(handle);
    if (!s || s->ended || s->position >= s->length) return BASS_ACTIVE_STOPPED;
    return BASS_ACTIVE_PLAYING;
}

static thread_local std::vector<uint32_t>* t_unread_list;  // of the stream reading on this thread
static thread_local std::vector<uint32_t>* t_c2_list;

void cdlib_note_unread(uint32_t sector)
{
    if (t_unread_list && t_unread_list->size() < 100000) t_unread_list->push_back(sector);
}

void cdlib_note_c2(uint32_t sector)
{
    if (t_c2_list && t_c2_list->size() < 100000) t_c2_list->push_back(sector);
}

// The disc byte the track's byte `at` is read from (may lie outside the disc).
static int64_t disc_byte(const Stream* s, uint64_t at)
{
    return static_cast<int64_t>(s->start) * kSectorBytes + static_cast<int64_t>(at) + s->shift;
}

// Fills the stream's read-ahead from disc sector `first`: up to
// kReadAheadSectors, never past the sectors the track needs nor the disc's
// audio. Returns CDLIB_OK or an error.
static int read_ahead(Stream* s, uint32_t first, uint32_t* silenced)
{
    int64_t needed = (disc_byte(s, s->length) + kSectorBytes - 1) / kSectorBytes;
    uint32_t end = static_cast<uint32_t>(std::min<int64_t>(needed, s->end));
    uint32_t count = end - first < kReadAheadSectors ? end - first : kReadAheadSectors;
    s->ahead.resize(static_cast<size_t>(kReadAheadSectors) * kSectorBytes);
    s->ahead_count = 0;
    t_unread_list = &s->unread_list;
    t_c2_list = &s->c2_list;
    int error = backend_read_audio(s->drive, first, count, s->ahead.data(), silenced);
    t_unread_list = nullptr;
    t_c2_list = nullptr;
    if (error != CDLIB_OK) return error;
    s->ahead_first = first;
    s->ahead_count = count;
    return CDLIB_OK;
}

CDLIB_DWORD BASS_ChannelGetData(CDLIB_DWORD handle, void* buffer, CDLIB_DWORD length)
{
    // Streams are read by one thread each; the table lock guards only the
    // table, so the stream is used outside it.
    Stream* s;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        s = find_stream(handle);
    }
    if (!s) {
        cdlib_fail(CDLIB_ERROR_HANDLE);
        return 0xFFFFFFFFu;
    }
    if (s->ended || s->position >= s->length) {
        cdlib_fail(CDLIB_ERROR_ENDED);
        return 0xFFFFFFFFu;
    }
    uint64_t wanted = length;
    if (wanted > s->length - s->position) wanted = s->length - s->position;
    auto* out = static_cast<uint8_t*>(buffer);
    uint64_t given = 0;
    uint32_t silenced = 0;
    while (given < wanted) {
        int64_t at = disc_byte(s, s->position + given);
        int64_t sector_at = at >= 0 ? at / kSectorBytes : -1;
        if (sector_at < s->lowest || sector_at >= s->end) {
            // Past the disc's audio: silence up to the next sector.
            int64_t n = at >= 0 ? kSectorBytes - at % kSectorBytes : -at;
            n = std::min<int64_t>(n, static_cast<int64_t>(wanted - given));
            if (sector_at >= s->lowest) n = static_cast<int64_t>(wanted - given);
            memset(out + given, 0, static_cast<size_t>(n));
            given += static_cast<uint64_t>(n);
            continue;
        }
        uint32_t sector = static_cast<uint32_t>(sector_at);
        if (sector < s->ahead_first || sector >= s->ahead_first + s->ahead_count) {
            int error = cdlib_stop_asked() ? CDLIB_ERROR_STOPPED : read_ahead(s, sector, &silenced);
            if (error != CDLIB_OK) {
                // The disc went away, or the program stopped the read: the stream has nothing more to give.
                s->ended = true;
                cdlib_fail(error);
                return 0xFFFFFFFFu;
            }
        }
        uint64_t offset = static_cast<uint64_t>(sector - s->ahead_first) * kSectorBytes + static_cast<uint64_t>(at % kSectorBytes);
        uint64_t available = static_cast<uint64_t>(s->ahead_count) * kSectorBytes - offset;
        uint64_t n = wanted - given < available ? wanted - given : available;
        memcpy(out + given, s->ahead.data() + offset, static_cast<size_t>(n));
        given += n;
    }
    s->position += wanted;
    s->silenced += silenced;
    s->unread += silenced;
    uint32_t report_silenced = 0;
    if (s->position >= s->length && s->silenced > 0) {
        report_silenced = s->silenced;
        s->silenced = 0;
    }
    DWORD sleep_ms = 0;
    int speed = backend_read_speed(s->drive);
    if (speed > 0) {
        s->paced_bytes += wanted;
        uint64_t due_ms = s->paced_bytes * 1000 / (static_cast<uint64_t>(kBytesPerSecond) * speed);
        DWORD elapsed = GetTickCount() - s->paced_since;
        if (due_ms > elapsed) sleep_ms = static_cast<DWORD>(due_ms - elapsed);
    }
    if (report_silenced)
        cdlib_log("track %d: %u sectors could not be read and were given as silence", s->number, report_silenced);
    if (sleep_ms) Sleep(sleep_ms);
    cdlib_ok();
    return static_cast<CDLIB_DWORD>(wanted);
}

// One of the stream's lists of sectors, at most `max` of them into
// `sectors`; how many there are.
static CDLIB_DWORD stream_sectors(HSTREAM handle, std::vector<uint32_t> Stream::*list, CDLIB_DWORD* sectors, CDLIB_DWORD max)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    Stream* s = find_stream(handle);
    if (!s) {
        cdlib_fail(CDLIB_ERROR_HANDLE);
        return 0xFFFFFFFFu;
    }
    const std::vector<uint32_t>& all = s->*list;
    for (CDLIB_DWORD i = 0; i < max && i < all.size(); ++i) sectors[i] = all[i];
    cdlib_ok();
    return static_cast<CDLIB_DWORD>(all.size());
}

CDLIB_DWORD CDLIB_StreamUnreadList(HSTREAM handle, CDLIB_DWORD* sectors, CDLIB_DWORD max)
{
    return stream_sectors(handle, &Stream::unread_list, sectors, max);
}

CDLIB_DWORD CDLIB_StreamC2List(HSTREAM handle, CDLIB_DWORD* sectors, CDLIB_DWORD max)
{
    return stream_sectors(handle, &Stream::c2_list, sectors, max);
}

int CDLIB_GetDriveInfo(CDLIB_DWORD drive, CDLIB_DRIVEINFO* info)
{
    if (!info) return cdlib_fail(CDLIB_ERROR_ILLPARAM);
    list_drives_once();
    int status = backend_drive_info(static_cast<int>(drive), info);
    if (status != CDLIB_OK) return cdlib_fail(status);
    cdlib_ok();
    return 1;
}

CDLIB_DWORD CDLIB_StreamUnreadSectors(HSTREAM handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    Stream* s = find_stream(handle);
    if (!s) {
        cdlib_fail(CDLIB_ERROR_HANDLE);
        return 0xFFFFFFFFu;
    }
    cdlib_ok();
    return s->unread;
}
