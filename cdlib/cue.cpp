#include "cue.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kMaxLine = 4096;
constexpr size_t kMaxFiles = 99;

struct Line {
    const char* p;
    const char* end;

    void skip_space()
    {
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
    }
    bool at_end()
    {
        skip_space();
        return p >= end;
    }
    // A word, or a "quoted string".
    bool word(std::string* out)
    {
        skip_space();
        out->clear();
        if (p >= end) return false;
        if (*p == '"') {
            ++p;
            while (p < end && *p != '"') out->push_back(*p++);
            if (p >= end) return false;  // no closing quote
            ++p;
            return true;
        }
        while (p < end && *p != ' ' && *p != '\t') out->push_back(*p++);
        return true;
    }
    std::string rest()
    {
        skip_space();
        std::string r(p, end);
        p = end;
        while (!r.empty() && (r.back() == ' ' || r.back() == '\t')) r.pop_back();
        if (r.size() >= 2 && r.front() == '"' && r.back() == '"') r = r.substr(1, r.size() - 2);
        return r;
    }
};

std::string upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return s;
}

bool parse_number(const std::string& s, long max, long* out)
{
    if (s.empty() || s.size() > 9) return false;
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > max) return false;
    *out = v;
    return true;
}

// mm:ss:ff in sectors (75 a second).
bool parse_time(const std::string& s, int64_t* sectors)
{
    int colon1 = static_cast<int>(s.find(':'));
    int colon2 = static_cast<int>(s.find(':', colon1 + 1));
    if (colon1 < 0 || colon2 < 0 || s.find(':', colon2 + 1) != std::string::npos) return false;
    long mm, ss, ff;
    if (!parse_number(s.substr(0, colon1), 9999, &mm) || !parse_number(s.substr(colon1 + 1, colon2 - colon1 - 1), 59, &ss) ||
        !parse_number(s.substr(colon2 + 1), 74, &ff))
        return false;
    *sectors = (static_cast<int64_t>(mm) * 60 + ss) * 75 + ff;
    return true;
}

bool fail(std::string* error, int line, const char* what, const std::string& detail = std::string())
{
    char text[200];
    snprintf(text, sizeof text, "line %d: %s", line, what);
    *error = text;
    if (!detail.empty()) *error += ": " + detail.substr(0, 100);
    return false;
}

}  // namespace

uint32_t cue_sector_bytes(CueTrackMode mode)
{
    return mode == CueTrackMode::Mode1_2048 ? 2048 : 2352;
}

