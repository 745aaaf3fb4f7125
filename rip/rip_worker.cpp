#include "rip_worker.h"

#include <commctrl.h>
#include <cstdio>

#include "app/globals.h"
#include "app/log.h"
#include "cd/library_error.h"
#include "cd/refresh_worker.h"
#include "cdlib/cdlib.h"
#include "res/resource.h"
#include "rip/capture.h"
#include "rip/mp3.h"
#include "rip/names.h"
#include "rip/rip_state.h"

std::atomic<int> g_rip_busy{0};
std::atomic<int> g_rip_abort{0};
HWND g_progress_window;
HANDLE g_rip_event;
DiscFields g_disc_fields;

namespace {

void read_field(int id, char* out, int limit)
{
    out[0] = '\0';
    SendDlgItemMessageA(g_main_window, id, WM_GETTEXT, limit, reinterpret_cast<LPARAM>(out));
    sanitize_name(out);
}

void read_title(HWND list, int row)
{
    char* title = g_disc_fields.title;
    memset(title, 0, sizeof g_disc_fields.title);
    LVITEMA item = {};
    item.iSubItem = 1;
    item.pszText = title;
    item.cchTextMax = 1023;  // one byte stays zero whatever the list does
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    title[1023] = '\0';
    sanitize_name(title);
}

// Formats a path; false when it would not fit (the file is then not made
// at all, rather than made under a cut name).
bool format_path(char* out, size_t size, const char* folder, const char* label, const char* extension)
{
    int n = snprintf(out, size, "%s%s%s", folder, label, extension);
    return n >= 0 && static_cast<size_t>(n) < size;
}

// One ticked row: capture, and for MP3 encode, tag and tidy up.
void rip_row(HWND progress, HWND list, int row, int drive, int done, int ticked, char* label, char* mp3_path)
{
    int track = row_track(list, row);
    read_title(list, row);
    snprintf(g_disc_fields.track_number, sizeof g_disc_fields.track_number, "%d", track + 1);
    snprintf(label, 1024, "%d.%s", track + 1, g_disc_fields.title);
    PostMessageA(progress, WM_RIP_LABEL, reinterpret_cast<WPARAM>(label), 0);

    bool mp3 = g_rip_options.mp3 != 0;
    bool path_ok;
    if (mp3) {
        snprintf(TargetPath, kWorkingBufferSize, "%s\\wav.tmp", ProgramDirectory);
        g_log.print("temp file: %s", TargetPath);
        path_ok = format_path(mp3_path, 4096, OutputFolder, label, ".mp3");
    } else {
        path_ok = format_path(TargetPath, kWorkingBufferSize, OutputFolder, label, g_rip_options.wav ? ".wav" : ".wma");
    }
    if (!path_ok) {
        show_library_error("Can't create file");
        return;
    }
    Capture captured = capture_track(progress, drive, track, done, ticked);
    if (captured == Capture::kCut && !g_rip_abort.load()) {
        // The disc went away (or stopped giving data) in the middle of the
        // track: the rip ends here rather than making short files.
        MessageBoxA(g_main_window, BASS_CD_IsReady(drive) ? "Can't read the disc" : "No disc!", kAppCaption, MB_OK);
        g_rip_abort = 1;
    }
    if (!mp3) return;
    if (!g_rip_abort.load()) {
        Mp3Result result = encode_wav_to_mp3(TargetPath, mp3_path, 44100, 44100);
        if (g_rip_abort.load()) {
            DeleteFileA(mp3_path);
        } else if (result == kMp3Written) {
            write_id3_tags(mp3_path);
        } else if (result == kMp3NoOutput && captured == Capture::kWhole) {
            show_library_error("Can't create file");  // said once per row
        }
    }
    DeleteFileA(TargetPath);
}

}  // namespace

DWORD WINAPI rip_worker(LPVOID parameter)
{
    HWND progress = static_cast<HWND>(parameter);
    HWND list = GetDlgItem(g_main_window, IDC_TRACKS);
    g_rip_busy = 0;
    WaitForSingleObject(g_rip_event, INFINITE);
    g_rip_busy = 1;
    g_rip_abort = 0;
    int drive = static_cast<int>(SendDlgItemMessageA(g_main_window, IDC_DRIVES, CB_GETCURSEL, 0, 0));
    g_drive_index = drive;
    g_log.print("WaitForSingleObject (Ripping)");
    g_log.enter();
    read_field(IDC_ARTIST, g_disc_fields.artist, 1023);
    read_field(IDC_ALBUM, g_disc_fields.album, 1023);
    read_field(IDC_YEAR, g_disc_fields.year, 7);

    int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    int ticked = 0;
    for (int row = 0; row < rows; ++row) ticked += row_ticked(list, row) ? 1 : 0;

    static char label[1024];
    static char mp3_path[4096];
    int row = 0, done = 0;
    while (done < ticked && !g_rip_abort.load()) {
        if (row_ticked(list, row)) {
            if (!BASS_CD_IsReady(drive)) {
                MessageBoxA(g_main_window, "No disc!", kAppCaption, MB_OK);
                g_rip_abort = 1;
            }
            rip_row(progress, list, row, drive, done, ticked, label, mp3_path);
            ++done;
        }
        PostMessageA(progress, WM_RIP_TRACK, 0, 0);
        PostMessageA(progress, WM_RIP_TOTAL, static_cast<WPARAM>(done * 100 / ticked), 0);
        ++row;
    }
    PostMessageA(progress, WM_RIP_END, g_rip_abort.load() ? 0 : 1, 0);
    g_rip_busy = 0;
    g_log.print("end thread...");
    g_log.leave();
    return 0;
}
