#include "lookup_worker.h"

#include <commctrl.h>
#include <wininet.h>
#include <atomic>
#include <cstdio>

#include "app/globals.h"
#include "app/log.h"
#include "cd/refresh_worker.h"
#include "cdlib/cdlib.h"
#include "lookup/cddb.h"
#include "res/resource.h"
#include "ui/skinned.h"
#include "ui/wait.h"

const char kCddbServer[] = "gnudb.gnudb.org";
HWND g_disc_info_dialog;
HANDLE g_lookup_event;

namespace {

const char kCgiPath[] = "~cddb/cddb.cgi";
// The hello names no user and no machine: fixed words of ours.
const char kHelloHost[] = "orvo";
const char kHelloVersion[] = "1.2";
// A server that accepts and never answers must not keep the user waiting
// for ever: connecting, sending and each read give up after this long.
constexpr DWORD kNetworkTimeoutMs = 15000;
constexpr DWORD kReplySize = 65536;

char g_album[4096];
HANDLE g_lookup_thread;
std::atomic<int> g_lookup_quit{0};  // the dialog is going: the worker ends

void set_main_text(int id, const char* text)
{
    SetDlgItemTextA(g_main_window, id, text);
}

void set_timeouts(HINTERNET handle)
{
    DWORD timeout = kNetworkTimeoutMs;
    InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
}

// Reads the whole reply into `reply` (at most kReplySize - 1 bytes).
// Returns false when the first read fails.
bool read_reply(HINTERNET request, char* reply)
{
    memset(reply, 0, kReplySize);
    DWORD got = 0, total = 0;
    if (!InternetReadFile(request, reply, kReplySize - 1, &got)) return false;
    total = got;
    while (got > 0 && total < kReplySize - 1) {
        if (!InternetReadFile(request, reply + total, kReplySize - 1 - total, &got)) break;
        total += got;
    }
    reply[total] = '\0';
    return true;
}

// Writes what the reply says into the main window.
void apply_reply(const char* reply)
{
    find_key_value(reply, "DTITLE=", ScratchText, kWorkingBufferSize);
    g_log.print("DTITLE: %s", ScratchText);
    int p = find_key_value(ScratchText, " / ", g_album, sizeof g_album);
    g_log.print("ALBUM: %s", g_album);
    set_main_text(IDC_ALBUM, g_album);
    if (p >= 0) ScratchText[p] = '\0';
    g_log.print("ARTIST: %s", ScratchText);
    set_main_text(IDC_ARTIST, ScratchText);
    find_key_value(reply, "YEAR: ", ScratchText, kWorkingBufferSize);
    g_log.print("YEAR: %s", ScratchText);
    set_main_text(IDC_YEAR, ScratchText);
    HWND list = GetDlgItem(g_main_window, IDC_TRACKS);
    int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        char key[64];
        // The entry numbers its titles by disc track, as the rows keep them.
        snprintf(key, sizeof key, "TITLE%d=", row_track(list, row));
        find_key_value(reply, key, ScratchText, kWorkingBufferSize);
        g_log.print("TITLE: %s", ScratchText);
        LVITEMA item = {};
        item.iSubItem = 1;
        item.pszText = ScratchText;
        SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    }
}

// One lookup; returns whether it counts as done.
bool look_up(HWND dialog, char* reply)
{
    int category = static_cast<int>(SendDlgItemMessageA(dialog, IDC_GENRE, CB_GETCURSEL, 0, 0));
    if (category < 0 || category >= kCddbCategoryCount) category = 0;
    int drive = static_cast<int>(SendDlgItemMessageA(g_main_window, IDC_DRIVES, CB_GETCURSEL, 0, 0));
    g_drive_index = drive;
    if (!BASS_CD_IsReady(drive)) return false;
    const char* query = BASS_CD_GetID(drive, BASS_CDID_CDDB);
    g_log.print("CDDB: %s", query);
    char disc_id[64] = {};
    if (query) snprintf(disc_id, sizeof disc_id, "%.*s", static_cast<int>(strcspn(query, " ")), query);
    const char* name = CddbCategories[category].name;
    g_log.print("Genre: %s", name);
    snprintf(ScratchText, kWorkingBufferSize, "%s?cmd=cddb+read+%s+%s&hello=name+%s+orvocdripper+%s&proto=1", kCgiPath,
             name, disc_id, kHelloHost, kHelloVersion);

    bool done = true;
    HINTERNET internet = InternetOpenA("WinInet", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET connection = nullptr, request = nullptr;
    if (internet) {
        set_timeouts(internet);
        connection = InternetConnectA(internet, kCddbServer, INTERNET_DEFAULT_HTTP_PORT, "", "", INTERNET_SERVICE_HTTP, 0, 1);
    }
    if (connection) {
        set_timeouts(connection);
        request = HttpOpenRequestA(connection, "GET", ScratchText, nullptr, nullptr, nullptr, INTERNET_FLAG_KEEP_CONNECTION, 1);
    }
    if (request) {
        set_timeouts(request);  // not every WinINet hands them down from the session
        if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
            MessageBoxA(g_main_window, "Please check your internet connection", kAppCaption, MB_OK);
            done = false;
        } else if (read_reply(request, reply)) {
            if (strlen(reply) <= kCddbShortReply) {
                char text[200];
                snprintf(text, sizeof text, "Genre: %s\nNo such CD entry in database", name);
                MessageBoxA(g_main_window, text, kAppCaption, MB_OK);
                done = false;
            } else {
                apply_reply(reply);
            }
        }
    }
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    if (internet) InternetCloseHandle(internet);
    return done;
}

