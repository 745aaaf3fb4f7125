// The disc information lookup: the Disc Info command, its dialog, and the
// worker that asks a freedb server over HTTP.
#pragma once
#include <windows.h>

extern const char kCddbServer[];  // the freedb server asked

void disc_info_command(HWND main_window);
INT_PTR CALLBACK disc_info_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
