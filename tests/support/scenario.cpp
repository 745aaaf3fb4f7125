// The scenario runner: tests of the real program written as rows of table
// files, each scenario one gtest test named after its key.
//
//   scenario_test SIMULATION_EXE SAMPLE_DISC_FOLDER KEEP_FOLDER [NAME=VALUE...] TABLE...
//
// NAME=VALUE defines ${NAME} (a path from CTest becomes a Windows path);
// SMALL=FOLDER and SMALLHOME=FOLDER are small volumes (for the output and
// for the program itself): without one, or when its folder is absent, the
// scenarios that use it are skipped. KEEP_FOLDER is
// emptied at start; `keep` copies files there for the native checks.
//
// A table:
//
//   # comment (also after a step: whitespace, then #)
//   scenario 02: disc taken out during a rip
//     matrix: fault | what the user sees | left on disk | nothing else lost
//     each FMT: wav mp3 wma        # run once per value, ${FMT} replaced
//     disc f 6,6,6,6 speed=4       # f.bin/f.cue in ${DISCS}: 4 tracks of 6 s
//     format ${FMT}
//     start
//     when reading 2: rename f.bin f.away
//     rip ${FMT}
//     expect boxes: No disc!
//     expect no file ${OUT}\2.Track 02.${FMT}
//
// The key names the test (suite: the table's name); a scenario with a
// `matrix:` line records that README fault-matrix row when it passes.
// `each A B: a1 b1 a2 b2` runs the steps once per group of values; more
// `each` lines with the same names add groups. Its values are words and
// replace ${A} in the step text before anything else.
//
// Arguments: words, "quoted" when they hold spaces; the last argument of a
// step (TEXT, a PATH at the end) takes the rest of the line as it stands.
// Escapes: \n \r \t \xHH \\ ; any other backslash stays (Windows paths).
// A backslash before n, r or t in a path is written \\ (\\n).
// Then variables: ${OUT} (a fresh empty folder per run, removed after),
// ${PROG} (the program's folder), ${DISCS}, ${SAMPLE}, ${KEEP}, ${SIM},
// the NAME=VALUE ones, and ${N*TEXT}: TEXT N times. Rows count from 1.
// Several expected texts are separated by " ; ", cells of a row by " | ".
//
// Rounds:   repeat N ... end   (the steps between, N times; N from 1)
// Set-up:   disc NAME SECONDS[,SECONDS...] [speed=N] [delay=MS] [titles=A|B|...]
//             [cdtext=FILE] [data=first|last] [files=wave|motorola|binary] [gap=S]   (each track the test pattern
//             of its number, whole sectors of 588 frames; a data track of 4 s)
//           file PATH TEXT | copy SRC DST | mkdir PATH | hold PATH (open, shared
//             for reading only) | home FOLDER (the program's folder)
//           settings TEXT | format wav|mp3|wma|flac [ROOT]   (Output=ROOT or ${OUT})
//           start [nowait] [EXE]   (copied into ${PROG}; default the simulation
//             build; without nowait it waits for the end of the first refresh)
// Actions:  set CONTROL TEXT | title ROW TEXT | tick ROW | untick ROW
//           rename A B (in ${DISCS} unless absolute) | delete PATH | wait MS
//           refresh (press Refresh, wait for its end) | press CONTROL
//           rip FMT [artist=0|1] [album=0|1]   (answers every box with OK)
//           abort | answer (OK to the next message box) | close [nowait]
//           when reading N: STEP | when encoding: STEP   (for the next rip: once
//             the progress label has named track N for 300 ms, or once the
//             log shows "wavtomp3")
//           edit ROW|below [number|title|time] (double-click) | scroll | click CONTROL
//           type CONTROL TEXT (WM_CHAR) | paste CONTROL TEXT | key CONTROL enter|escape
//           minimize | second (the program started again; it must end with 0)
//           keep PATH NAME (copied into ${KEEP})
//           env NAME VALUE (for programs started after) | choose CONTROL N (a
//             list's entry) | dismiss cancel|close (the front-most dialog)
//           browser PATH ARGS | browser none   (the recorder at PATH opens
//             web pages, with ARGS after its quoted path)
//           device insert|eject|fail|speed|reads ARGS (tests/cdrom/device.cpp)
// Checks:   expect boxes: A ; B | none   (the boxes answered since the last
//             such check, each a prefix of the box's text)
//           expect box TEXT   (a box open now, left open)
//           expect rows N | row R NUMBER | TITLE | TIME | ticked R,R...|none
//           expect field CONTROL TEXT | status TEXT | no editor | limit CONTROL N
//           expect state CONTROL checked|unchecked|enabled|disabled|shown
//           expect log has TEXT | log lacks TEXT | log count TEXT N
//           expect log: A ; B   (every record of log.txt: exact, or a prefix
//             when ending in *; ... stands for any records)
//           expect file PATH [N|N..|N..M]   (bytes; a path whose last word is a
//             number needs a SIZE, e.g. 0..) | no file PATH | count DIR N [PATTERN]
//           expect whole PATH TRACK SECONDS (WAV: header and the exact samples,
//             SECONDS S+G with G seconds of silence after them; MP3 with both tags,
//             WMA with its final size, either at least 90% of 128 kb/s; FLAC
//             whose STREAMINFO states the exact length and an MD5)
//           expect text PATH TEXT | same PATH PATH | setting KEY VALUE
//           expect bar total|track MIN..MAX | exit N
//           sample (what the process holds: handles, threads, GDI objects,
//             private memory) | expect steady (the last sample no
//             more than a little above the second: the first rounds load
//             what stays loaded)
//           expect window CAPTION | closed CAPTION
//           expect requests: A ; B   (the CDDB server's request lines since
//             the start or the last such check)
// CONTROL: artist album year status drives rip refresh about info folder
// browse mp3 wav wma flac ok cancel label genre home editor main, and dialog (the
// front-most dialog but the main window).
// At the end a program still running is closed and must exit with 0; one
// that ended unchecked fails; log.txt's records must each end with a NUL.
#include <windows.h>
#include <commctrl.h>
#include <winternl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/harness.h"

std::string device_command(const std::string& line);  // tests/cdrom/device.cpp

namespace {

using Strings = std::vector<std::string>;
using std::to_string;

struct Step { std::string text; int line; };

struct Scenario {
    std::string table, key;
    int line = 0;
    Strings matrix, names;
    std::vector<Strings> groups;  // of `each` values
    std::vector<Step> steps;
};

std::map<std::string, std::string> g_vars;
std::vector<Scenario> g_scenarios;

struct Run {
    const Scenario* scenario = nullptr;
    std::string context;  // the `each` values, for messages
    std::map<std::string, std::string> vars;
    harness::Program program;
    HWND main = nullptr, list = nullptr, status = nullptr;
    std::string exe_in_prog;
    bool started = false, exit_checked = false;
    Strings boxes;
    int line = 0;
    Step when = {"", 0};
    int when_track = -1;  // the track of the armed step; 0 for encoding
    DWORD when_seen = 0;
    HWND progress = nullptr;
    std::vector<HANDLE> held;  // files held open by `hold`
    size_t requests_at = 0;    // the CDDB server's requests.txt, as far as checked
    std::vector<std::vector<long>> samples;  // of what the process holds
};

bool fail(Run& run, const std::string& what)
{
    ADD_FAILURE_AT(run.scenario->table.c_str(), run.line) << what << run.context;
    return false;
}

// For checks: a failed one is reported and the run goes on.
bool check(Run& run, bool ok, const std::string& what) { return ok || fail(run, what), true; }

std::string show(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text.substr(0, 300)) {
        char shown[8];
        snprintf(shown, sizeof shown, c >= 32 && c <= 126 ? "%c" : "\\x%02X", c);
        out += shown;
    }
    return out + (text.size() > 300 ? "... (" + to_string(text.size()) + " bytes)\"" : "\"");
}

