#include "rip_worker.h"

#include <commctrl.h>
#include <cstdio>
#include <cstring>
#include <deque>

#include "app/globals.h"
#include "app/log.h"
#include "app/settings.h"
#include "cd/library_error.h"
#include "cd/refresh_worker.h"
#include "cdlib/cdlib.h"
#include "lookup/lookup_worker.h"
#include "lookup/mb_lookup.h"
#include "proof/accurate_rip_run.h"
#include "res/resource.h"
#include "rip/capture.h"
#include "rip/encode_job.h"
#include "rip/names.h"
#include "rip/rip_state.h"
#include "rip/tag_source.h"

std::atomic<int> g_rip_busy{0};
std::atomic<int> g_rip_abort{0};
std::atomic<int> g_rip_fault{0};
std::atomic<int> g_rip_failed{0};
char g_rip_unread[2048];
char g_rip_verdict[2048];
HWND g_progress_window;
bool g_rip_into_album;
HANDLE g_rip_event;
DiscFields g_disc_fields;

namespace {

// What became of one ticked row.
enum class Row {
    kRipped,    // its file is whole, tagged and under its final name
    kFailed,    // no file for it (the user has been told); the rip goes on
    kStop,      // the rip cannot go on (the user has been told, or aborted)
    kEncoding,  // read whole; its encoder runs on (settled in track order)
};

// Encoders at once: one per core, up to four. One keeps up with a drive;
// more speed up disc images, and each holds its track's capture beside
// the program.
constexpr int kMaxEncoders = 4;

// The rip as the progress bars show it; a value is posted only when it
// changes (under some systems every post costs a round trip).
struct Bars {
    HWND window;
    int ticked;
    int finished;         // rows done with: whole, failed or given up
    double read_weight;   // the share of a row its reading earns
    int track, total;     // as posted last
};
Bars g_bars;

// Rows read whole whose encoders run or have ended, in track order; their
// files take their names in that order, so a fault leaves what a rip of
// one track after another would have left.
std::deque<EncodeJob*> g_jobs;
bool g_order_cut;  // a settled row stopped the rip: later rows leave nothing
bool g_job_fault_told;  // an encoder's fault has been shown
int g_disc_tracks;  // the highest track number listed: the disc's track count for the tags

void read_field(int id, char* out, int size)
{
    out[0] = '\0';
    SendDlgItemMessageA(g_main_window, id, WM_GETTEXT, size, reinterpret_cast<LPARAM>(out));
}

void read_cell(HWND list, int row, int column, char (&text)[1024])
{
    memset(text, 0, sizeof text);
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 1023;  // one byte stays zero whatever the list does
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    text[1023] = '\0';
}

// The row's title, and its own artist where the list shows a column of them.
void read_title(HWND list, int row)
{
    g_disc_fields.row = row;
    read_cell(list, row, 1, g_disc_fields.title);
    g_disc_fields.track_artist[0] = '\0';
    if (g_disc_fields.found->track_artists) read_cell(list, row, 3, g_disc_fields.track_artist);
}

const char* extension()
{
    const char* extensions[] = {".mp3", ".wav", ".wma", ".flac"};  // in the order of OutputFormat
    return extensions[static_cast<int>(rip_format())];
}

// The row's final path, and the temporary name in the same folder that
// its file is written under until it is whole. A title that would make the
// path too long is cut (compose_file_name); false only when the folder
// leaves no room for a name.
bool output_paths(int track, const char* title, char* final_path, char* part_path, size_t size)
{
    char name[kMaxNameBytes];
    int number = disc_track_number(track);
    size_t folder = text_units(OutputFolder, text_rules());
    if (!compose_file_name(folder, number, title, extension(), name, sizeof name, text_rules())) return false;
    int n = snprintf(final_path, size, "%s%s", OutputFolder, name);
    if (n < 0 || static_cast<size_t>(n) >= size) return false;
    n = snprintf(part_path, size, "%s~track%02d.part", OutputFolder, number);
    return n >= 0 && static_cast<size_t>(n) < size && folder + kPartNameLength <= kMaxPathLength;
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
        if (claim_fault()) MessageBoxA(g_main_window, "No disc!", kAppCaption, MB_OK);
        return Row::kStop;
    }
    if (!drive_holds_listed_disc(drive)) {
        g_log.print("the disc in the drive is not the one listed");
        if (claim_fault())
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
    if (claim_fault()) {
        // The disc went away (or stopped giving data) in the middle of the
        // track: the rip ends here rather than making short files.
        MessageBoxA(g_main_window, BASS_CD_IsReady(drive) ? "Can't read the disc" : "No disc!", kAppCaption, MB_OK);
    }
    return Row::kStop;
}

// A whole file that holds sectors the disc would not give is said at the end.
void note_unread(int track, unsigned long unread)
{
    size_t used = strlen(g_rip_unread);
    if (unread == 0) return;
    int number = disc_track_number(track);
    g_log.print("track %d: %lu unreadable sectors in the file", number, unread);
    snprintf(g_rip_unread + used, sizeof g_rip_unread - used, "Track %d holds %lu unreadable sector%s, ripped as silence.\n",
             number, unread, unread == 1 ? "" : "s");
}

// The lowest capture name beside the program that no running encoder
// reads: wav.tmp, then wav2.tmp, wav3.tmp...
int free_capture_slot()
{
    for (int slot = 0;; ++slot) {
        bool used = false;
        for (const EncodeJob* job : g_jobs) used = used || (job->capture_slot == slot && !job_ended(job, 0));
        if (!used) return slot;
    }
}

// The encoder job of a row, its capture not yet begun.
EncodeJob* new_job(int track, const char* final_path, const char* part_path)
{
    auto* job = new EncodeJob;
    job->format = rip_format();
    job->track = track;
    job->tags = tags_for_track(g_disc_fields, disc_track_number(track), g_disc_tracks);
    ar_add_codes(track, &job->tags);
    job->tags.gain_room = g_replaygain;
    snprintf(job->final_path, sizeof job->final_path, "%s", final_path);  // both fit: output_paths said so
    snprintf(job->part_path, sizeof job->part_path, "%s", part_path);
    if (job->format == OutputFormat::kMp3) {
        job->capture_slot = free_capture_slot();
        char name[16] = "wav.tmp";
        if (job->capture_slot > 0) snprintf(name, sizeof name, "wav%d.tmp", job->capture_slot + 1);
        int n = snprintf(job->capture_path, sizeof job->capture_path, "%s\\%s", ProgramDirectory, name);
        if (n < 0 || n >= static_cast<int>(sizeof job->capture_path) || text_units(job->capture_path, text_rules()) > kMaxPathLength)
            job->capture_path[0] = '\0';  // cannot be created: told as such
        g_log.print("temp file: %s", job->capture_path);
    }
    return job;
}

// One ticked row: WAV is captured and named; the other formats are captured
// into their encoder job, which runs on while the next rows are read.
Row rip_track(int track, int drive, char* label);

Row rip_row(HWND list, int row, int drive, char* label)
{
    int track = row_track(list, row);
    read_title(list, row);
    return rip_track(track, drive, label);
}

// The audio before track 1's index 1, when the disc has some that is not
// digital silence and track 1 is ripped: a file of its own, track 0.
bool hidden_track_wanted(HWND list, int drive, int rows)
{
    bool first_ticked = false;
    for (int row = 0; row < rows; ++row) first_ticked = first_ticked || (row_track(list, row) == 0 && row_ticked(list, row));
    if (!first_ticked || BASS_CD_GetTrackLength(drive, CDLIB_HIDDEN_TRACK) == 0xFFFFFFFFu) return false;
    Silence silence = track_silence(drive, CDLIB_HIDDEN_TRACK);
    unsigned long unread = unread_sectors(drive);
    if (silence == Silence::kUnreadable)
        g_log.print("hidden track: the drive cannot read the audio before track 1, not ripped");
    else if (silence == Silence::kSilent && unread)
        g_log.print("hidden track: the audio before track 1 is digital silence where it could be read (%lu sectors could not), not ripped", unread);
    else if (silence == Silence::kSilent)
        g_log.print("hidden track: the audio before track 1 is digital silence, not ripped");
    return silence == Silence::kAudio;
}

Row rip_hidden_track(int drive, char* label)
{
    g_disc_fields.row = -1;
    snprintf(g_disc_fields.title, sizeof g_disc_fields.title, "Hidden track");
    g_disc_fields.track_artist[0] = '\0';
    g_log.print("hidden track: %lu sectors before track 1", BASS_CD_GetTrackLength(drive, CDLIB_HIDDEN_TRACK) / 2352ul);
    return rip_track(static_cast<int>(CDLIB_HIDDEN_TRACK), drive, label);
}

// The progress dialog's label for a read that is not the track's first.
void say_reading_again(int track)
{
    static char again[96];
    if (!ar_reading_again()) return;
    snprintf(again, sizeof again, "Reading track %d again to verify...", disc_track_number(track));
    PostMessageA(g_bars.window, WM_RIP_LABEL, reinterpret_cast<WPARAM>(again), 0);
}

Row rip_track(int track, int drive, char* label)
{
    static char final_path[4096], part_path[4096];
    snprintf(label, 1024, "%d.%s", disc_track_number(track), g_disc_fields.title);
    sanitize_name(label, text_rules());  // the file's name; the tags keep the title as it is
    PostMessageA(g_bars.window, WM_RIP_LABEL, reinterpret_cast<WPARAM>(label), 0);

    if (check_disc(drive) == Row::kStop) return Row::kStop;
    if (!output_paths(track, g_disc_fields.title, final_path, part_path, sizeof final_path)) {
        g_log.print("name too long: %s", label);
        show_library_error("Can't create file");
        return Row::kFailed;
    }
    const char* file_name = final_path + strlen(OutputFolder);
    if (rip_format() == OutputFormat::kWav) {
        Row result;
        do {
            ar_read_begin(track);
            say_reading_again(track);
            result = after_capture(capture_track(drive, track, part_path, final_path, nullptr), drive);
        } while (result == Row::kRipped && ar_read_again(track, unread_sectors(drive)));
        if (result == Row::kRipped) ar_track_done(track, file_name, g_disc_fields.title, unread_sector_list(drive), c2_sector_list(drive));
        if (result == Row::kRipped) result = publish(part_path, final_path);
        if (result == Row::kRipped) note_unread(track, unread_sectors(drive));
        return result;
    }
    EncodeJob* job;
    Capture captured;
    for (;;) {
        job = new_job(track, final_path, part_path);
        ar_read_begin(track);
        say_reading_again(track);
        captured = capture_track(drive, track, job->capture_path, job->capture_path, job);
        if (captured != Capture::kWhole || !ar_read_again(track, unread_sectors(drive))) break;
        // A read the database did not confirm: its encoder ends and its file goes.
        job_ended(job, INFINITE);
        if (job->end != JobEnd::kWhole) break;  // its fault is told as it settles
        DeleteFileA(job->part_path);
        job_free(job);
    }
    if (captured == Capture::kWhole) {
        ar_track_done(track, file_name, g_disc_fields.title, unread_sector_list(drive), c2_sector_list(drive));
        job->unread = unread_sectors(drive);
        g_jobs.push_back(job);
        return Row::kEncoding;
    }
    // The encoder removes what it wrote; its own fault may be what cut the
    // track. Such a fault is settled in track order behind the rows still
    // encoding, so that the box names the earliest track whose write failed.
    job_ended(job, INFINITE);
    if (job->end == JobEnd::kFault) {
        g_jobs.push_back(job);
        return Row::kEncoding;
    }
    job_free(job);
    return after_capture(captured, drive);
}


// The bars: rows finished, rows read whole (half) and encoded so far (the
// other half), and the track being read. The overall bar never goes back.
void post_bars(double reading)
{
    if (g_bars.ticked == 0) return;
    double rows = g_bars.finished + reading * g_bars.read_weight;
    for (const EncodeJob* job : g_jobs) rows += 0.5 + 0.5 * job_share(job);
    int total = static_cast<int>(rows * 100.0 / g_bars.ticked);
    if (total > 100) total = 100;
    if (total < g_bars.total) total = g_bars.total;
    int track = static_cast<int>(reading * 100.0);
    if (track == g_bars.track && total == g_bars.total) return;
    PostMessageA(g_bars.window, WM_RIP_TRACK, static_cast<WPARAM>(track), 0);
    PostMessageA(g_bars.window, WM_RIP_TOTAL, static_cast<WPARAM>(total), 0);
    g_bars.track = track;
    g_bars.total = total;
}

void count_row(Row result, bool* stopped)
{
    if (result == Row::kFailed) ++g_rip_failed;
    if (result == Row::kStop) *stopped = true;
    ++g_bars.finished;
}

// A row whose encoder has ended: its whole file takes its name, unless an
// earlier row stopped the rip; the first fault of the rip is told.
Row settle_job(EncodeJob* job)
{
    if (job->end == JobEnd::kWhole && !g_order_cut) {
        Row result = publish(job->part_path, job->final_path);
        if (result == Row::kRipped) note_unread(job->track, job->unread);
        return result;
    }
    if (job->end == JobEnd::kWhole) DeleteFileA(job->part_path);
    // When encoders' writes failed (a volume filling up), the box names the
    // earliest track that failed, as a rip of one track after another would.
    bool claimed = job->tell;
    for (const EncodeJob* later : g_jobs) claimed = claimed || later->tell;
    if (job->end == JobEnd::kFault && claimed && !g_job_fault_told) {
        report_write_failure(job->fault_path, job->error);
        g_job_fault_told = true;
    }
    g_order_cut = true;
    return Row::kStop;
}

// Settles the rows at the front of the queue whose encoders have ended;
// with `all`, waits for every encoder.
void settle_jobs(bool all, bool* stopped)
{
    while (!g_jobs.empty()) {
        EncodeJob* job = g_jobs.front();
        if (!job_ended(job, all ? 50 : 0)) {
            if (!all) return;
            post_bars(0);
            continue;
        }
        g_jobs.pop_front();
        count_row(settle_job(job), stopped);
        job_free(job);
    }
}

// Before a track is read: while `limit` encoders run, the reader waits
// rather than fill the disk with captures the encoders have not reached.
void wait_for_encoder(int limit, bool* stopped)
{
    for (;;) {
        settle_jobs(false, stopped);
        HANDLE running[kMaxEncoders];
        DWORD count = 0;
        for (const EncodeJob* job : g_jobs)
            if (!job_ended(job, 0) && count < kMaxEncoders) running[count++] = job->thread;
        if (static_cast<int>(count) < limit || *stopped || rip_stopping()) return;
        WaitForMultipleObjects(count, running, FALSE, 50);
        post_bars(0);
    }
}

// The album's cover beside its files as folder.jpg (or folder.png), for
// players and file browsers; one already there is kept. A cover that
// cannot be written is no fault of the rip.
void save_folder_picture(const CoverPicture& cover)
{
    char path[kMaxPathBytes];
    const char* name = cover.mime == "image/png" ? "folder.png" : "folder.jpg";
    if (snprintf(path, sizeof path, "%s%s", OutputFolder, name) >= static_cast<int>(sizeof path)) return;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool whole = file != INVALID_HANDLE_VALUE &&
                 WriteFile(file, cover.bytes.data(), static_cast<DWORD>(cover.bytes.size()), &written, nullptr) &&
                 written == cover.bytes.size();
    DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE && !CloseHandle(file)) whole = false;
    if (whole) return;
    g_log.print("%s not written (%lu)", path, error);  // 80: one is there already
    if (file != INVALID_HANDLE_VALUE) DeleteFileA(path);
}

