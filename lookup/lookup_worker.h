// The disc information lookup: the Disc Info command, its dialog, and the
// worker that asks a freedb server over HTTP.
#pragma once
#include <windows.h>

extern const char kCddbServer[];  // the freedb server asked

// The genre of the last entry a lookup applied (its DGENRE, else the
// category it was read from) and the freedb id of its disc, for the cue
// sheet of a rip of that disc: the window has no field for it.
struct CddbGenre {
    char text[256];
    char disc_id[16];
};
extern CddbGenre g_cddb_genre;

void disc_info_command(HWND main_window);
INT_PTR CALLBACK disc_info_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
