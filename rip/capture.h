#pragma once
#include <windows.h>

// Captures one track of the disc into TargetPath: a WAV file of the fixed
// 44-byte layout, or a WMA file when the WMA format is chosen, posting the
// track and overall percent after every block. Returns false when the
// output could not be created (the user has been told).
bool capture_track(HWND progress, int drive, int track, int done, int total);
