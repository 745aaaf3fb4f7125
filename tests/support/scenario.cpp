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
// Arguments: words, "quoted" when they hold spaces, and the last argument
// of a step takes the rest of the line as it stands (spaces, quotes).
// Escapes: \n \r \t \xHH \\ ; any other backslash stays (Windows paths).
// Paths refuse control characters: write \\n for a backslash before n.
// Then variables: ${OUT} (a fresh empty folder per run, removed after),
// ${PROG} (the program's folder), ${DISCS}, ${SAMPLE}, ${KEEP}, ${SIM},
// the NAME=VALUE ones, and ${N*TEXT}: TEXT N times. Rows count from 1.
// Several expected texts are separated by " ; ", cells of a row by " | ".
//
// Set-up:   disc NAME SECONDS[,SECONDS...] [speed=N] [delay=MS] [titles=A|B|...]
//             [data=first|last]   (the test pattern of each track number,
//             whole sectors of 588 frames; a data track of 4 s)
//           file PATH TEXT | copy SRC DST | mkdir PATH | hold PATH (open, shared for reading only)
//           settings TEXT | format wav|mp3|wma [ROOT]   (Output=ROOT or ${OUT})
//           home FOLDER (the program's folder, before its files)
//           start [nowait] [EXE]   (copied into ${PROG}; default the simulation
//             build; without nowait it waits for the end of the first refresh)
// Actions:  set artist|album|year|editor TEXT | title ROW TEXT | tick ROW | untick ROW
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
// Checks:   expect boxes: A ; B | none   (the boxes since the last such check,
//             each a prefix of the box's text)
//           expect rows N | row R NUMBER | TITLE | TIME | ticked R,R... | none
//           expect field CONTROL TEXT | status TEXT | no editor | limit CONTROL N
//           expect selection CONTROL FROM TO | state CONTROL checked|unchecked|
//             enabled|disabled|shown
//           expect log has TEXT | log lacks TEXT | log count TEXT N
//           expect log: A ; B   (every record of log.txt: exact, or a prefix
//             when ending in *; ... stands for any records)
//           expect file PATH [N|N..|N..M] | no file PATH | count DIR N [PATTERN]
//           expect wav PATH TRACK SECONDS (header and the exact samples)
//           expect whole PATH TRACK SECONDS (WAV as above; MP3 with both tags,
//             WMA with its final size; either at least 90% of 128 kb/s)
//           expect text PATH TEXT | same PATH PATH | setting KEY VALUE
//           expect bar total|track MIN..MAX | exit N
// CONTROL: artist album year status drives rip refresh about info folder
// browse mp3 wav wma ok cancel label editor main.
// At the end a program still running is closed and must exit with 0; one
// that ended unchecked fails; log.txt's records must each end with a NUL.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/harness.h"
#include "tests/support/sim.h"

namespace {

using Strings = std::vector<std::string>;

struct Step {
    std::string text;
    int line;
};

struct Scenario {
    std::string table, key;
    int line = 0;
    Strings matrix, each_names;
    std::vector<Strings> each_groups;
    std::vector<Step> steps;
};

std::map<std::string, std::string> g_vars;

struct Run {
    const Scenario* scenario = nullptr;
    std::string context;  // the `each` values, for messages
    std::map<std::string, std::string> vars;
    std::unique_ptr<harness::Sim> sim;
    std::string exe_in_prog;
    bool started = false, exit_checked = false;
    Strings boxes;
    int line = 0;
    Step when = {"", 0};
    int when_track = -1;  // 0: encoding
    DWORD when_seen = 0;
    HWND progress = nullptr;
    std::vector<HANDLE> held;
};

void fail(Run& run, const std::string& what)
{
    ADD_FAILURE_AT(run.scenario->table.c_str(), run.line) << what << run.context;
}

std::string show(const std::string& text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size() && i < 300; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        char hex[8];
        snprintf(hex, sizeof hex, "\\x%02X", c);
        out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c < 32 || c > 126 ? hex : std::string(1, static_cast<char>(c));
    }
    if (text.size() > 300) out += "... (" + std::to_string(text.size()) + " bytes)";
    return out + "\"";
}

bool expect_equal(Run& run, const std::string& what, const std::string& expected, const std::string& seen)
{
    if (expected != seen) fail(run, what + ": expected " + show(expected) + ", seen " + show(seen));
    return true;
}

// --- the words of a step ---

