#include "lookup_worker.h"

#include <commctrl.h>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "app/globals.h"
#include "app/log.h"
#include "cd/refresh_worker.h"
#include "cdlib/cdlib.h"
#include "lookup/cddb.h"
#include "lookup/web.h"
#include "res/resource.h"
#include "ui/title_edit.h"
#include "ui/skinned.h"

const char kCddbServer[] = "gnudb.gnudb.org";

namespace {

const char kCgiPath[] = "~cddb/cddb.cgi";
// Without an e-mail address the hello names no user and no machine:
// fixed words of ours. The public server asks for the user's address.
const char kHelloAnonymous[] = "name+orvo";
const char kHelloVersion[] = "1.2";
constexpr size_t kMaxReply = 65535;  // a longer reply is read this far
// Worker to its dialog: a lookup has ended; lParam is its LookupResult.
constexpr UINT WM_LOOKUP_RESULT = WM_USER + 5;

char g_album[4096];

// The genre of the last entry applied, and the freedb id of its disc.
struct {
    char text[256];
    char disc_id[16];
} g_genre;

// One opening of the dialog, shared by the dialog (main thread) and its
// worker, and freed by whichever of the two lets go of it last. A dialog
// that ends does not wait for its worker: it cancels the lookup, stopping
// its request (which ends a network wait where the system allows it;
// otherwise the worker ends after the time-out), and from then on the
// worker's results are dropped.
struct LookupJob {
    HWND dialog;
    HANDLE retrieve;  // this opening's handle to "GetCDDB"
    HANDLE quit;      // set when the dialog ends
    std::atomic<int> owners{2};
    std::mutex lock;  // guards `cancelled`
    bool cancelled = false;
    WebStop* stop = nullptr;
    char hello[3 * kMaxEmailLength + 1] = {};  // set by the dialog before each Retrieve
    std::string reply;
};

enum Outcome {
    kNotReady,    // no disc ready: nothing asked
    kNoAnswer,    // no connection, or no reply
    kAnswered,    // `reply` and `http_status` hold what came
};

struct LookupResult {
    LookupJob* job;
    Outcome outcome;
    const char* genre;  // the category's name
    DWORD http_status;
    char disc_id[16];   // the freedb id asked for
};

void release_job(LookupJob* job)
{
    if (!job || --job->owners > 0) return;
    CloseHandle(job->retrieve);
    CloseHandle(job->quit);
    web_stop_free(job->stop);
    delete job;
}

// Main thread: the dialog is ending. Its worker ends as soon as it can,
// and nothing it still finds reaches the windows.
void cancel_lookup(LookupJob* job)
{
    if (!job) return;
    {
        std::lock_guard<std::mutex> hold(job->lock);
        job->cancelled = true;
    }
    web_stop_now(job->stop);
    SetEvent(job->quit);
}

bool lookup_cancelled(LookupJob* job)
{
    std::lock_guard<std::mutex> hold(job->lock);
    return job->cancelled;
}

// A field set from an entry the user applied is the user's own: setting a
// text clears the field's modified mark, which is set again, so that an
// automatic answer that comes later leaves it alone.
void set_main_text(int id, const char* text)
{
    SetDlgItemTextA(g_main_window, id, text);
    SendDlgItemMessageA(g_main_window, id, EM_SETMODIFY, TRUE, 0);
}

// Sends the read request and takes in the reply.
Outcome ask_server(LookupJob* job, const char* object, DWORD* status)
{
    WebReply reply;
    if (!web_get(kCddbServer, object, false, kMaxReply, &reply, job->stop) || lookup_cancelled(job)) return kNoAnswer;
    job->reply = GetACP() == CP_UTF8 ? cddb_text_utf8(reply.body) : reply.body;
    *status = reply.status;
    return kAnswered;
}

// One lookup on the worker thread; what it found is shown by the dialog.
LookupResult look_up(LookupJob* job)
{
    int category = static_cast<int>(SendDlgItemMessageA(job->dialog, IDC_GENRE, CB_GETCURSEL, 0, 0));
    if (category < 0 || category >= kCddbCategoryCount) category = 0;
    LookupResult result = {job, kNotReady, CddbCategories[category].name, 0, {}};
    int drive = static_cast<int>(SendDlgItemMessageA(g_main_window, IDC_DRIVES, CB_GETCURSEL, 0, 0));
    g_drive_index = drive;
    if (!BASS_CD_IsReady(drive)) return result;
    const char* query = BASS_CD_GetID(drive, BASS_CDID_CDDB);
    g_log.print("CDDB: %s", query);
    char disc_id[64] = {};
    if (query) snprintf(disc_id, sizeof disc_id, "%.*s", static_cast<int>(strcspn(query, " ")), query);
    snprintf(result.disc_id, sizeof result.disc_id, "%s", disc_id);
    g_log.print("Genre: %s", result.genre);
    // Level 6 answers in UTF-8, the program's texts where Windows takes that
    // code page; level 1 in ISO-8859-1, as the ANSI code pages of old.
    char object[1024];
    snprintf(object, sizeof object, "%s?cmd=cddb+read+%s+%s&hello=%s+orvocdripper+%s&proto=%d", kCgiPath,
             result.genre, disc_id, job->hello, kHelloVersion, GetACP() == CP_UTF8 ? 6 : 1);
    result.outcome = ask_server(job, object, &result.http_status);
    return result;
}

// Writes what an entry says into the main window: only the fields and
// titles it gives a value for; the others keep what they hold.
void apply_entry(const char* reply)
{
    if (cddb_value(reply, "DTITLE", ScratchText, kWorkingBufferSize)) {
        g_log.print("DTITLE: %s", ScratchText);
        char artist[1024];
        split_dtitle(ScratchText, artist, sizeof artist, g_album, sizeof g_album);
        g_log.print("ALBUM: %s", g_album);
        set_main_text(IDC_ALBUM, g_album);
        g_log.print("ARTIST: %s", artist);
        set_main_text(IDC_ARTIST, artist);
    }
    char year[kCddbYearSize];
    if (cddb_year(reply, year, sizeof year)) {
        g_log.print("YEAR: %s", year);
        set_main_text(IDC_YEAR, year);
    }
    HWND list = GetDlgItem(g_main_window, IDC_TRACKS);
    int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        char key[64];
        // The entry numbers its titles by disc track, as the rows keep them.
        snprintf(key, sizeof key, "TTITLE%d", row_track(list, row));
        if (!cddb_value(reply, key, ScratchText, kWorkingBufferSize)) continue;
        g_log.print("TITLE: %s", ScratchText);
        LVITEMA item = {};
        item.iSubItem = 1;
        item.pszText = ScratchText;
        SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        mark_typed(row, 1);
    }
}

