// The MusicBrainz lookup that follows a Refresh: the disc id, the request
// on a worker thread of its own, the release chooser, the front cover, and
// what a rip reads of what was found.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "lookup/musicbrainz.h"
#include "rip/tag_set.h"

// To the main window: a lookup, a cover fetch or a refresh that left the
// status line to the lookup has ended.
constexpr UINT WM_MB_ENDED = WM_APP + 21;

void mb_lookup_begin();  // at the main window's start: the worker
void mb_lookup_end();    // on close: ends a running request, waits a second at most

// Refresh worker, once the rows are in: the marks of typing are cleared
// and the disc looked up, unless this run knows it. True when the lookup
// takes over the status line: the refresh then posts WM_MB_ENDED instead
// of saying "Done".
bool mb_lookup_after_refresh(HWND main_window, int drive);

// The MusicBrainz disc id of the disc in `drive`; "" when there is none
// (no disc, no audio track).
std::string mb_drive_disc_id(int drive);

// Main thread, on WM_MB_ENDED (also posted when a rip ends: what was
// found while it ran is shown then).
void mb_lookup_ended(HWND main_window);

// A found text for the window: in the ANSI code page, each character it
// lacks as its closest letter, or '_'.
std::string mb_to_ansi(const std::string& utf8);

// A text as found (UTF-8) and as the window shows it (ANSI).
struct MbText {
    std::string shown, original;
};
// What the lookup put into the window for the listed disc.
struct MbFound {
    bool found = false;
    std::string disc_id;
    MbRelease release;  // the chosen medium
    MbText artist, album;
    std::vector<MbText> titles, artists;  // by row
    std::vector<int> medium_tracks;       // by row: its track in release.tracks, -1 for none
    bool track_artists = false;           // the list shows an "Artist" column
    std::shared_ptr<const CoverPicture> cover;
};
// A copy for the rip worker.
MbFound mb_found();
// Whether `text`, read from the window, still is the text shown for
// `found`: then the tags take the original.
bool mb_still_shown(const MbText& found, const char* text);
