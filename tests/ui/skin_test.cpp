// The skin layer on real windows: skinned buttons keep their id, caption
// and command; the background tile serves a pattern brush.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "app/globals.h"
#include "res/resource.h"
#include "skin/skin.h"
#include "ui/skinned.h"

namespace {

int g_commands = 0;
int g_last_command = 0;

LRESULT CALLBACK host_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_COMMAND) {
        ++g_commands;
        g_last_command = LOWORD(wparam);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

HWND make_host()
{
    WNDCLASSA cls = {};
    cls.lpfnWndProc = host_proc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "OrvoSkinHost";
    RegisterClassA(&cls);
    return CreateWindowA("OrvoSkinHost", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr,
                         cls.hInstance, nullptr);
}

void pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

TEST(Skin, ButtonKeepsItsIdCaptionAndCommand)
{
    HWND host = make_host();
    HWND button = CreateWindowA("BUTTON", "Rip CD", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 72, 64, host,
                                reinterpret_cast<HMENU>(2003), GetModuleHandleA(nullptr), nullptr);
    SkinButtonParams params = {};
    params.icon = LoadIconA(nullptr, MAKEINTRESOURCEA(32516));  // IDI_INFORMATION
    params.tooltip = "Rip Audio CD";
    params.flags = kMainButtonFlags;
    ASSERT_TRUE(RedrawButton(button, &params));
    EXPECT_EQ(GetDlgCtrlID(button), 2003);
    EXPECT_EQ((GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK), BS_OWNERDRAW) << "the skin draws the face";
    char caption[32];
    GetWindowTextA(button, caption, sizeof caption);
    EXPECT_STREQ(caption, "Rip CD");

    UpdateWindow(host);
    g_commands = 0;
    SendMessageA(button, BM_CLICK, 0, 0);
    pump();
    EXPECT_EQ(g_commands, 1) << "a click still reaches the parent as WM_COMMAND";
    EXPECT_EQ(g_last_command, 2003);

    params.tooltip = "Refresh";  // a second call replaces icon and tooltip
    EXPECT_TRUE(RedrawButton(button, &params));
    InvalidateRect(button, nullptr, FALSE);
    UpdateWindow(button);
    EnableWindow(button, FALSE);
    UpdateWindow(button);
    DestroyWindow(host);  // frees the skin's own data on the way
    pump();
}

TEST(Skin, RejectsWhatIsNotAButtonOfAWindow)
{
    SkinButtonParams params = {};
    EXPECT_FALSE(RedrawButton(nullptr, &params));
    HWND host = make_host();
    EXPECT_FALSE(RedrawButton(host, &params)) << "a top-level window has no parent to draw it";
    DestroyWindow(host);
}

TEST(Skin, FillTileMakesAPatternBrushAndASecondObject)
{
    RECT tile = {0, 0, 128, 128};
    HBITMAP bitmap = nullptr;
    HGDIOBJ second = nullptr;
    ASSERT_TRUE(CreateFillBmp(1, &tile, 30, 15, 0, 0, &bitmap, &second));
    ASSERT_TRUE(bitmap != nullptr);
    ASSERT_TRUE(second != nullptr);
    BITMAP info = {};
    ASSERT_EQ(GetObjectA(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 128);
    EXPECT_EQ(info.bmHeight, 128);
    HBRUSH brush = CreatePatternBrush(bitmap);
    EXPECT_TRUE(brush != nullptr);

    // Painting a dialog background with it fills the client area with the tile.
    g_fill_bitmap = bitmap;
    HWND host = make_host();
    HDC dc = GetDC(host);
    EXPECT_EQ(paint_dialog_background(host, dc), 1);
    COLORREF a = GetPixel(dc, 5, 5), b = GetPixel(dc, 5 + 128, 5 + 8);
    EXPECT_EQ(a, b) << "the tile repeats every 128 pixels and its pattern every 8";
    ReleaseDC(host, dc);
    DestroyWindow(host);

    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteObject(second));
    EXPECT_FALSE(CreateFillBmp(2, &tile, 0, 0, 0, 0, &bitmap, &second)) << "unknown style";
}

TEST(Skin, StaticsAreTransparentExceptTheListedOnes)
{
    HWND host = make_host();
    HWND status = CreateWindowA("STATIC", "Done", WS_CHILD, 0, 0, 50, 10, host, reinterpret_cast<HMENU>(2031),
                                nullptr, nullptr);
    HWND label = CreateWindowA("STATIC", "Artist", WS_CHILD, 0, 0, 50, 10, host, reinterpret_cast<HMENU>(-1),
                               nullptr, nullptr);
    HDC dc = GetDC(host);
    const int exceptions[] = {2031};
    EXPECT_EQ(make_static_transparent(dc, status, exceptions, 1), 0) << "the status label keeps system colours";
    EXPECT_EQ(make_static_transparent(dc, label, exceptions, 1), reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    ReleaseDC(host, dc);
    DestroyWindow(host);
}

}  // namespace

int main(int argc, char** argv)
{
    InitCommonControls();
    g_instance = GetModuleHandleA(nullptr);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
