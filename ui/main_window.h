#pragma once
#include <windows.h>

// Dialog procedure of the main window (template IDD_MAIN).
INT_PTR CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
