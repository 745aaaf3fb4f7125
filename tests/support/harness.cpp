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

bool file_exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

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
    char temp[MAX_PATH], folder[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static unsigned counter = 0;
    do snprintf(folder, sizeof folder, "%sorvo-%s-%lu-%u", temp, tag, GetCurrentProcessId(), ++counter);
    while (!CreateDirectoryA(folder, nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
    return folder;
}

// FO_COPY or FO_DELETE of a file or a tree, without any UI.
static bool shell_op(UINT op, const std::string& from, const std::string& to)
{
    std::string source = from + '\0', target = to + '\0';  // each list ends with two NULs
    SHFILEOPSTRUCTA files = {};
    files.wFunc = op;
    files.pFrom = source.c_str();
    files.pTo = target.c_str();
    files.fFlags = FOF_NO_UI;
    return SHFileOperationA(&files) == 0;
}

void remove_tree(const std::string& path) { if (!path.empty()) shell_op(FO_DELETE, path, ""); }
bool copy_tree(const std::string& from, const std::string& to) { return shell_op(FO_COPY, from, to); }

bool Program::start(const std::string& exe_path)
{
    if (folder.empty()) folder = make_temp_folder("run");
    std::string source = windows_path(exe_path), target = folder + source.substr(source.find_last_of('\\'));
    return CopyFileA(source.c_str(), target.c_str(), FALSE) && start_in(target);
}

bool Program::start_in(const std::string& exe_in_folder)
{
    STARTUPINFOA startup = {sizeof startup};
    std::string command = "\"" + exe_in_folder + "\"";
    std::string dir = exe_in_folder.substr(0, exe_in_folder.find_last_of('\\'));
    if (dir.size() == 2) dir += '\\';
    return CreateProcessA(exe_in_folder.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                          &startup, &process) != 0;
}

int Program::wait_exit(DWORD timeout_ms)
{
    if (!process.hProcess || WaitForSingleObject(process.hProcess, timeout_ms) != WAIT_OBJECT_0) return kill(), -1;
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

// A visible MessageBox.
static bool is_message_box(HWND window)
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

HWND wait_for_window(DWORD id, const char* caption, DWORD ms) { return wait_for_dialog(id, caption, ms, false); }

std::string window_text(HWND window)
{
    char text[4096] = {};
    // WM_GETTEXT works across processes for the window text.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    return text;
}

std::string message_box_text(HWND box) { return window_text(GetDlgItem(box, 0xFFFF)); }

HWND wait_for_message_box(DWORD id, const char* caption, DWORD ms) { return wait_for_dialog(id, caption, ms, true); }

void click(HWND dialog, int id)
{
    if (HWND button = GetDlgItem(dialog, id)) PostMessageA(button, BM_CLICK, 0, 0);
    else PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

bool wait_gone(HWND window, DWORD timeout_ms) { return wait_until([&] { return !IsWindow(window); }, timeout_ms); }

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
