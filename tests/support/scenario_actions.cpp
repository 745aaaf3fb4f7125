// Actions: what a user does to the program, and what the world does to it.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "res/resource.h"
#include "tests/support/scenario.h"

std::string device_command(const std::string& line);  // tests/cdrom/device.cpp

namespace scenario {

std::string in_discs(Run& run, const std::string& path)
{
    bool absolute = path.size() > 1 && (path[1] == ':' || path[0] == '\\');
    return absolute ? path : run.vars["DISCS"] + "\\" + path;
}

// Sends a message to a control by name; false when there is none.
bool send(Run& run, const std::string& name, UINT message, WPARAM w, LPARAM l)
{
    HWND c = control(run, name);
    return c && (SendMessageA(c, message, w, l), true);
}

// Acts on the armed `when` step once its moment has come.
void poll_rip(Run& run, HWND progress)
{
    run.progress = progress;
    if (run.when_track < 0) return;
    if (run.when_track == 0 && log_of(run).find(run.when_log) == std::string::npos) return;
    if (run.when_track > 0) {
        std::string label = harness::window_text(GetDlgItem(progress, IDC_TRACK_LABEL));
        if (label.rfind(to_string(run.when_track) + ".", 0) != 0) return;
        if (!run.when_seen) run.when_seen = GetTickCount();
        if (GetTickCount() - run.when_seen < run.when_after) return;
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

// Presses Rip CD, picks the format, the subfolder boxes and "Read twice"
// (-1 leaves one as it is), presses Start and answers every message box until the rip is
// over, acting on the `when` step meanwhile. With within=MS the rip must be
// over (its dialog gone, or Done! said) within MS of Start.
bool rip(Run& run, Strings& a)
{
    int boxes[3] = {-1, -1, -1}, ids[3] = {IDC_OPT_ARTIST, IDC_OPT_ALBUM, IDC_TEST_COPY};
    DWORD within = 0;
    for (size_t i = 1; i < a.size() && !a[i].empty(); ++i) {
        int value = atoi(a[i].c_str() + a[i].find('=') + 1);
        if (a[i].rfind("within=", 0) == 0) within = static_cast<DWORD>(value);
        else boxes[a[i].rfind("album=", 0) == 0 ? 1 : a[i].rfind("twice=", 0) == 0 ? 2 : 0] = value;
    }
    if (!is_format(a[0])) return fail(run, "rip wav|mp3|wma|flac [artist=0|1] [album=0|1] [twice=0|1] [within=MS]");
    if (!main_window(run)) return false;
    harness::click(run.main, IDC_RIP);
    HWND options = harness::wait_for_window(pid(run), "Settings");
    if (!options) return fail(run, "the rip options did not open");
    harness::click(options, kControls.at(a[0]));
    for (int i = 0; i < 3; ++i)
        if (boxes[i] >= 0 && SendDlgItemMessageA(options, ids[i], BM_GETCHECK, 0, 0) != boxes[i])
            harness::click(options, ids[i]);
    Sleep(100);
    harness::click(options, IDOK);
    HWND progress = harness::wait_for_window(pid(run), "CD Ripping...");
    DWORD start = GetTickCount(), took = 0;
    for (; GetTickCount() - start < 120000; Sleep(20)) {
        bool over = !IsWindow(progress);
        if (over && !took) took = GetTickCount() - start;
        if (answer(run, over ? 300 : 0)) {  // once the dialog is gone, a last box may be on its way
            if (run.boxes.back() == "Done!") break;
        } else if (over) {
            break;
        } else {
            poll_rip(run, progress);
        }
    }
    if (!took) took = GetTickCount() - start;
    check(run, !within || took <= within, "the rip took " + to_string(took) + " ms, more than " + to_string(within));
    if (run.when_track >= 0) fail(run, "the rip ended before its `when` step ran:" + run.when.text);
    run.when_track = -1;
    run.progress = nullptr;
    return true;
}

bool when(Run& run, Strings& a)
{
    size_t colon = a[0].find(':');
    std::string condition = a[0].substr(0, colon);
    bool reading = condition.rfind("reading ", 0) == 0, logged = condition.rfind("log ", 0) == 0;
    if (colon == std::string::npos || (!reading && !logged && condition != "encoding"))
        return fail(run, "when reading N [after MS]: STEP | when encoding: STEP | when log TEXT: STEP");
    run.when_log = logged ? condition.substr(4) : "wavtomp3";
    run.when = {a[0].substr(colon + 1), run.line};
    run.when_track = reading ? atoi(condition.c_str() + 8) : 0;
    size_t after = condition.find(" after ");
    run.when_after = after == std::string::npos ? 300 : static_cast<DWORD>(atoi(condition.c_str() + after + 7));
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
    DWORD limit = a[0].empty() ? 20000 : static_cast<DWORD>(atoi(a[0].c_str()));
    bool exited = same(run, "exit code once closed", "0", to_string(run.program.wait_exit(limit)));  // close [nowait|MS]
    run.main = nullptr;  // a later start finds the new window
    return exited;
}

bool edit(Run& run, Strings& a)
{
    if (!main_window(run)) return false;
    int column = a[1] == "number" ? 0 : a[1] == "time" ? 2 : a[1] == "artist" ? 3 : 1;
    bool below = a[0] == "below";
    RECT cell = list_cell_rect(process(run), run.list,
                                        below ? list_count(run.list) - 1 : row(run, a[0]), column);
    LPARAM at = below ? MAKELPARAM(cell.left + 10, cell.bottom + 40)
                      : MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    PostMessageA(run.list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    harness::wait_until([&] { return editor(run) != nullptr; }, 1500);
    return true;
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

// A top-level window whose thread stops answering messages until `release`
// is set: a message sent to every window of the session waits for it.
DWORD WINAPI hung_window(LPVOID release)
{
    HWND window = CreateWindowA("STATIC", "hung", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    WaitForSingleObject(release, INFINITE);
    DestroyWindow(window);
    return 0;
}

// The program started again while another window of the session hangs.
bool second(Run& run, Strings&)
{
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, hung_window, release, 0, nullptr);
    Sleep(200);
    harness::Program again;
    int code = again.start_in(run.exe_in_prog) ? again.wait_exit() : -1;
    again.folder.clear();  // the folder is the first program's
    SetEvent(release);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    CloseHandle(release);
    return same(run, "exit code of the second start", "0", to_string(code));
}

// A combo box's entry, or a list view's row, N from 0.
bool choose(Run& run, Strings& a)
{
    HWND c = control(run, a[0]);
    int n = atoi(a[1].c_str());
    constexpr UINT chosen = LVIS_SELECTED | LVIS_FOCUSED;
    if (c && is_list_view(c)) set_list_state(process(run), c, n, chosen, chosen);
    else if (c) SendMessageA(c, CB_SETCURSEL, n, 0);
    return c != nullptr;
}

// A click near a control's top left corner; `header K`: in the middle of
// a list view's column header K (from 1), which sorts by that column.
bool click(Run& run, Strings& a)
{
    HWND c = control(run, a[0]);
    int column = atoi(a[2].c_str()) - 1, x = 5;
    bool header = a[1] == "header";
    if (c && (header ? column < 0 || !is_list_view(c) : !a[1].empty())) return fail(run, "click CONTROL [header K]");
    if (c && header) {  // sent, not posted: the rows are sorted when it returns
        x = static_cast<int>(SendMessageA(c, LVM_GETCOLUMNWIDTH, column, 0)) / 2;
        for (int before = 0; before < column; ++before) x += static_cast<int>(SendMessageA(c, LVM_GETCOLUMNWIDTH, before, 0));
        HWND bar = reinterpret_cast<HWND>(SendMessageA(c, LVM_GETHEADER, 0, 0));
        SendMessageA(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 5));
        return SendMessageA(bar, WM_LBUTTONUP, 0, MAKELPARAM(x, 5)), true;
    }
    return c && PostMessageA(c, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 5)) &&
           PostMessageA(c, WM_LBUTTONUP, 0, MAKELPARAM(x, 5));
}

bool set_tick(Run& run, const std::string& text, int image)
{
    if (!main_window(run)) return false;
    set_list_state(process(run), run.list, row(run, text), INDEXTOSTATEIMAGEMASK(image), LVIS_STATEIMAGEMASK);
    return true;
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

const std::vector<Verb> kActionVerbs = {
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
    {"rip", "wWWWW", rip},
    {"abort", "W", [](Run& r, Strings& a) {
         HWND progress = harness::wait_for_window(pid(r), "CD Ripping...");
         if (!progress) return fail(r, "no progress dialog to abort");
         harness::click(progress, IDCANCEL);
         return a[0].empty() || harness::wait_gone(progress, static_cast<DWORD>(atoi(a[0].c_str()))) ||
                fail(r, "the progress dialog was still open " + a[0] + " ms after Abort");
     }},
    {"when", "x", when},
    {"answer", "", [](Run& r, Strings&) { return answer(r, 10000) || fail(r, "no message box came"); }},
    {"close", "W", close},
    {"edit", "wW", edit},
    {"scroll", "", [](Run& r, Strings&) { return main_window(r) && PostMessageA(r.list, WM_VSCROLL, SB_LINEDOWN, 0); }},
    {"click", "wWW", click},
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
    {"choose", "ww", choose},
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
};

}  // namespace scenario
