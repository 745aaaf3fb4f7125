#include "main_window.h"

#include <commctrl.h>
#include <cstdio>

#include "app/globals.h"
#include "app/log.h"
#include "cd/library_error.h"
#include "cd/refresh_worker.h"
#include "cdlib/cdlib.h"
#include "res/resource.h"
#include "ui/skinned.h"
#include "lookup/lookup_worker.h"
#include "lookup/mb_lookup.h"
#include "ui/about.h"
#include "ui/rip_dialogs.h"
#include "ui/title_edit.h"
#include "ui/wait.h"

namespace {

constexpr int kMaxDrives = 32;
constexpr DWORD kTrackListStyles = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;

void skin_main_buttons(HWND window)
{
    skin_button(window, IDC_RIP, IDI_RIP, "Rip Audio CD", kMainButtonFlags);
    skin_button(window, IDC_REFRESH, IDI_REFRESH, "Refresh", kMainButtonFlags);
    skin_button(window, IDC_DISC_INFO, IDI_DISC_INFO, "Retrive Disc Info from Internet", kMainButtonFlags);
    skin_button(window, IDC_ABOUT, IDI_ABOUT, "About CD Ripper", kMainButtonFlags);
    skin_button(window, IDOK, IDI_EXIT, "Exit", kMainButtonFlags);
    EnableWindow(GetDlgItem(window, IDOK), FALSE);
}

void add_track_column(HWND list, int position, const char* title, int width)
{
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<char*>(title);
    column.iSubItem = position;
    SendMessageA(list, LVM_INSERTCOLUMNA, position, reinterpret_cast<LPARAM>(&column));
}

// Fills the drive list; returns how many drives it found.
int list_drives(HWND window)
{
    HWND drives = GetDlgItem(window, IDC_DRIVES);
    int count = 0;
    for (int i = 0; i < kMaxDrives; ++i) {
        const char* description = BASS_CD_GetDriveDescription(i);
        if (!description) break;
        char entry[300];
        snprintf(entry, sizeof entry, "%c: %s", 'A' + static_cast<int>(BASS_CD_GetDriveLetter(i)), description);
        SendMessageA(drives, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        ++count;
    }
    return count;
}

INT_PTR on_init_dialog(HWND window)
{
    g_main_window = window;
    skin_main_buttons(window);
    SendMessageA(window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_APP))));

    HWND list = GetDlgItem(window, IDC_TRACKS);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, kTrackListStyles, kTrackListStyles);
    add_track_column(list, 0, "Track", 53);
    add_track_column(list, 1, "Title", 225);
    add_track_column(list, 2, "Time", 60);

    SendDlgItemMessageA(window, IDC_YEAR, EM_LIMITTEXT, 4, 0);
    SendDlgItemMessageA(window, IDC_ARTIST, EM_LIMITTEXT, 100, 0);
    SendDlgItemMessageA(window, IDC_ALBUM, EM_LIMITTEXT, 100, 0);
    install_control_wrappers(window);

    if (list_drives(window) == 0) {
        show_library_error("No CD drives found");
        EndDialog(window, 0);
        return 0;
    }
    SendDlgItemMessageA(window, IDC_DRIVES, CB_SETCURSEL, 0, 0);

    if (!BASS_Init(-1, 44100, 0, window, nullptr)) {
        show_library_error("Can't initialize device");
        EndDialog(window, 0);
        return 0;
    }

    mb_lookup_begin();
    g_refresh_event = CreateEventA(nullptr, FALSE, FALSE, "CDUpdateList");
    HANDLE worker = CreateThread(nullptr, 0, refresh_worker, window, 0, nullptr);
    if (worker) CloseHandle(worker);
    SetEvent(g_refresh_event);
    return 1;
}

void on_command(HWND window, int id)
{
    switch (id) {
    case IDC_REFRESH:
        g_log.print("Button: REFRESH");
        if (!g_refresh_busy.load()) SetEvent(g_refresh_event);
        break;
    case IDC_RIP:
        rip_cd_command(window);
        break;
    case IDC_DISC_INFO:
        disc_info_command(window);
        break;
    case IDC_ABOUT:
        about_command(window);
        break;
    case IDOK:
        g_log.print("Button: EXIT");
        PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    }
}

void on_close(HWND window)
{
    g_log.print("Message: CLOSE");
    g_log.enter();
    g_refresh_abort = 1;
    SetDlgItemTextA(window, IDC_STATUS, "Aborting...");
    wait_until_clear(g_refresh_busy);
    mb_lookup_end();
    DeleteObject(g_fill_bitmap);
    DeleteObject(g_fill_second);
    EndDialog(window, 0);
    g_log.leave();
}

void on_destroy()
{
    g_log.print("Message: DESTROY");
    g_log.enter();
    ReleaseMutex(g_instance_mutex);
    BASS_Free();
    g_log.leave();
}

const int kOwnColours[] = {IDC_STATUS};

}  // namespace

INT_PTR CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == g_open_message && g_open_message != 0) {
        SetForegroundWindow(window);
        ShowWindow(window, SW_SHOWNORMAL);
        return 1;
    }
    switch (message) {
    case WM_INITDIALOG:
        return on_init_dialog(window);
    case WM_COMMAND:
        on_command(window, LOWORD(wparam));
        return 1;
    case WM_MB_ENDED:
        mb_lookup_ended(window);
        return 1;
    case WM_CLOSE:
        on_close(window);
        return 1;
    case WM_DESTROY:
        on_destroy();
        return 1;
    case WM_ERASEBKGND:
        return paint_dialog_background(window, reinterpret_cast<HDC>(wparam));
    case WM_CTLCOLORSTATIC:
        return make_static_transparent(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam), kOwnColours, 1);
    }
    return 0;
}