bool same(Run& run, const std::string& what, const std::string& expected, const std::string& seen)
{
    return check(run, expected == seen, what + ": expected " + show(expected) + ", seen " + show(seen));
}

std::string joined(const Strings& texts)
{
    std::string out;
    for (const std::string& t : texts) out += (out.empty() ? "" : " ; ") + show(t);
    return out.empty() ? "none" : out;
}

Strings pieces(const std::string& text, const std::string& separator)
{
    Strings out;
    size_t at = 0;
    for (size_t next; (next = text.find(separator, at)) != std::string::npos; at = next + separator.size())
        out.push_back(text.substr(at, next - at));
    out.push_back(text.substr(at));
    return out;
}

// Cuts the last word off `text` and returns it.
std::string last_word(std::string* text)
{
    size_t space = text->find_last_of(' ');
    std::string word = space == std::string::npos ? "" : text->substr(space + 1);
    if (space != std::string::npos) text->erase(text->find_last_not_of(' ', space) + 1);
    return word;
}

bool in_range(double value, const std::string& range)
{
    size_t dots = range.find("..");
    std::string high = dots == std::string::npos ? range : range.substr(dots + 2);
    return value >= atof(range.c_str()) && (high.empty() || value <= atof(high.c_str()));
}

int count_of(const std::string& haystack, const std::string& needle)
{
    return needle.empty() ? 0 : static_cast<int>(pieces(haystack, needle).size() - 1);
}


// --- the words of a step ---

// Escapes first, then ${NAME} and ${N*TEXT}.
bool resolve(Run& run, const std::string& in, std::string* out)
{
    std::string text;
    for (size_t i = 0; i < in.size(); ++i) {
        char next = i + 1 < in.size() ? in[i + 1] : '\0';
        bool hex = next == 'x' && i + 3 < in.size() && isxdigit(static_cast<unsigned char>(in[i + 2])) &&
                   isxdigit(static_cast<unsigned char>(in[i + 3]));
        if (in[i] != '\\' || !(hex || (next && strchr("nrt\\", next)))) {
            text += in[i];
            continue;
        }
        text += hex ? static_cast<char>(strtol(in.substr(i + 2, 2).c_str(), nullptr, 16))
                    : next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
        i += hex ? 3 : 1;
    }
    out->clear();
    for (size_t at = 0; at < text.size();) {
        size_t end = text.compare(at, 2, "${") == 0 ? text.find('}', at) : std::string::npos;
        if (end == std::string::npos) {
            *out += text[at++];
            continue;
        }
        std::string name = text.substr(at + 2, end - at - 2);
        size_t star = name.find('*');
        if (star && star != std::string::npos && name.find_first_not_of("0123456789") == star) {
            for (long n = strtol(name.c_str(), nullptr, 10); n > 0; --n) *out += name.substr(star + 1);
        } else if (run.vars.count(name)) {
            *out += run.vars[name];
        } else {
            return fail(run, "no variable ${" + name + "}");
        }
        at = end + 1;
    }
    return true;
}

// The first `words` words of `text` as written; `rest_at` gets where the
// rest of the line starts.
Strings raw_words(const std::string& text, size_t words, size_t* rest_at)
{
    Strings out;
    size_t at = 0;
    auto skip = [&] { while (at < text.size() && isspace(static_cast<unsigned char>(text[at]))) ++at; };
    for (skip(); out.size() < words && at < text.size(); skip()) {
        std::string word;
        for (bool quoted = false; at < text.size() && (quoted || !isspace(static_cast<unsigned char>(text[at])));
             ++at) {
            if (text[at] == '"') quoted = !quoted;
            else word += text[at];
        }
        out.push_back(word);
    }
    *rest_at = at;
    return out;
}


// --- the program's windows ---

DWORD pid(Run& run) { return run.program.process.dwProcessId; }
HANDLE process(Run& run) { return run.program.process.hProcess; }
std::string log_of(Run& run) { return harness::read_file(run.program.folder + "\\log.txt"); }

// Reading another process's list view: its item texts and rects live in
// that process, so the messages carry memory allocated there, a Remote
// block, freed when it goes.
struct Remote {
    HANDLE process;
    char* at;
    explicit Remote(HANDLE p, size_t size)
        : process(p), at(static_cast<char*>(VirtualAllocEx(p, nullptr, size, MEM_COMMIT, PAGE_READWRITE))) {}
    ~Remote() { VirtualFreeEx(process, at, 0, MEM_RELEASE); }
    void put(size_t offset, const void* data, size_t size) { WriteProcessMemory(process, at + offset, data, size, nullptr); }
    void get(size_t offset, void* data, size_t size) { ReadProcessMemory(process, at + offset, data, size, nullptr); }
};

int list_count(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }
int list_state_image(HWND list, int row) { return ListView_GetItemState(list, row, LVIS_STATEIMAGEMASK) >> 12; }

std::string list_text(HANDLE process, HWND list, int row, int column)
{
    Remote remote(process, sizeof(LVITEMA) + 1024);
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = remote.at + sizeof(LVITEMA);
    item.cchTextMax = 1024;
    remote.put(0, &item, sizeof item);
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(remote.at));
    char text[1024] = {};
    remote.get(sizeof(LVITEMA), text, sizeof text - 1);
    return text;
}

bool set_list_text(HANDLE process, HWND list, int row, int column, const std::string& text)
{
    Remote remote(process, sizeof(LVITEMA) + text.size() + 1);
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = remote.at + sizeof(LVITEMA);
    remote.put(0, &item, sizeof item);
    remote.put(sizeof(LVITEMA), text.c_str(), text.size() + 1);
    return SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(remote.at)) != 0;
}

void set_list_state_image(HANDLE process, HWND list, int row, int image)
{
    Remote remote(process, sizeof(LVITEMA));
    LVITEMA item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(image);
    remote.put(0, &item, sizeof item);
    SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(remote.at));
}

RECT list_cell_rect(HANDLE process, HWND list, int row, int column)
{
    Remote remote(process, sizeof(RECT));
    RECT rect = {LVIR_LABEL, column, 0, 0};
    remote.put(0, &rect, sizeof rect);
    SendMessageA(list, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(remote.at));
    remote.get(0, &rect, sizeof rect);
    return rect;
}

HWND main_window(Run& run)
{
    if (!run.main) run.main = harness::wait_for_window(pid(run), "Orvo CD Ripper");
    run.list = GetDlgItem(run.main, IDC_TRACKS);
    run.status = GetDlgItem(run.main, IDC_STATUS);
    return run.main ? run.main : (fail(run, "no main window"), nullptr);
}

HWND editor(Run& run)
{
    HWND edit = FindWindowExA(run.list, nullptr, "Edit", nullptr);
    return edit && IsWindowVisible(edit) ? edit : nullptr;
}

const std::map<std::string, int> kControls = {
    {"artist", IDC_ARTIST}, {"album", IDC_ALBUM}, {"year", IDC_YEAR}, {"status", IDC_STATUS}, {"drives", IDC_DRIVES},
    {"rip", IDC_RIP}, {"refresh", IDC_REFRESH}, {"about", IDC_ABOUT}, {"info", IDC_DISC_INFO}, {"folder", IDC_FOLDER},
    {"browse", IDC_BROWSE}, {"mp3", IDC_MP3}, {"wav", IDC_WAV}, {"wma", IDC_WMA}, {"flac", IDC_FLAC}, {"ok", IDOK}, {"cancel", IDCANCEL},
    {"label", IDC_TRACK_LABEL}, {"genre", IDC_GENRE}, {"home", IDC_HOME_PAGE}};