void keep_genre(const LookupResult& result)
{
    cddb_genre(result.job->reply.c_str(), result.genre, g_genre.text, sizeof g_genre.text);
    snprintf(g_genre.disc_id, sizeof g_genre.disc_id, "%s", result.disc_id);
    g_log.print("GENRE: %s", g_genre.text);
}

// Says why a reply changed nothing; a CDDB status line is shown as sent.
void show_no_entry(const LookupResult& result, CddbReply kind)
{
    const char* reply = result.job->reply.c_str();
    int line = static_cast<int>(strcspn(reply, "\r\n"));
    if (line > 80) line = 80;
    g_log.print("no entry: HTTP %lu, %.*s", static_cast<unsigned long>(result.http_status), line, reply);
    char text[300];
    if (kind == CddbReply::kNoEntry)
        snprintf(text, sizeof text, "Genre: %s\nNo such CD entry in database", result.genre);
    else if (kind == CddbReply::kHttpError)
        snprintf(text, sizeof text, "The server answered with an error (HTTP %lu).\nNothing was changed.",
                 static_cast<unsigned long>(result.http_status));
    else
        snprintf(text, sizeof text, "The server's reply is not a CD database entry.\nNothing was changed.%s%.*s",
                 isdigit(static_cast<unsigned char>(reply[0])) ? "\n\n" : "",
                 isdigit(static_cast<unsigned char>(reply[0])) ? line : 0, reply);
    MessageBoxA(g_main_window, text, kAppCaption, MB_OK);
}

