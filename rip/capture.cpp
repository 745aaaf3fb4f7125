#include "capture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "app/settings.h"
#include "cd/library_error.h"
#include "cdlib/cdlib.h"
#include "rip/flac.h"
#include "rip/names.h"
#include "rip/rip_state.h"

namespace {

constexpr int kMaxDrives = 32;
constexpr CDLIB_DWORD kBlockBytes = 20000;

HSTREAM g_streams[kMaxDrives];  // one decode stream per drive, kept for later captures
char g_block[kBlockBytes];

// The drive's stream set to `track`, or 0 when the disc has no such audio
// track now (a disc changed since the list was read, a data track).
HSTREAM stream_for(int drive, int track)
{
    if (drive < 0 || drive >= kMaxDrives) return 0;
    if (g_streams[drive]) return BASS_CD_StreamSetTrack(g_streams[drive], track) ? g_streams[drive] : 0;
    g_log.print("create stream");
    g_streams[drive] = BASS_CD_StreamCreate(drive, track, BASS_STREAM_DECODE);
    return g_streams[drive];
}

// Reads the track block by block into `write`, posting progress. A value
// equal to the one posted last is not posted again: the bars would show
// the same, and under some systems every post costs a round trip that
// would slow the rip several times over (two posts per 20,000 bytes).
// Stops when `write` fails. Returns the bytes handed to `write`.
template <typename Write>
CDLIB_QWORD pump_blocks(HWND progress, HSTREAM stream, CDLIB_QWORD length, int done, int total, Write write)
{
    BASS_ChannelPlay(stream, 0);
    CDLIB_QWORD delivered = 0;
    int last_track = -1, last_total = -1;
    while (BASS_ChannelIsActive(stream) && !g_rip_abort.load()) {
        CDLIB_DWORD got = BASS_ChannelGetData(stream, g_block, kBlockBytes);
        if (got == 0xFFFFFFFFu) break;
        if (!write(g_block, got)) break;
        delivered += got;
        double share = length > 0 ? static_cast<double>(delivered) / static_cast<double>(length) : 0.0;
        if (share > 1.0) share = 1.0;
        int track_percent = static_cast<int>(share * 100.0);
        int total_percent = static_cast<int>(done * 100 / total + share * (1.0 / total) * 100.0);
        if (track_percent != last_track || total_percent != last_total) {
            PostMessageA(progress, WM_RIP_TRACK, static_cast<WPARAM>(track_percent), 0);
            PostMessageA(progress, WM_RIP_TOTAL, static_cast<WPARAM>(total_percent), 0);
            last_track = track_percent;
            last_total = total_percent;
        }
    }
    return delivered;
}

// What became of a capture once its file is closed: anything but a whole
// track removes the file.
Capture settle(const char* path, const char* shown, bool write_failed, DWORD error, CDLIB_QWORD delivered,
               CDLIB_QWORD length)
{
    if (!write_failed && delivered == length && !g_rip_abort.load()) return Capture::kWhole;
    DeleteFileA(path);
    if (write_failed && !g_rip_abort.load()) {
        g_log.print("write failed: %s (%lu)", path, error);
        report_write_failure(shown, error);
        return Capture::kWriteFailed;
    }
    g_log.print("capture cut short: %s deleted", path);
    return Capture::kCut;
}

Capture capture_wma(HWND progress, HSTREAM stream, CDLIB_QWORD length, const char* path, const char* shown, int done,
                    int total)
{
    HWMENCODE encoder = BASS_WMA_EncodeOpenFile(44100, 2, BASS_WMA_ENCODE_TAGS, 128000, path);
    if (!encoder) {
        show_library_error("Can't create file");
        return Capture::kNoFile;
    }
    g_log.print("BASS_WMA_EncodeOpenFile = %x", encoder);
    BASS_WMA_EncodeSetTag(encoder, "Title", g_disc_fields.title, 0);
    BASS_WMA_EncodeSetTag(encoder, "Author", g_disc_fields.artist, 0);
    BASS_WMA_EncodeSetTag(encoder, "WM/AlbumTitle", g_disc_fields.album, 0);
    BASS_WMA_EncodeSetTag(encoder, "WM/Year", g_disc_fields.year, 0);
    BASS_WMA_EncodeSetTag(encoder, "WM/Tracknumber", g_disc_fields.track_number, 0);
    bool failed = false;
    DWORD error = 0;
    CDLIB_QWORD delivered = pump_blocks(progress, stream, length, done, total, [&](const char* data, CDLIB_DWORD bytes) {
        if (BASS_WMA_EncodeWrite(encoder, data, bytes)) return true;
        failed = true;
        error = GetLastError();
        return false;
    });
    if (!BASS_WMA_EncodeClose(encoder) && !failed) {
        failed = true;
        error = GetLastError();
    }
    return settle(path, shown, failed, error, delivered, length);
}

// FLAC is encoded from the decode stream as it comes, like WMA.
Capture capture_flac(HWND progress, HSTREAM stream, CDLIB_QWORD length, const char* path, const char* shown, int done,
                     int total)
{
    FlacFile* flac = flac_create(path, length / 4);
    if (!flac) {
        g_log.print("Can't create FLAC file");
        show_library_error("Can't create file");
        return Capture::kNoFile;
    }
    auto write = [flac](const char* data, CDLIB_DWORD bytes) { return flac_write(flac, data, bytes); };
    CDLIB_QWORD delivered = pump_blocks(progress, stream, length, done, total, write);
    DWORD error = 0;
    bool failed = !flac_close(flac, &error);
    return settle(path, shown, failed, error, delivered, length);
}

// A WAV file written through the C library, remembering its first failure.
struct WavFile {
    FILE* file;
    const char* path;
    bool failed = false;
    DWORD error = 0;