std::string unescape(const std::string& in)
{
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        char next = i + 1 < in.size() ? in[i + 1] : '\0';
        if (in[i] != '\\' || !strchr("nrtx\\", next) || !next) {
            out += in[i];
        } else if (next != 'x') {
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
            ++i;
        } else if (i + 3 < in.size() && isxdigit(static_cast<unsigned char>(in[i + 2])) &&
                   isxdigit(static_cast<unsigned char>(in[i + 3]))) {
            out += static_cast<char>(strtol(in.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else {
            out += in[i];
        }
    }
    return out;
}

bool expand(Run& run, const std::string& in, std::string* out)
{
    out->clear();
    for (size_t at = 0; at < in.size();) {
        size_t end = in.compare(at, 2, "${") == 0 ? in.find('}', at) : std::string::npos;
        if (end == std::string::npos) {
            *out += in[at++];
            continue;
        }
        std::string name = in.substr(at + 2, end - at - 2);
        size_t star = name.find('*');
        if (star != std::string::npos && star > 0 && name.find_first_not_of("0123456789") == star) {
            for (long n = strtol(name.c_str(), nullptr, 10); n > 0; --n) *out += name.substr(star + 1);
        } else if (run.vars.count(name)) {
            *out += run.vars[name];
        } else {
            fail(run, "no variable ${" + name + "}");
            return false;
        }
        at = end + 1;
    }
    return true;
}

// The first `words` words of `text` (fewer when it has fewer), then, when
// `rest`, the rest of the line as it stands; escapes and variables done.
bool split(Run& run, const std::string& text, int words, bool rest, Strings* out)
{
    Strings raw;
    size_t at = 0;
    auto skip = [&] { while (at < text.size() && isspace(static_cast<unsigned char>(text[at]))) ++at; };
    for (int i = 0; i < words; ++i) {
        skip();
        if (at >= text.size()) break;
        std::string word;
        for (bool quoted = false; at < text.size() && (quoted || !isspace(static_cast<unsigned char>(text[at]))); ++at) {
            if (text[at] == '"') quoted = !quoted;
            else word += text[at];
        }
        raw.push_back(word);
    }
    skip();
    if (rest) raw.push_back(text.substr(at));
    out->clear();
    for (const std::string& r : raw) {
        out->emplace_back();
        if (!expand(run, unescape(r), &out->back())) return false;
    }
    return true;
}

// Splits off a last word (a number, a size, a range) from a text.
std::string last_word(std::string* text)
{
    size_t space = text->find_last_of(' ');
    if (space == std::string::npos) return "";
    std::string word = text->substr(space + 1);
    text->erase(text->find_last_not_of(' ', space) + 1);
    return word;
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

bool path_ok(Run& run, const std::string& path)
{
    if (path.find_first_of("\n\r\t") == std::string::npos && !path.empty()) return true;
    fail(run, "bad path " + show(path) + " (write \\\\n for a backslash before n)");
    return false;
}

bool in_range(double value, const std::string& range)
{
    size_t dots = range.find("..");
    if (dots == std::string::npos) return value == atof(range.c_str());
    std::string high = range.substr(dots + 2);
    return value >= atof(range.c_str()) && (high.empty() || value <= atof(high.c_str()));
}

// --- the program's windows ---

template <typename Done>
bool wait_for(Done done, DWORD timeout_ms)
{
    for (DWORD start = GetTickCount(); !done(); Sleep(20)) {
        if (GetTickCount() - start > timeout_ms) return false;
    }
    return true;
}

DWORD pid(Run& run) { return run.sim->program.process.dwProcessId; }
HANDLE process(Run& run) { return run.sim->program.process.hProcess; }

HWND main_window(Run& run)
{
    harness::Sim& sim = *run.sim;
    if (!sim.main) sim.main = harness::wait_for_window(pid(run), "Orvo CD Ripper");
    if (!sim.main) fail(run, "no main window");
    sim.list = GetDlgItem(sim.main, IDC_TRACKS);
    sim.status = GetDlgItem(sim.main, IDC_STATUS);
    return sim.main;
}

HWND editor(Run& run)
{
    HWND edit = FindWindowExA(run.sim->list, nullptr, "Edit", nullptr);
    return edit && IsWindowVisible(edit) ? edit : nullptr;
}

const struct {
    const char* name;
    int id;
} kControls[] = {{"artist", IDC_ARTIST}, {"album", IDC_ALBUM}, {"year", IDC_YEAR}, {"status", IDC_STATUS},
                 {"drives", IDC_DRIVES}, {"rip", IDC_RIP}, {"refresh", IDC_REFRESH}, {"about", IDC_ABOUT},
                 {"info", IDC_DISC_INFO}, {"folder", IDC_FOLDER}, {"browse", IDC_BROWSE}, {"mp3", IDC_MP3},
                 {"wav", IDC_WAV}, {"wma", IDC_WMA}, {"ok", IDOK}, {"cancel", IDCANCEL}, {"label", IDC_TRACK_LABEL}};

// A control by name, in the front-most of the program's windows that has
// one of that id (waiting for it up to 10 s).
HWND control(Run& run, const std::string& name)
{
    if (!main_window(run)) return nullptr;
    if (name == "main") return run.sim->main;
    HWND found = nullptr;
    if (name == "editor") {
        if (!wait_for([&] { return (found = editor(run)) != nullptr; }, 3000)) fail(run, "no title editor is open");
        return found;
    }
    for (const auto& c : kControls) {
        if (name != c.name) continue;
        auto look = [&] {
            for (HWND dialog : harness::process_dialogs(pid(run)))
                if (!found && IsWindowVisible(dialog)) found = GetDlgItem(dialog, c.id);
            return found != nullptr;
        };
        if (!wait_for(look, 10000)) fail(run, "no window shows the control " + name);
        return found;
    }
    fail(run, "no control named " + show(name));
    return nullptr;
}

int row_index(Run& run, const std::string& row)
{
    int n = atoi(row.c_str());
    if (n < 1) fail(run, "rows count from 1: " + show(row));
    return n - 1;
}

int count_of(const std::string& haystack, const std::string& needle)
{
    int n = 0;
    for (size_t at = haystack.find(needle); !needle.empty() && at != std::string::npos; at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

// --- set-up ---

bool make_parents(const std::string& path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    return true;
}

bool copy_path(Run& run, const std::string& from, const std::string& to)
{
    if (!path_ok(run, from) || !path_ok(run, to) || !make_parents(to)) return false;
    std::string source = from + '\0', target = to + '\0';
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_COPY;
    op.pFrom = source.c_str();
    op.pTo = target.c_str();
    op.fFlags = FOF_NO_UI;
    if (SHFileOperationA(&op) == 0 && harness::file_exists(to)) return true;
    fail(run, "cannot copy " + show(from) + " to " + show(to));
    return false;
}

std::string cue_track(int track, const char* mode, uint32_t at, const std::string* title)
{
    char line[96];
    snprintf(line, sizeof line, "  TRACK %02d %s\n", track, mode);
    std::string text = line;
    if (title) text += "    TITLE \"" + *title + "\"\n";
    snprintf(line, sizeof line, "    INDEX 01 %02u:%02u:%02u\n", at / 4500, at / 75 % 60, at % 75);
    return text + line;
}

bool disc(Run& run, const std::string& text)
{
    constexpr uint32_t kDataSectors = 300;
    Strings a;
    if (!split(run, text, 99, false, &a)) return false;
    if (a.size() < 2) return fail(run, "disc NAME SECONDS[,SECONDS...] [options]"), false;
    std::string cue, bin, data;
    Strings titles;
    bool titled = false;
    for (size_t i = 2; i < a.size(); ++i) {
        std::string option = a[i].substr(0, a[i].find('=') + 1), value = a[i].substr(option.size());
        if (option == "speed=") cue += "REM SPEED " + value + "\n";
        else if (option == "delay=") cue += "REM DELAY " + value + "\n";
        else if (option == "titles=") titled = true, titles = pieces(value, "|");
        else if (option == "data=" && (value == "first" || value == "last")) data = value;
        else return fail(run, "unknown disc option " + show(a[i])), false;
    }
    cue += "FILE \"" + a[0] + ".bin\" BINARY\n";
    int track = 1;
    uint32_t at = 0;
    auto add_data = [&] {
        cue += cue_track(track++, "MODE1/2352", at, nullptr);
        bin += std::string(kDataSectors * 2352, 'D');
        at += kDataSectors;
    };
    if (data == "first") add_data();
    Strings lengths = pieces(a[1], ",");
    for (size_t i = 0; i < lengths.size(); ++i) {
        long sectors = lround(atof(lengths[i].c_str()) * 75);
        if (sectors < 1) return fail(run, "bad length " + show(lengths[i])), false;
        cue += cue_track(track, "AUDIO", at, titled && i < titles.size() ? &titles[i] : nullptr);
        bin += harness::pattern(track++, static_cast<uint32_t>(sectors) * 588);
        at += static_cast<uint32_t>(sectors);
    }
    if (data == "last") add_data();
    run.sim->file(a[0] + ".bin", bin);
    run.sim->file(a[0] + ".cue", cue);
    return true;
}

bool start(Run& run, const std::string& text)
{
    bool wait = text.compare(0, 6, "nowait") != 0;
    Strings a;
    if (!split(run, wait ? text : text.substr(6), 0, true, &a)) return false;
    harness::Sim& sim = *run.sim;
    sim.exe = a[0].empty() ? run.vars["SIM"] : a[0];
    run.exe_in_prog = sim.program.folder + sim.exe.substr(sim.exe.find_last_of('\\'));
    run.started = wait ? sim.start() : sim.program.start(sim.exe);
    if (!run.started) fail(run, show(sim.exe) + " did not start" + std::string(wait ? " or read its disc" : ""));
    return run.started;
}

// The program's folder becomes FOLDER (before any disc or file of it).
bool home(Run& run, const std::string& folder)
{
    harness::Sim& sim = *run.sim;
    sim.program.folder = folder;
    CreateDirectoryA(sim.discs().c_str(), nullptr);
    run.vars["PROG"] = folder;
    run.vars["DISCS"] = sim.discs();
    return true;
}

bool file(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 1, true, &a) || a.size() < 2 || !path_ok(run, a[0])) return fail(run, "file PATH TEXT"), false;
    make_parents(a[0]);
    if (!harness::write_file(a[0], a[1])) return fail(run, "cannot write " + show(a[0])), false;
    return true;
}

bool copy(Run& run, const std::string& text)
{
    Strings a;
    return split(run, text, 1, true, &a) && a.size() == 2 && copy_path(run, a[0], a[1]);
}

bool make_folder(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 0, true, &a) || !path_ok(run, a[0])) return false;
    make_parents(a[0] + "\\");
    return harness::file_exists(a[0]) || (fail(run, "cannot make " + show(a[0])), false);
}

// Another program holds the file open, shared for reading only, until the
// run ends:
// the program can neither replace nor remove it (a read-only attribute
// would not do: as root under Wine it does not stop a write).
bool hold(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 0, true, &a) || !path_ok(run, a[0])) return false;
    HANDLE file = CreateFileA(a[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail(run, "cannot hold " + show(a[0])), false;
    run.held.push_back(file);
    return true;
}

bool settings(Run& run, const std::string& text)
{
    Strings a;
    return split(run, text, 0, true, &a) && file(run, "\"" + run.sim->program.folder + "\\settings.ini\" " + text);
}

bool format(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 1, true, &a) || a.empty()) return false;
    std::string flags = "MP3=" + std::to_string(a[0] == "mp3") + "\r\nWAV=" + std::to_string(a[0] == "wav") +
                        "\r\nWMA=" + std::to_string(a[0] == "wma");
    if (flags.find('1') == std::string::npos) return fail(run, "format wav|mp3|wma [ROOT]"), false;
    std::string ini = "[Settings]\r\n" + flags + "\r\nOutput=" + (a[1].empty() ? run.vars["OUT"] : a[1]) + "\r\n";
    return harness::write_file(run.sim->program.folder + "\\settings.ini", ini);
}

