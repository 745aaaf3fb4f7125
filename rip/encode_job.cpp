#include "encode_job.h"

#include <cstring>
#include <string>

#include "app/log.h"
#include "cd/library_error.h"
#include "rip/flac.h"
#include "rip/mp3.h"
#include "rip/names.h"
#include "rip/replaygain_tags.h"

namespace {

// WMA and FLAC queue: 24 s of audio, a whole number of stereo frames.
constexpr uint64_t kQueueBytes = 4u << 20;

// Waits for audio the encoder has not taken yet: its byte count, 0 once the
// whole track has been taken, -1 when the rip is aborted or the capture was
// cut. A track read whole is still encoded after a later track's fault (a
// disc taken out): its file was finished as far as the disc goes, as in a
// rip of one track after another. The reader cuts the capture it is filling.
int64_t audio_waiting(EncodeJob* job)
{
    for (;;) {
        int feeding = job->feeding.load();  // before `fed`: once 0, `fed` is final
        if (g_rip_abort.load() || feeding < 0) return -1;
        uint64_t waiting = job->fed.load() - job->taken.load();
        if (waiting > 0) return static_cast<int64_t>(waiting);
        if (feeding == 0) return 0;
        WaitForSingleObject(job->fed_event, 50);
    }
}

JobEnd fault(EncodeJob* job, const char* path, DWORD error)
{
    g_log.print("track %d: write failed: %s (%lu)", job->tags.track, path, error);
    snprintf(job->fault_path, sizeof job->fault_path, "%s", path);
    job->error = error;
    job->tell = claim_fault();
    return JobEnd::kFault;
}

long read_capture(void* source, char* buffer, size_t bytes)
{
    auto* job = static_cast<EncodeJob*>(source);
    if (job->capture == INVALID_HANDLE_VALUE) return -2;
    int64_t waiting = audio_waiting(job);
    if (waiting <= 0) return static_cast<long>(waiting);
    DWORD want = static_cast<DWORD>(static_cast<uint64_t>(waiting) < bytes ? waiting : bytes), got = 0;
    if (!ReadFile(job->capture, buffer, want, &got, nullptr) || got != want) {
        job->error = GetLastError();
        return -2;
    }
    job->taken += got;
    return static_cast<long>(got);
}

JobEnd encode_mp3(EncodeJob* job)
{
    g_log.print("wavtomp3 (track %d)", job->tags.track);
    job->capture = CreateFileA(job->capture_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    LARGE_INTEGER audio;
    audio.QuadPart = kWavHeaderBytes;
    if (job->capture != INVALID_HANDLE_VALUE && !SetFilePointerEx(job->capture, audio, nullptr, FILE_BEGIN)) {
        CloseHandle(job->capture);
        job->capture = INVALID_HANDLE_VALUE;
    }
    DWORD error = 0;
    Mp3Result result = encode_to_mp3(read_capture, job, job->tags, job->mp3, job->part_path, &error);
    if (job->capture != INVALID_HANDLE_VALUE) CloseHandle(job->capture);
    switch (result) {
    case kMp3Written: break;
    case kMp3Aborted: return JobEnd::kStopped;
    case kMp3NoInput: return fault(job, job->capture_path, job->error);  // what was written cannot be read back
    case kMp3WriteFailed: return fault(job, job->final_path, error);
    }
    return JobEnd::kWhole;
}

// WMA and FLAC: the queue into the encoder, then the file closed.
JobEnd encode_queue(EncodeJob* job)
{
    bool failed = false, cut = false;
    DWORD error = 0;
    while (!failed) {
        int64_t waiting = audio_waiting(job);
        cut = waiting < 0;
        if (waiting <= 0) break;
        uint64_t at = job->taken.load() % kQueueBytes;
        uint64_t n = static_cast<uint64_t>(waiting) < kQueueBytes - at ? waiting : kQueueBytes - at;
        const char* piece = job->queue + at;
        if (job->wma) {
            failed = !BASS_WMA_EncodeWrite(job->wma, piece, static_cast<CDLIB_DWORD>(n));
            if (failed) error = GetLastError();
        } else {
            failed = !flac_write(job->flac, piece, static_cast<size_t>(n));
        }
        job->taken += n;
        SetEvent(job->taken_event);
    }
    if (job->wma && !BASS_WMA_EncodeClose(job->wma) && !failed) {
        failed = true;
        error = GetLastError();
    }
    if (job->flac && !flac_close(job->flac, &error)) failed = true;
    if (!failed && !cut) return JobEnd::kWhole;
    DeleteFileA(job->part_path);
    return failed && !cut ? fault(job, job->final_path, error) : JobEnd::kStopped;
}

DWORD WINAPI run_job(LPVOID parameter)
{
    auto* job = static_cast<EncodeJob*>(parameter);
    JobEnd end = job->format == OutputFormat::kMp3 ? encode_mp3(job) : encode_queue(job);
    // The capture file is the reader's until it has closed it.
    while (job->feeding.load() == 1) WaitForSingleObject(job->fed_event, 50);
    if (job->capture_path[0]) DeleteFileA(job->capture_path);
    const char* said[] = {"", "encoded", "failed", "stopped"};
    g_log.print("track %d %s", job->tags.track, said[static_cast<int>(end)]);
    job->end = end;
    return 0;
}

// The cover as a WM/Picture value: the picture type, the data's length,
// the MIME type and an empty description (UTF-16, each ended by a NUL),
// then the picture.
std::string wm_picture(const CoverPicture& cover)
{
    std::string value(1, '\3');  // front cover
    for (int i = 0; i < 4; ++i) value += static_cast<char>(cover.bytes.size() >> (8 * i) & 0xFF);
    for (char c : cover.mime) value += std::string{c, '\0'};
    return value + std::string(4, '\0') + cover.bytes;
}

// The tags as WMA attributes, named as taggers name them; empty texts and
// unknown ids are left out.
void tag_wma(HWMENCODE wma, const TagSet& tags)
{
    char track[16], disc[32];
    snprintf(track, sizeof track, "%d", tags.track);
    snprintf(disc, sizeof disc, "%d/%d", tags.disc, tags.discs);
    const struct {
        const char* name;
        std::string text;
    } attributes[] = {
        {"Title", tags.title},
        {"Author", tags.artist},
        {"WM/AlbumArtist", tags.album_artist},
        {"WM/AlbumTitle", tags.album},
        {"WM/Year", tags.year},
        {"WM/TrackNumber", tags.track > 0 ? track : ""},
        {"WM/PartOfSet", tags.discs > 1 ? disc : ""},
        {"MusicBrainz/Album Id", tags.mb_release},
        {"MusicBrainz/Release Group Id", tags.mb_release_group},
        {"MusicBrainz/Track Id", tags.mb_recording},
        {"MusicBrainz/Release Track Id", tags.mb_release_track},
        {"MusicBrainz/Artist Id", tags.mb_artist},
        {"MusicBrainz/Album Artist Id", tags.mb_album_artist},
        {"MusicBrainz/Disc Id", tags.mb_disc_id},
        {"WM/ISRC", tags.isrc},
        {"WM/Barcode", tags.barcode},
    };
    for (const auto& a : attributes)
        if (!a.text.empty()) BASS_WMA_EncodeSetTag(wma, a.name, a.text.c_str(), BASS_WMA_TAG_UTF8);
    if (tags.gain_room) CDLIB_WMA_EncodeSetPadding(wma, kGainRoomBytes);
    if (!tags.cover) return;
    std::string picture = wm_picture(*tags.cover);
    CDLIB_WMA_EncodeSetBinaryTag(wma, "WM/Picture", picture.data(), static_cast<CDLIB_DWORD>(picture.size()));
}

bool open_output(EncodeJob* job)
{
    switch (job->format) {
    case OutputFormat::kMp3:
        job->mp3 = fopen(job->part_path, "w+b");
        return job->mp3 != nullptr;
    case OutputFormat::kWma:
        job->wma = BASS_WMA_EncodeOpenFile(44100, 2, BASS_WMA_ENCODE_TAGS, 128000, job->part_path);
        if (!job->wma) return false;
        g_log.print("BASS_WMA_EncodeOpenFile = %x", job->wma);
        tag_wma(job->wma, job->tags);
        return true;
    case OutputFormat::kFlac:
        job->flac = flac_create(job->part_path, job->length / 4, job->tags);
        if (!job->flac) g_log.print("Can't create FLAC file");
        return job->flac != nullptr;
    case OutputFormat::kWav: break;
    }
    return false;
}

}  // namespace

bool job_start(EncodeJob* job, uint64_t length)
{
    job->length = length;
    if (!open_output(job)) {
        show_library_error("Can't create file");
        return false;
    }
    if (job->format != OutputFormat::kMp3) job->queue = new char[kQueueBytes];
    job->fed_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    job->taken_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (job->fed_event && job->taken_event) job->thread = CreateThread(nullptr, 0, run_job, job, 0, nullptr);
    if (job->thread) return true;
    // No thread to be had: the job, told its track is cut, closes and
    // removes what was opened right here.
    g_log.print("no encoder thread (%lu)", GetLastError());
    job->feeding = -1;
    run_job(job);
    show_library_error("Can't create file");
    return false;
}

bool job_feed(EncodeJob* job, const char* data, size_t bytes)
{
    uint64_t fed = job->fed.load();
    while (fed + bytes - job->taken.load() > kQueueBytes) {
        if (rip_stopping() || job_ended(job, 0)) return false;
        WaitForSingleObject(job->taken_event, 50);
    }
    uint64_t at = fed % kQueueBytes;
    size_t first = bytes < kQueueBytes - at ? bytes : static_cast<size_t>(kQueueBytes - at);
    memcpy(job->queue + at, data, first);
    memcpy(job->queue, data + first, bytes - first);
    job->fed = fed + bytes;
    SetEvent(job->fed_event);
    return true;
}

void job_fed(EncodeJob* job, uint64_t bytes)
{
    job->fed = bytes;
    SetEvent(job->fed_event);
}

void job_feed_end(EncodeJob* job, bool whole)
{
    job->feeding = whole ? 0 : -1;
    if (job->fed_event) SetEvent(job->fed_event);
}

bool job_ended(const EncodeJob* job, DWORD ms)
{
    return !job->thread || WaitForSingleObject(job->thread, ms) == WAIT_OBJECT_0;
}

double job_share(const EncodeJob* job)
{
    return job->length ? static_cast<double>(job->taken.load()) / static_cast<double>(job->length) : 1.0;
}

void job_free(EncodeJob* job)
{
    for (HANDLE h : {job->thread, job->fed_event, job->taken_event})
        if (h) CloseHandle(h);
    delete[] job->queue;
    delete job;
}