// A control by name, from the front-most window of the program that has
// one of its id (waiting for it up to 10 s); "dialog" is the front-most
// dialog but the main window.
HWND control(Run& run, const std::string& name)
{
    HWND found = nullptr;
    if (!main_window(run)) return nullptr;
    if (name == "main") return run.main;
    if (name != "dialog" && name != "editor" && !kControls.count(name)) return fail(run, "no control " + show(name)), nullptr;
    // A window just shown may not be in front yet: enabled windows first (a
    // modal dialog disables the window it belongs to, whose Exit is "ok" too).
    auto look = [&] {
        for (int pass = 0; pass < 2; ++pass)
            for (HWND d : harness::process_dialogs(pid(run)))
                if (!found && name != "editor" && IsWindowVisible(d) && (pass || IsWindowEnabled(d)) &&
                    (name != "dialog" || d != run.main))
                    found = name == "dialog" ? d : GetDlgItem(d, kControls.at(name));
        return (found = found ? found : name == "editor" ? editor(run) : nullptr) != nullptr;
    };
    return harness::wait_until(look, name == "editor" ? 3000 : 10000) ? found
                                                                      : (fail(run, "no window shows " + name), nullptr);
}

int row(Run& run, const std::string& text)
{
    int n = atoi(text.c_str());
    if (n < 1) fail(run, "rows count from 1: " + show(text));
    return n - 1;
}

// --- set-up ---

// Samples of `frames` stereo frames, different for every track number.
std::string pattern(int track, uint32_t frames)
{
    std::string bytes(frames * 4, '\0');
    for (uint32_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 13 + track * 101 + i / 997) & 0xFF);
    return bytes;
}

int count_files(const std::string& folder, const std::string& pattern)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    int files = 0;
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        files += strcmp(found.cFileName, ".") && strcmp(found.cFileName, "..");
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return files;
}

void make_parents(const std::string& path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
}

bool write(Run& run, const std::string& path, const std::string& bytes)
{
    make_parents(path);
    return harness::write_file(path, bytes) || fail(run, "cannot write " + show(path));
}

bool copy_path(Run& run, const std::string& from, const std::string& to)
{
    make_parents(to);
    std::string source = from + '\0', target = to + '\0';
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_COPY;
    op.pFrom = source.c_str();
    op.pTo = target.c_str();
    op.fFlags = FOF_NO_UI;
    return (SHFileOperationA(&op) == 0 && harness::file_exists(to)) || fail(run, "cannot copy " + show(from));
}

uint32_t le32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(at + i < s.size() ? s[at + i] : 0);
    return v;
}

// The file a WAV rip of the track must make: header, samples, and the
// silence of a gap after them.
std::string wav_file(int track, uint32_t frames, uint32_t silence)
{
    uint32_t data = (frames + silence) * 4;
    // RIFF size, "WAVE", "fmt ", 16, PCM stereo, 44100 Hz, bytes a second, 4-byte frames of 16 bits, "data", size
    const uint32_t fields[] = {36 + data, 0x45564157, 0x20746d66, 16,         0x00020001,
                               44100,     176400,     0x00100004, 0x61746164, data};
    std::string bytes = "RIFF";
    for (uint32_t f : fields) bytes.append(reinterpret_cast<const char*>(&f), 4);
    return bytes + pattern(track, frames) + std::string(silence * 4, '\0');
}

std::string msf(uint32_t sector)
{
    char text[16];
    snprintf(text, sizeof text, "%02u:%02u:%02u", sector / 4500, sector / 75 % 60, sector % 75);
    return text;
}

std::string cue_track(int track, const char* mode, uint32_t at, const std::string* title, uint32_t gap)
{
    return "  TRACK " + std::string(track < 10 ? "0" : "") + to_string(track) + " " + mode + "\n" +
           (title ? "    TITLE \"" + *title + "\"\n" : "") + (gap ? "    PREGAP " + msf(gap) + "\n" : "") +
           "    INDEX 01 " + msf(at) + "\n";
}

// `files=wave`: each audio track a WAVE file of its own, with a chunk before
// "fmt " that a reader must skip; `files=motorola`: one raw file of
// big-endian samples; `gap=S`: S seconds of silence that no file holds
// before every audio track but the first.
bool disc(Run& run, Strings& a)
{
    constexpr uint32_t kDataSectors = 300;
    std::string cue, bin, data, files = "binary";
    Strings titles;
    bool titled = false;
    uint32_t gap = 0;
    for (size_t i = 2; i < a.size() && !a[i].empty(); ++i) {
        std::string option = a[i].substr(0, a[i].find('=') + 1), value = a[i].substr(option.size());
        if (option == "speed=") cue += "REM SPEED " + value + "\n";
        else if (option == "delay=") cue += "REM DELAY " + value + "\n";
        else if (option == "cdtext=") cue += "CDTEXTFILE \"" + value + "\"\n";
        else if (option == "titles=") titled = true, titles = pieces(value, "|");
        else if (option == "data=" && (value == "first" || value == "last")) data = value;
        else if (option == "files=" && (value == "wave" || value == "motorola" || value == "binary")) files = value;
        else if (option == "gap=") gap = static_cast<uint32_t>(lround(atof(value.c_str()) * 75));
        else return fail(run, "unknown disc option " + show(a[i]));
    }
    if (files == "wave" && !data.empty()) return fail(run, "a data track goes with one image file only");
    cue += files == "wave" ? "" : "FILE \"" + a[0] + ".bin\" " + (files == "motorola" ? "MOTOROLA\n" : "BINARY\n");
    int track = 1;
    uint32_t at = 0;
    auto add_data = [&] {
        cue += cue_track(track++, "MODE1/2352", at, nullptr, 0);
        bin += std::string(kDataSectors * 2352, 'D');
        at += kDataSectors;
    };
    if (data == "first") add_data();
    Strings lengths = pieces(a[1], ",");
    for (size_t i = 0; i < lengths.size(); ++i) {
        long sectors = lround(atof(lengths[i].c_str()) * 75);
        if (sectors < 1) return fail(run, "bad length " + show(lengths[i]));
        std::string samples = pattern(track, static_cast<uint32_t>(sectors) * 588);
        if (files == "wave") {
            std::string name = a[0] + "-" + to_string(track) + ".wav";
            cue += "FILE \"" + name + "\" WAVE\n";
            std::string wave = wav_file(track, static_cast<uint32_t>(sectors) * 588, 0);
            uint32_t riff = le32(wave, 4) + 14;
            wave.replace(4, 8, std::string(reinterpret_cast<char*>(&riff), 4) + "WAVELIST" + std::string("\6\0\0\0hello", 10));
            if (!write(run, run.vars["DISCS"] + "\\" + name, wave)) return false;
            at = 0;
        }
        for (size_t b = 0; files == "motorola" && b + 1 < samples.size(); b += 2) std::swap(samples[b], samples[b + 1]);
        cue += cue_track(track, "AUDIO", at, titled && i < titles.size() ? &titles[i] : nullptr, i ? gap : 0);
        bin += files == "wave" ? "" : samples;
        ++track;
        at += static_cast<uint32_t>(sectors);
    }
    if (data == "last") add_data();
    return (files == "wave" || write(run, run.vars["DISCS"] + "\\" + a[0] + ".bin", bin)) &&
           write(run, run.vars["DISCS"] + "\\" + a[0] + ".cue", cue);
}