// --- actions ---

bool set_text(Run& run, const std::string& text)
{
    Strings a;
    HWND field = split(run, text, 1, true, &a) && a.size() == 2 ? control(run, a[0]) : nullptr;
    return field && SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a[1].c_str()));
}

bool title(Run& run, const std::string& text)
{
    Strings a;
    return split(run, text, 1, true, &a) && a.size() == 2 && main_window(run) &&
           (harness::set_list_text(process(run), run.sim->list, row_index(run, a[0]), 1, a[1]) ||
            (fail(run, "the title cannot be set"), false));
}

bool tick_row(Run& run, const std::string& text, int image)
{
    Strings a;
    if (!split(run, text, 1, false, &a) || a.empty() || !main_window(run)) return false;
    harness::set_list_state_image(process(run), run.sim->list, row_index(run, a[0]), image);
    return true;
}

bool tick(Run& run, const std::string& text) { return tick_row(run, text, 2); }
bool untick(Run& run, const std::string& text) { return tick_row(run, text, 1); }

std::string in_discs(Run& run, const std::string& path)
{
    bool absolute = path.size() > 1 && (path[1] == ':' || path[0] == '\\');
    return absolute ? path : run.vars["DISCS"] + "\\" + path;
}

bool rename(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 1, true, &a) || a.size() < 2) return false;
    std::string from = in_discs(run, a[0]), to = in_discs(run, a[1]);
    return (path_ok(run, from) && path_ok(run, to) && MoveFileA(from.c_str(), to.c_str())) ||
           (fail(run, "cannot rename " + show(from)), false);
}

