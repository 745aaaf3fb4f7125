// The scenario runner: tests of the real program written as rows of table
// files, each scenario one gtest test named after its key.
//
//   scenario_test SIMULATION_EXE SAMPLE_DISC_FOLDER KEEP_FOLDER [NAME=VALUE...] TABLE...
//
// NAME=VALUE defines ${NAME} (a path from CTest becomes a Windows path);
// SERVER=FOLDER is the local web server's (tests/lookup/cddb_server.py): its
// port becomes ${PORT} and its test CA a trusted root of this Wine prefix.
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
// Arguments: words, "quoted" when they hold spaces (a path word followed by
// what reads as the rest of a file name, as in 1.Track 01.wav, fails the
// row); the last argument of a step (TEXT, a PATH at the end) takes the
// rest of the line as it stands.
// Escapes: \n \r \t \xHH \\ ; any other backslash stays (Windows paths).
// A backslash before n, r or t in a path is written \\ (\\n).
// Then variables: ${OUT} (a fresh empty folder per run, removed after;
// ${OUT60} a folder in it whose path is 60 characters long), ${PROG} (the
// program's folder), ${DISCS}, ${SAMPLE}, ${KEEP}, ${SIM}, the NAME=VALUE
// ones, and ${N*TEXT}: TEXT N times. Rows count from 1.
// Several expected texts are separated by " ; ", cells of a row by " | ".
//
// Rounds:   repeat N ... end   (the steps between, N times; N from 1)
// Set-up:   disc NAME SECONDS[,SECONDS...] [speed=N] [delay=MS] [titles=A|B|...]
//             [cdtext=FILE] [data=first|last] [files=wave|motorola|binary] [gap=S]
//             [first=N: tracks numbered from N]   (each track the test pattern
//             of its number, whole sectors of 588 frames, "2s": 2 seconds of
//             digital silence, "2f": its first sample at full scale; a data
//             track of 4 s)
//           file PATH TEXT | copy SRC DST | mkdir PATH | hold PATH (open, shared
//             for reading only) | home FOLDER (the program's folder)
//           settings TEXT | format wav|mp3|wma|flac [ROOT]   (Output=ROOT or ${OUT}; one read a
//             track: TestAndCopy=0, as rows about other things want)
//           start [nowait] [EXE]   (copied into ${PROG}; default the simulation
//             build; without nowait it waits for the end of the first refresh)
// Actions:  set CONTROL TEXT | title ROW TEXT | tick ROW | untick ROW
//           rename A B (in ${DISCS} unless absolute) | delete PATH | wait MS
//           refresh (press Refresh, wait for its end) | press CONTROL
//           rip FMT [artist=0|1] [album=0|1] [twice=0|1] [within=MS]   (answers every box
//             with OK; within: the rip over within MS of Start)
//           abort [MS] (the dialog gone within MS) | answer (OK to the next box) | close [nowait]
//           when reading N [after MS]: STEP | when encoding: STEP | when log TEXT: STEP
//             (for the next rip: once the progress label has named track N for
//             300 ms or MS, or once the log shows "wavtomp3" or TEXT)
//           edit ROW|below [number|title|time] (double-click) | scroll | click CONTROL
//             [header K] (a list view's column header K, from 1: sorts by it)
//           type CONTROL TEXT (WM_CHAR) | paste CONTROL TEXT | key CONTROL enter|escape
//           minimize | second (the program started again; it must end with 0)
//           keep PATH NAME (copied into ${KEEP})
//           env NAME VALUE (for programs started after) | choose CONTROL N (a
//             combo box's entry, a list view's row; from 0) | dismiss
//             cancel|close (the front-most dialog)
//           browser PATH ARGS | browser none   (the recorder at PATH opens
//             web pages, with ARGS after its quoted path)
//           device insert|eject|fail|speed|reads ARGS (tests/cdrom/device.cpp)
// Checks:   expect boxes: A ; B | none   (the boxes answered since the last
//             such check, each a prefix of the box's text)
//           expect box TEXT   (a box open now, left open)
//           expect rows N | row R NUMBER | TITLE | TIME | ticked R,R...|none
//           expect field CONTROL TEXT (of a list view: the selected row) | status TEXT
//             | no editor | limit CONTROL N
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
// browse mp3 wav wma flac ok cancel label genre home email note releases
// editor main, and dialog (the front-most dialog but the main window).
// At the end a program still running is closed and must exit with 0; one
// that ended unchecked fails; log.txt's records must each end with a NUL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tests/support/scenario.h"

