#include "skin.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <cstdio>
#include <cstring>

namespace {

const char kSkinProp[] = "OrvoSkinButton";
const UINT_PTR kParentSubclassId = 0x4F52564F;  // one subclass per dialog
const UINT_PTR kButtonSubclassId = 0x4F525642;

// Colours of the look.
const COLORREF kTileBase = RGB(0xEC, 0xF1, 0xF7);
const COLORREF kTileLine = RGB(0xE2, 0xE9, 0xF2);
const COLORREF kBorder = RGB(0x8F, 0xA6, 0xC1);
const COLORREF kBorderDisabled = RGB(0xC4, 0xCC, 0xD6);
const COLORREF kFocus = RGB(0x3D, 0x74, 0xC6);
const COLORREF kText = RGB(0x1F, 0x2D, 0x3D);
const COLORREF kTextDisabled = RGB(0x98, 0xA2, 0xAE);

// Carries a RedrawButton call from another thread to the button's own one.
UINT redraw_message()
{
    static UINT message = RegisterWindowMessageA("OrvoSkinRedrawButton");
    return message;
}

struct SkinButton {
    HICON large;     // 32 px, for tall buttons
    HICON small;     // 16 px
    DWORD flags;
    bool hot;
    HWND tooltip;
    char tip_text[256];
};

HICON copy_icon(HICON icon, int size)
{
    if (!icon) return nullptr;
    HICON copy = static_cast<HICON>(CopyImage(icon, IMAGE_ICON, size, size, LR_COPYFROMRESOURCE));
    if (!copy) copy = static_cast<HICON>(CopyImage(icon, IMAGE_ICON, size, size, 0));
    return copy;
}

void release_icons(SkinButton* skin)
{
    if (skin->large) DestroyIcon(skin->large);
    if (skin->small) DestroyIcon(skin->small);
    skin->large = skin->small = nullptr;
}

COLORREF mix(COLORREF a, COLORREF b, int num, int den)
{
    auto part = [&](int x, int y) { return x + (y - x) * num / den; };
    return RGB(part(GetRValue(a), GetRValue(b)), part(GetGValue(a), GetGValue(b)),
               part(GetBValue(a), GetBValue(b)));
}

void fill_gradient(HDC dc, const RECT& rc, COLORREF top, COLORREF bottom)
{
    int height = rc.bottom - rc.top;
    for (int y = 0; y < height; ++y) {
        RECT line = {rc.left, rc.top + y, rc.right, rc.top + y + 1};
        HBRUSH brush = CreateSolidBrush(mix(top, bottom, y, height > 1 ? height - 1 : 1));
        FillRect(dc, &line, brush);
        DeleteObject(brush);
    }
}

void draw_button(const DRAWITEMSTRUCT* item, SkinButton* skin)
{
    HDC dc = item->hDC;
    RECT rc = item->rcItem;
    bool pressed = (item->itemState & ODS_SELECTED) != 0;
    bool disabled = (item->itemState & ODS_DISABLED) != 0;
    bool focused = (item->itemState & ODS_FOCUS) != 0;

    DrawThemeParentBackground(item->hwndItem, dc, &rc);

    COLORREF top = RGB(0xFF, 0xFF, 0xFF), bottom = RGB(0xDC, 0xE6, 0xF2);
    if (disabled) {
        top = RGB(0xF4, 0xF6, 0xF8);
        bottom = RGB(0xEA, 0xEE, 0xF2);
    } else if (pressed) {
        top = RGB(0xBF, 0xD3, 0xEC);
        bottom = RGB(0xE3, 0xEC, 0xF7);
    } else if (skin->hot) {
        top = RGB(0xFF, 0xFF, 0xFF);
        bottom = RGB(0xC8, 0xDC, 0xF5);
    }
    const int radius = 7;
    HRGN shape = CreateRoundRectRgn(rc.left, rc.top, rc.right + 1, rc.bottom + 1, radius, radius);
    SelectClipRgn(dc, shape);
    fill_gradient(dc, rc, top, bottom);
    SelectClipRgn(dc, nullptr);
    DeleteObject(shape);

    HPEN pen = CreatePen(PS_SOLID, 1, disabled ? kBorderDisabled : (focused ? kFocus : kBorder));
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, rc.left, rc.top, rc.right, rc.bottom, radius, radius);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(pen);

    char caption[128];
    int caption_length = GetWindowTextA(item->hwndItem, caption, sizeof caption);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(item->hwndItem, WM_GETFONT, 0, 0));
    HGDIOBJ old_font = font ? SelectObject(dc, font) : nullptr;
    SIZE text_size = {0, 0};
    GetTextExtentPoint32A(dc, caption, caption_length, &text_size);

    bool tall = (skin->flags & SKIN_BUTTON_TALL) != 0 && rc.bottom - rc.top >= 48;
    HICON icon = tall ? skin->large : skin->small;
    int icon_size = tall ? 32 : 16;
    int shift = pressed ? 1 : 0;
    int width = rc.right - rc.left, height = rc.bottom - rc.top;
    int icon_x, icon_y;
    RECT text_rc = rc;
    if (tall) {
        int block = icon_size + 4 + text_size.cy;
        icon_x = rc.left + (width - icon_size) / 2;
        icon_y = rc.top + (height - block) / 2;
        text_rc.top = icon_y + icon_size + 4;
        text_rc.bottom = text_rc.top + text_size.cy;
    } else {
        int gap = (icon && caption_length) ? 6 : 0;
        int block = (icon ? icon_size : 0) + gap + text_size.cx;
        icon_x = rc.left + (width - block) / 2;
        icon_y = rc.top + (height - icon_size) / 2;
        text_rc.left = icon_x + (icon ? icon_size : 0) + gap;
        text_rc.right = text_rc.left + text_size.cx;
    }
    if (icon) {
        UINT how = DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL);
        DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, icon_x + shift, icon_y + shift,
                   icon_size, icon_size, how);
    }
    if (caption_length) {
        OffsetRect(&text_rc, shift, shift);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, disabled ? kTextDisabled : kText);
        UINT format = DT_SINGLELINE | DT_VCENTER | (tall ? DT_CENTER : DT_LEFT) | DT_NOPREFIX;
        DrawTextA(dc, caption, caption_length, &text_rc, format);
    }
    if (old_font) SelectObject(dc, old_font);
}