int encoder_limit()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    int cores = static_cast<int>(system.dwNumberOfProcessors);
    return cores < 1 ? 1 : cores > kMaxEncoders ? kMaxEncoders : cores;
}

}  // namespace

void read_year_field(char (&year)[kYearSize])
{
    read_field(IDC_YEAR, year, kYearSize);
}

bool claim_fault()
{
    bool first = g_rip_fault.exchange(1) == 0;
    return first && !g_rip_abort.load();
}

void show_reading(double share)
{
    post_bars(share);
}

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
    read_year_field(g_disc_fields.year);
    static MbFound found;
    found = mb_found();
    g_disc_fields.found = &found;

    int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    bool hidden = hidden_track_wanted(list, drive, rows);
    int ticked = hidden ? 1 : 0, first = 0;
    g_disc_tracks = 0;
    for (int row = 0; row < rows; ++row) {
        int track = row_track(list, row);
        if (row_ticked(list, row) && ticked++ == (hidden ? 1 : 0)) first = track;
        if (disc_track_number(track) > g_disc_tracks) g_disc_tracks = disc_track_number(track);
    }
    TagSet disc_tags = tags_for_track(g_disc_fields, disc_track_number(first), g_disc_tracks);
    if (g_rip_into_album && disc_tags.cover) save_folder_picture(*disc_tags.cover);

    g_bars = {progress, ticked, 0, rip_format() == OutputFormat::kWav ? 1.0 : 0.5, -1, -1};
    g_order_cut = false;
    g_job_fault_told = false;
    int limit = encoder_limit();
    g_log.print("encoders at once: %d", limit);
    ar_rip_begin(drive, apply_read_offset(drive));
    static char label[1024];
    int row = 0, done = 0;
    bool stopped = false;
    if (hidden && !rip_stopping()) {
        Row result = rip_hidden_track(drive, label);
        if (result != Row::kEncoding) count_row(result, &stopped);
        ++done;
    }
    while (done < ticked && !stopped && !rip_stopping()) {
        if (row_ticked(list, row)) {
            wait_for_encoder(limit, &stopped);
            if (stopped || rip_stopping()) break;
            Row result = rip_row(list, row, drive, label);
            if (result != Row::kEncoding) count_row(result, &stopped);
            ++done;
        }
        post_bars(0);
        ++row;
    }
    settle_jobs(true, &stopped);
    post_bars(0);
    bool finished = !stopped && !rip_stopping();
    const char* formats[] = {"MP3", "WAV", "WMA", "FLAC"};  // in the order of OutputFormat
    std::string genre = cddb_genre_of_disc(drive);
    bool succeeded = finished && g_rip_failed.load() == 0 && !g_rip_unread[0];
    bool aborted;
    std::string verdict = ar_rip_end({std::string("Format: ") + formats[static_cast<int>(rip_format())]}, finished,
                                     succeeded, genre.c_str(), &aborted);
    snprintf(g_rip_verdict, sizeof g_rip_verdict, "%s", verdict.c_str());
    finished = finished && !aborted;  // Abort may come while the end waits for the database
    g_log.print("rows failed: %d", g_rip_failed.load());
    PostMessageA(progress, WM_RIP_END, finished ? 1 : 0, 0);
    g_rip_busy = 0;
    PostMessageA(g_main_window, WM_MB_ENDED, 0, 0);  // what a lookup found meanwhile
    g_log.print("end thread...");
    g_log.leave();
    return 0;
}
