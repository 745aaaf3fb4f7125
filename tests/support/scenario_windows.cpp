// The program's windows: its controls by name, the track list's texts.
#include <windows.h>
#include <commctrl.h>

#include "res/resource.h"
#include "tests/support/scenario.h"

namespace scenario {

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

bool is_list_view(HWND window)
{
    char kind[16] = {};
    return GetClassNameA(window, kind, sizeof kind) && !_stricmp(kind, WC_LISTVIEWA);
}

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

// A row's cells joined by " | ".
std::string list_row_text(HANDLE process, HWND list, int row)
{
    std::string text;
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    int columns = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    for (int column = 0; column < columns; ++column) text += (column ? " | " : "") + list_text(process, list, row, column);
    return text;
}

void set_list_state(HANDLE process, HWND list, int row, UINT state, UINT mask)
{
    Remote remote(process, sizeof(LVITEMA));
    LVITEMA item = {};
    item.stateMask = mask;
    item.state = state;
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
    {"label", IDC_TRACK_LABEL}, {"genre", IDC_GENRE}, {"home", IDC_HOME_PAGE}, {"email", IDC_EMAIL},
    {"note", IDC_EMAIL_NOTE}, {"releases", IDC_RELEASES}};

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

}  // namespace scenario