bool remove(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 0, true, &a)) return false;
    std::string path = in_discs(run, a[0]);
    if (!path_ok(run, path)) return false;
    DeleteFileA(path.c_str()) || RemoveDirectoryA(path.c_str());
    return !harness::file_exists(path) || (fail(run, "cannot delete " + show(path)), false);
}

bool pause(Run&, const std::string& text)
{
    Sleep(static_cast<DWORD>(atoi(text.c_str())));
    return true;
}

bool refresh(Run& run, const std::string&)
{
    if (!main_window(run)) return false;
    int before = count_of(run.sim->log(), "end thread...");
    harness::click(run.sim->main, IDC_REFRESH);
    auto done = [&] {
        return count_of(run.sim->log(), "end thread...") > before && harness::window_text(run.sim->status) == "Done";
    };
    return wait_for(done, 15000) || (fail(run, "the refresh did not end with \"Done\""), false);
}

bool press(Run& run, const std::string& text)
{
    HWND button = control(run, text);
    if (button) PostMessageA(button, BM_CLICK, 0, 0);
    return button != nullptr;
}

bool step(Run& run, const std::string& text);

void poll_rip(HWND progress, void* context)
{
    Run& run = *static_cast<Run*>(context);
    run.progress = progress;
    if (run.when_track < 0) return;
    if (run.when_track == 0) {
        if (run.sim->log().find("wavtomp3") == std::string::npos) return;
    } else {
        std::string label = harness::window_text(GetDlgItem(progress, IDC_TRACK_LABEL));
        if (label.rfind(std::to_string(run.when_track) + ".", 0) != 0) return;
        if (!run.when_seen) run.when_seen = GetTickCount();
        if (GetTickCount() - run.when_seen < 300) return;
    }
    run.when_track = -1;
    int line = run.line;
    run.line = run.when.line;
    step(run, run.when.text);
    run.line = line;
}

bool rip(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 3, false, &a) || a.empty()) return false;
    const int formats[] = {IDC_WAV, IDC_MP3, IDC_WMA};
    const char* names[] = {"wav", "mp3", "wma"};
    int format = 0, boxes[2] = {-1, -1};
    for (int i = 0; i < 3; ++i) format = a[0] == names[i] ? formats[i] : format;
    for (size_t i = 1; i < a.size(); ++i) boxes[a[i].rfind("album=", 0) == 0] = atoi(a[i].c_str() + a[i].find('=') + 1);
    if (!format) return fail(run, "rip wav|mp3|wma [artist=0|1] [album=0|1]"), false;
    if (!main_window(run)) return false;
    harness::RipRun result = harness::rip(*run.sim, format, boxes[0], boxes[1], poll_rip, &run);
    run.boxes.insert(run.boxes.end(), result.boxes.begin(), result.boxes.end());
    if (run.when_track >= 0) fail(run, "the rip ended before its `when` step ran:" + run.when.text);
    run.when_track = -1;
    run.progress = nullptr;
    return true;
}

bool abort_rip(Run& run, const std::string&)
{
    HWND progress = harness::wait_for_window(pid(run), "CD Ripping...");
    if (progress) harness::click(progress, IDCANCEL);
    return progress || (fail(run, "no progress dialog to abort"), false);
}

bool when(Run& run, const std::string& text)
{
    size_t colon = text.find(':');
    std::string condition = text.substr(0, colon);
    bool reading = condition.rfind("reading ", 0) == 0;
    if (colon == std::string::npos || (!reading && condition != "encoding"))
        return fail(run, "when reading N: STEP | when encoding: STEP"), false;
    run.when = {text.substr(colon + 1), run.line};
    run.when_track = reading ? atoi(condition.c_str() + 8) : 0;
    run.when_seen = 0;
    return true;
}

bool answer(Run& run, const std::string&)
{
    HWND box = harness::wait_for_message_box(pid(run), nullptr);
    if (!box) return fail(run, "no message box came"), false;
    run.boxes.push_back(harness::message_box_text(box));
    harness::click(box, IDOK);
    harness::wait_gone(box);
    return true;
}

bool close(Run& run, const std::string& text)
{
    if (!main_window(run)) return false;
    PostMessageA(run.sim->main, WM_CLOSE, 0, 0);
    if (text == "nowait") return true;
    run.exit_checked = true;
    int code = run.sim->program.wait_exit(20000);
    if (code != 0) fail(run, "closed, the program ended with " + std::to_string(code) + ", not 0");
    return true;
}

bool edit(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 2, false, &a) || a.empty() || !main_window(run)) return false;
    const char* columns[] = {"number", "title", "time"};
    int column = 1;
    for (int i = 0; i < 3 && a.size() > 1; ++i) column = a[1] == columns[i] ? i : column;
    bool below = a[0] == "below";
    int row = below ? harness::list_count(run.sim->list) - 1 : row_index(run, a[0]);
    RECT cell = harness::list_cell_rect(process(run), run.sim->list, row, column);
    LPARAM at = below ? MAKELPARAM(cell.left + 10, cell.bottom + 40)
                      : MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    PostMessageA(run.sim->list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    wait_for([&] { return editor(run) != nullptr; }, 1500);
    return true;
}

bool scroll(Run& run, const std::string&)
{
    return main_window(run) && PostMessageA(run.sim->list, WM_VSCROLL, SB_LINEDOWN, 0);
}

bool click(Run& run, const std::string& text)
{
    HWND window = control(run, text);
    if (!window) return false;
    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    return true;
}

