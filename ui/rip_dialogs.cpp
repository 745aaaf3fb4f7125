#include "rip_dialogs.h"

#include <commctrl.h>
#include <shlobj.h>
#include <cstdio>
#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "app/settings.h"
#include "cd/refresh_worker.h"
#include "res/resource.h"
#include "rip/names.h"
#include "rip/rip_state.h"
#include "rip/rip_worker.h"
#include "ui/skinned.h"

namespace {

int count_ticked(HWND list)
{
    int count = 0;
    for (int row = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) - 1; row >= 0; --row)
        count += row_ticked(list, row) ? 1 : 0;
    return count;
}

void show_folder(HWND dialog)
{
    compose_output_folder(dialog, OutputFolder, OutputRoot);
    SetDlgItemTextA(dialog, IDC_FOLDER, OutputFolder);
}

void store_format(HWND dialog)
{
    g_rip_options.mp3 = IsDlgButtonChecked(dialog, IDC_MP3) == BST_CHECKED;
    g_rip_options.wav = IsDlgButtonChecked(dialog, IDC_WAV) == BST_CHECKED;
    g_rip_options.wma = IsDlgButtonChecked(dialog, IDC_WMA) == BST_CHECKED;
    g_rip_options.flac = IsDlgButtonChecked(dialog, IDC_FLAC) == BST_CHECKED;
    g_test_and_copy = IsDlgButtonChecked(dialog, IDC_TEST_COPY) == BST_CHECKED;
}

void check_format(HWND dialog)
{
    const int buttons[] = {IDC_MP3, IDC_WAV, IDC_WMA, IDC_FLAC};  // in the order of OutputFormat
    CheckDlgButton(dialog, buttons[static_cast<int>(rip_format())], BST_CHECKED);
}

void set_subfolder_box(HWND dialog, int id)
{
    char text[1023] = {};
    GetDlgItemTextA(g_main_window, id, text, sizeof text);
    if (text[0]) CheckDlgButton(dialog, id, BST_CHECKED);
    else EnableWindow(GetDlgItem(dialog, id), FALSE);
}

void choose_folder(HWND dialog)
{
    g_log.print("Message: SET FOLDER");
    g_log.enter();
    BROWSEINFOA browse = {};
    browse.hwndOwner = dialog;
    browse.lpszTitle = "Select a folder";
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
    browse.lpfn = browse_callback;
    browse.lParam = reinterpret_cast<LPARAM>(OutputRoot);
    LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
    if (chosen) {
        // Read in UTF-16: a path of MAX_PATH characters takes up to three
        // times as many bytes in the program's UTF-8.
        WCHAR path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(chosen, path))
            WideCharToMultiByte(CP_ACP, 0, path, -1, OutputRoot, kWorkingBufferSize, nullptr, nullptr);
        CoTaskMemFree(chosen);
        show_folder(dialog);
        g_log.print("WAV path: %s", OutputRoot);
    }
    g_log.leave();
}

const int kRipOptionsOwnColours[] = {IDC_FOLDER, IDC_OPT_ARTIST, IDC_OPT_ALBUM, IDC_TEST_COPY};

// The worker sees the flag before its next block and ends the dialog
// with its end message; until then the dialog stays responsive.
void abort_rip(HWND dialog)
{
    g_rip_abort = 1;
    SetDlgItemTextA(dialog, IDC_TRACK_LABEL, "Aborting...");
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
}

// "Done!" only when every ticked row gave its whole file, read whole.
void announce_result(HWND main_window, int ticked)
{
    int failed = g_rip_failed.load();
    char text[2800] = "";
    if (failed == 0 && !g_rip_unread[0]) {
        snprintf(text, sizeof text, "Done!%s%s", g_rip_verdict[0] ? "\n" : "", g_rip_verdict);
        MessageBoxA(main_window, text, kAppCaption, MB_OK);
        return;
    }
    if (failed) snprintf(text, sizeof text, "%d of %d tracks could not be ripped.\n", failed, ticked);
    snprintf(text + strlen(text), sizeof text - strlen(text), "%s", g_rip_unread);
    if (g_rip_verdict[0]) snprintf(text + strlen(text), sizeof text - strlen(text), "%s\n", g_rip_verdict);
    if (size_t n = strlen(text)) text[n - 1] = '\0';  // every line ends with a line break, the box's last needs none
    MessageBoxA(main_window, text, kAppCaption, MB_OK | MB_ICONWARNING);
}

}  // namespace

void compose_output_folder(HWND dialog, char* output, char* root)
{
    g_log.print("CreateOutputFolder");
    g_log.enter();
    size_t length = strlen(root);
    if (length == 0 || root[length - 1] != '\\') snprintf(root + length, kWorkingBufferSize - length, "\\");
    bool with_artist = IsDlgButtonChecked(dialog, IDC_OPT_ARTIST) != BST_UNCHECKED;
    bool with_album = IsDlgButtonChecked(dialog, IDC_OPT_ALBUM) != BST_UNCHECKED;
    char artist[1024] = {}, album[1024] = {}, year[kYearSize] = {};
    if (with_artist) GetDlgItemTextA(g_main_window, IDC_ARTIST, artist, 1023);
    if (with_album) GetDlgItemTextA(g_main_window, IDC_ALBUM, album, 1023);
    read_year_field(year);
    // Typing cannot put every such character in, but CD-TEXT and a disc
    // lookup can: each level is made safe, so "AC/DC" is one folder, "Live:
    // 1999" a valid one and ".." stays inside the root. Long levels are
    // cut so that every track's file still gets a name behind the folder.
    static_assert(kMaxPathBytes < kWorkingBufferSize, "the folder fits the buffer");
    if (!compose_folder_text(root, artist, album, year, with_artist, with_album, output, kWorkingBufferSize,
                             kMaxFolderLength, text_rules()))
        output[0] = '\0';  // nothing that fits: the rip then cannot create its files and says so
    g_log.print("szOut = %s", output);
    g_log.leave();
}