bool is_format(const std::string& word) { return strstr(" wav mp3 wma flac ", (" " + word + " ").c_str()); }

bool format(Run& run, Strings& a)
{
    std::string ini = "[Settings]\r\nMP3=" + to_string(a[0] == "mp3") + "\r\nWAV=" + to_string(a[0] == "wav") +
                      "\r\nWMA=" + to_string(a[0] == "wma") + "\r\nOutput=" + (a[1].empty() ? run.vars["OUT"] : a[1]) +
                      "\r\n" + (a[0] == "flac" ? "FLAC=1\r\n" : "");
    if (!is_format(a[0])) return fail(run, "format wav|mp3|wma|flac [ROOT]");
    return write(run, run.vars["PROG"] + "\\settings.ini", ini);
}

bool start(Run& run, Strings& a)
{
    bool wait = a[0].compare(0, 6, "nowait") != 0;
    std::string exe = wait ? a[0] : a[0].substr(std::min<size_t>(a[0].size(), 7));
    if (exe.empty()) exe = run.vars["SIM"];
    run.exe_in_prog = run.program.folder + exe.substr(exe.find_last_of('\\'));
    auto refreshed = [&] { return log_of(run).find("end thread...") != std::string::npos; };
    // Under Wine a process start fails once in a long while: one more try.
    bool began = run.program.start(exe) || (Sleep(500), run.program.start(exe));
    DWORD why = began ? 0 : GetLastError();
    run.started = began && (!wait || (main_window(run) && harness::wait_until(refreshed, 10000)));
    return run.started ||
           fail(run, show(exe) + " did not start (error " + to_string(why) + ")" + (wait ? " or read its disc" : ""));
}

// --- actions ---

std::string in_discs(Run& run, const std::string& path)
{
    bool absolute = path.size() > 1 && (path[1] == ':' || path[0] == '\\');
    return absolute ? path : run.vars["DISCS"] + "\\" + path;
}

bool step(Run& run, const std::string& text);

// Acts on the armed `when` step once its moment has come.
void poll_rip(Run& run, HWND progress)
{
    run.progress = progress;
    if (run.when_track < 0) return;
    if (run.when_track == 0 && log_of(run).find("wavtomp3") == std::string::npos) return;
    if (run.when_track > 0) {
        std::string label = harness::window_text(GetDlgItem(progress, IDC_TRACK_LABEL));
        if (label.rfind(to_string(run.when_track) + ".", 0) != 0) return;
        if (!run.when_seen) run.when_seen = GetTickCount();
        if (GetTickCount() - run.when_seen < 300) return;
    }
    run.when_track = -1;
    int line = run.line;
    run.line = run.when.line;
    step(run, run.when.text);
    run.line = line;
}

// Answers the next message box with OK within `ms`; false when none came.
bool answer(Run& run, DWORD ms)
{
    HWND box = harness::wait_for_message_box(pid(run), nullptr, ms);
    if (box) run.boxes.push_back(harness::message_box_text(box)), harness::click(box, IDOK);
    return box && (harness::wait_gone(box) || fail(run, "the box stayed after OK"));
}

// Presses Rip CD, picks the format and the subfolder boxes (-1 leaves one
// as it is), presses Start and answers every message box until the rip is
// over, acting on the `when` step meanwhile.
bool rip(Run& run, Strings& a)
{
    int boxes[2] = {-1, -1}, ids[2] = {IDC_OPT_ARTIST, IDC_OPT_ALBUM};
    for (size_t i = 1; i < a.size() && !a[i].empty(); ++i)
        boxes[a[i].rfind("album=", 0) == 0] = atoi(a[i].c_str() + a[i].find('=') + 1);
    if (!is_format(a[0])) return fail(run, "rip wav|mp3|wma|flac [artist=0|1] [album=0|1]");
    if (!main_window(run)) return false;
    harness::click(run.main, IDC_RIP);
    HWND options = harness::wait_for_window(pid(run), "Settings");
    if (!options) return fail(run, "the rip options did not open");
    harness::click(options, kControls.at(a[0]));
    for (int i = 0; i < 2; ++i)
        if (boxes[i] >= 0 && SendDlgItemMessageA(options, ids[i], BM_GETCHECK, 0, 0) != boxes[i])
            harness::click(options, ids[i]);
    Sleep(100);
    harness::click(options, IDOK);
    HWND progress = harness::wait_for_window(pid(run), "CD Ripping...");
    for (DWORD start = GetTickCount(); GetTickCount() - start < 120000; Sleep(20)) {
        bool over = !IsWindow(progress);
        if (answer(run, over ? 300 : 0)) {  // once the dialog is gone, a last box may be on its way
            if (run.boxes.back() == "Done!") break;
        } else if (over) {
            break;
        } else {
            poll_rip(run, progress);
        }
    }
    if (run.when_track >= 0) fail(run, "the rip ended before its `when` step ran:" + run.when.text);
    run.when_track = -1;
    run.progress = nullptr;
    return true;
}

bool when(Run& run, Strings& a)
{
    size_t colon = a[0].find(':');
    std::string condition = a[0].substr(0, colon);
    bool reading = condition.rfind("reading ", 0) == 0;
    if (colon == std::string::npos || (!reading && condition != "encoding"))
        return fail(run, "when reading N: STEP | when encoding: STEP");
    run.when = {a[0].substr(colon + 1), run.line};
    run.when_track = reading ? atoi(condition.c_str() + 8) : 0;
    run.when_seen = 0;
    return true;
}

bool refresh(Run& run, Strings&)
{
    if (!main_window(run)) return false;
    int before = count_of(log_of(run), "end thread...");
    harness::click(run.main, IDC_REFRESH);
    auto done = [&] {
        return count_of(log_of(run), "end thread...") > before && harness::window_text(run.status) == "Done";
    };
    return harness::wait_until(done, 15000) || fail(run, "the refresh did not end with \"Done\"");
}

bool close(Run& run, Strings& a)
{
    if (!main_window(run)) return false;
    PostMessageA(run.main, WM_CLOSE, 0, 0);
    if (a[0] == "nowait") return true;
    run.exit_checked = true;
    return same(run, "exit code once closed", "0", to_string(run.program.wait_exit(20000)));
}

bool edit(Run& run, Strings& a)
{
    if (!main_window(run)) return false;
    int column = a[1] == "number" ? 0 : a[1] == "time" ? 2 : 1;
    bool below = a[0] == "below";
    RECT cell = list_cell_rect(process(run), run.list,
                                        below ? list_count(run.list) - 1 : row(run, a[0]), column);
    LPARAM at = below ? MAKELPARAM(cell.left + 10, cell.bottom + 40)
                      : MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    PostMessageA(run.list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    harness::wait_until([&] { return editor(run) != nullptr; }, 1500);
    return true;
}

// Sends a message to a control by name; false when there is none.
bool send(Run& run, const std::string& name, UINT message, WPARAM w, LPARAM l)
{
    HWND c = control(run, name);
    return c && (SendMessageA(c, message, w, l), true);
}

bool paste(Run& run, Strings& a)
{
    if (!OpenClipboard(nullptr)) return fail(run, "nothing pasted");
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, a[1].size() + 1);
    memcpy(GlobalLock(memory), a[1].c_str(), a[1].size() + 1);
    GlobalUnlock(memory);
    SetClipboardData(CF_TEXT, memory);
    CloseClipboard();
    return send(run, a[0], WM_PASTE, 0, 0);
}

