#pragma once
#include <windows.h>

enum class Capture {
    kWhole,        // every byte of the track is in the file
    kNoFile,       // the file could not be created (the user has been told)
    kNoTrack,      // the disc gave nothing for this track (the user has been told)
    kWriteFailed,  // a write failed, a full volume for one (the user has been told)
    kCut,          // aborted, or the disc stopped giving data part-way
};

// Captures one track of the disc into `path`: a WAV file of the fixed
// 44-byte layout, or a WMA or FLAC file when that format is chosen, posting the
// track and overall percent as they change. Whatever the result but kWhole,
// nothing is left at `path`: a short file would pass for a good one. A box
// about a failed write names `shown` (the file the user knows of).
Capture capture_track(HWND progress, int drive, int track, const char* path, const char* shown, int done, int total);

// Sectors of the track captured last from the drive that the disc would
// not give (they are silence in the file).
unsigned long unread_sectors(int drive);

// Tells the user that `path` could not be written, with the system's reason
// for `error` (a Windows error code).
void report_write_failure(const char* path, DWORD error);

// The reason for a C library write or close of `path` that has just
// failed, as a Windows error code (errno must have been cleared before the
// call). The C library keeps it in errno, if anywhere: a write cut short
// by a full volume leaves neither errno nor GetLastError set, so the
// volume's free space decides between a full disk and a write fault.
DWORD failed_write_reason(const char* path);
