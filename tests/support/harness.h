// Helpers for tests that drive the real program under Windows (or Wine):
// start it in a folder of its own, find its windows, press their buttons,
// read what it left on disk.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace harness {

// Polls `done` until it holds (true) or the time is up (false).
template <typename Done>
bool wait_until(Done done, DWORD timeout_ms)
{
    for (DWORD start = GetTickCount(); !done(); Sleep(20))
        if (GetTickCount() - start > timeout_ms) return false;
    return true;
}

// Test executables get Unix paths from CTest; Wine maps / to Z:.
std::string windows_path(const std::string& path);

std::string read_file(const std::string& path);   // "" when missing
bool file_exists(const std::string& path);
bool write_file(const std::string& path, const std::string& bytes);
// A new empty folder under the temp folder; removed with remove_tree.
std::string make_temp_folder(const char* tag);
void remove_tree(const std::string& path);
bool copy_tree(const std::string& from, const std::string& to);  // a file or a folder

// A copy of the program running in a folder of its own.
struct Program {
    std::string folder;
    PROCESS_INFORMATION process = {};

    bool start(const std::string& exe_path);           // exe copied into `folder`
    bool start_in(const std::string& exe_in_folder);   // runs it where it lies
    // Exit code, or -1 when it did not end within the time (then it is killed).
    int wait_exit(DWORD timeout_ms = 15000);
    void kill();
    ~Program();
};

// A visible or hidden top-level window of the process whose caption is
// `caption` (any caption when null); null when none turns up in time.
HWND wait_for_window(DWORD process_id, const char* caption, DWORD timeout_ms = 10000);
// The dialog-class top-level windows of the process, in z-order.
std::vector<HWND> process_dialogs(DWORD process_id);
std::string window_text(HWND window);
std::string message_box_text(HWND box);  // the text of a MessageBox
// A MessageBox of the process (with `caption` unless null), once its text is there.
HWND wait_for_message_box(DWORD process_id, const char* caption, DWORD timeout_ms = 10000);
// Clicks the button `id` of a dialog the way a user does (BM_CLICK).
void click(HWND dialog, int id);
// Waits until `window` no longer exists.
bool wait_gone(HWND window, DWORD timeout_ms = 10000);

// The records of a log.txt: split at CR LF, each without its NUL. `ok`
// tells whether every record ended with a NUL.
std::vector<std::string> log_records(const std::string& bytes, bool* ok);

// A row of the fault matrix in the README, recorded only when the running
// test has passed every check so far: the fault, what the user sees, what
// is left on disk, and what shows that nothing else was lost. Rows go to
// "fault-rows" beside the test program, one file per `key` (which also
// orders the table); tools/fault_matrix.py makes the table from them.
void fault_row(const char* key, const char* fault, const char* user_sees, const char* on_disk,
               const char* nothing_lost);

}  // namespace harness
