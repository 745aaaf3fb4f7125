// What the rip worker, the capture and the progress dialog share.
#pragma once
#include <windows.h>

#include <atomic>

#include "rip/names.h"

// The progress protocol: always posted to the progress window, lParam 0.
#define WM_RIP_END   (WM_USER + 1)  // wParam: 1 every row tried, 0 aborted or stopped
#define WM_RIP_LABEL (WM_USER + 2)  // wParam: address of the track's label text
#define WM_RIP_TOTAL (WM_USER + 3)  // wParam: whole rip, percent
#define WM_RIP_TRACK (WM_USER + 4)  // wParam: current track, percent

extern std::atomic<int> g_rip_busy;
extern std::atomic<int> g_rip_abort;
// Set by the first fault of a rip (a full volume, the disc gone): the
// reader and every encoder stop, as on an abort.
extern std::atomic<int> g_rip_fault;
extern std::atomic<int> g_rip_failed;  // rows of this rip that gave no file
// "Track N holds M unreadable sectors, ripped as silence." for each file of
// this rip that holds sectors the disc would not give, a line each.
extern char g_rip_unread[2048];
// What the AccurateRip database said of the rip, one sentence ("": nothing).
extern char g_rip_verdict[2048];
extern HWND g_progress_window;
extern bool g_rip_into_album;  // the rip options put the files into an album's folder
extern HANDLE g_rip_event;  // "CDRipping"

// Whether the reader and the encoders must stop now.
inline bool rip_stopping()
{
    return g_rip_abort.load() || g_rip_fault.load();
}

// Stops the rip for a fault. True for the first fault of a rip that was
// not aborted: only its thread tells the user, so one box says what went
// wrong and what followed from it stays silent.
bool claim_fault();

// Sets the progress bars while a track is read, `share` (0 to 1) through it.
void show_reading(double share);

// The disc's fields as the rip worker read them from the main window,
// as typed or found: the tags hold them so (see rip/tag_source.h). Only
// the copies that name files and folders are made safe for file names.
constexpr int kYearSize = 8;
struct MbFound;
struct DiscFields {
    char artist[1024];
    char album[1024];
    char year[kYearSize];
    char title[1024];
    char track_artist[1024];  // the row's own artist (a compilation's); "" without
    int row;                  // the list row the title and track artist are of
    const MbFound* found;     // what the MusicBrainz lookup put into the window
};
extern DiscFields g_disc_fields;

// The main window's year field, the same for the tags and the folder.
void read_year_field(char (&year)[kYearSize]);

// Whether a byte starts a double-byte character of the ANSI code page, for
// the name rules (their trail bytes may look like '\' or '|').
inline bool ansi_lead_byte(unsigned char c)
{
    return IsDBCSLeadByte(c) != 0;
}

// How the program's texts make characters, for the name rules: UTF-8 where
// Windows took the code page the program declares, else the ANSI code page.
inline LeadByteTest text_rules()
{
    return GetACP() == CP_UTF8 ? utf8_text : ansi_lead_byte;
}
