#include "capture.h"

#include <cstdio>

#include "app/globals.h"
#include "app/log.h"
#include "cd/library_error.h"
#include "cdlib/cdlib.h"
#include "rip/names.h"
#include "rip/rip_state.h"

namespace {

constexpr int kMaxDrives = 32;
constexpr CDLIB_DWORD kBlockBytes = 20000;

HSTREAM g_streams[kMaxDrives];  // one decode stream per drive, kept for later captures
char g_block[kBlockBytes];

HSTREAM stream_for(int drive, int track)
{
    if (drive < 0 || drive >= kMaxDrives) return 0;
    if (g_streams[drive]) {
        BASS_CD_StreamSetTrack(g_streams[drive], track);
    } else {
        g_log.print("create stream");
        g_streams[drive] = BASS_CD_StreamCreate(drive, track, BASS_STREAM_DECODE);
    }
    return g_streams[drive];
}

// Reads the track block by block into `write`, posting progress. A value
// equal to the one posted last is not posted again: the bars would show
// the same, and under some systems every post costs a round trip that
// would slow the rip several times over (two posts per 20,000 bytes).
// Returns whether the stream gave the whole track.
template <typename Write>
bool pump_blocks(HWND progress, HSTREAM stream, int done, int total, Write write)
{
    float length = BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetLength(stream));
    BASS_ChannelPlay(stream, 0);
    int last_track = -1, last_total = -1;
    while (BASS_ChannelIsActive(stream) && !g_rip_abort.load()) {
        CDLIB_DWORD got = BASS_ChannelGetData(stream, g_block, kBlockBytes);
        if (got != 0xFFFFFFFFu) write(g_block, got);
        float now = BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream));
        double share = length > 0 ? static_cast<double>(now) / length : 0.0;
        int track_percent = static_cast<int>(share * 100.0);
        int total_percent = static_cast<int>(done * 100 / total + share * (1.0 / total) * 100.0);
        if (track_percent != last_track || total_percent != last_total) {
            PostMessageA(progress, WM_RIP_TRACK, static_cast<WPARAM>(track_percent), 0);
            PostMessageA(progress, WM_RIP_TOTAL, static_cast<WPARAM>(total_percent), 0);
            last_track = track_percent;
            last_total = total_percent;
        }
    }
    return !g_rip_abort.load() && BASS_ChannelGetPosition(stream) >= BASS_ChannelGetLength(stream);
}

Capture keep_if_whole(bool whole)
{
    if (whole) return Capture::kWhole;
    g_log.print("capture cut short: %s deleted", TargetPath);
    DeleteFileA(TargetPath);
    return Capture::kCut;
}

Capture capture_wma(HWND progress, HSTREAM stream, int done, int total)
{
    HWMENCODE encoder = BASS_WMA_EncodeOpenFile(44100, 2, BASS_WMA_ENCODE_TAGS, 128000, TargetPath);
    if (!encoder) {
        // A file that cannot be made is said so, as for the other formats.
        show_library_error("Can't create file");
        return Capture::kNoFile;
    }
    g_log.print("BASS_WMA_EncodeOpenFile = %x", encoder);
    BASS_WMA_EncodeSetTag(encoder, "Title", g_disc_fields.title, 0);
    BASS_WMA_EncodeSetTag(encoder, "Author", g_disc_fields.artist, 0);
    BASS_WMA_EncodeSetTag(encoder, "WM/AlbumTitle", g_disc_fields.album, 0);
    BASS_WMA_EncodeSetTag(encoder, "WM/Year", g_disc_fields.year, 0);
    BASS_WMA_EncodeSetTag(encoder, "WM/Tracknumber", g_disc_fields.track_number, 0);
    bool whole = pump_blocks(progress, stream, done, total, [encoder](const char* data, CDLIB_DWORD bytes) {
        BASS_WMA_EncodeWrite(encoder, data, bytes);
    });
    BASS_WMA_EncodeClose(encoder);
    return keep_if_whole(whole);
}

void patch32(FILE* file, long offset, uint32_t value)
{
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                        static_cast<uint8_t>(value >> 24)};
    fseek(file, offset, SEEK_SET);
    fwrite(bytes, 1, 4, file);
    fflush(file);
}

Capture capture_wav(HWND progress, HSTREAM stream, int done, int total)
{
    FILE* file = fopen(TargetPath, "wb");
    if (!file) {
        g_log.print("Can't create WAV-file");
        show_library_error("Can't create file");
        g_log.print("output.WAV .... end");
        return Capture::kNoFile;
    }
    static char file_buffer[1 << 20];  // few, large writes
    setvbuf(file, file_buffer, _IOFBF, sizeof file_buffer);
    g_log.print("writing to BASS.WAV file... press a key to stop");
    uint8_t header[kWavHeaderBytes];
    make_wav_header(header, 0);
    header[4] = header[5] = header[6] = header[7] = 0;  // both sizes are patched at the end
    fwrite(header, 1, 20, file);
    fwrite(header + 20, 1, 16, file);
    fwrite(header + 36, 1, 8, file);
    bool whole = pump_blocks(progress, stream, done, total,
                             [file](const char* data, CDLIB_DWORD bytes) { fwrite(data, 1, bytes, file); });
    fflush(file);
    long size = ftell(file);
    patch32(file, 4, static_cast<uint32_t>(size - 8));
    patch32(file, 40, static_cast<uint32_t>(size - 44));
    fclose(file);
    g_log.print("output.WAV .... end");
    return keep_if_whole(whole);
}

}  // namespace

Capture capture_track(HWND progress, int drive, int track, int done, int total)
{
    HSTREAM stream = stream_for(drive, track);
    if (g_rip_options.wma) return capture_wma(progress, stream, done, total);
    return capture_wav(progress, stream, done, total);
}