LRESULT CALLBACK parent_subclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_DRAWITEM) {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lparam);
        if (item && item->CtlType == ODT_BUTTON) {
            auto* skin = static_cast<SkinButton*>(GetPropA(item->hwndItem, kSkinProp));
            if (skin) {
                draw_button(item, skin);
                return TRUE;
            }
        }
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, parent_subclass, kParentSubclassId);
    }
    return DefSubclassProc(window, message, wparam, lparam);
}

void apply(HWND button, SkinButton* skin, const SkinButtonParams* params);

LRESULT CALLBACK button_subclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR data)
{
    auto* skin = reinterpret_cast<SkinButton*>(data);
    if (message == redraw_message()) {
        apply(window, skin, reinterpret_cast<const SkinButtonParams*>(lparam));
        return TRUE;
    }
    switch (message) {
    case WM_MOUSEMOVE:
        if (!skin->hot) {
            skin->hot = true;
            TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, window, 0};
            TrackMouseEvent(&track);
            InvalidateRect(window, nullptr, FALSE);
        }
        break;
    case WM_MOUSELEAVE:
        skin->hot = false;
        InvalidateRect(window, nullptr, FALSE);
        break;
    case WM_ERASEBKGND:
        return 1;  // the whole face is drawn on WM_DRAWITEM
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, button_subclass, kButtonSubclassId);
        RemovePropA(window, kSkinProp);
        if (skin->tooltip) DestroyWindow(skin->tooltip);
        release_icons(skin);
        delete skin;
        return DefSubclassProc(window, message, wparam, lparam);
    }
    return DefSubclassProc(window, message, wparam, lparam);
}

void set_tooltip(HWND button, SkinButton* skin, const char* text)
{
    if (!text || !*text) {
        if (skin->tooltip) DestroyWindow(skin->tooltip);
        skin->tooltip = nullptr;
        skin->tip_text[0] = '\0';
        return;
    }
    snprintf(skin->tip_text, sizeof skin->tip_text, "%s", text);
    TOOLINFOA tool = {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(button);
    tool.uId = reinterpret_cast<UINT_PTR>(button);
    tool.lpszText = skin->tip_text;
    if (!skin->tooltip) {
        skin->tooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                        GetParent(button), nullptr, nullptr, nullptr);
        if (skin->tooltip) SendMessageA(skin->tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    } else {
        SendMessageA(skin->tooltip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void apply(HWND button, SkinButton* skin, const SkinButtonParams* params)
{
    release_icons(skin);
    skin->large = copy_icon(params->icon, 32);
    skin->small = copy_icon(params->icon, 16);
    skin->flags = params->flags;
    set_tooltip(button, skin, params->tooltip);
}

}  // namespace

BOOL RedrawButton(HWND button, const SkinButtonParams* params)
{
    if (!IsWindow(button) || !params) return FALSE;
    HWND parent = GetParent(button);
    if (!parent) return FALSE;

    auto* skin = static_cast<SkinButton*>(GetPropA(button, kSkinProp));
    if (GetWindowThreadProcessId(button, nullptr) != GetCurrentThreadId()) {
        // The skin's data belongs to the button's thread, which also paints it.
        if (!skin) return FALSE;
        return static_cast<BOOL>(SendMessageA(button, redraw_message(), 0, reinterpret_cast<LPARAM>(params)));
    }
    if (!skin) {
        skin = new SkinButton();
        SetPropA(button, kSkinProp, skin);
        SetWindowSubclass(button, button_subclass, kButtonSubclassId, reinterpret_cast<DWORD_PTR>(skin));
        SetWindowSubclass(parent, parent_subclass, kParentSubclassId, 0);
        LONG_PTR style = GetWindowLongPtrA(button, GWL_STYLE);
        SetWindowLongPtrA(button, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    }
    apply(button, skin, params);
    return TRUE;
}

BOOL CreateFillBmp(int style, const RECT* size, int, int, int, int, HBITMAP* fill_bitmap, HGDIOBJ* second_object)
{
    if (fill_bitmap) *fill_bitmap = nullptr;
    if (second_object) *second_object = nullptr;
    if (style != 1 || !size || !fill_bitmap || !second_object) return FALSE;
    int width = size->right - size->left, height = size->bottom - size->top;
    if (width <= 0 || height <= 0) return FALSE;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return FALSE;

    // A quiet diagonal weave: thin lines every 8 pixels both ways, lighter
    // where they cross. With a period of 8 the tile repeats seamlessly
    // whenever its sides are multiples of 8.
    auto* pixel = static_cast<DWORD*>(bits);
    auto as_dib = [](COLORREF c) { return static_cast<DWORD>(GetBValue(c) | GetGValue(c) << 8 | GetRValue(c) << 16); };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bool a = ((x + y) & 7) == 0;
            bool b = ((x - y) & 7) == 0;
            COLORREF c = kTileBase;
            if (a && b) c = RGB(0xF4, 0xF7, 0xFB);
            else if (a || b) c = kTileLine;
            pixel[y * width + x] = as_dib(c);
        }
    }
    *fill_bitmap = bitmap;
    *second_object = CreateSolidBrush(kTileBase);
    return TRUE;
}
