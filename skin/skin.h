// Orvo skin library: icon push buttons and the dialog background tile.
// This header is the library's whole interface.
#pragma once
#include <windows.h>

// What RedrawButton is told about a button. Zero-fill it, then set the
// icon, the tooltip (null for none; the text is copied) and the flags.
struct SkinButtonParams {
    HICON icon;
    BYTE reserved1[40];
    const char* tooltip;
    DWORD flags;
    DWORD reserved2;
};
static_assert(sizeof(SkinButtonParams) == 64, "the record is 64 bytes");

// Flag bits. Other bits are accepted and ignored.
#define SKIN_BUTTON_ON     0x80000000u  // draw the button skinned
#define SKIN_BUTTON_TALL   0x00000100u  // icon above the caption (toolbar buttons)

// Turns a push button into an icon button that keeps its id, its
// WM_COMMAND and its caption. Calling it again replaces the icon and
// tooltip; the caller then invalidates the button. Returns TRUE on success.
BOOL RedrawButton(HWND button, const SkinButtonParams* params);

// Makes the background tile (a bitmap of the rectangle's size that serves
// CreatePatternBrush) and a solid brush of the tile's base colour. `style`
// 1 is the only style; the four numbers are reserved. The caller owns both
// objects and deletes them with DeleteObject. Returns TRUE on success.
BOOL CreateFillBmp(int style, const RECT* size, int reserved1, int reserved2, int reserved3, int reserved4,
                   HBITMAP* fill_bitmap, HGDIOBJ* second_object);