    bool put(const void* data, size_t bytes)
    {
        errno = 0;
        if (!failed && fwrite(data, 1, bytes, file) != bytes) fail();
        return !failed;
    }
    void put_at(long offset, uint32_t value)
    {
        uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
        if (!failed && fseek(file, offset, SEEK_SET) != 0) fail();
        put(bytes, 4);
    }
    void fail()
    {
        failed = true;
        error = failed_write_reason(path);
    }
};

Capture capture_wav(HWND progress, HSTREAM stream, CDLIB_QWORD length, const char* path, const char* shown, int done,
                    int total)
{
    FILE* file = fopen(path, "wb");
    if (!file) {
        g_log.print("Can't create WAV-file");
        show_library_error("Can't create file");
        g_log.print("output.WAV .... end");
        return Capture::kNoFile;
    }
    static char file_buffer[1 << 20];  // few, large writes
    setvbuf(file, file_buffer, _IOFBF, sizeof file_buffer);
    g_log.print("writing to BASS.WAV file... press a key to stop");
    WavFile wav{file, path};
    uint8_t header[kWavHeaderBytes];
    make_wav_header(header, 0);
    header[4] = header[5] = header[6] = header[7] = 0;  // both sizes are patched at the end
    wav.put(header, sizeof header);
    CDLIB_QWORD delivered = pump_blocks(progress, stream, length, done, total,
                                        [&wav](const char* data, CDLIB_DWORD bytes) { return wav.put(data, bytes); });
    errno = 0;
    if (!wav.failed && fflush(file) != 0) wav.fail();
    uint32_t data_bytes = static_cast<uint32_t>(delivered);
    wav.put_at(4, data_bytes + 36);
    wav.put_at(40, data_bytes);
    errno = 0;
    if (!wav.failed && fflush(file) != 0) wav.fail();
    if (fclose(file) != 0 && !wav.failed) wav.fail();
    g_log.print("output.WAV .... end");
    return settle(path, shown, wav.failed, wav.error, delivered, length);
}

}  // namespace

Capture capture_track(HWND progress, int drive, int track, const char* path, const char* shown, int done, int total)
{
    CDLIB_DWORD length = BASS_CD_GetTrackLength(drive, track);
    HSTREAM stream = length == 0xFFFFFFFFu ? 0 : stream_for(drive, track);
    if (!stream) {
        // Nothing is made for a track the disc cannot give: a header-only
        // WAV or a tags-only WMA would pass for a ripped track.
        g_log.print("no stream for track %d", track + 1);
        char what[64];
        snprintf(what, sizeof what, "Can't read track %d", track + 1);
        show_library_error(what);
        return Capture::kNoTrack;
    }
    switch (rip_format()) {
    case OutputFormat::kWma: return capture_wma(progress, stream, length, path, shown, done, total);
    case OutputFormat::kFlac: return capture_flac(progress, stream, length, path, shown, done, total);
    case OutputFormat::kMp3:
    case OutputFormat::kWav: break;
    }
    return capture_wav(progress, stream, length, path, shown, done, total);
}

unsigned long unread_sectors(int drive)
{
    CDLIB_DWORD unread = drive >= 0 && drive < kMaxDrives && g_streams[drive] ? CDLIB_StreamUnreadSectors(g_streams[drive]) : 0;
    return unread == 0xFFFFFFFFu ? 0 : unread;
}

DWORD failed_write_reason(const char* path)
{
    switch (errno) {
    case ENOSPC: return ERROR_DISK_FULL;
    case EACCES: return ERROR_ACCESS_DENIED;
    }
    DWORD error = GetLastError();
    if (error) return error;
    char folder[MAX_PATH];
    snprintf(folder, sizeof folder, "%s", path);
    if (char* cut = strrchr(folder, '\\')) cut[1] = '\0';
    ULARGE_INTEGER free_bytes;
    bool full = GetDiskFreeSpaceExA(folder, &free_bytes, nullptr, nullptr) && free_bytes.QuadPart < 65536;
    return full ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
}

void report_write_failure(const char* path, DWORD error)
{
    char reason[256] = "";
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                        error ? error : ERROR_WRITE_FAULT, 0, reason, sizeof reason, nullptr))
        snprintf(reason, sizeof reason, "system error %lu", error);
    for (char* end = reason + strlen(reason); end > reason && (end[-1] == '\n' || end[-1] == '\r'); --end) end[-1] = '\0';
    char text[1024];
    snprintf(text, sizeof text, "Can't write file\n%s\n(%s)", path, reason);
    MessageBoxA(g_main_window, text, kAppCaption, MB_OK | MB_ICONERROR);
}