LookupJob* job_of(HWND dialog)
{
    return reinterpret_cast<LookupJob*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void end_disc_info(HWND dialog, int result)
{
    cancel_lookup(job_of(dialog));
    EndDialog(dialog, result);
}

// Main thread: shows what a lookup found, unless its dialog has been
// cancelled since. Returns whether the lookup counts as done: only an
// entry ends the dialog; anything else is said and changes nothing.
bool show_result(HWND dialog, const LookupResult& result)
{
    if (result.job != job_of(dialog) || lookup_cancelled(result.job)) return false;
    bool done = false;
    if (result.outcome == kNoAnswer) {
        MessageBoxA(g_main_window, "Please check your internet connection", kAppCaption, MB_OK);
    } else if (result.outcome == kAnswered) {
        CddbReply kind = classify_cddb_reply(result.http_status, result.job->reply.c_str());
        done = kind == CddbReply::kEntry;
        if (done) {
            apply_entry(result.job->reply.c_str());
            keep_genre(result);
        } else {
            show_no_entry(result, kind);
        }
    }
    EnableWindow(dialog, TRUE);
    SetFocus(dialog);
    if (done) end_disc_info(dialog, 1);
    return done;
}

// Waits for Retrieve; false when the dialog has ended instead.
bool wait_for_retrieve(LookupJob* job)
{
    ShowWindow(GetDlgItem(job->dialog, IDC_CONNECTING), SW_HIDE);
    HANDLE events[] = {job->quit, job->retrieve};
    return WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
}

DWORD WINAPI lookup_worker(LPVOID param)
{
    LookupJob* job = static_cast<LookupJob*>(param);
    while (wait_for_retrieve(job)) {
        g_log.print("CDDBRetriveInfo");
        g_log.enter();
        ShowWindow(GetDlgItem(job->dialog, IDC_CONNECTING), SW_SHOW);
        EnableWindow(job->dialog, FALSE);
        LookupResult result = look_up(job);
        bool done = SendMessageA(job->dialog, WM_LOOKUP_RESULT, 0, reinterpret_cast<LPARAM>(&result)) != 0;
        g_log.leave();
        if (done) break;
    }
    release_job(job);
    return 0;
}

const int kDiscInfoOwnColours[] = {IDC_SERVER};

// Main thread, on Retrieve: the hello's user and host from the e-mail
// field (empty: the anonymous words). An address the rules refuse is said
// in the dialog, neither saved nor sent, and nothing is asked: the user
// may correct it or clear it. A changed address is kept in settings.ini.
bool take_email(HWND dialog, char* hello, size_t size)
{
    char email[1024] = {}, saved[1024] = {};
    GetDlgItemTextA(dialog, IDC_EMAIL, email, sizeof email);
    if (email[0] && !cddb_hello_words(email, hello, size)) {
        g_log.print("e-mail address refused: not one plain address");
        SetDlgItemTextA(dialog, IDC_EMAIL_NOTE, "Not one plain e-mail address: not saved, not sent.");
        SetFocus(GetDlgItem(dialog, IDC_EMAIL));
        return false;
    }
    if (!email[0]) snprintf(hello, size, "%s", kHelloAnonymous);
    SetDlgItemTextA(dialog, IDC_EMAIL_NOTE, "");
    GetPrivateProfileStringA("Settings", "Email", "", saved, sizeof saved, SettingsPath);
    if (strcmp(email, saved) != 0 && WritePrivateProfileStringA("Settings", "Email", email, SettingsPath))
        g_log.print("e-mail address saved");
    return true;
}

void show_saved_email(HWND dialog)
{
    char email[1024] = {};
    GetPrivateProfileStringA("Settings", "Email", "", email, sizeof email, SettingsPath);
    SetDlgItemTextA(dialog, IDC_EMAIL, email);
}

// Every opening has a worker of its own, which ends with the dialog.
void start_lookup_worker(HWND dialog)
{
    LookupJob* job = new (std::nothrow) LookupJob;
    WebStop* stop = web_stop_new();
    if (!job || !stop) {  // Retrieve then does nothing
        delete job;
        web_stop_free(stop);
        return;
    }
    job->stop = stop;
    job->dialog = dialog;
    job->retrieve = CreateEventA(nullptr, FALSE, FALSE, "GetCDDB");
    // A Retrieve pressed just before an earlier dialog ended starts nothing here.
    ResetEvent(job->retrieve);
    job->quit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(job));
    HANDLE thread = CreateThread(nullptr, 0, lookup_worker, job, 0, nullptr);
    if (thread) CloseHandle(thread);
    else --job->owners;
}

}  // namespace

std::string cddb_genre_of_disc(int drive)
{
    const char* query = BASS_CD_GetID(drive, BASS_CDID_CDDB);  // "<freedb id> <tracks> ..."
    size_t length = strlen(g_genre.disc_id);
    bool same_disc = query && length > 0 && strncmp(query, g_genre.disc_id, length) == 0 && query[length] == ' ';
    return same_disc ? g_genre.text : "";
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
    case WM_INITDIALOG:
        skin_button(dialog, IDCANCEL, IDI_CANCEL, nullptr, kDialogButtonFlags);
        skin_button(dialog, IDOK, IDI_OK, nullptr, kDialogButtonFlags);
        SetDlgItemTextA(dialog, IDC_SERVER, kCddbServer);
        show_saved_email(dialog);
        for (const CddbCategory& category : CddbCategories)
            SendDlgItemMessageA(dialog, IDC_GENRE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(category.description));
        SendDlgItemMessageA(dialog, IDC_GENRE, CB_SETCURSEL, 0, 0);
        start_lookup_worker(dialog);
        SetFocus(GetDlgItem(dialog, IDOK));
        return 0;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK && job_of(dialog)) {
            if (take_email(dialog, job_of(dialog)->hello, sizeof job_of(dialog)->hello)) SetEvent(job_of(dialog)->retrieve);
        } else if (LOWORD(wparam) == IDCANCEL) {
            end_disc_info(dialog, 0);
        }
        return 0;
    case WM_CLOSE:
        end_disc_info(dialog, 0);
        return 0;
    case WM_LOOKUP_RESULT:
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, show_result(dialog, *reinterpret_cast<LookupResult*>(lparam)));
        return TRUE;
    case WM_DESTROY:
        cancel_lookup(job_of(dialog));
        release_job(job_of(dialog));
        return 0;
    case WM_ERASEBKGND:
        return paint_dialog_background(dialog, reinterpret_cast<HDC>(wparam));
    case WM_CTLCOLORSTATIC: {
        HWND control = reinterpret_cast<HWND>(lparam);
        if (GetDlgCtrlID(control) == IDC_CONNECTING || GetDlgCtrlID(control) == IDC_EMAIL_NOTE)
            SetTextColor(reinterpret_cast<HDC>(wparam), 0x8844EE);
        return make_static_transparent(reinterpret_cast<HDC>(wparam), control, kDiscInfoOwnColours, 1);
    }
    }
    return 0;
}