void create_output_folders(const char* folder)
{
    for (size_t i = 0; folder[i]; ++i) {
        if (folder[i] != '\\') continue;
        snprintf(ScratchText, kWorkingBufferSize, "%.*s", static_cast<int>(i), folder);
        CreateDirectoryA(ScratchText, nullptr);
    }
}

int CALLBACK browse_callback(HWND browser, UINT event, LPARAM, LPARAM data)
{
    if (event == BFFM_INITIALIZED && data) SendMessageA(browser, BFFM_SETSELECTIONA, 1, data);
    return 0;
}

void rip_cd_command(HWND main_window)
{
    g_log.print("Button: RIP CD");
    if (g_refresh_busy.load()) return;
    int ticked = count_ticked(GetDlgItem(main_window, IDC_TRACKS));
    if (ticked == 0) {
        MessageBoxA(main_window, "No files for Ripping", kAppCaption, MB_OK);
        return;
    }
    if (DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_RIP_OPTIONS), main_window, rip_options_proc, 0) != 1) return;
    if (DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_PROGRESS), main_window, progress_proc, 0) != 1) return;
    announce_result(main_window, ticked);
}

INT_PTR CALLBACK rip_options_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        skin_button(dialog, IDCANCEL, IDI_CANCEL, nullptr, kDialogButtonFlags);
        skin_button(dialog, IDOK, IDI_OK, nullptr, kDialogButtonFlags);
        check_format(dialog);
        CheckDlgButton(dialog, IDC_TEST_COPY, g_test_and_copy ? BST_CHECKED : BST_UNCHECKED);
        set_subfolder_box(dialog, IDC_OPT_ARTIST);
        set_subfolder_box(dialog, IDC_OPT_ALBUM);
        show_folder(dialog);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_BROWSE:
            choose_folder(dialog);
            break;
        case IDC_OPT_ARTIST:
        case IDC_OPT_ALBUM:
            show_folder(dialog);
            break;
        case IDOK:
            store_format(dialog);
            create_output_folders(OutputFolder);
            g_rip_into_album = IsDlgButtonChecked(dialog, IDC_OPT_ALBUM) == BST_CHECKED;
            EndDialog(dialog, 1);
            break;
        case IDCANCEL:
            store_format(dialog);
            EndDialog(dialog, 0);
            break;
        }
        return 0;
    case WM_CLOSE:
        store_format(dialog);
        EndDialog(dialog, 0);
        return 0;
    case WM_ERASEBKGND:
        return paint_dialog_background(dialog, reinterpret_cast<HDC>(wparam));
    case WM_CTLCOLORSTATIC:
        return make_static_transparent(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam),
                                       kRipOptionsOwnColours, 4);
    }
    return 0;
}

INT_PTR CALLBACK progress_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG: {
        g_progress_window = dialog;
        skin_button(dialog, IDCANCEL, IDI_CANCEL, nullptr, kDialogButtonFlags);
        g_rip_event = CreateEventA(nullptr, FALSE, FALSE, "CDRipping");
        // Set before the worker exists, so that an Abort pressed before it
        // runs is not lost.
        g_rip_abort = 0;
        g_rip_fault = 0;
        g_rip_failed = 0;
        g_rip_unread[0] = '\0';
        g_rip_verdict[0] = '\0';
        g_rip_busy = 1;
        HANDLE worker = g_rip_event ? CreateThread(nullptr, 0, rip_worker, dialog, 0, nullptr) : nullptr;
        if (!worker) {
            g_rip_busy = 0;
            MessageBoxA(dialog, "Can't start ripping: the system has no resources left.", kAppCaption, MB_OK | MB_ICONERROR);
            PostMessageA(dialog, WM_RIP_END, 0, 0);
            return 0;
        }
        CloseHandle(worker);
        SetEvent(g_rip_event);
        return 0;
    }
    case WM_RIP_END:
        EndDialog(dialog, static_cast<INT_PTR>(wparam));
        return 0;
    case WM_DESTROY:
        // The worker is past its wait once it has posted WM_RIP_END.
        if (g_rip_event) CloseHandle(g_rip_event);
        g_rip_event = nullptr;
        return 0;
    case WM_RIP_LABEL:
        SetDlgItemTextA(dialog, IDC_TRACK_LABEL, reinterpret_cast<const char*>(wparam));
        InvalidateRect(dialog, nullptr, TRUE);
        return 0;
    case WM_RIP_TOTAL:
        SendDlgItemMessageA(dialog, IDC_TOTAL_BAR, PBM_SETPOS, wparam, 0);
        return 0;
    case WM_RIP_TRACK:
        SendDlgItemMessageA(dialog, IDC_TRACK_BAR, PBM_SETPOS, wparam, 0);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDCANCEL) abort_rip(dialog);
        return 0;
    case WM_CLOSE:
        abort_rip(dialog);
        return 0;
    case WM_ERASEBKGND:
        return paint_dialog_background(dialog, reinterpret_cast<HDC>(wparam));
    case WM_CTLCOLORSTATIC:
        return make_static_transparent(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam), nullptr, 0);
    }
    return 0;
}
