// The cue sheet written beside a rip's files: one FILE per track, each file
// holding its track up to the next track's start.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

constexpr int kControlPreEmphasis = 1;  // control bits of the table of contents
constexpr int kControlCopyPermitted = 2;
constexpr size_t kCueTextMax = 1000;  // longest text a line takes, in bytes

struct CueSheetTrack {
    int number = 0;  // on the disc
    int control = 0; // its control bits: FLAGS DCP and PRE
    std::string file_name, title, performer;
};

struct CueSheetInfo {
    std::string genre, date, disc_id, comment;  // REM lines; left out when empty
    std::string performer, title;
    std::vector<CueSheetTrack> tracks;
};

// The sheet's text, lines ending in CR LF. Texts are written quoted (REM
// DATE and DISCID bare); as a cue sheet has no escapes, a '"' inside becomes '\'' and control bytes
// (line breaks, tabs) become spaces, and a text is cut at kCueTextMax
// bytes (not inside a UTF-8 sequence).
std::string cue_sheet_text(const CueSheetInfo& info);

// Whether the tracks are numbered one after another, as a cue sheet must
// number them (a rip that left out tracks between others has none).
bool cue_sheet_tracks_in_a_run(const std::vector<CueSheetTrack>& tracks);