bool type(Run& run, const std::string& text)
{
    Strings a;
    HWND field = split(run, text, 1, true, &a) && a.size() == 2 ? control(run, a[0]) : nullptr;
    for (size_t i = 0; field && i < a[1].size(); ++i) PostMessageA(field, WM_CHAR, static_cast<unsigned char>(a[1][i]), 1);
    return field != nullptr;
}

bool paste(Run& run, const std::string& text)
{
    Strings a;
    HWND field = split(run, text, 1, true, &a) && a.size() == 2 ? control(run, a[0]) : nullptr;
    if (!field || !OpenClipboard(nullptr)) return fail(run, "nothing pasted"), false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, a[1].size() + 1);
    memcpy(GlobalLock(memory), a[1].c_str(), a[1].size() + 1);
    GlobalUnlock(memory);
    SetClipboardData(CF_TEXT, memory);
    CloseClipboard();
    SendMessageA(field, WM_PASTE, 0, 0);
    return true;
}

bool press_key(Run& run, const std::string& text)
{
    Strings a;
    HWND window = split(run, text, 2, false, &a) && a.size() == 2 ? control(run, a[0]) : nullptr;
    UINT vk = a.size() < 2 ? 0 : a[1] == "enter" ? VK_RETURN : a[1] == "escape" ? VK_ESCAPE : 0;
    if (!window || !vk) return fail(run, "key CONTROL enter|escape"), false;
    PostMessageA(window, WM_KEYDOWN, vk, 1);
    PostMessageA(window, WM_KEYUP, vk, 0xC0000001);
    return true;
}

bool minimize(Run& run, const std::string&)
{
    return main_window(run) && (ShowWindow(run.sim->main, SW_MINIMIZE), true);
}

bool second(Run& run, const std::string&)
{
    harness::Program again;
    int code = again.start_in(run.exe_in_prog) ? again.wait_exit() : -1;
    again.folder.clear();  // the folder is the first program's
    if (code != 0) fail(run, "started again, the program ended with " + std::to_string(code) + ", not 0");
    return true;
}

bool keep(Run& run, const std::string& text)
{
    Strings a;
    return split(run, text, 1, true, &a) && a.size() == 2 && copy_path(run, a[0], run.vars["KEEP"] + "\\" + a[1]);
}

// --- checks ---

bool expect_items(Run& run, const std::string& what, const std::string& expected, const Strings& seen)
{
    Strings want = expected == "none" ? Strings() : pieces(expected, " ; ");
    bool same = want.size() == seen.size();
    for (size_t i = 0; same && i < want.size(); ++i) same = seen[i].rfind(want[i], 0) == 0;
    std::string list;
    for (const std::string& s : seen) list += (list.empty() ? "" : " ; ") + show(s);
    if (!same) fail(run, what + ": expected " + show(expected) + ", seen " + (seen.empty() ? "none" : list));
    return true;
}

bool expect_boxes(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 0, true, &a)) return false;
    expect_items(run, "message boxes", a[0], run.boxes);
    run.boxes.clear();
    return true;
}

bool expect_rows(Run& run, const std::string& text)
{
    return main_window(run) && expect_equal(run, "rows", text, std::to_string(harness::list_count(run.sim->list)));
}

bool expect_row(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 1, true, &a) || a.size() < 2 || !main_window(run)) return false;
    int row = row_index(run, a[0]);
    std::string seen;
    for (int column = 0; column < 3; ++column) seen += (column ? " | " : "") + run.sim->text(row, column);
    return expect_equal(run, "row " + a[0], a[1], seen);
}

bool expect_ticked(Run& run, const std::string& text)
{
    if (!main_window(run)) return false;
    std::string seen;
    for (int row = 0; row < harness::list_count(run.sim->list); ++row)
        if (harness::list_state_image(run.sim->list, row) == 2) seen += (seen.empty() ? "" : ",") + std::to_string(row + 1);
    return expect_equal(run, "ticked rows", text, seen.empty() ? "none" : seen);
}

bool expect_field(Run& run, const std::string& text)
{
    Strings a;
    HWND field = split(run, text, 1, true, &a) && a.size() == 2 ? control(run, a[0]) : nullptr;
    if (field && !wait_for([&] { return harness::window_text(field) == a[1]; }, 5000))
        expect_equal(run, a[0], a[1], harness::window_text(field));
    return true;
}

bool expect_status(Run& run, const std::string& text) { return expect_field(run, "status " + text); }

bool expect_no(Run& run, const std::string& text)
{
    if (text == "editor") {
        if (main_window(run) && !wait_for([&] { return editor(run) == nullptr; }, 3000)) fail(run, "the title editor is still open");
        return true;
    }
    Strings a;
    if (text.compare(0, 5, "file ") != 0 || !split(run, text.substr(5), 0, true, &a)) return fail(run, "no file PATH | no editor"), false;
    if (path_ok(run, a[0]) && harness::file_exists(a[0])) fail(run, show(a[0]) + " exists");
    return true;
}

bool expect_limit(Run& run, const std::string& text)
{
    Strings a;
    HWND field = split(run, text, 2, false, &a) && a.size() == 2 ? control(run, a[0]) : nullptr;
    return field && expect_equal(run, "text limit of " + a[0], a[1], std::to_string(SendMessageA(field, EM_GETLIMITTEXT, 0, 0)));
}

bool expect_selection(Run& run, const std::string& text)
{
    Strings a;
    HWND field = split(run, text, 3, false, &a) && a.size() == 3 ? control(run, a[0]) : nullptr;
    DWORD selection = field ? static_cast<DWORD>(SendMessageA(field, EM_GETSEL, 0, 0)) : 0;
    return field && expect_equal(run, "selection in " + a[0], a[1] + " " + a[2],
                                 std::to_string(LOWORD(selection)) + " " + std::to_string(HIWORD(selection)));
}