bool parse_cue(const char* text, size_t size, CueSheet* sheet, std::string* error)
{
    *sheet = CueSheet();
    const char* p = text;
    const char* end = text + size;
    if (size >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;  // byte-order mark
    int number = 0;
    while (p < end) {
        ++number;
        const char* line_end = static_cast<const char*>(memchr(p, '\n', end - p));
        if (!line_end) line_end = end;
        if (static_cast<size_t>(line_end - p) > kMaxLine) return fail(error, number, "line too long");
        const char* content_end = line_end;
        if (content_end > p && content_end[-1] == '\r') --content_end;
        if (memchr(p, '\0', content_end - p)) return fail(error, number, "NUL byte in the text");
        Line line = {p, content_end};
        p = line_end < end ? line_end + 1 : end;

        std::string command;
        if (line.at_end()) continue;
        line.word(&command);
        command = upper(command);
        CueTrack* track = sheet->tracks.empty() ? nullptr : &sheet->tracks.back();

        if (command == "REM") {
            std::string key, value;
            line.word(&key);
            key = upper(key);
            if (key == "OFFSET") {
                long v;
                bool negative = line.word(&value) && !value.empty() && value[0] == '-';
                if (!parse_number(negative ? value.substr(1) : value, 3000, &v))
                    return fail(error, number, "bad REM value", value);
                sheet->offset = static_cast<int>(negative ? -v : v);
            } else if (key == "SPEED" || key == "DELAY") {
                long v;
                if (!line.word(&value) || !parse_number(value, key == "SPEED" ? 1000 : 600000, &v))
                    return fail(error, number, "bad REM value", value);
                if (key == "SPEED") sheet->speed = static_cast<int>(v);
                else sheet->delay_ms = static_cast<int>(v);
            }
        } else if (command == "FILE") {
            std::string name, type;
            if (!line.word(&name) || name.empty() || !line.word(&type)) return fail(error, number, "FILE needs a name and a type");
            type = upper(type);
            CueFile file;
            file.name = name;
            if (type == "BINARY") file.type = CueFileType::Binary;
            else if (type == "MOTOROLA") file.type = CueFileType::Motorola;
            else if (type == "WAVE") file.type = CueFileType::Wave;
            else return fail(error, number, "unsupported file type", type);
            if (sheet->files.size() >= kMaxFiles) return fail(error, number, "too many files");
            sheet->files.push_back(file);
        } else if (command == "TRACK") {
            std::string num, mode;
            long n;
            if (sheet->files.empty()) return fail(error, number, "TRACK before any FILE");
            if (!line.word(&num) || !parse_number(num, 99, &n) || n < 1) return fail(error, number, "bad track number", num);
            if (!sheet->tracks.empty() && n != sheet->tracks.back().number + 1) return fail(error, number, "tracks out of order", num);
            if (sheet->tracks.size() >= 99) return fail(error, number, "too many tracks");
            line.word(&mode);
            mode = upper(mode);
            CueTrack t;
            t.number = static_cast<int>(n);
            t.file = static_cast<int>(sheet->files.size()) - 1;
            if (mode == "AUDIO") t.mode = CueTrackMode::Audio;
            else if (mode == "MODE1/2048") t.mode = CueTrackMode::Mode1_2048;
            else if (mode == "MODE1/2352") t.mode = CueTrackMode::Mode1_2352;
            else if (mode == "MODE2/2352") t.mode = CueTrackMode::Mode2_2352;
            else return fail(error, number, "unsupported track mode", mode);
            if (track && track->index1 < 0) return fail(error, number, "track without INDEX 01 before it");
            sheet->tracks.push_back(t);
        } else if (command == "INDEX") {
            std::string num, time;
            long n;
            int64_t sectors;
            if (!track) return fail(error, number, "INDEX outside a track");
            if (!line.word(&num) || !parse_number(num, 99, &n)) return fail(error, number, "bad index number", num);
            if (!line.word(&time) || !parse_time(time, &sectors)) return fail(error, number, "bad time", time);
            if (track->file != static_cast<int>(sheet->files.size()) - 1 && n == 1) track->file = static_cast<int>(sheet->files.size()) - 1;
            if (n == 0) {
                track->index0 = sectors;
                track->index0_file = static_cast<int>(sheet->files.size()) - 1;
            } else if (n == 1) {
                if (track->index0 >= 0 && sectors < track->index0 && track->index0_file == track->file)
                    return fail(error, number, "INDEX 01 before INDEX 00");
                track->index1 = sectors;
                // Within one file the tracks must follow each other.
                for (size_t i = sheet->tracks.size() - 1; i-- > 0;) {
                    const CueTrack& before = sheet->tracks[i];
                    if (before.file != track->file) break;
                    if (before.index1 > sectors) return fail(error, number, "track starts before the one above it");
                    break;
                }
            } else {
                int64_t last = track->later_indexes.empty() ? track->index1 : track->later_indexes.back();
                if (track->index1 < 0 || n != static_cast<long>(track->later_indexes.size()) + 2 || sectors <= last)
                    return fail(error, number, "index out of order", num);
                track->later_indexes.push_back(sectors);
            }
        } else if (command == "PREGAP" || command == "POSTGAP") {
            std::string time;
            int64_t sectors;
            if (!track) return fail(error, number, "gap outside a track");
            if (!line.word(&time) || !parse_time(time, &sectors)) return fail(error, number, "bad time", time);
            if (command == "PREGAP") track->pregap = static_cast<uint32_t>(sectors);
            else track->postgap = static_cast<uint32_t>(sectors);
        } else if (command == "TITLE" || command == "PERFORMER") {
            std::string value = line.rest();
            bool title = command == "TITLE";
            if (track) {
                (title ? track->title : track->performer) = value;
                (title ? track->has_title : track->has_performer) = true;
            } else {
                (title ? sheet->title : sheet->performer) = value;
                (title ? sheet->has_title : sheet->has_performer) = true;
            }
        } else if (command == "CDTEXTFILE") {
            std::string name;
            if (!line.word(&name) || name.empty()) return fail(error, number, "CDTEXTFILE needs a name");
            sheet->cdtext_file = name;
        } else if (command == "FLAGS") {
            // The track's control bits; SCMS and unknown words are not in them.
            for (std::string flag; track && line.word(&flag);) {
                flag = upper(flag);
                track->flags = static_cast<uint8_t>(track->flags | (flag == "PRE" ? 1 : flag == "DCP" ? 2 : flag == "4CH" ? 8 : 0));
            }
        } else if (command == "CATALOG" || command == "ISRC") {
            std::string value;
            line.word(&value);
            if (command == "CATALOG") sheet->catalog = value;
            else if (track) track->isrc = value;
        } else if (command == "SONGWRITER") {
            // Accepted and not used.
        } else {
            return fail(error, number, "unknown command", command);
        }
    }
    if (sheet->tracks.empty()) return fail(error, number, "no tracks");
    if (sheet->tracks.back().index1 < 0) return fail(error, number, "last track has no INDEX 01");
    return true;
}

static uint32_t le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

static uint16_t le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

bool parse_wave_header(const uint8_t* data, size_t size, uint64_t file_size, WaveLayout* layout, std::string* error)
{
    if (size < 12 || memcmp(data, "RIFF", 4) != 0 || memcmp(data + 8, "WAVE", 4) != 0) {
        *error = "not a RIFF WAVE file";
        return false;
    }
    bool format_ok = false;
    size_t offset = 12;
    while (offset + 8 <= size) {
        const uint8_t* chunk = data + offset;
        uint64_t chunk_size = le32(chunk + 4);
        if (memcmp(chunk, "fmt ", 4) == 0) {
            if (chunk_size < 16 || offset + 8 + 16 > size) {
                *error = "short format chunk";
                return false;
            }
            uint16_t format = le16(chunk + 8), channels = le16(chunk + 10), bits = le16(chunk + 22);
            uint32_t rate = le32(chunk + 12);
            if (format == 0xFFFE && chunk_size >= 40 && offset + 8 + 40 <= size) format = le16(chunk + 8 + 24);
            if (format != 1 || channels != 2 || rate != 44100 || bits != 16) {
                char text[128];
                snprintf(text, sizeof text, "not 16-bit stereo 44100 Hz PCM (format %u, %u channels, %u Hz, %u bits)",
                         format, channels, rate, bits);
                *error = text;
                return false;
            }
            format_ok = true;
        } else if (memcmp(chunk, "data", 4) == 0) {
            if (!format_ok) {
                *error = "data before the format chunk";
                return false;
            }
            layout->data_offset = offset + 8;
            uint64_t available = file_size > layout->data_offset ? file_size - layout->data_offset : 0;
            // A writer that never patched the size leaves 0 or 0xFFFFFFFF: take what the file holds.
            layout->data_bytes = (chunk_size == 0 || chunk_size == 0xFFFFFFFFu || chunk_size > available) ? available : chunk_size;
            layout->data_bytes -= layout->data_bytes % 4;
            return true;
        }
        offset += 8 + chunk_size + (chunk_size & 1);
    }
    *error = format_ok ? "no data chunk" : "no format chunk";
    return false;
}
