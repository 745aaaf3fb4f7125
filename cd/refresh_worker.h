// The worker that rebuilds the track list from the disc in the selected drive.
#pragma once
#include <atomic>

extern std::atomic<int> g_refresh_busy;   // 1 while a refresh runs its track loop
extern std::atomic<int> g_refresh_abort;  // set to stop the track loop before its next track
extern std::atomic<int> g_drive_index;    // selected drive, as the audio library numbers it
