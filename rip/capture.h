#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

enum class Capture {
    kWhole,        // every byte of the track is in the file
    kNoFile,       // the file could not be created (the user has been told)
    kNoTrack,      // the disc gave nothing for this track (the user has been told)
    kWriteFailed,  // a write failed, a full volume for one (the user has been told)
    kCut,          // aborted, or the disc stopped giving data part-way
};

struct EncodeJob;
struct ArChecksum;

// When set, every block of a capture is added to it as the track is read.
extern ArChecksum* g_capture_checksum;

// Captures one track of the disc: into `path`, a WAV file of the fixed
// 44-byte layout, for WAV and MP3 (whose encoder `job` reads it as it
// grows), or for WMA and FLAC into `job`'s queue; the job is started once
// the track and its files are there. Shows how far the reading got as it
// goes. Whatever the result but kWhole, nothing is left at `path` (or is
// left to the job to remove): a short file would pass for a good one. A
// box about a failed write names `shown` (the file the user knows of).
Capture capture_track(int drive, int track, const char* path, const char* shown, EncodeJob* job);

// What the track holds when read: audio, digital silence (every sample
// that could be read is 0), or nothing the drive would give.
enum class Silence { kAudio, kSilent, kUnreadable };
Silence track_silence(int drive, int track);

// Sectors of the track captured last from the drive that the disc would
// not give (they are silence in the file).
unsigned long unread_sectors(int drive);
// Which sectors those were (disc sectors from 0), ascending.
std::vector<uint32_t> unread_sector_list(int drive);
// The sectors of that read whose every read had C2 errors, ascending.
std::vector<uint32_t> c2_sector_list(int drive);

// Tells the user that `path` could not be written, with the system's reason
// for `error` (a Windows error code).
void report_write_failure(const char* path, DWORD error);

// The reason for a C library write or close of `path` that has just
// failed, as a Windows error code (errno must have been cleared before the
// call). The C library keeps it in errno, if anywhere: a write cut short
// by a full volume leaves neither errno nor GetLastError set, so the
// volume's free space decides between a full disk and a write fault.
DWORD failed_write_reason(const char* path);
