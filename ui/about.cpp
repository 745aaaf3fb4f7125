#include "about.h"

#include <shellapi.h>
#include <cstdio>
#include <cstring>

#include <FLAC/format.h>
#include <lame/lame.h>

#include "app/globals.h"
#include "app/log.h"
#include "res/resource.h"
#include "ui/skinned.h"

const char kHomePage[] = "https://orvo-cd-ripper.example/";

namespace {

// The encoders named as the linked libraries report themselves.
void show_about_text(HWND dialog)
{
    char text[512];
    snprintf(text, sizeof text,
             "Orvo CD Ripper v1.2\n\nFree software: rips audio CDs to MP3, WMA, WAV and FLAC.\n\n%s\n\n"
             "MP3 encoder: LAME %s\nhttps://lame.sourceforge.io/\nFLAC encoder: libFLAC %s\nhttps://xiph.org/flac/",
             kHomePage, get_lame_version(), FLAC__VERSION_STRING);
    SetDlgItemTextA(dialog, IDC_ABOUT_TEXT, text);
}

}  // namespace

void about_command(HWND main_window)
{
    g_log.print("Button: ABOUT");
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_ABOUT), main_window, about_proc, 0);
}

INT_PTR CALLBACK about_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        skin_button(dialog, IDC_HOME_PAGE, IDI_WEB, nullptr, kDialogButtonFlags);
        skin_button(dialog, IDOK, IDI_OK, nullptr, kDialogButtonFlags);
        show_about_text(dialog);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_HOME_PAGE:
            open_in_browser(kHomePage);
            EndDialog(dialog, 0);
            break;
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, 0);
            break;
        }
        return 0;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return 1;
    case WM_ERASEBKGND:
        return paint_dialog_background(dialog, reinterpret_cast<HDC>(wparam));
    case WM_CTLCOLORSTATIC:
        return make_static_transparent(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam), nullptr, 0);
    }
    return 0;
}

void open_in_browser(const char* address)
{
    constexpr DWORD kCommandSize = 4096;
    auto* buffer = static_cast<char*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, kCommandSize + 1));
    if (!buffer) return;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        DWORD size = kCommandSize;
        RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
    }
    buffer[kCommandSize] = '\0';  // a value that fills the buffer stays terminated
    char* command = buffer[0] == '"' ? buffer + 1 : buffer;
    size_t n = strlen(command);
    if (n >= 4) {
        // The program's extension, in whatever case the command writes it.
        size_t p = 0;
        for (size_t at = n - 4; at >= 1; --at) {
            if (_strnicmp(command + at, ".exe", 4) == 0) {
                p = at;
                break;
            }
        }
        command[p + 4] = '\0';
    }
    ShellExecuteA(nullptr, "open", command, address, nullptr, SW_SHOWNORMAL);
    GlobalFree(buffer);
}
