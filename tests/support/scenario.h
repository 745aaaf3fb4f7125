// What the scenario runner's files share: a scenario read from its table,
// the state of one run of it, the verbs, and the helpers the steps use.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/harness.h"

namespace scenario {

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
    int when_track = -1;  // the track of the armed step; 0 for a log line
    std::string when_log;  // the log line that runs it ("wavtomp3" for encoding)
    DWORD when_seen = 0, when_after = 300;  // when the label first named it; how long it must
    HWND progress = nullptr;
    std::vector<HANDLE> held;  // files held open by `hold`
    size_t requests_at = 0;    // the CDDB server's requests.txt, as far as checked
    std::vector<std::vector<long>> samples;  // of what the process holds
};

struct Verb {
    const char* name;
    // One letter an argument: w a word, p a path word, t the rest of the
    // line, r the rest as a path, x the rest untouched; capitals: optional.
    const char* args;
    bool (*run)(Run&, Strings&);
};

// The verbs of each file; the dispatcher walks them all.
extern const std::vector<Verb> kSetupVerbs, kActionVerbs, kCheckVerbs;

// scenario.cpp: messages, checks, the tables, the dispatcher.
bool fail(Run& run, const std::string& what);
bool check(Run& run, bool ok, const std::string& what);  // a failed check is reported; the run goes on
std::string show(const std::string& text);
bool same(Run& run, const std::string& what, const std::string& expected, const std::string& seen);
int count_of(const std::string& haystack, const std::string& needle);
bool step(Run& run, const std::string& text);  // false when the run cannot go on
Strings pieces(const std::string& text, const std::string& separator);

// scenario_windows.cpp
DWORD pid(Run& run);
HANDLE process(Run& run);
std::string log_of(Run& run);
bool is_list_view(HWND window);
int list_count(HWND list);
int list_state_image(HWND list, int row);
std::string list_text(HANDLE process, HWND list, int row, int column);
bool set_list_text(HANDLE process, HWND list, int row, int column, const std::string& text);
std::string list_row_text(HANDLE process, HWND list, int row);
void set_list_state(HANDLE process, HWND list, int row, UINT state, UINT mask);
RECT list_cell_rect(HANDLE process, HWND list, int row, int column);
HWND main_window(Run& run);
HWND editor(Run& run);
extern const std::map<std::string, int> kControls;
HWND control(Run& run, const std::string& name);
int row(Run& run, const std::string& text);

// scenario_setup.cpp
bool copy_path(Run& run, const std::string& from, const std::string& to);
uint32_t le32(const std::string& s, size_t at);
std::string wav_file(int track, uint32_t frames, uint32_t silence);
bool is_format(const std::string& word);

// scenario_actions.cpp
bool close(Run& run, Strings& a);

}  // namespace scenario
