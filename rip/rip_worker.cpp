#include "rip_worker.h"

#include <commctrl.h>
#include <cstdio>
#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "app/settings.h"
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
std::atomic<int> g_rip_failed{0};
char g_rip_unread[2048];
HWND g_progress_window;
HANDLE g_rip_event;
DiscFields g_disc_fields;

namespace {

// What became of one ticked row.
enum class Row {
    kRipped,  // its file is whole, tagged and under its final name
    kFailed,  // no file for it (the user has been told); the rip goes on
    kStop,    // the rip cannot go on (the user has been told, or aborted)
};

// The longest file name a Windows volume takes, and the longest path the
// program's 8-bit file calls take.
constexpr size_t kMaxNameBytes = 255;
constexpr size_t kMaxPathBytes = MAX_PATH - 1;

void read_field(int id, char* out, int limit)
{
    out[0] = '\0';
    SendDlgItemMessageA(g_main_window, id, WM_GETTEXT, limit, reinterpret_cast<LPARAM>(out));
    sanitize_name(out, ansi_lead_byte);
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
    sanitize_name(title, ansi_lead_byte);
}

const char* extension()
{
    const char* extensions[] = {".mp3", ".wav", ".wma", ".flac"};  // in the order of OutputFormat
    return extensions[static_cast<int>(rip_format())];
}

// The row's final path, and the temporary name in the same folder that
// its file is written under until it is whole. False when the name is
// longer than a volume takes (no file is then made under a cut name).
bool output_paths(const char* label, int track, char* final_path, char* part_path, size_t size)
{
    int n = snprintf(final_path, size, "%s%s%s", OutputFolder, label, extension());
    if (n < 0 || static_cast<size_t>(n) >= size || static_cast<size_t>(n) > kMaxPathBytes) return false;
    if (strlen(label) + strlen(extension()) > kMaxNameBytes) return false;
    n = snprintf(part_path, size, "%s~track%02d.part", OutputFolder, track + 1);
    return n >= 0 && static_cast<size_t>(n) < size && static_cast<size_t>(n) <= kMaxPathBytes;
}

// Gives the whole file its final name, replacing an earlier file only now.
Row publish(const char* part_path, const char* final_path)
{
    if (MoveFileExA(part_path, final_path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return Row::kRipped;
    g_log.print("can't rename %s to %s (%lu)", part_path, final_path, GetLastError());
    DeleteFileA(part_path);
    show_library_error("Can't create file");
    return Row::kFailed;
}

// The disc must still be the one whose rows are shown.
Row check_disc(int drive)
{
    if (!BASS_CD_IsReady(drive)) {
        MessageBoxA(g_main_window, "No disc!", kAppCaption, MB_OK);
        return Row::kStop;
    }
    if (!drive_holds_listed_disc(drive)) {
        g_log.print("the disc in the drive is not the one listed");
        MessageBoxA(g_main_window,
                    "The disc in the drive is not the one listed.\nPress Refresh to read it, then rip again.",
                    kAppCaption, MB_OK);
        return Row::kStop;
    }
    return Row::kRipped;
}

// What a capture that did not get the whole track means for the rip.
Row after_capture(Capture captured, int drive)
{
    switch (captured) {
    case Capture::kWhole: return Row::kRipped;
    case Capture::kNoFile:
    case Capture::kNoTrack: return Row::kFailed;
    case Capture::kWriteFailed: return Row::kStop;
    case Capture::kCut: break;
    }
    if (!g_rip_abort.load()) {
        // The disc went away (or stopped giving data) in the middle of the
        // track: the rip ends here rather than making short files.
        MessageBoxA(g_main_window, BASS_CD_IsReady(drive) ? "Can't read the disc" : "No disc!", kAppCaption, MB_OK);
    }
    return Row::kStop;
}

// MP3: the capture in wav.tmp beside the program becomes the tagged MP3.
Row encode_and_tag(const char* part_path, const char* final_path)
{
    DWORD error = 0;
    Mp3Result result = encode_wav_to_mp3(TargetPath, part_path, 44100, 44100, &error);
    switch (result) {
    case kMp3Written: break;
    case kMp3Aborted: return Row::kStop;
    case kMp3NoOutput: show_library_error("Can't create file"); return Row::kFailed;
    case kMp3NoInput:
        report_write_failure(TargetPath, error);  // what was just written cannot be read back
        return Row::kStop;
    case kMp3WriteFailed: report_write_failure(final_path, error); return Row::kStop;
    }
    if (!write_id3_tags(part_path, &error)) {
        DeleteFileA(part_path);
        report_write_failure(final_path, error);
        return Row::kStop;
    }
    return Row::kRipped;
}

// A whole file that holds sectors the disc would not give is said at the end.
void note_unread(int drive, int track)
{
    unsigned long unread = unread_sectors(drive);
    size_t used = strlen(g_rip_unread);
    if (unread == 0) return;
    g_log.print("track %d: %lu unreadable sectors in the file", track + 1, unread);
    snprintf(g_rip_unread + used, sizeof g_rip_unread - used, "Track %d holds %lu unreadable sector%s, ripped as silence.\n",
             track + 1, unread, unread == 1 ? "" : "s");
}

// One ticked row: capture, for MP3 encode and tag, then the final name.
Row rip_row(HWND progress, HWND list, int row, int drive, int done, int ticked, char* label)
{
    static char final_path[4096], part_path[4096];
    int track = row_track(list, row);
    read_title(list, row);
    snprintf(g_disc_fields.track_number, sizeof g_disc_fields.track_number, "%d", track + 1);
    snprintf(label, 1024, "%d.%s", track + 1, g_disc_fields.title);
    PostMessageA(progress, WM_RIP_LABEL, reinterpret_cast<WPARAM>(label), 0);

    if (check_disc(drive) == Row::kStop) return Row::kStop;
    if (!output_paths(label, track, final_path, part_path, sizeof final_path)) {
        g_log.print("name too long: %s", label);
        show_library_error("Can't create file");
        return Row::kFailed;
    }
    bool mp3 = rip_format() == OutputFormat::kMp3;
    if (mp3) {
        snprintf(TargetPath, kWorkingBufferSize, "%s\\wav.tmp", ProgramDirectory);
        g_log.print("temp file: %s", TargetPath);
    } else {
        snprintf(TargetPath, kWorkingBufferSize, "%s", part_path);
    }
    const char* shown = mp3 ? TargetPath : final_path;
    Row result = after_capture(capture_track(progress, drive, track, TargetPath, shown, done, ticked), drive);
    if (result == Row::kRipped && mp3) {
        // Only what this row's capture wrote whole is encoded.
        result = encode_and_tag(part_path, final_path);
        DeleteFileA(TargetPath);
    }
    if (result != Row::kRipped) return result;
    return publish(part_path, final_path);
}

}  // namespace

DWORD WINAPI rip_worker(LPVOID parameter)
{
    HWND progress = static_cast<HWND>(parameter);
    HWND list = GetDlgItem(g_main_window, IDC_TRACKS);
    WaitForSingleObject(g_rip_event, INFINITE);
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
    int row = 0, done = 0;
    bool stopped = false;
    while (done < ticked && !stopped && !g_rip_abort.load()) {
        if (row_ticked(list, row)) {
            Row result = rip_row(progress, list, row, drive, done, ticked, label);
            if (result == Row::kFailed) ++g_rip_failed;
            if (result == Row::kRipped) note_unread(drive, row_track(list, row));
            stopped = result == Row::kStop;
            ++done;
        }
        PostMessageA(progress, WM_RIP_TRACK, 0, 0);
        PostMessageA(progress, WM_RIP_TOTAL, static_cast<WPARAM>(done * 100 / ticked), 0);
        ++row;
    }
    bool finished = !stopped && !g_rip_abort.load();
    g_log.print("rows failed: %d", g_rip_failed.load());
    PostMessageA(progress, WM_RIP_END, finished ? 1 : 0, 0);
    g_rip_busy = 0;
    g_log.print("end thread...");
    g_log.leave();
    return 0;
}
