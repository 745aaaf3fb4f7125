#include "cue_sheet.h"

#include <cstdio>

namespace {

// The text as it may stand on a line: no quotes, no control bytes, bounded.
std::string clean(const std::string& text)
{
    size_t length = text.size();
    if (length > kCueTextMax) {
        length = kCueTextMax;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        out += c == '"' ? '\'' : c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c);
    }
    return out;
}

std::string quoted(const std::string& text)
{
    return "\"" + clean(text) + "\"";
}

// MP3 files are named as such; WAV, FLAC and WMA files are WAVE, as
// players of cue sheets take every other format they can decode.
const char* file_type(const std::string& name)
{
    size_t dot = name.rfind('.');
    std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension == ".mp3" ? "MP3" : "WAVE";
}

}  // namespace

std::string cue_sheet_text(const CueSheetInfo& info)
{
    std::string sheet;
    if (!info.genre.empty()) sheet += "REM GENRE " + quoted(info.genre) + "\r\n";
    if (!info.date.empty()) sheet += "REM DATE " + clean(info.date) + "\r\n";
    if (!info.disc_id.empty()) sheet += "REM DISCID " + clean(info.disc_id) + "\r\n";
    if (!info.comment.empty()) sheet += "REM COMMENT " + quoted(info.comment) + "\r\n";
    sheet += "PERFORMER " + quoted(info.performer) + "\r\n";
    sheet += "TITLE " + quoted(info.title) + "\r\n";
    for (const CueSheetTrack& track : info.tracks) {
        char line[48];
        snprintf(line, sizeof line, "  TRACK %02d AUDIO\r\n", track.number);
        sheet += "FILE " + quoted(track.file_name) + " " + file_type(track.file_name) + "\r\n" + line;
        bool dcp = track.control & kControlCopyPermitted, pre = track.control & kControlPreEmphasis;
        if (dcp || pre) sheet += std::string("    FLAGS") + (dcp ? " DCP" : "") + (pre ? " PRE" : "") + "\r\n";
        if (!track.title.empty()) sheet += "    TITLE " + quoted(track.title) + "\r\n";
        if (!track.performer.empty()) sheet += "    PERFORMER " + quoted(track.performer) + "\r\n";
        sheet += "    INDEX 01 00:00:00\r\n";
    }
    return sheet;
}

bool cue_sheet_tracks_in_a_run(const std::vector<CueSheetTrack>& tracks)
{
    for (size_t i = 1; i < tracks.size(); ++i)
        if (tracks[i].number != tracks[i - 1].number + 1) return false;
    return true;
}