bool expect_state(Run& run, const std::string& text)
{
    Strings a;
    HWND window = split(run, text, 2, false, &a) && a.size() == 2 ? control(run, a[0]) : nullptr;
    if (!window) return false;
    bool checked = SendMessageA(window, BM_GETCHECK, 0, 0) == BST_CHECKED, enabled = IsWindowEnabled(window);
    const std::string& state = a[1];
    bool is = state == "checked" ? checked : state == "unchecked" ? !checked : state == "enabled" ? enabled
            : state == "disabled" ? !enabled : state == "shown" && IsWindowVisible(window) && !IsIconic(window);
    if (!is) fail(run, a[0] + " is not " + state);
    return true;
}

bool expect_log(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 1, true, &a) || a.size() < 2) return false;
    std::string n = a[0] == "count" ? last_word(&a[1]) : "";
    int seen = count_of(run.sim->log(), a[1]);
    bool ok = a[0] == "has" ? seen > 0 : a[0] == "lacks" ? seen == 0 : a[0] == "count" && seen == atoi(n.c_str());
    if (!ok) fail(run, "log " + a[0] + " " + show(a[1]) + " " + n + ": log.txt holds it " + std::to_string(seen) + " times");
    return true;
}

bool records_match(const Strings& items, size_t i, const Strings& records, size_t r)
{
    if (i == items.size()) return r == records.size();
    if (items[i] == "...") {
        for (size_t k = r; k <= records.size(); ++k)
            if (records_match(items, i + 1, records, k)) return true;
        return false;
    }
    const std::string& item = items[i];
    bool prefix = !item.empty() && item.back() == '*';
    bool same = r < records.size() &&
                (prefix ? records[r].compare(0, item.size() - 1, item, 0, item.size() - 1) == 0 : records[r] == item);
    return same && records_match(items, i + 1, records, r + 1);
}

bool expect_log_records(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 0, true, &a)) return false;
    bool ok = false;
    Strings records = harness::log_records(run.sim->log(), &ok);
    if (!records_match(pieces(a[0], " ; "), 0, records, 0)) {
        std::string list;
        for (const std::string& r : records) list += (list.empty() ? "" : " ; ") + show(r);
        fail(run, "log.txt: expected " + show(a[0]) + ", seen " + list);
    }
    return true;
}

bool expect_file(Run& run, const std::string& text)
{
    Strings a;
    bool quoted = !text.empty() && text[0] == '"';
    if (!split(run, text, quoted ? 1 : 0, true, &a)) return false;
    std::string size = quoted ? a[1] : "";
    std::string last = a[0].substr(a[0].find_last_of(' ') + 1);
    if (!quoted && a[0].find(' ') != std::string::npos && !last.empty() && isdigit(static_cast<unsigned char>(last[0])) &&
        last.find_first_not_of("0123456789.") == std::string::npos)
        size = last_word(&a[0]);
    if (!path_ok(run, a[0])) return false;
    if (!harness::file_exists(a[0])) return fail(run, show(a[0]) + " is missing"), true;
    size_t bytes = harness::read_file(a[0]).size();
    if (!size.empty() && !in_range(static_cast<double>(bytes), size))
        fail(run, show(a[0]) + ": " + std::to_string(bytes) + " bytes, expected " + size);
    return true;
}

bool expect_count(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 2, true, &a) || a.size() < 3) return false;
    std::string pattern = a[2].empty() ? "*" : a[2];
    DWORD attributes = GetFileAttributesA(a[0].c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return fail(run, show(a[0]) + " is not a folder"), true;
    return expect_equal(run, "files " + pattern + " in " + a[0], a[1],
                        std::to_string(harness::count_files(a[0], pattern.c_str())));
}

uint32_t le32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(at + i < s.size() ? s[at + i] : 0);
    return v;
}

std::string wav_file(int track, uint32_t frames)
{
    uint32_t data = frames * 4;
    // RIFF size, "WAVE", "fmt ", 16, PCM stereo, 44100 Hz, bytes a second, 4-byte frames of 16 bits, "data", size
    const uint32_t fields[] = {36 + data, 0x45564157, 0x20746d66, 16, 0x00020001, 44100, 176400, 0x00100004, 0x61746164, data};
    std::string bytes = "RIFF";
    for (uint32_t f : fields) bytes.append(reinterpret_cast<const char*>(&f), 4);
    return bytes + harness::pattern(track, frames);
}

bool expect_wav(Run& run, const std::string& path, int track, double seconds)
{
    std::string bytes = harness::read_file(path);
    std::string want = wav_file(track, static_cast<uint32_t>(lround(seconds * 75)) * 588);
    size_t at = 0;
    while (at < bytes.size() && at < want.size() && bytes[at] == want[at]) ++at;
    if (bytes != want)
        fail(run, show(path) + ": " + std::to_string(bytes.size()) + " bytes, differs from the expected " +
                      std::to_string(want.size()) + " at byte " + std::to_string(at));
    return true;
}

// A ripped file that was finished: WAV exactly; MP3 with its ID3v2 head and
// ID3v1 tail; WMA whose header states its final size; either at least 90%
// of 128 kb/s long.
bool expect_whole(Run& run, const std::string& path, int track, double seconds)
{
    std::string ext = path.substr(path.find_last_of('.') + 1);
    if (ext == "wav") return expect_wav(run, path, track, seconds);
    std::string bytes = harness::read_file(path);
    bool whole = bytes.size() >= seconds * 16000 * 0.9;
    if (ext == "mp3") {
        whole = whole && bytes.compare(0, 3, "ID3") == 0 && bytes.compare(bytes.size() - 128, 3, "TAG") == 0;
    } else {
        const char file_properties[] = "\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65";
        size_t at = bytes.find(std::string(file_properties, 16));
        whole = whole && bytes.compare(0, 4, "\x30\x26\xB2\x75") == 0 && at != std::string::npos &&
                le32(bytes, at + 40) == bytes.size() && le32(bytes, at + 44) == 0;
    }
    char what[64];
    snprintf(what, sizeof what, " is not a whole %s of %g s (%zu bytes)", ext.c_str(), seconds, bytes.size());
    if (!whole) fail(run, show(path) + what);
    return true;
}

