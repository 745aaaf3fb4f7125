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

// "mm:ss:ff" of a count of sectors.
std::string msf(uint32_t sectors)
{
    char text[32];
    snprintf(text, sizeof text, "%02u:%02u:%02u", sectors / 4500, sectors / 75 % 60, sectors % 75);
    return text;
}

// "    INDEX nn mm:ss:ff" of a position in a file, in sectors.
std::string index_line(int index, uint32_t sectors)
{
    char line[32];
    snprintf(line, sizeof line, "    INDEX %02d ", index);
    return line + msf(sectors) + "\r\n";
}

// A track's lines up to its INDEX 01: TRACK, FLAGS, TITLE, PERFORMER, ISRC.
std::string track_head(const CueSheetTrack& track)
{
    char line[48];
    snprintf(line, sizeof line, "  TRACK %02d AUDIO\r\n", track.number);
    std::string head = line;
    bool dcp = track.control & kControlCopyPermitted, pre = track.control & kControlPreEmphasis;
    bool four = track.control & kControlFourChannels;
    if (dcp || pre || four)
        head += std::string("    FLAGS") + (dcp ? " DCP" : "") + (four ? " 4CH" : "") + (pre ? " PRE" : "") + "\r\n";
    if (!track.title.empty()) head += "    TITLE " + quoted(track.title) + "\r\n";
    if (!track.performer.empty()) head += "    PERFORMER " + quoted(track.performer) + "\r\n";
    if (!track.isrc.empty()) head += "    ISRC " + clean(track.isrc) + "\r\n";
    return head;
}

}  // namespace

std::string cue_sheet_text(const CueSheetInfo& info)
{
    std::string sheet;
    if (!info.genre.empty()) sheet += "REM GENRE " + quoted(info.genre) + "\r\n";
    if (!info.date.empty()) sheet += "REM DATE " + clean(info.date) + "\r\n";
    if (!info.disc_id.empty()) sheet += "REM DISCID " + clean(info.disc_id) + "\r\n";
    if (!info.comment.empty()) sheet += "REM COMMENT " + quoted(info.comment) + "\r\n";
    if (!info.catalog.empty()) sheet += "CATALOG " + clean(info.catalog) + "\r\n";
    sheet += "PERFORMER " + quoted(info.performer) + "\r\n";
    sheet += "TITLE " + quoted(info.title) + "\r\n";
    for (size_t i = 0; i < info.tracks.size(); ++i) {
        const CueSheetTrack& track = info.tracks[i];
        std::string file = "FILE " + quoted(track.file_name) + " " + file_type(track.file_name) + "\r\n";
        uint32_t before = i > 0 ? info.tracks[i - 1].sectors : 0;
        if (track.number == 0) {  // a hidden track: the first track's pregap, in a file of its own
            sheet += file;
            continue;
        }
        if (i > 0 && track.pregap > 0 && track.pregap <= before) {
            // Its pregap is the end of the file before: INDEX 00 there, INDEX 01 in its own.
            sheet += track_head(track) + index_line(0, before - track.pregap) + file;
        } else {
            sheet += file + track_head(track);
            if (i == 0 && info.first_pregap > 0) sheet += "    PREGAP " + msf(info.first_pregap) + "\r\n";
        }
        sheet += index_line(1, 0);
        for (size_t k = 0; k < track.later.size(); ++k) sheet += index_line(static_cast<int>(k) + 2, track.later[k]);
    }
    return sheet;
}

bool cue_sheet_tracks_in_a_run(const std::vector<CueSheetTrack>& tracks)
{
    for (size_t i = 1; i < tracks.size(); ++i)
        if (tracks[i].number != tracks[i - 1].number + 1) return false;
    return true;
}
