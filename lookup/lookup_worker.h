// The disc information lookup: the Disc Info command, its dialog, and the
// worker that asks a freedb server over HTTP.
#pragma once
#include <windows.h>

extern const char kCddbServer[];   // the freedb server asked
extern HWND g_disc_info_dialog;    // the open dialog, for the worker
extern HANDLE g_lookup_event;      // "GetCDDB"

void disc_info_command(HWND main_window);
INT_PTR CALLBACK disc_info_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
DWORD WINAPI lookup_worker(LPVOID dialog);