#include <wincrypt.h>

namespace scenario {

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

int count_of(const std::string& haystack, const std::string& needle)
{
    return needle.empty() ? 0 : static_cast<int>(pieces(haystack, needle).size() - 1);
}

// --- reading the tables ---

std::map<std::string, std::string> g_vars;
std::vector<Scenario> g_scenarios;

Strings pieces(const std::string& text, const std::string& separator)
{
    Strings out;
    size_t at = 0;
    for (size_t next; (next = text.find(separator, at)) != std::string::npos; at = next + separator.size())
        out.push_back(text.substr(at, next - at));
    out.push_back(text.substr(at));
    return out;
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

std::string with_values(std::string text, const Strings& names, const Strings& values)
{
    for (size_t i = 0; i < values.size(); ++i) {
        std::string key = "${" + names[i] + "}";
        for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), values[i]);
    }
    return text;
}

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

// Runs one step; false when the run cannot go on.
// A path without quotes ends at its first space: `file ${OUT}\1.Track 01.wav x`
// would write "1.Track". A path word followed by what reads as the rest of
// a file name (no backslash, ending in a dot and an extension such as
// ".wav") is taken for that mistake.
bool splits_a_name(const std::string& shape, const std::string& args, const Strings& a)
{
    if (shape.size() < 2 || shape[0] != 'p' || args.find_first_not_of(' ') == args.find('"')) return false;
    std::string next = a[1].substr(0, a[1].find(' ')), ext = next.substr(std::min(next.size(), next.rfind('.') + 1));
    bool tail = next.find_first_of("\\=") == std::string::npos && next.find('.') != std::string::npos &&
                ext.size() <= 4 && !ext.empty() && isalpha(static_cast<unsigned char>(ext[0])) &&
                std::all_of(ext.begin(), ext.end(), [](unsigned char c) { return isalnum(c); });
    return tail && (strchr("tT", shape[1]) || a[1].find(' ') != std::string::npos);
}

bool step(Run& run, const std::string& line)
{
    std::string text = line.substr(std::min(line.size(), line.find_first_not_of(' ')));
    const Verb* verb = nullptr;
    for (const std::vector<Verb>* verbs : {&kSetupVerbs, &kActionVerbs, &kCheckVerbs})
        for (const Verb& v : *verbs) {
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
    if (splits_a_name(shape, args, a))
        return fail(run, std::string(verb->name) + ": " + show(a[0] + " " + a[1].substr(0, a[1].find(' '))) +
                             " looks like one path cut at its space; write it in quotes");
    for (size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] != 'x' && !resolve(run, a[i], &a[i])) return false;
        if (islower(shape[i]) && strchr("wp", shape[i]) && a[i].empty())
            return fail(run, std::string(verb->name) + ": an argument is missing");
    }
    return verb->run(run, a);
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
    run.vars["OUT60"] = run.vars["OUT"] + "\\" + std::string(59 - std::min<size_t>(run.vars["OUT"].size(), 50), 'o');
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

// The local server's TLS certificates come from a CA made at its start:
// the prefix's Root store (the user's, in the registry) takes it in place
// of the one of an earlier run.
void trust_server_ca(const std::string& server)
{
    std::string der = harness::read_file(server + "\\ca.der");
    HKEY key;
    if (der.empty() || RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\SystemCertificates\\Root", 0, nullptr,
                                       0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_REG, 0, 0, 0, key);
    RegCloseKey(key);
    const CERT_CONTEXT* old;
    while (root && (old = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_A,
                                                     "Orvo test CA", nullptr)) &&
           CertDeleteCertificateFromStore(old)) {
    }
    if (!root || !CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                   der.size(), CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
        fprintf(stderr, "the local server's CA could not be trusted (error %lu)\n", GetLastError());
    if (root) CertCloseStore(root, 0);
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

}  // namespace scenario

using namespace scenario;

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
    g_vars["PORT"] = harness::read_file(g_vars["SERVER"] + "\\port.txt");  // of the local web server
    trust_server_ca(g_vars["SERVER"]);
    for (const Scenario& s : g_scenarios) {
        std::string table = s.table.substr(s.table.find_last_of('/') + 1);
        testing::RegisterTest(table.substr(0, table.find('.')).c_str(), s.key.c_str(), nullptr, nullptr,
                              s.table.c_str(), s.line, [&s]() -> testing::Test* { return new ScenarioTest(&s); });
    }
    return RUN_ALL_TESTS();
}
