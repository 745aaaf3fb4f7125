// The cue sheet written beside a rip's files: one FILE per track, each file
// holding its track up to the next track's start, so a track's pregap
// (INDEX 00) stands at the end of the file before.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int kControlPreEmphasis = 1;  // control bits of the table of contents
constexpr int kControlCopyPermitted = 2;
constexpr int kControlFourChannels = 8;
constexpr size_t kCueTextMax = 1000;  // longest text a line takes, in bytes

struct CueSheetTrack {
    int number = 0;  // on the disc; 0: the hidden track, the next track's pregap
    int control = 0; // its control bits: FLAGS DCP, PRE and 4CH
    std::string file_name, title, performer, isrc;
    uint32_t sectors = 0;         // of its file: up to the next track's index 1
    uint32_t pregap = 0;          // sectors of index 0 before its index 1: the end of the file before
    std::vector<uint32_t> later;  // index 2, 3...: sectors from its index 1
};

struct CueSheetInfo {
    std::string genre, date, disc_id, comment;  // REM lines; left out when empty
    std::string performer, title, catalog;
    uint32_t first_pregap = 0;  // sectors before the disc's first track that no file holds (PREGAP)
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