bool press_key(Run& run, Strings& a)
{
    HWND window = control(run, a[0]);
    UINT vk = a[1] == "enter" ? VK_RETURN : a[1] == "escape" ? VK_ESCAPE : 0;
    if (!window || !vk) return fail(run, "key CONTROL enter|escape");
    PostMessageA(window, WM_KEYDOWN, vk, 1);
    return PostMessageA(window, WM_KEYUP, vk, 0xC0000001);
}

bool second(Run& run, Strings&)
{
    harness::Program again;
    int code = again.start_in(run.exe_in_prog) ? again.wait_exit() : -1;
    again.folder.clear();  // the folder is the first program's
    return same(run, "exit code of the second start", "0", to_string(code));
}

bool set_tick(Run& run, const std::string& text, int image)
{
    if (!main_window(run)) return false;
    set_list_state_image(process(run), run.list, row(run, text), image);
    return true;
}

// --- checks ---

bool expect_boxes(Run& run, Strings& a)
{
    Strings want = a[0] == "none" ? Strings() : pieces(a[0], " ; ");
    bool ok = want.size() == run.boxes.size();
    for (size_t i = 0; ok && i < want.size(); ++i) ok = run.boxes[i].rfind(want[i], 0) == 0;
    check(run, ok, "message boxes: expected " + show(a[0]) + ", seen " + joined(run.boxes));
    run.boxes.clear();
    return true;
}

bool expect_box(Run& run, Strings& a)
{
    HWND box = harness::wait_for_message_box(pid(run), nullptr, a[0] == "none" ? 500 : 10000);
    if (a[0] == "none") return check(run, !box, "a message box is open: " + show(box ? harness::message_box_text(box) : ""));
    std::string seen = box ? harness::message_box_text(box) : "no box";
    return check(run, seen.rfind(a[0], 0) == 0, "message box: expected " + show(a[0]) + ", seen " + show(seen));
}

bool expect_row(Run& run, Strings& a)
{
    std::string seen;
    for (int column = 0; main_window(run) && column < 3; ++column)
        seen += (column ? " | " : "") + list_text(process(run), run.list, row(run, a[0]), column);
    return same(run, "row " + a[0], a[1], seen);
}

bool expect_ticked(Run& run, Strings& a)
{
    std::string seen;
    for (int r = 0; main_window(run) && r < list_count(run.list); ++r)
        if (list_state_image(run.list, r) == 2) seen += (seen.empty() ? "" : ",") + to_string(r + 1);
    return same(run, "ticked rows", a[0], seen.empty() ? "none" : seen);
}

bool expect_field(Run& run, Strings& a)
{
    HWND field = control(run, a[0]);
    if (field && !harness::wait_until([&] { return harness::window_text(field) == a[1]; }, 5000))
        same(run, a[0], a[1], harness::window_text(field));
    return true;
}

bool expect_state(Run& run, Strings& a)
{
    HWND window = control(run, a[0]);
    if (!window) return true;
    bool checked = SendMessageA(window, BM_GETCHECK, 0, 0) == BST_CHECKED, enabled = IsWindowEnabled(window);
    const std::map<std::string, bool> states = {{"checked", checked}, {"unchecked", !checked}, {"enabled", enabled},
        {"disabled", !enabled}, {"shown", IsWindowVisible(window) && !IsIconic(window)}};
    return check(run, states.count(a[1]) && states.at(a[1]), a[0] + " is not " + a[1]);
}

bool expect_log(Run& run, Strings& a)
{
    std::string n = a[0] == "count" ? last_word(&a[1]) : "";
    int seen = count_of(log_of(run), a[1]);
    bool ok = a[0] == "has" ? seen > 0 : a[0] == "lacks" ? seen == 0 : a[0] == "count" && seen == atoi(n.c_str());
    return check(run, ok,
                 "log " + a[0] + " " + show(a[1]) + " " + n + ": log.txt holds it " + to_string(seen) + " times");
}

bool records_match(const Strings& items, size_t i, const Strings& records, size_t r)
{
    if (i == items.size()) return r == records.size();
    for (size_t k = r; items[i] == "..." && k <= records.size(); ++k)
        if (records_match(items, i + 1, records, k)) return true;
    const std::string& item = items[i];
    size_t n = item.size() - (!item.empty() && item.back() == '*');
    bool ok = item != "..." && r < records.size() &&
              records[r].compare(0, n == item.size() ? std::string::npos : n, item, 0, n) == 0;
    return ok && records_match(items, i + 1, records, r + 1);
}

bool expect_log_records(Run& run, Strings& a)
{
    bool whole = false;
    Strings records = harness::log_records(log_of(run), &whole);
    return check(run, records_match(pieces(a[0], " ; "), 0, records, 0),
                 "log.txt: expected " + show(a[0]) + ", seen " + joined(records));
}

bool expect_file(Run& run, Strings& a)
{
    std::string last = a[0].substr(a[0].find_last_of(' ') + 1), size;
    if (a[0].find(' ') != std::string::npos && last.find_first_of("0123456789") == 0 &&
        last.find_first_not_of("0123456789.") == std::string::npos)
        size = last_word(&a[0]);
    if (!harness::file_exists(a[0])) return check(run, false, show(a[0]) + " is missing");
    size_t bytes = harness::read_file(a[0]).size();
    return check(run, size.empty() || in_range(static_cast<double>(bytes), size),
                 show(a[0]) + ": " + to_string(bytes) + " bytes, expected " + size);
}

bool expect_count(Run& run, Strings& a)
{
    std::string pattern = a[2].empty() ? "*" : a[2];
    return same(run, "files " + pattern + " in " + a[0], a[1], to_string(count_files(a[0], pattern)));
}

// A FLAC file whose STREAMINFO (its first block) states 44,100 Hz, two
// channels of 16 bits, exactly `frames` frames and an MD5 of the audio:
// what the encoder finished with, written back at the front.
bool whole_flac(const std::string& bytes, uint32_t frames)
{
    uint64_t format = 44100ull << 44 | 1ull << 41 | 15ull << 36 | frames;
    std::string want = "fLaC" + std::string("\x00\x00\x00\x22", 4);
    for (int shift = 56; shift >= 0; shift -= 8) want += static_cast<char>(format >> shift & 0xFF);
    return bytes.size() >= 42 && bytes.compare(0, 8, want, 0, 8) == 0 && bytes.compare(18, 8, want, 8, 8) == 0 &&
           bytes.find_first_not_of('\0', 26) < 42;
}