std::string ini_value(Run& run, const std::string& key)
{
    char value[2048] = {};
    std::string ini = run.sim->program.folder + "\\settings.ini";
    GetPrivateProfileStringA("Settings", key.c_str(), "<absent>", value, sizeof value, ini.c_str());
    return value;
}

bool expect_track_file(Run& run, const std::string& text, bool wav_only)
{
    Strings a;
    if (!split(run, text, 0, true, &a)) return false;
    double seconds = atof(last_word(&a[0]).c_str());
    int track = atoi(last_word(&a[0]).c_str());
    if (!path_ok(run, a[0])) return false;
    return wav_only ? expect_wav(run, a[0], track, seconds) : expect_whole(run, a[0], track, seconds);
}

bool expect_wav_file(Run& run, const std::string& text) { return expect_track_file(run, text, true); }
bool expect_whole_file(Run& run, const std::string& text) { return expect_track_file(run, text, false); }

bool expect_text(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 1, true, &a) || a.size() < 2 || !path_ok(run, a[0])) return false;
    if (!harness::file_exists(a[0])) return fail(run, show(a[0]) + " is missing"), true;
    return expect_equal(run, a[0], a[1], harness::read_file(a[0]));
}

bool expect_same(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 1, true, &a) || a.size() < 2) return false;
    return expect_equal(run, a[0] + " against " + a[1], harness::read_file(a[1]), harness::read_file(a[0]));
}

bool expect_setting(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 1, true, &a) || a.size() < 2) return false;
    return expect_equal(run, "settings.ini " + a[0], a[1], ini_value(run, a[0]));
}

bool expect_bar(Run& run, const std::string& text)
{
    Strings a;
    if (!split(run, text, 2, false, &a) || a.size() < 2 || !run.progress) return fail(run, "bar total|track MIN..MAX, during a rip"), false;
    int position = static_cast<int>(SendDlgItemMessageA(run.progress, a[0] == "total" ? IDC_TOTAL_BAR : IDC_TRACK_BAR, PBM_GETPOS, 0, 0));
    if (!in_range(position, a[1])) fail(run, a[0] + " bar at " + std::to_string(position) + ", expected " + a[1]);
    return true;
}

bool expect_exit(Run& run, const std::string& text)
{
    run.exit_checked = true;
    return expect_equal(run, "exit code", text, std::to_string(run.sim->program.wait_exit(20000)));
}

// --- the steps ---

struct Verb {
    const char* name;
    bool (*run)(Run&, const std::string&);
};

const Verb kActions[] = {
    {"disc", disc}, {"file", file}, {"copy", copy}, {"mkdir", make_folder}, {"hold", hold},
    {"settings", settings}, {"format", format}, {"start", start}, {"home", home}, {"set", set_text}, {"title", title},
    {"tick", tick}, {"untick", untick}, {"rename", rename}, {"delete", remove}, {"wait", pause},
    {"refresh", refresh}, {"press", press}, {"rip", rip}, {"abort", abort_rip}, {"when", when},
    {"answer", answer}, {"close", close}, {"edit", edit}, {"scroll", scroll}, {"click", click}, {"type", type},
    {"paste", paste}, {"key", press_key}, {"minimize", minimize}, {"second", second}, {"keep", keep},
};

const Verb kChecks[] = {
    {"boxes:", expect_boxes}, {"rows", expect_rows}, {"row", expect_row}, {"ticked", expect_ticked},
    {"field", expect_field}, {"status", expect_status}, {"no", expect_no}, {"limit", expect_limit},
    {"selection", expect_selection}, {"state", expect_state}, {"log", expect_log}, {"log:", expect_log_records},
    {"file", expect_file}, {"count", expect_count}, {"wav", expect_wav_file}, {"whole", expect_whole_file},
    {"text", expect_text}, {"same", expect_same}, {"setting", expect_setting}, {"bar", expect_bar},
    {"exit", expect_exit},
};

// Runs one step; false when the run cannot go on.
bool step(Run& run, const std::string& text)
{
    size_t start = text.find_first_not_of(' ');
    std::string verb = text.substr(start, text.find(' ', start) - start);
    std::string rest = text.substr(std::min(text.size(), start + verb.size() + 1));
    const Verb* verbs = kActions;
    size_t count = sizeof kActions / sizeof kActions[0];
    if (verb == "expect") {
        verb = rest.substr(0, rest.find(' '));
        rest = rest.substr(std::min(rest.size(), verb.size() + 1));
        verbs = kChecks;
        count = sizeof kChecks / sizeof kChecks[0];
    }
    for (size_t i = 0; i < count; ++i) {
        if (verb == verbs[i].name) return verbs[i].run(run, rest);
    }
    fail(run, "unknown step " + show(verb));
    return false;
}

// --- the tables ---

std::vector<Scenario> g_scenarios;

std::string replace_each(std::string text, const Strings& names, const Strings& values)
{
    for (size_t i = 0; i < names.size(); ++i) {
        std::string key = "${" + names[i] + "}";
        for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), values[i]);
    }
    return text;
}

void finish(Run& run, bool went_on)
{
    harness::Sim& sim = *run.sim;
    bool running = run.started && WaitForSingleObject(sim.program.process.hProcess, 0) == WAIT_TIMEOUT;
    if (went_on && running) close(run, "");
    else if (went_on && run.started && !run.exit_checked) fail(run, "the program ended by itself");
    bool ok = true;
    std::string log = sim.log();
    if (went_on && !log.empty()) harness::log_records(log, &ok);
    if (!ok) fail(run, "a record of log.txt does not end with its NUL byte");
    for (HANDLE file : run.held) CloseHandle(file);
    harness::remove_tree(run.vars["OUT"]);
}

