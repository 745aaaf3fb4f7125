#include "capture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "app/settings.h"
#include "cd/library_error.h"
#include "cd/refresh_worker.h"
#include "cdlib/cdlib.h"
#include "proof/ar_checksum.h"
#include "proof/checksum_worker.h"
#include "rip/encode_job.h"
#include "rip/names.h"
#include "rip/rip_state.h"

namespace {

constexpr int kMaxDrives = 32;
constexpr CDLIB_DWORD kBlockBytes = 20000;
static_assert(kBlockBytes <= kChecksumSlotBytes, "a block fits a checksum slot");

}  // namespace

ArChecksum* g_capture_checksum;

namespace {

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

// Reads the track block by block into `write`, showing how far it got.
// Stops when `write` fails. Returns the bytes handed to `write`.
template <typename Write>
CDLIB_QWORD pump_blocks(HSTREAM stream, CDLIB_QWORD length, Write write)
{
    BASS_ChannelPlay(stream, 0);
    CDLIB_QWORD delivered = 0;
    while (BASS_ChannelIsActive(stream) && !rip_stopping()) {
        // A block to be summed is read into a slot of the checksum thread.
        uint8_t* slot = g_capture_checksum ? checksum_slot() : nullptr;
        char* block = slot ? reinterpret_cast<char*>(slot) : g_block;
        CDLIB_DWORD got = BASS_ChannelGetData(stream, block, kBlockBytes);
        if (got == 0xFFFFFFFFu) break;
        if (!write(block, got)) break;
        if (slot) checksum_queue(g_capture_checksum, got);
        else if (g_capture_checksum) ar_checksum_feed(g_capture_checksum, reinterpret_cast<const uint8_t*>(block), got);
        delivered += got;
        double share = length > 0 ? static_cast<double>(delivered) / static_cast<double>(length) : 0.0;
        show_reading(share > 1.0 ? 1.0 : share);
    }
    checksum_finish();  // the track's sums are final before anyone reads them
    return delivered;
}

// Every byte of the track was handed over, and the user did not abort: the
// capture is whole, whatever fault of another track's encoder came after
// the last block (that track is then encoded to its end).
bool handed_whole(CDLIB_QWORD delivered, CDLIB_QWORD length)
{
    return delivered == length && !g_rip_abort.load();
}

// What became of a capture once its file is closed: anything but a whole
// track removes the file (`remove`; null when an encoder job does).
Capture settle(const char* remove, const char* shown, bool write_failed, DWORD error, CDLIB_QWORD delivered,
               CDLIB_QWORD length)
{
    if (!write_failed && handed_whole(delivered, length)) return Capture::kWhole;
    if (remove) DeleteFileA(remove);
    if (write_failed && claim_fault()) {
        g_log.print("write failed: %s (%lu)", shown, error);
        report_write_failure(shown, error);
        return Capture::kWriteFailed;
    }
    g_log.print("capture cut short: %s", shown);
    return Capture::kCut;
}

// WMA and FLAC: the blocks go to the track's encoder job as they come.
Capture capture_to_job(HSTREAM stream, CDLIB_QWORD length, EncodeJob* job)
{
    if (!job_start(job, length)) return Capture::kNoFile;
    CDLIB_QWORD delivered = pump_blocks(stream, length, [job](const char* data, CDLIB_DWORD bytes) {
        return job_feed(job, data, bytes);
    });
    bool whole = handed_whole(delivered, length);
    job_feed_end(job, whole);
    return whole ? Capture::kWhole : Capture::kCut;
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

// A WAV file: the rip's own, or for MP3 the capture its encoder job reads
// as it grows (every megabyte is flushed to the file and handed over).
Capture capture_wav(HSTREAM stream, CDLIB_QWORD length, const char* path, const char* shown, EncodeJob* job)
{
    FILE* file = fopen(path, "wb");
    if (!file) {
        g_log.print("Can't create WAV-file");
        show_library_error("Can't create file");
        g_log.print("output.WAV .... end");
        return Capture::kNoFile;
    }
    if (job && !job_start(job, length)) {
        fclose(file);
        DeleteFileA(path);
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
    CDLIB_QWORD handed = 0;
    CDLIB_QWORD delivered = pump_blocks(stream, length, [&](const char* data, CDLIB_DWORD bytes) {
        if (!wav.put(data, bytes)) return false;
        handed += bytes;
        // Each megabyte crossed is flushed and handed over; the last block is after the loop.
        if (!job || handed % sizeof file_buffer >= bytes) return true;
        errno = 0;
        if (fflush(file) != 0) wav.fail();
        if (!wav.failed) job_fed(job, handed);
        return !wav.failed;
    });
    errno = 0;
    if (!wav.failed && fflush(file) != 0) wav.fail();
    if (job && !wav.failed) job_fed(job, delivered);
    uint32_t data_bytes = static_cast<uint32_t>(delivered);
    wav.put_at(4, data_bytes + 36);
    wav.put_at(40, data_bytes);
    errno = 0;
    if (!wav.failed && fflush(file) != 0) wav.fail();
    if (fclose(file) != 0 && !wav.failed) wav.fail();
    g_log.print("output.WAV .... end");
    Capture captured = settle(job ? nullptr : path, shown, wav.failed, wav.error, delivered, length);
    if (job) job_feed_end(job, captured == Capture::kWhole);
    return captured;
}

}  // namespace

Silence track_silence(int drive, int track)
{
    HSTREAM stream = stream_for(drive, track);
    if (!stream) return Silence::kUnreadable;
    BASS_ChannelPlay(stream, 0);
    while (BASS_ChannelIsActive(stream) && !rip_stopping()) {
        CDLIB_DWORD got = BASS_ChannelGetData(stream, g_block, kBlockBytes);
        if (got == 0xFFFFFFFFu) return Silence::kUnreadable;
        for (CDLIB_DWORD i = 0; i < got; ++i)
            if (g_block[i]) return Silence::kAudio;
    }
    CDLIB_DWORD length = BASS_CD_GetTrackLength(drive, track);
    bool none_read = length != 0xFFFFFFFFu && unread_sectors(drive) >= length / 2352;
    return none_read ? Silence::kUnreadable : Silence::kSilent;
}

Capture capture_track(int drive, int track, const char* path, const char* shown, EncodeJob* job)
{
    CDLIB_DWORD length = BASS_CD_GetTrackLength(drive, track);
    HSTREAM stream = length == 0xFFFFFFFFu ? 0 : stream_for(drive, track);
    if (!stream) {
        // Nothing is made for a track the disc cannot give: a header-only
        // WAV or a tags-only WMA would pass for a ripped track.
        g_log.print("no stream for track %d", disc_track_number(track));
        char what[64];
        snprintf(what, sizeof what, "Can't read track %d", disc_track_number(track));
        show_library_error(what);
        return Capture::kNoTrack;
    }
    switch (rip_format()) {
    case OutputFormat::kWma:
    case OutputFormat::kFlac: return capture_to_job(stream, length, job);
    case OutputFormat::kMp3:
    case OutputFormat::kWav: break;
    }
    return capture_wav(stream, length, path, shown, job);
}

unsigned long unread_sectors(int drive)
{
    CDLIB_DWORD unread = drive >= 0 && drive < kMaxDrives && g_streams[drive] ? CDLIB_StreamUnreadSectors(g_streams[drive]) : 0;
    return unread == 0xFFFFFFFFu ? 0 : unread;
}

namespace {

std::vector<uint32_t> sector_list(int drive, CDLIB_DWORD (*list_of)(HSTREAM, CDLIB_DWORD*, CDLIB_DWORD))
{
    std::vector<uint32_t> list;
    if (drive < 0 || drive >= kMaxDrives || !g_streams[drive]) return list;
    CDLIB_DWORD n = list_of(g_streams[drive], nullptr, 0);
    if (n == 0xFFFFFFFFu) return list;
    list.resize(n);
    if (n) list_of(g_streams[drive], list.data(), n);
    return list;
}

}  // namespace

std::vector<uint32_t> unread_sector_list(int drive)
{
    return sector_list(drive, CDLIB_StreamUnreadList);
}

std::vector<uint32_t> c2_sector_list(int drive)
{
    return sector_list(drive, CDLIB_StreamC2List);
}

DWORD failed_write_reason(const char* path)
{
    switch (errno) {
    case ENOSPC: return ERROR_DISK_FULL;
    case EACCES: return ERROR_ACCESS_DENIED;
    }
    DWORD error = GetLastError();
    if (error) return error;
    char folder[kMaxPathBytes];
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