// By its extension: a WAV as exact (SECONDS may be S+G: G seconds of a
// gap's silence after the samples), an MP3 with its ID3v2 head and ID3v1
// tail, a WMA whose header states its final size (either of at least 90% of
// 128 kb/s), a FLAC as whole_flac says.
bool expect_whole(Run& run, Strings& a)
{
    std::string time = last_word(&a[0]);
    double seconds = atof(time.c_str()), gap = time.find('+') == std::string::npos ? 0 : atof(time.c_str() + time.find('+'));
    int track = atoi(last_word(&a[0]).c_str());
    std::string bytes = harness::read_file(a[0]), ext = a[0].substr(a[0].find_last_of('.') + 1);
    bool whole = bytes.size() >= seconds * 16000 * 0.9;
    uint32_t frames = static_cast<uint32_t>(lround(seconds * 75)) * 588;
    if (ext == "flac") {
        whole = whole_flac(bytes, frames);
    } else if (ext == "wav") {
        std::string want = wav_file(track, frames, static_cast<uint32_t>(lround(gap * 75)) * 588);
        size_t at = 0;
        while (at < bytes.size() && at < want.size() && bytes[at] == want[at]) ++at;
        return check(run, bytes == want,
                     show(a[0]) + ": " + to_string(bytes.size()) + " bytes, differs from the expected " +
                         to_string(want.size()) + " at byte " + to_string(at));
    } else if (ext == "mp3") {
        whole = whole && bytes.compare(0, 3, "ID3") == 0 && bytes.compare(bytes.size() - 128, 3, "TAG") == 0;
    } else {
        size_t at = bytes.find(
            std::string("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16));  // File Properties
        whole = whole && bytes.compare(0, 4, "\x30\x26\xB2\x75") == 0 && at != std::string::npos &&
                le32(bytes, at + 40) == bytes.size() && le32(bytes, at + 44) == 0;
    }
    char what[80];
    snprintf(what, sizeof what, " is not a whole %s of %g s (%zu bytes)", ext.c_str(), seconds, bytes.size());
    return check(run, whole, show(a[0]) + what);
}

// The request lines the CDDB server got since the last such check.
bool expect_requests(Run& run, Strings& a)
{
    std::string want, path = run.vars["SERVER"] + "\\requests.txt";
    for (const std::string& line : pieces(a[0], " ; ")) want += line + "\n";
    auto seen = [&] { std::string all = harness::read_file(path); return all.substr(std::min(all.size(), run.requests_at)); };
    harness::wait_until([&] { return seen() == want; }, 10000);
    std::string got = seen();
    run.requests_at += got.size();
    return same(run, "requests to the CDDB server", want, got);
}

// The program that opens web pages: the recorder, copied to PATH and
// registered with ARGS after its quoted path; `none`: no such program.
bool browser(Run& run, Strings& a)
{
    const char key[] = "http\\shell\\open\\command";
    RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
    std::string command = "\"" + a[0] + "\" " + a[1];
    return a[0] == "none" ||
           (copy_path(run, run.vars["RECORDER"], a[0]) &&
            (!RegSetKeyValueA(HKEY_CLASSES_ROOT, key, nullptr, REG_SZ, command.c_str(),
                              static_cast<DWORD>(command.size() + 1)) ||
             fail(run, "cannot register the browser")));
}

bool expect_setting(Run& run, Strings& a)
{
    char value[2048] = {};
    GetPrivateProfileStringA("Settings", a[0].c_str(), "<absent>", value, sizeof value,
                             (run.vars["PROG"] + "\\settings.ini").c_str());
    return same(run, "settings.ini " + a[0], a[1], value);
}

bool expect_bar(Run& run, Strings& a)
{
    if (!run.progress) return fail(run, "expect bar: only while a rip runs (in a `when` step)");
    int at = static_cast<int>(
        SendDlgItemMessageA(run.progress, a[0] == "total" ? IDC_TOTAL_BAR : IDC_TRACK_BAR, PBM_GETPOS, 0, 0));
    return check(run, in_range(at, a[1]), a[0] + " bar at " + to_string(at) + ", expected " + a[1]);
}

// --- what the process holds (for `sample` and `expect steady`) ---

// Its entry in the system's process list (the one place where Wine reports
// a process's handles): its handles or its threads.
long listed(HANDLE process, bool threads)
{
    std::vector<char> list(1 << 22);
    NtQuerySystemInformation(SystemProcessInformation, list.data(), static_cast<ULONG>(list.size()), nullptr);
    for (size_t at = 0;;) {
        auto* entry = reinterpret_cast<SYSTEM_PROCESS_INFORMATION*>(&list[at]);
        if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == GetProcessId(process))
            return threads ? entry->NumberOfThreads : entry->HandleCount;
        if (!entry->NextEntryOffset) return -1;
        at += entry->NextEntryOffset;
    }
}

// Wine does not implement GetGuiResources; it keeps each process's GDI
// objects in a handle table the process's PEB points to. (Windows left
// behind show as dialogs that stay open, which the steps check.)
long count_gdi(HANDLE process)
{
    if (long n = static_cast<long>(GetGuiResources(process, GR_GDIOBJECTS))) return n;
    struct Entry { UINT64 object; ULONG owner; USHORT unique; UCHAR type, flags; UINT64 user; };
    std::vector<Entry> entries(0x10000);
    PROCESS_BASIC_INFORMATION basic = {};
    UINT64 table = 0;
    const size_t kGdiTableInPeb = 0xF8;
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) ||
        !ReadProcessMemory(process, reinterpret_cast<char*>(basic.PebBaseAddress) + kGdiTableInPeb, &table,
                           sizeof table, nullptr) ||
        !ReadProcessMemory(process, reinterpret_cast<void*>(table), entries.data(), entries.size() * sizeof(Entry),
                           nullptr))
        return -1;
    return std::count_if(entries.begin(), entries.end(), [](const Entry& e) { return e.type != 0; });
}

// Committed private memory, threads' stacks among it (Wine reports none).
long private_kb(HANDLE process)
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (char* at = nullptr; VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;
         at = static_cast<char*>(region.BaseAddress) + region.RegionSize)
        total += region.State == MEM_COMMIT && region.Type == MEM_PRIVATE ? region.RegionSize : 0;
    return static_cast<long>(total / 1024);
}

// What is counted, and the growth allowed from the second sample to the
// last. Worker threads and WinINet come and go, and the heap keeps some of
// what it was given; none of that may add up round after round.
struct Counter { const char* what; long (*count)(HANDLE); long allowance; };
const Counter kCounters[] = {{"kernel handles", [](HANDLE p) { return listed(p, false); }, 6},
                             {"threads", [](HANDLE p) { return listed(p, true); }, 0},
                             {"GDI objects (brushes, fonts, icon bitmaps)", count_gdi, 4},
                             {"private memory in KB", private_kb, 2048}};

bool sample(Run& run, Strings&)
{
    Sleep(1000);  // threads that just ended are gone from the counts
    run.samples.emplace_back();
    for (const Counter& counter : kCounters) run.samples.back().push_back(counter.count(process(run)));
    return true;
}

bool expect_steady(Run& run, Strings&)
{
    if (run.samples.size() < 3) return fail(run, "expect steady: after three samples");
    for (size_t i = 0; i < std::size(kCounters); ++i) {
        long first = run.samples[1][i], last = run.samples.back()[i];
        printf("%s: %ld -> %ld\n", kCounters[i].what, first, last);
        check(run, first > 0 && last - first <= kCounters[i].allowance,
              std::string(kCounters[i].what) + " grew from " + to_string(first) + " to " + to_string(last));
    }
    return true;
}

// --- the steps ---

struct Verb {
    const char* name;
    // One letter an argument: w a word, p a path word, t the rest of the
    // line, r the rest as a path, x the rest untouched; capitals: optional.
    const char* args;
    bool (*run)(Run&, Strings&);
};

