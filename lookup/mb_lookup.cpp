#include "mb_lookup.h"

#include <commctrl.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "app/digest.h"
#include "app/globals.h"
#include "app/log.h"
#include "app/settings.h"
#include "cd/refresh_worker.h"
#include "cdlib/cdlib.h"
#include "cdlib/qsub.h"
#include "lookup/cover_art.h"
#include "lookup/web.h"
#include "res/resource.h"
#include "rip/cover_picture.h"
#include "rip/rip_state.h"
#include "ui/release_dialog.h"
#include "ui/title_edit.h"

namespace {

const char kLookingUp[] = "Looking up the disc on MusicBrainz...";
const char kHost[] = "musicbrainz.org";
// The service sends a few kB for a disc; a body past this is no answer.
constexpr size_t kMaxAnswerBytes = 2u << 20;
// The service takes one request a second from an address.
constexpr DWORD kRequestGapMs = 1000;
constexpr DWORD kCloseWaitMs = 1000;
constexpr int kArtistColumn = 3;

enum class Known { kAsking, kFound, kNotFound };

// What this run knows of one disc, by its disc id.
struct Disc {
    Known state = Known::kAsking;
    MbToc toc;
    std::vector<MbRelease> releases;
    int chosen = -1;  // -1: not chosen yet; -2: the user kept the rows
    bool cover_asked = false;
    std::shared_ptr<const CoverPicture> cover;
};

struct Job {
    bool cover;
    std::string disc_id;
};

std::mutex g_lock;  // guards what follows
std::map<std::string, Disc> g_discs;
std::vector<Job> g_jobs;
bool g_working = false;   // the worker is on a job
std::string g_listed;     // the disc id of the listed disc
bool g_to_show = false;   // what is known of the listed disc waits for the main thread
MbFound g_found;

HANDLE g_wake;      // a job is queued
HANDLE g_quit;      // the program closes
HANDLE g_thread;
WebStop* g_stop;
DWORD g_last_request;
bool g_last_request_made = false;
bool g_choosing = false;  // main thread: the release chooser is open

// The disc's table of contents as MusicBrainz counts it, with the disc's
// own track numbers; a track whose control bits say data is data.
bool read_toc(int drive, MbToc* toc)
{
    CDLIB_TOC disc = {};
    if (!CDLIB_GetTOC(drive, &disc)) return false;
    int count = disc.last - disc.first + 1;
    if (disc.first < 1 || count < 1 || count > 99) return false;
    std::vector<uint32_t> starts;
    std::vector<bool> data;
    for (int i = 0; i < count; ++i) {
        starts.push_back(disc.start[i]);
        data.push_back((disc.control[i] & 4) != 0);
    }
    *toc = mb_toc_from_lbas(disc.first, starts, data, disc.leadout);
    return toc->last > 0;
}

// Waits `ms`, or less when the program closes; false then.
bool pause(DWORD ms)
{
    return WaitForSingleObject(g_quit, ms) == WAIT_TIMEOUT;
}

bool request(const char* host, const std::string& path, size_t max_bytes, WebReply* reply)
{
    if (g_last_request_made) {
        DWORD since = GetTickCount() - g_last_request;
        if (since < kRequestGapMs && !pause(kRequestGapMs - since)) return false;
    }
    g_last_request = GetTickCount();
    g_last_request_made = true;
    *reply = WebReply();
    return web_get(host, path.c_str(), true, max_bytes, reply, g_stop);
}

// One request for the disc (and one more after "busy"); what came is
// logged and kept for the disc. Without an answer nothing is kept, so that
// the next Refresh asks again.
void ask(const std::string& disc_id)
{
    MbToc toc;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        toc = g_discs[disc_id].toc;
    }
    std::string path = mb_request_path(disc_id, toc);
    WebReply reply;
    bool answered = request(kHost, path, kMaxAnswerBytes, &reply);
    if (answered && reply.status == 503 && pause(kRequestGapMs)) answered = request(kHost, path, kMaxAnswerBytes, &reply);
    std::vector<MbRelease> releases;
    MbAnswer answer = MbAnswer::kBad;
    if (answered && reply.status == 200 && !reply.too_big) answer = mb_parse_answer(reply.body, disc_id, toc, &releases);
    std::lock_guard<std::mutex> hold(g_lock);
    Disc& disc = g_discs[disc_id];
    if (answered && (reply.status == 404 || (reply.status == 200 && answer == MbAnswer::kNotFound))) {
        g_log.print("MusicBrainz: disc %s not found", disc_id.c_str());
        disc.state = Known::kNotFound;
    } else if (answer == MbAnswer::kFound) {
        g_log.print("MusicBrainz: disc %s found: %d release(s), the first %s", disc_id.c_str(),
                    static_cast<int>(releases.size()), releases[0].id.c_str());
        disc.state = Known::kFound;
        disc.releases = std::move(releases);
    } else {
        if (!answered) g_log.print("MusicBrainz: no answer for disc %s (error %lu)", disc_id.c_str(), reply.error);
        else if (reply.too_big) g_log.print("MusicBrainz: no answer for disc %s (over 2 MB)", disc_id.c_str());
        else if (reply.status == 200) g_log.print("MusicBrainz: no answer for disc %s (not the service's JSON)", disc_id.c_str());
        else g_log.print("MusicBrainz: no answer for disc %s (HTTP %lu)", disc_id.c_str(), reply.status);
        g_discs.erase(disc_id);
    }
    if (disc_id == g_listed) g_to_show = true;
}

