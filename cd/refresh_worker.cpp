#include "refresh_worker.h"

#include <commctrl.h>
#include <cstdio>
#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "cd/track_rows.h"
#include "rip/rip_state.h"
#include "cdlib/cdlib.h"
#include "lookup/mb_lookup.h"
#include "res/resource.h"
#include "skin/skin.h"
#include "ui/skinned.h"

std::atomic<int> g_refresh_busy{0};
std::atomic<int> g_refresh_abort{0};
std::atomic<int> g_drive_index{0};
HANDLE g_refresh_event;

namespace {

// The disc listed last, as describe_disc gives it, and its drive.
char g_listed_disc[4096];
int g_listed_drive = -1;
std::atomic<int> g_listed_first{1};  // the listed disc's first track number

// What tells the disc in `drive` from another of the same freedb id: the
// CDDB query text (the id, every track's start, the whole seconds) and the
// last track's length, which places the lead-out to the sector. "" when
// the drive has no disc.
void describe_disc(int drive, char* out, size_t size)
{
    const char* id = BASS_CD_GetID(drive, BASS_CDID_CDDB);
    int count = BASS_CD_GetTracks(drive);
    if (!id || count < 1) out[0] = '\0';
    else snprintf(out, size, "%s %u", id, BASS_CD_GetTrackLength(drive, count - 1));
}

void remember_listed_disc(int drive, bool has_disc)
{
    if (has_disc) describe_disc(drive, g_listed_disc, sizeof g_listed_disc);
    else g_listed_disc[0] = '\0';
    g_listed_drive = drive;
}

struct ButtonLook {
    int id;
    int busy_icon;
    int normal_icon;
    const char* tooltip;
};

const ButtonLook kLooks[] = {
    {IDC_REFRESH, IDI_REFRESH_BUSY, IDI_REFRESH, "Refresh"},
    {IDC_RIP, IDI_RIP_BUSY, IDI_RIP, "Rip Audio CD"},
    {IDC_DISC_INFO, IDI_DISC_INFO_BUSY, IDI_DISC_INFO, "Retrive Disc Info from Internet"},
};

void set_looks(SkinButtonParams* params, bool busy)
{
    for (const ButtonLook& look : kLooks) {
        HWND button = GetDlgItem(g_main_window, look.id);
        params->icon = LoadIconA(g_instance, MAKEINTRESOURCEA(busy ? look.busy_icon : look.normal_icon));
        params->tooltip = look.tooltip;
        params->flags = kMainButtonFlags;
        RedrawButton(button, params);
        InvalidateRect(button, nullptr, FALSE);
    }
}

void set_cell(HWND list, int row, int column, const char* text)
{
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

void add_row(HWND list, int track, int number, const char* title, uint32_t length)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = track;  // the list puts it behind the rows it has
    item.pszText = const_cast<char*>("");
    item.lParam = track;
    int row = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return;
    char text[16], time[32];
    snprintf(text, sizeof text, "%d", number);
    format_track_time(length, time, sizeof time);
    set_cell(list, row, 1, title);
    set_cell(list, row, 0, text);
    set_cell(list, row, 2, time);
    LVITEMA state = {};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = INDEXTOSTATEIMAGEMASK(2);
    SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    UpdateWindow(list);
}

void fill_tracks(HWND list, int drive)
{
    int count = BASS_CD_GetTracks(drive);
    g_log.print("CD Tracks: %d", count);
    g_log.print("Is CD active: %d", BASS_CD_IsReady(drive));
    remember_listed_disc(drive, false);
    if (count == -1) return;
    g_log.print("CDDB: %s", BASS_CD_GetID(drive, BASS_CDID_CDDB));
    remember_listed_disc(drive, true);
    CDLIB_TOC toc;
    g_listed_first = CDLIB_GetTOC(drive, &toc) ? toc.first : 1;
    const char* text = BASS_CD_GetID(drive, BASS_CDID_TEXT);
    g_log.print("CDID_TEXT: %s", text);
    for (int i = 0; i < count; ++i) {
        if (g_refresh_abort.load()) break;
        CDLIB_DWORD length = BASS_CD_GetTrackLength(drive, i);
        char title[kTitleSize];
        int number = g_listed_first + i;
        default_track_title(number, title, sizeof title);
        const char* found = find_cdtext_title(text, number);
        if (found) copy_track_title(title, sizeof title, found, text_rules());  // at most 107 characters
        if (length == 0xFFFFFFFFu) continue;
        add_row(list, i, number, title, length);
    }
}

}  // namespace

int row_track(HWND list, int row)
{
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return row;
    return static_cast<int>(item.lParam);
}

int disc_track_number(int track)
{
    return track == static_cast<int>(CDLIB_HIDDEN_TRACK) ? 0 : g_listed_first + track;
}

bool drive_holds_listed_disc(int drive)
{
    char disc[sizeof g_listed_disc];
    describe_disc(drive, disc, sizeof disc);
    return drive == g_listed_drive && disc[0] && strcmp(disc, g_listed_disc) == 0;
}

bool row_ticked(HWND list, int row)
{
    UINT state = static_cast<UINT>(SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
    return ((state & 0xF000) >> 12) != 1;
}

DWORD WINAPI refresh_worker(LPVOID)
{
    HWND list = GetDlgItem(g_main_window, IDC_TRACKS);
    HWND drives = GetDlgItem(g_main_window, IDC_DRIVES);
    SkinButtonParams params = {};
    for (;;) {
        g_refresh_busy = 0;
        WaitForSingleObject(g_refresh_event, INFINITE);
        g_refresh_busy = 1;
        g_refresh_abort = 0;
        g_drive_index = static_cast<int>(SendMessageA(drives, CB_GETCURSEL, 0, 0));
        g_log.print("WaitForSingleObject");
        g_log.enter();
        EnableWindow(list, FALSE);
        EnableWindow(drives, FALSE);
        set_looks(&params, true);
        SetDlgItemTextA(g_main_window, IDC_STATUS, "Refreshing. Please wait...");
        SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
        fill_tracks(list, g_drive_index.load());
        bool looking = mb_lookup_after_refresh(g_main_window, g_drive_index.load());
        g_refresh_busy = 0;
        set_looks(&params, false);
        EnableWindow(list, TRUE);
        EnableWindow(drives, TRUE);
        if (looking) PostMessageA(g_main_window, WM_MB_ENDED, 0, 0);
        else SetDlgItemTextA(g_main_window, IDC_STATUS, "Done");
        g_log.print("end thread...");
        g_log.leave();
    }
}