const Verb kVerbs[] = {
    {"disc", "wwWWWWWW", disc},
    {"file", "pt", [](Run& r, Strings& a) { return write(r, a[0], a[1]); }},
    {"copy", "pr", [](Run& r, Strings& a) { return copy_path(r, a[0], a[1]); }},
    {"mkdir", "r", [](Run& r, Strings& a) {
         return make_parents(a[0] + "\\"), harness::file_exists(a[0]) || fail(r, "no folder made");
     }},
    // Another program holds the file open, shared for reading only, until
    // the run ends: a read-only attribute would not do (as root under Wine
    // it does not stop a write).
    {"hold", "r", [](Run& r, Strings& a) {
         HANDLE file = CreateFileA(a[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
         return file != INVALID_HANDLE_VALUE ? (r.held.push_back(file), true) : fail(r, "cannot hold " + show(a[0]));
     }},
    // The program's folder becomes this one (before any file of it).
    {"home", "r", [](Run& r, Strings& a) {
         r.program.folder = a[0];
         r.vars["PROG"] = a[0];
         r.vars["DISCS"] = a[0] + "\\discs";
         return true;
     }},
    {"settings", "t", [](Run& r, Strings& a) { return write(r, r.vars["PROG"] + "\\settings.ini", a[0]); }},
    {"format", "wR", format},
    {"start", "T", start},
    {"set", "wt", [](Run& r, Strings& a) { return send(r, a[0], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a[1].c_str())); }},
    {"title", "wt", [](Run& r, Strings& a) {
         return main_window(r) &&
                (set_list_text(process(r), r.list, row(r, a[0]), 1, a[1]) || fail(r, "title not set"));
     }},
    {"tick", "w", [](Run& r, Strings& a) { return set_tick(r, a[0], 2); }},
    {"untick", "w", [](Run& r, Strings& a) { return set_tick(r, a[0], 1); }},
    {"rename", "pr", [](Run& r, Strings& a) {
         return MoveFileA(in_discs(r, a[0]).c_str(), in_discs(r, a[1]).c_str()) ||
                fail(r, "cannot rename " + show(a[0]));
     }},
    {"delete", "r", [](Run& r, Strings& a) {
         std::string path = in_discs(r, a[0]);
         return DeleteFileA(path.c_str()) || RemoveDirectoryA(path.c_str()) || !harness::file_exists(path) ||
                fail(r, "cannot delete " + show(path));
     }},
    {"wait", "w", [](Run&, Strings& a) { return Sleep(static_cast<DWORD>(atoi(a[0].c_str()))), true; }},
    {"refresh", "", refresh},
    {"press", "w", [](Run& r, Strings& a) { HWND b = control(r, a[0]); return b && PostMessageA(b, BM_CLICK, 0, 0); }},
    {"rip", "wWW", rip},
    {"abort", "", [](Run& r, Strings&) {
         HWND progress = harness::wait_for_window(pid(r), "CD Ripping...");
         return progress ? (harness::click(progress, IDCANCEL), true) : fail(r, "no progress dialog to abort");
     }},
    {"when", "x", when},
    {"answer", "", [](Run& r, Strings&) { return answer(r, 10000) || fail(r, "no message box came"); }},
    {"close", "W", close},
    {"edit", "wW", edit},
    {"scroll", "", [](Run& r, Strings&) { return main_window(r) && PostMessageA(r.list, WM_VSCROLL, SB_LINEDOWN, 0); }},
    {"click", "w", [](Run& r, Strings& a) {
         HWND c = control(r, a[0]);
         return c && PostMessageA(c, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)) &&
                PostMessageA(c, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
     }},
    {"type", "wt", [](Run& r, Strings& a) {
         HWND c = control(r, a[0]);
         for (size_t i = 0; c && i < a[1].size(); ++i) PostMessageA(c, WM_CHAR, static_cast<unsigned char>(a[1][i]), 1);
         return c != nullptr;
     }},
    {"paste", "wt", paste},
    {"key", "ww", press_key},
    {"minimize", "", [](Run& r, Strings&) { return main_window(r) && (ShowWindow(r.main, SW_MINIMIZE), true); }},
    {"second", "", second},
    {"env", "wt", [](Run& r, Strings& a) { return SetEnvironmentVariableA(a[0].c_str(), a[1].c_str()) || fail(r, "no env"); }},
    {"browser", "pT", browser},
    {"choose", "ww", [](Run& r, Strings& a) { return send(r, a[0], CB_SETCURSEL, atoi(a[1].c_str()), 0); }},
    // What Escape (cancel) or the close box (close) sends the front-most dialog.
    {"dismiss", "w", [](Run& r, Strings& a) {
         HWND d = control(r, "dialog");
         return d && PostMessageA(d, a[0] == "close" ? WM_CLOSE : WM_COMMAND, a[0] == "close" ? 0 : IDCANCEL, 0);
     }},
    {"keep", "pt", [](Run& r, Strings& a) { return copy_path(r, a[0], r.vars["KEEP"] + "\\" + a[1]); }},
    // The test CD-ROM drives (tests/cdrom): a disc in or out, a fault.
    {"device", "t", [](Run& r, Strings& a) {
         std::string why = device_command(a[0]);
         return why.empty() || fail(r, "device " + a[0] + ": " + why);
     }},
    {"expect boxes:", "t", expect_boxes},
    {"expect box", "t", expect_box},
    {"expect rows", "w", [](Run& r, Strings& a) {
         return main_window(r) && same(r, "rows", a[0], to_string(list_count(r.list)));
     }},
    {"expect row", "wt", expect_row},
    {"expect window", "t", [](Run& r, Strings& a) {
         HWND w = harness::wait_for_window(pid(r), a[0].c_str());
         return check(r, w && harness::wait_until([&] { return IsWindowVisible(w); }, 5000), "no window " + show(a[0]));
     }},
    {"expect closed", "t", [](Run& r, Strings& a) {
         HWND w = harness::wait_for_window(pid(r), a[0].c_str(), 0);
         return check(r, !w || harness::wait_gone(w, 2000), show(a[0]) + " is still open");
     }},
    {"expect requests:", "t", expect_requests},
    {"expect ticked", "w", expect_ticked},
    {"expect field", "wt", expect_field},
    {"expect status", "t", [](Run& r, Strings& a) { Strings b = {"status", a[0]}; return expect_field(r, b); }},
    {"expect no editor", "", [](Run& r, Strings&) {
         bool gone = main_window(r) && harness::wait_until([&] { return editor(r) == nullptr; }, 3000);
         return check(r, gone, "the title editor is still open");
     }},
    {"expect no file", "r", [](Run& r, Strings& a) {
         return check(r, !harness::file_exists(a[0]), show(a[0]) + " exists");
     }},
    {"expect limit", "ww", [](Run& r, Strings& a) {
         HWND c = control(r, a[0]);
         return !c || same(r, "text limit of " + a[0], a[1], to_string(SendMessageA(c, EM_GETLIMITTEXT, 0, 0)));
     }},
    {"expect state", "ww", expect_state},
    {"expect log", "wt", expect_log},
    {"expect log:", "t", expect_log_records},
    {"expect file", "r", expect_file},
    {"expect count", "pwT", expect_count},
    {"expect whole", "r", expect_whole},
    {"expect text", "pt", [](Run& r, Strings& a) { return same(r, a[0], a[1], harness::read_file(a[0])); }},
    {"expect same", "pr", [](Run& r, Strings& a) {
         return same(r, a[0] + " against " + a[1], harness::read_file(a[1]), harness::read_file(a[0]));
     }},
    {"expect setting", "wt", expect_setting},
    {"sample", "", sample},
    {"expect steady", "", expect_steady},
    {"expect bar", "ww", expect_bar},
    {"expect exit", "w", [](Run& r, Strings& a) {
         r.exit_checked = true;
         return same(r, "exit code", a[0], to_string(r.program.wait_exit(20000)));
     }},
};

// Runs one step; false when the run cannot go on.
bool step(Run& run, const std::string& line)
{
    std::string text = line.substr(std::min(line.size(), line.find_first_not_of(' ')));
    const Verb* verb = nullptr;
    for (const Verb& v : kVerbs) {
        size_t n = strlen(v.name);
        if (text.compare(0, n, v.name) == 0 && (text.size() == n || text[n] == ' ') &&
            (!verb || n > strlen(verb->name)))
            verb = &v;
    }
    if (!verb) return fail(run, "unknown step " + show(text.substr(0, text.find(' '))));
    std::string shape = verb->args, args = text.substr(std::min(text.size(), strlen(verb->name) + 1));
    size_t words = std::min(shape.size(), shape.find_first_of("tTrRx")), rest_at = 0;
    Strings a = raw_words(args, words, &rest_at);
    if (words < shape.size()) a.push_back(args.substr(rest_at));
    a.resize(shape.size());
    for (size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] != 'x' && !resolve(run, a[i], &a[i])) return false;
        if (islower(shape[i]) && strchr("wp", shape[i]) && a[i].empty())
            return fail(run, std::string(verb->name) + ": an argument is missing");
    }
    return verb->run(run, a);
}

