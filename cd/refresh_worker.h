// The worker that rebuilds the track list from the disc in the selected drive.
#pragma once
#include <windows.h>

#include <atomic>

extern std::atomic<int> g_refresh_busy;   // 1 while a refresh runs its track loop
extern std::atomic<int> g_refresh_abort;  // set to stop the track loop before its next track
extern std::atomic<int> g_drive_index;    // selected drive, as the audio library numbers it
extern HANDLE g_refresh_event;            // "CDUpdateList": one set, one refresh

// Thread entry; lives as long as the process.
DWORD WINAPI refresh_worker(LPVOID main_window);

// The disc track a row of the track list stands for. Rows are made only for
// playable tracks, so after a data track (first on a mixed-mode disc) a
// row's position is no longer its track; each row keeps its 0-based disc
// track in its item data, and ripping and the lookup read it from there.
int row_track(HWND list, int row);

// The number a disc track (0-based, as row_track gives it) has on the disc
// listed last: the list, the file names, the tags and the messages show
// it. Most discs number from 1; the second disc of a set may go on from
// the first. The hidden track before track 1 (CDLIB_HIDDEN_TRACK) is 0.
int disc_track_number(int track);

// Whether the drive still holds the disc the track list was read from at
// the last refresh (the same table of contents); a rip of the rows under
// another disc would give wrong files under the old names.
bool drive_holds_listed_disc(int drive);

// A row counts as ticked unless its state image is the empty box (1); a
// row without any state image counts as ticked.
bool row_ticked(HWND list, int row);