const int kDiscInfoOwnColours[] = {IDC_SERVER};

// Every dialog has a worker of its own; it must not outlive the dialog,
// nor its event (each open would leave a thread and two handles behind).
void end_lookup_worker()
{
    g_lookup_quit = 1;
    if (g_lookup_event) SetEvent(g_lookup_event);
    if (g_lookup_thread) {
        wait_for_thread(g_lookup_thread);
        CloseHandle(g_lookup_thread);
        g_lookup_thread = nullptr;
    }
    if (g_lookup_event) CloseHandle(g_lookup_event);
    g_lookup_event = nullptr;
}

}  // namespace

DWORD WINAPI lookup_worker(LPVOID)
{
    static char reply[kReplySize];
    for (;;) {
        ShowWindow(GetDlgItem(g_disc_info_dialog, IDC_CONNECTING), SW_HIDE);
        WaitForSingleObject(g_lookup_event, INFINITE);
        if (g_lookup_quit.load()) return 0;
        HWND dialog = g_disc_info_dialog;
        g_log.print("CDDBRetriveInfo");
        g_log.enter();
        ShowWindow(GetDlgItem(dialog, IDC_CONNECTING), SW_SHOW);
        EnableWindow(dialog, FALSE);
        bool done = look_up(dialog, reply);
        g_log.leave();
        EnableWindow(dialog, TRUE);
        SetFocus(dialog);
        if (done) {
            EndDialog(dialog, 1);
            return 0;
        }
    }
}

void disc_info_command(HWND main_window)
{
    g_log.print("Button: DISCINFO");
    if (g_refresh_busy.load()) return;
    g_drive_index = static_cast<int>(SendDlgItemMessageA(main_window, IDC_DRIVES, CB_GETCURSEL, 0, 0));
    if (BASS_CD_IsReady(g_drive_index.load()) && SendDlgItemMessageA(main_window, IDC_TRACKS, LVM_GETITEMCOUNT, 0, 0) > 0) {
        DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_DISC_INFO), main_window, disc_info_proc, 0);
    } else {
        MessageBoxA(main_window, "No Disc!", kAppCaption, MB_OK);
    }
}

INT_PTR CALLBACK disc_info_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG: {
        skin_button(dialog, IDCANCEL, IDI_CANCEL, nullptr, kDialogButtonFlags);
        skin_button(dialog, IDOK, IDI_OK, nullptr, kDialogButtonFlags);
        SetDlgItemTextA(dialog, IDC_SERVER, kCddbServer);
        for (const CddbCategory& category : CddbCategories)
            SendDlgItemMessageA(dialog, IDC_GENRE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(category.description));
        SendDlgItemMessageA(dialog, IDC_GENRE, CB_SETCURSEL, 0, 0);
        g_lookup_event = CreateEventA(nullptr, FALSE, FALSE, "GetCDDB");
        g_disc_info_dialog = dialog;
        g_lookup_quit = 0;
        g_lookup_thread = CreateThread(nullptr, 0, lookup_worker, dialog, 0, nullptr);
        SetFocus(GetDlgItem(dialog, IDOK));
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) SetEvent(g_lookup_event);
        else if (LOWORD(wparam) == IDCANCEL) EndDialog(dialog, 0);
        return 0;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return 0;
    case WM_DESTROY:
        end_lookup_worker();
        return 0;
    case WM_ERASEBKGND:
        return paint_dialog_background(dialog, reinterpret_cast<HDC>(wparam));
    case WM_CTLCOLORSTATIC: {
        HWND control = reinterpret_cast<HWND>(lparam);
        if (GetDlgCtrlID(control) == IDC_CONNECTING) SetTextColor(reinterpret_cast<HDC>(wparam), 0x8844EE);
        return make_static_transparent(reinterpret_cast<HDC>(wparam), control, kDiscInfoOwnColours, 1);
    }
    }
    return 0;
}