// The chosen release's front cover, kept for the disc when it is a
// picture of the kind and size the tags take.
void fetch_cover(const std::string& disc_id)
{
    std::string release;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        const Disc& disc = g_discs[disc_id];
        if (disc.chosen >= 0) release = disc.releases[disc.chosen].id;
    }
    std::string bytes;
    auto picture = std::make_shared<CoverPicture>();
    if (release.empty() || !fetch_front_cover(release, g_stop, &bytes) || !read_cover_picture(bytes, picture.get())) return;
    std::lock_guard<std::mutex> hold(g_lock);
    g_discs[disc_id].cover = picture;
    if (g_found.found && g_found.disc_id == disc_id && g_found.release.id == release) g_found.cover = picture;
}

DWORD WINAPI mb_worker(LPVOID)
{
    HANDLE events[] = {g_quit, g_wake};
    while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        for (;;) {
            Job job;
            {
                std::lock_guard<std::mutex> hold(g_lock);
                if (g_jobs.empty()) break;
                job = g_jobs.front();
                g_jobs.erase(g_jobs.begin());
                g_working = true;
            }
            if (job.cover) fetch_cover(job.disc_id);
            else ask(job.disc_id);
            {
                std::lock_guard<std::mutex> hold(g_lock);
                g_working = false;
            }
            PostMessageA(g_main_window, WM_MB_ENDED, 0, 0);
        }
    }
    return 0;
}

// The caller holds the lock.
void queue_job(bool cover, const std::string& disc_id)
{
    g_jobs.push_back({cover, disc_id});
    SetEvent(g_wake);
}

}  // namespace

std::string mb_to_ansi(const std::string& utf8)
{
    if (GetACP() == CP_UTF8) return utf8;  // the program's own code page: nothing to convert
    int size = static_cast<int>(utf8.size());
    int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    if (wide <= 0) return "";
    std::wstring text(wide, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &text[0], wide);
    int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), wide, nullptr, 0, "_", nullptr);
    if (bytes <= 0) return "";
    std::string ansi(bytes, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), wide, &ansi[0], bytes, "_", nullptr);
    return ansi;
}