// --- the tables ---

std::string with_values(std::string text, const Strings& names, const Strings& values)
{
    for (size_t i = 0; i < values.size(); ++i) {
        std::string key = "${" + names[i] + "}";
        for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), values[i]);
    }
    return text;
}

// A program still running is closed; log.txt must be whole.
void finish(Run& run)
{
    bool running = run.started && WaitForSingleObject(process(run), 0) == WAIT_TIMEOUT;
    Strings none = {""};
    if (running) close(run, none);
    else check(run, !run.started || run.exit_checked, "the program ended by itself");
    bool whole = true;
    std::string log = log_of(run);
    if (!log.empty()) harness::log_records(log, &whole);
    check(run, whole, "a record of log.txt does not end with its NUL byte");
}

void run_once(const Scenario& scenario, const Strings& values)
{
    Run run;
    run.scenario = &scenario;
    run.vars = g_vars;
    run.program.folder = harness::make_temp_folder("sim");
    run.vars["PROG"] = run.program.folder;
    run.vars["DISCS"] = run.program.folder + "\\discs";
    run.vars["OUT"] = harness::make_temp_folder("out");
    run.requests_at = harness::read_file(run.vars["SERVER"] + "\\requests.txt").size();
    for (size_t i = 0; i < values.size(); ++i) run.context += (i ? ", " : " (") + scenario.names[i] + "=" + values[i];
    run.context += values.empty() ? "" : ")";
    bool went_on = true;
    std::vector<std::pair<size_t, int>> loops;  // each open `repeat`: its step, the rounds left
    for (size_t i = 0; went_on && i < scenario.steps.size(); ++i) {
        run.line = scenario.steps[i].line;
        std::string text = with_values(scenario.steps[i].text, scenario.names, values);
        if (text.rfind("repeat ", 0) == 0) loops.emplace_back(i, atoi(text.c_str() + 7));
        else if (text == "end" && !loops.empty() && --loops.back().second > 0) i = loops.back().first;
        else if (text == "end") went_on = !loops.empty() && (loops.pop_back(), true);
        else went_on = step(run, text);
    }
    if (!went_on && !testing::Test::HasFailure()) fail(run, "this step could not be done");
    if (went_on) finish(run);
    for (HANDLE file : run.held) CloseHandle(file);
    harness::remove_tree(run.vars["OUT"]);
}

class ScenarioTest : public testing::Test {
public:
    explicit ScenarioTest(const Scenario* scenario) : s_(*scenario) {}
    void TestBody() override
    {
        for (std::string name : {"SMALL", "SMALLHOME"})
            for (const Step& step : s_.steps)
                if (step.text.find("${" + name + "}") != std::string::npos && !harness::file_exists(g_vars[name]))
                    GTEST_SKIP() << "no small volume (" << name << "=FOLDER absent or missing)";
        if (s_.groups.empty()) run_once(s_, {});
        for (const Strings& values : s_.groups) run_once(s_, values);
        if (s_.matrix.size() == 4)
            harness::fault_row(s_.key.c_str(), s_.matrix[0].c_str(), s_.matrix[1].c_str(), s_.matrix[2].c_str(),
                               s_.matrix[3].c_str());
    }

private:
    const Scenario& s_;
};

std::string trimmed(std::string line)
{
    for (size_t at = line.find('#'); at != std::string::npos; at = line.find('#', at + 1)) {
        if (at == 0 || isspace(static_cast<unsigned char>(line[at - 1]))) line.erase(at);
    }
    line.erase(line.find_last_not_of(" \t\r") + 1);
    return line.erase(0, std::min(line.size(), line.find_first_not_of(" \t")));
}

// Reads a table into g_scenarios; false, saying where, when it is malformed.
bool read_table(const std::string& path)
{
    std::string bytes = harness::read_file(harness::windows_path(path));
    Strings lines = pieces(bytes, "\n");
    for (size_t number = 1; number <= lines.size(); ++number) {
        std::string line = trimmed(lines[number - 1]);
        size_t colon = line.find(':');
        auto bad = [&](const char* why) { return fprintf(stderr, "%s:%zu: %s\n", path.c_str(), number, why), false; };
        if (line.rfind("scenario ", 0) == 0) {
            if (colon == std::string::npos) return bad("scenario KEY: TITLE");
            g_scenarios.push_back(Scenario());
            g_scenarios.back().table = path;
            g_scenarios.back().key = trimmed(line.substr(9, colon - 9));
            g_scenarios.back().line = static_cast<int>(number);
            continue;
        }
        if (line.empty()) continue;
        if (g_scenarios.empty() || g_scenarios.back().table != path) return bad("a step before the first scenario");
        Scenario& s = g_scenarios.back();
        if (line.rfind("matrix:", 0) == 0 && (s.matrix = pieces(trimmed(line.substr(7)), " | ")).size() != 4)
            return bad("matrix: fault | what the user sees | left on disk | nothing else lost");
        if (line.rfind("each ", 0) == 0) {
            Strings names = pieces(trimmed(line.substr(5, colon - 5)), " "), values;
            size_t end = 0;
            if (colon != std::string::npos) values = raw_words(line.substr(colon + 1), 99999, &end);
            if (values.empty() || values.size() % names.size() || (!s.names.empty() && s.names != names))
                return bad("each NAME...: VALUE... (a value for every name, the same names on every each line)");
            s.names = names;
            for (size_t i = 0; i < values.size(); i += names.size())
                s.groups.emplace_back(values.begin() + i, values.begin() + i + names.size());
        } else if (line.rfind("matrix:", 0) != 0) {
            s.steps.push_back({line, static_cast<int>(number)});
        }
    }
    return !bytes.empty() || (fprintf(stderr, "%s: missing or empty\n", path.c_str()), false);
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc < 5)
        return fputs("usage: scenario_test SIMULATION_EXE SAMPLE_DISC_FOLDER KEEP_FOLDER [NAME=VALUE...] TABLE...\n", stderr), 2;
    const char* names[] = {"SIM", "SAMPLE", "KEEP"};
    for (int i = 0; i < 3; ++i) g_vars[names[i]] = harness::windows_path(argv[i + 1]);
    harness::remove_tree(g_vars["KEEP"]);
    CreateDirectoryA(g_vars["KEEP"].c_str(), nullptr);
    for (int i = 4; i < argc; ++i) {
        std::string arg = argv[i];
        size_t equals = arg.find('=');
        if (equals != std::string::npos && arg.find('/') > equals)
            g_vars[arg.substr(0, equals)] = harness::windows_path(arg.substr(equals + 1));
        else if (!read_table(arg)) return 2;
    }
    g_vars["PORT"] = harness::read_file(g_vars["SERVER"] + "\\port.txt");  // of the local CDDB server
    for (const Scenario& s : g_scenarios) {
        std::string table = s.table.substr(s.table.find_last_of('/') + 1);
        testing::RegisterTest(table.substr(0, table.find('.')).c_str(), s.key.c_str(), nullptr, nullptr,
                              s.table.c_str(), s.line, [&s]() -> testing::Test* { return new ScenarioTest(&s); });
    }
    return RUN_ALL_TESTS();
}
