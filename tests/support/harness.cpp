#include "harness.h"

#include <shellapi.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace harness {

std::string windows_path(const std::string& path)
{
    std::string out = "Z:" + path;
    std::replace(out.begin(), out.end(), '/', '\\');
    return path.empty() || path[0] != '/' ? path : out;
}

std::string read_file(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

bool file_exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool write_file(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    bool ok = file != INVALID_HANDLE_VALUE && WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return ok && written == bytes.size();
}

std::string make_temp_folder(const char* tag)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static unsigned counter = 0;
    for (;;) {
        char folder[MAX_PATH];
        snprintf(folder, sizeof folder, "%sorvo-%s-%lu-%u", temp, tag, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(folder, nullptr)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
    }
}

void remove_tree(const std::string& path)
{
    if (path.empty()) return;
    std::string from = path + '\0';  // the list ends with two NULs
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationA(&op);
}

bool Program::start(const std::string& exe_path)
{
    if (folder.empty()) folder = make_temp_folder("run");
    std::string source = windows_path(exe_path), target = folder + source.substr(source.find_last_of('\\'));
    return CopyFileA(source.c_str(), target.c_str(), FALSE) && start_in(target);
}

bool Program::start_in(const std::string& exe_in_folder)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string command = "\"" + exe_in_folder + "\"";
    std::string dir = exe_in_folder.substr(0, exe_in_folder.find_last_of('\\'));
    if (dir.size() == 2) dir += '\\';
    return CreateProcessA(exe_in_folder.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                          &startup, &process) != 0;
}

int Program::wait_exit(DWORD timeout_ms)
{
    if (!process.hProcess) return -1;
    if (WaitForSingleObject(process.hProcess, timeout_ms) != WAIT_OBJECT_0) {
        kill();
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}

void Program::kill()
{
    if (process.hProcess) TerminateProcess(process.hProcess, 1), WaitForSingleObject(process.hProcess, 5000);
}

Program::~Program()
{
    if (process.hProcess) {
        if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) kill();
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    remove_tree(folder);
}

std::vector<HWND> process_dialogs(DWORD process_id)
{
    std::pair<DWORD, std::vector<HWND>> search = {process_id, {}};
    WNDENUMPROC collect = [](HWND window, LPARAM data) {
        auto* search = reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(data);
        DWORD owner = 0;
        char class_name[64] = {};
        GetWindowThreadProcessId(window, &owner);
        GetClassNameA(window, class_name, sizeof class_name);
        if (owner == search->first && strcmp(class_name, "#32770") == 0) search->second.push_back(window);
        return TRUE;
    };
    EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

static bool is_message_box(HWND window);

// The front-most dialog of the process with that caption (any when null),
// a message box only when `box` is set.
static HWND wait_for_dialog(DWORD process_id, const char* caption, DWORD timeout_ms, bool box)
{
    HWND found = nullptr;
    auto look = [&] {
        for (HWND window : process_dialogs(process_id))
            if (!found && (!box || is_message_box(window)) && (!caption || window_text(window) == caption))
                found = window;
        return found != nullptr;
    };
    return wait_until(look, timeout_ms) ? found : nullptr;
}

HWND wait_for_window(DWORD process_id, const char* caption, DWORD timeout_ms)
{
    return wait_for_dialog(process_id, caption, timeout_ms, false);
}

std::string window_text(HWND window)
{
    char text[4096] = {};
    // WM_GETTEXT works across processes for the window text.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    return text;
}

std::string message_box_text(HWND box)
{
    return window_text(GetDlgItem(box, 0xFFFF));
}

// A visible MessageBox.
bool is_message_box(HWND window)
{
    // Its controls are static texts and buttons only (other dialogs have
    // lists or fields), one of them the text.
    bool plain = true;
    WNDENUMPROC look = [](HWND child, LPARAM plain) {
        char name[32] = {};
        GetClassNameA(child, name, sizeof name);
        if (_stricmp(name, "Static") && _stricmp(name, "Button")) *reinterpret_cast<bool*>(plain) = false;
        return TRUE;
    };
    EnumChildWindows(window, look, reinterpret_cast<LPARAM>(&plain));
    return plain && IsWindowVisible(window) && GetDlgItem(window, 0xFFFF);
}

HWND wait_for_message_box(DWORD process_id, const char* caption, DWORD timeout_ms)
{
    return wait_for_dialog(process_id, caption, timeout_ms, true);
}

void click(HWND dialog, int id)
{
    if (HWND button = GetDlgItem(dialog, id)) PostMessageA(button, BM_CLICK, 0, 0);
    else PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

bool wait_gone(HWND window, DWORD timeout_ms)
{
    return wait_until([&] { return !IsWindow(window); }, timeout_ms);
}

namespace {

// A block of memory in another process, freed when it goes.
struct Remote {
    HANDLE process;
    char* at;
    explicit Remote(HANDLE p, size_t size)
        : process(p), at(static_cast<char*>(VirtualAllocEx(p, nullptr, size, MEM_COMMIT, PAGE_READWRITE))) {}
    ~Remote() { VirtualFreeEx(process, at, 0, MEM_RELEASE); }
    void put(size_t offset, const void* data, size_t size) { WriteProcessMemory(process, at + offset, data, size, nullptr); }
    void get(size_t offset, void* data, size_t size) { ReadProcessMemory(process, at + offset, data, size, nullptr); }
};

}  // namespace

int list_count(HWND list)
{
    return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
}

int list_state_image(HWND list, int row)
{
    return static_cast<int>((SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) & 0xF000) >> 12);
}

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

std::vector<std::string> log_records(const std::string& bytes, bool* ok)
{
    std::vector<std::string> records;
    *ok = true;
    // A CR LF inside a record's text cannot be told apart; the program
    // writes none but the separators.
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 2) {
        end = bytes.find("\r\n", start);
        records.push_back(bytes.substr(start, end == std::string::npos ? std::string::npos : end - start));
        bool whole = !records.back().empty() && records.back().back() == '\0';
        *ok = *ok && whole;
        if (whole) records.back().pop_back();
    }
    return records;
}

void fault_row(const char* key, const char* fault, const char* user_sees, const char* on_disk,
               const char* nothing_lost)
{
    if (testing::Test::HasFailure()) return;
    char exe[MAX_PATH];
    std::string folder(exe, GetModuleFileNameA(nullptr, exe, sizeof exe));
    folder = folder.substr(0, folder.find_last_of('\\') + 1) + "fault-rows";
    std::string path = folder + "\\" + key + ".txt";
    std::string row = std::string(fault) + "\n" + user_sees + "\n" + on_disk + "\n" + nothing_lost + "\n";
    // test.sh empties the folder first: another row of this key is another test's.
    std::string earlier = read_file(path);
    EXPECT_TRUE(earlier.empty() || earlier == row) << "fault-matrix key " << key << " is taken by: " << earlier;
    CreateDirectoryA(folder.c_str(), nullptr);
    write_file(path, row);
}

}  // namespace harness
