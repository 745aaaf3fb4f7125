#pragma once
#include <windows.h>

enum class Capture {
    kWhole,    // the whole track is in TargetPath
    kNoFile,   // the output could not be created (the user has been told)
    kCut,      // aborted, or the disc stopped giving data: no file is kept
};

// Captures one track of the disc into TargetPath: a WAV file of the fixed
// 44-byte layout, or a WMA file when the WMA format is chosen, posting the
// track and overall percent as they change. A capture that does not get
// the whole track deletes what it wrote: a short file would pass for a
// good one.
Capture capture_track(HWND progress, int drive, int track, int done, int total);
