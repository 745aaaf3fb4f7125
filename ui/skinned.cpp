#include "skinned.h"

#include "app/globals.h"

LRESULT paint_dialog_background(HWND window, HDC dc)
{
    RECT rc;
    GetClientRect(window, &rc);
    HBRUSH brush = CreatePatternBrush(g_fill_bitmap);
    HGDIOBJ old = SelectObject(dc, brush);
    PatBlt(dc, rc.left, rc.top, rc.right, rc.bottom, PATCOPY);
    SelectObject(dc, old);
    DeleteObject(brush);
    return 1;
}

INT_PTR make_static_transparent(HDC dc, HWND control, const int* exceptions, int exception_count)
{
    int id = GetDlgCtrlID(control);
    for (int i = 0; i < exception_count; ++i) {
        if (exceptions[i] == id) return 0;
    }
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
}

void skin_button(HWND dialog, int id, int icon, const char* tooltip, DWORD flags)
{
    SkinButtonParams params = {};
    params.icon = LoadIconA(g_instance, MAKEINTRESOURCEA(icon));
    params.tooltip = tooltip;
    params.flags = flags;
    RedrawButton(GetDlgItem(dialog, id), &params);
}
