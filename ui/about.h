#pragma once
#include <windows.h>

extern const char kHomePage[];

void about_command(HWND main_window);
INT_PTR CALLBACK about_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
// Opens `address` in the program registered for http; says nothing when none is.
void open_in_browser(const char* address);