void run_once(const Scenario& scenario, const Strings& values)
{
    Run run;
    run.scenario = &scenario;
    run.vars = g_vars;
    run.sim.reset(new harness::Sim(g_vars["SIM"]));
    run.vars["PROG"] = run.sim->program.folder;
    run.vars["DISCS"] = run.sim->discs();
    run.vars["OUT"] = harness::make_temp_folder("out");
    for (size_t i = 0; i < values.size(); ++i) run.context += (i ? ", " : " (") + scenario.each_names[i] + "=" + values[i];
    run.context += values.empty() ? "" : ")";
    bool went_on = true;
    for (const Step& s : scenario.steps) {
        run.line = s.line;
        went_on = step(run, replace_each(s.text, scenario.each_names, values));
        if (!went_on) break;
    }
    run.line = scenario.steps.empty() ? scenario.line : scenario.steps.back().line;
    finish(run, went_on);
}

class ScenarioTest : public testing::Test {
public:
    explicit ScenarioTest(const Scenario* scenario) : scenario_(scenario) {}
    void TestBody() override
    {
        const Scenario& s = *scenario_;
        for (const char* small : {"SMALL", "SMALLHOME"}) {
            bool used = false;
            for (const Step& step : s.steps) used = used || step.text.find("${" + std::string(small) + "}") != std::string::npos;
            if (used && (!g_vars.count(small) || !harness::file_exists(g_vars[small])))
                GTEST_SKIP() << "no small volume (" << small << "=FOLDER absent or missing)";
        }
        if (s.each_groups.empty()) run_once(s, {});
        for (const Strings& values : s.each_groups) run_once(s, values);
        if (s.matrix.size() == 4) harness::fault_row(s.key.c_str(), s.matrix[0].c_str(), s.matrix[1].c_str(),
                                                     s.matrix[2].c_str(), s.matrix[3].c_str());
    }

private:
    const Scenario* scenario_;
};

std::string trimmed(std::string line)
{
    for (size_t at = line.find('#'); at != std::string::npos; at = line.find('#', at + 1)) {
        if (at == 0 || isspace(static_cast<unsigned char>(line[at - 1]))) {
            line.erase(at);
            break;
        }
    }
    line.erase(line.find_last_not_of(" \t\r") + 1);
    return line.erase(0, std::min(line.size(), line.find_first_not_of(" \t")));
}

// Reads a table into g_scenarios; prints the first fault of its form.
bool read_table(const std::string& path)
{
    std::string bytes = harness::read_file(harness::windows_path(path));
    if (bytes.empty()) return fprintf(stderr, "%s: missing or empty\n", path.c_str()), false;
    int number = 0;
    for (const std::string& raw : pieces(bytes, "\n")) {
        std::string line = trimmed(raw);
        ++number;
        auto bad = [&](const char* why) { return fprintf(stderr, "%s:%d: %s\n", path.c_str(), number, why), false; };
        if (line.empty()) continue;
        if (line.rfind("scenario ", 0) == 0) {
            size_t colon = line.find(':');
            if (colon == std::string::npos) return bad("scenario KEY: TITLE");
            g_scenarios.push_back(Scenario());
            g_scenarios.back().table = path;
            g_scenarios.back().key = trimmed(line.substr(9, colon - 9));
            g_scenarios.back().line = number;
            continue;
        }
        if (g_scenarios.empty() || g_scenarios.back().table != path) return bad("a step before the first scenario");
        Scenario& s = g_scenarios.back();
        if (line.rfind("matrix:", 0) == 0) {
            s.matrix = pieces(trimmed(line.substr(7)), " | ");
            if (s.matrix.size() != 4) return bad("matrix: fault | user sees | on disk | nothing else lost");
        } else if (line.rfind("each ", 0) == 0) {
            size_t colon = line.find(':');
            Strings names = pieces(trimmed(line.substr(5, colon - 5)), " ");
            std::vector<std::string> values;
            Run words;
            split(words, colon == std::string::npos ? "" : line.substr(colon + 1), 999, false, &values);
            if (colon == std::string::npos || values.empty() || values.size() % names.size() ||
                (!s.each_names.empty() && s.each_names != names))
                return bad("each NAME...: VALUE... (a value for every name; the same names on every each line)");
            s.each_names = names;
            for (size_t i = 0; i < values.size(); i += names.size())
                s.each_groups.emplace_back(values.begin() + i, values.begin() + i + names.size());
        } else {
            s.steps.push_back({line, number});
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc < 5) {
        fprintf(stderr, "usage: %s SIMULATION_EXE SAMPLE_DISC_FOLDER KEEP_FOLDER [NAME=VALUE...] TABLE...\n", argv[0]);
        return 2;
    }
    g_vars["SIM"] = harness::windows_path(argv[1]);
    g_vars["SAMPLE"] = harness::windows_path(argv[2]);
    g_vars["KEEP"] = harness::windows_path(argv[3]);
    harness::remove_tree(g_vars["KEEP"]);
    CreateDirectoryA(g_vars["KEEP"].c_str(), nullptr);
    for (int i = 4; i < argc; ++i) {
        std::string arg = argv[i];
        size_t equals = arg.find('=');
        if (equals != std::string::npos && arg.find('/') > equals) {
            g_vars[arg.substr(0, equals)] = harness::windows_path(arg.substr(equals + 1));
        } else if (!read_table(arg)) {
            return 2;
        }
    }
    for (const Scenario& s : g_scenarios) {
        std::string table = s.table.substr(s.table.find_last_of('/') + 1);
        table = table.substr(0, table.find('.'));
        testing::RegisterTest(table.c_str(), s.key.c_str(), nullptr, nullptr, s.table.c_str(), s.line,
                              [&s]() -> testing::Test* { return new ScenarioTest(&s); });
    }
    return RUN_ALL_TESTS();
}
