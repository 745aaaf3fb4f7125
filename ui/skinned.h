// The look every window shares: tiled background, transparent statics.
#pragma once
#include <windows.h>

#include "skin/skin.h"

// Answer to WM_ERASEBKGND: tiles the client area with the fill bitmap.
LRESULT paint_dialog_background(HWND window, HDC dc);

// Answer to WM_CTLCOLORSTATIC: controls listed in `exceptions` keep the
// system colours (0 is returned); all others draw transparently.
INT_PTR make_static_transparent(HDC dc, HWND control, const int* exceptions, int exception_count);

// Skins one button of a dialog with an icon resource of the program.
void skin_button(HWND dialog, int id, int icon, const char* tooltip, DWORD flags);

constexpr DWORD kMainButtonFlags = 0x8000012b;
constexpr DWORD kDialogButtonFlags = 0x8000006b;