namespace {

// Fills a field the user has not typed into since the refresh.
void set_field(HWND window, int id, const std::string& utf8, MbText* kept)
{
    if (SendDlgItemMessageA(window, id, EM_GETMODIFY, 0, 0)) return;
    std::string ansi = mb_to_ansi(utf8);
    SetDlgItemTextA(window, id, ansi.c_str());
    char shown[1024] = {};
    GetDlgItemTextA(window, id, shown, sizeof shown);
    if (kept) *kept = {shown, utf8};
}

std::string cell_text(HWND list, int row, int column)
{
    char text[1024] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text - 1;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

void set_cell(HWND list, int row, int column, const std::string& utf8, MbText* kept)
{
    if (row_typed(row, column)) return;
    std::string ansi = mb_to_ansi(utf8);
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(ansi.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    *kept = {cell_text(list, row, column), utf8};
}

bool has_artist_column(HWND list)
{
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    return SendMessageA(header, HDM_GETITEMCOUNT, 0, 0) > kArtistColumn;
}

void show_artist_column(HWND list)
{
    if (has_artist_column(list)) return;
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = 120;
    column.pszText = const_cast<char*>("Artist");
    column.iSubItem = kArtistColumn;
    SendMessageA(list, LVM_INSERTCOLUMNA, kArtistColumn, reinterpret_cast<LPARAM>(&column));
}

bool has_track_artists(const MbRelease& release)
{
    for (const MbTrack& track : release.tracks)
        if (!track.artist.empty() && track.artist != release.artist) return true;
    return false;
}

// Main thread: the chosen medium into the fields and rows that the user
// has not typed into; the rows take the medium's tracks in their order.
void fill_window(HWND window, const std::string& disc_id, const Disc& disc)
{
    const MbRelease& release = disc.releases[disc.chosen];
    MbFound found;
    found.found = true;
    found.disc_id = disc_id;
    found.release = release;
    set_field(window, IDC_ARTIST, release.artist, &found.artist);
    set_field(window, IDC_ALBUM, release.title, &found.album);
    set_field(window, IDC_YEAR, mb_year(release.date), nullptr);
    HWND list = GetDlgItem(window, IDC_TRACKS);
    found.track_artists = has_track_artists(release);
    if (found.track_artists) show_artist_column(list);
    int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    found.titles.resize(rows);
    found.artists.resize(rows);
    found.medium_tracks.assign(rows, -1);
    // Rows are the disc's audio tracks. A medium that lists more tracks
    // than that lists its data tracks too (a mixed-mode disc's first): its
    // tracks then follow the disc's numbering, not the rows'.
    bool with_data = static_cast<int>(release.tracks.size()) > rows;
    for (int row = 0; row < rows; ++row) {
        int index = with_data ? row_track(list, row) : row;
        if (index < 0 || index >= static_cast<int>(release.tracks.size())) continue;
        found.medium_tracks[row] = index;
        const MbTrack& track = release.tracks[index];
        set_cell(list, row, 1, track.title, &found.titles[row]);
        if (found.track_artists)
            set_cell(list, row, kArtistColumn, track.artist.empty() ? release.artist : track.artist, &found.artists[row]);
    }
    std::lock_guard<std::mutex> hold(g_lock);
    found.cover = g_discs[disc_id].cover;  // it may have come meanwhile
    g_found = std::move(found);
}

// The catalogue number of the disc in the selected drive, where the drive
// tells it and it is well formed: the release whose barcode it is comes
// first in the chooser. "" otherwise.
std::string disc_catalog()
{
    char catalog[14] = {};
    bool read = CDLIB_GetCatalog(static_cast<CDLIB_DWORD>(g_drive_index.load()), catalog) && mcn_well_formed(catalog);
    return read ? catalog : "";
}

// Main thread: what is known of the listed disc reaches the window; with
// several releases the user chooses first (once for the disc).
void show_disc(HWND window, const std::string& disc_id, Disc disc)
{
    if (disc.state != Known::kFound || disc.chosen == -2) return;
    if (disc.chosen == -1) {
        g_choosing = true;
        disc.chosen = disc.releases.size() == 1 ? 0 : choose_release(window, disc.releases, disc_catalog());
        g_choosing = false;
        if (disc.chosen < 0) disc.chosen = -2;
        if (disc.releases.size() > 1)
            g_log.print("MusicBrainz: release %s chosen", disc.chosen >= 0 ? disc.releases[disc.chosen].id.c_str() : "none");
        std::lock_guard<std::mutex> hold(g_lock);
        Disc& kept = g_discs[disc_id];
        kept.chosen = disc.chosen;
        if (disc.chosen >= 0 && disc.releases[disc.chosen].front_cover && !kept.cover_asked) {
            kept.cover_asked = true;
            queue_job(true, disc_id);
        }
    }
    if (disc.chosen >= 0) fill_window(window, disc_id, disc);
}

void set_status(HWND window)
{
    bool busy;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        busy = g_working || !g_jobs.empty() || g_to_show;
    }
    if (!g_refresh_busy.load()) SetDlgItemTextA(window, IDC_STATUS, busy ? kLookingUp : "Done");
}

// The disc in `drive`: its table of contents and disc id ("" without).
std::string drive_disc_id(int drive, MbToc* toc)
{
    uint8_t digest[20];
    return read_toc(drive, toc) && sha1_digest(mb_disc_id_text(*toc), digest) ? mb_disc_id(digest) : "";
}

}  // namespace

void mb_lookup_begin()
{
    g_wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    g_quit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_stop = web_stop_new();
    g_thread = CreateThread(nullptr, 0, mb_worker, nullptr, 0, nullptr);
}

void mb_lookup_end()
{
    if (!g_thread) return;
    SetEvent(g_quit);
    web_stop_now(g_stop);
    if (WaitForSingleObject(g_thread, kCloseWaitMs) != WAIT_OBJECT_0) g_log.print("MusicBrainz: not waiting for the lookup");
}

std::string mb_drive_disc_id(int drive)
{
    MbToc toc;
    return drive_disc_id(drive, &toc);
}

bool mb_lookup_after_refresh(HWND window, int drive)
{
    HWND list = GetDlgItem(window, IDC_TRACKS);
    for (int id : {IDC_ARTIST, IDC_ALBUM, IDC_YEAR}) SendDlgItemMessageA(window, id, EM_SETMODIFY, FALSE, 0);
    clear_typed_marks();
    if (has_artist_column(list)) SendMessageA(list, LVM_DELETECOLUMN, kArtistColumn, 0);
    MbToc toc;
    bool listed = SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) > 0;
    std::string disc_id = listed && g_thread && g_musicbrainz_lookup ? drive_disc_id(drive, &toc) : "";
    bool wanted = !disc_id.empty();
    std::lock_guard<std::mutex> hold(g_lock);
    g_found = MbFound();
    g_listed = disc_id;
    g_to_show = false;
    if (!wanted) return false;
    auto known = g_discs.find(disc_id);
    if (known == g_discs.end()) {
        g_discs[disc_id].toc = toc;
        queue_job(false, disc_id);
    } else {
        g_to_show = known->second.state != Known::kAsking;
    }
    return true;
}

void mb_lookup_ended(HWND window)
{
    if (g_choosing) return;  // the chooser's end shows the rest
    std::string disc_id;
    Disc disc;
    bool show = false;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        auto known = g_discs.find(g_listed);
        // A rip reads the rows as it goes: what was found waits for its end.
        if (g_to_show && !g_refresh_busy.load() && !g_rip_busy.load()) {
            g_to_show = false;
            show = known != g_discs.end();
            if (show) disc_id = known->first, disc = known->second;
        }
    }
    if (show) show_disc(window, disc_id, disc);
    set_status(window);
}

MbFound mb_found()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_found;
}

bool mb_still_shown(const MbText& found, const char* text)
{
    return !found.original.empty() && found.shown == text;
}
