// The disc information lookup: the Disc Info command, its dialog, and the
// worker that asks a freedb server over HTTP.
#pragma once
#include <windows.h>

#include <string>

extern const char kCddbServer[];  // the freedb server asked

// For the cue sheet of a rip (the window has no field for it): the genre
// of the last entry a lookup applied, when it was for the disc in `drive`
// (its DGENRE, else the category it was read from); "" otherwise.
std::string cddb_genre_of_disc(int drive);

void disc_info_command(HWND main_window);
INT_PTR CALLBACK disc_info_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
