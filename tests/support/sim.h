// The simulation build running in a folder of its own, with disc images
// written into its "discs" folder before it starts.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/harness.h"

namespace harness {

inline std::string sectors(uint32_t n, char fill = 1)
{
    return std::string(static_cast<size_t>(n) * 2352, fill);
}

struct Sim {
    std::string exe;
    Program program;
    HWND main = nullptr;
    HWND list = nullptr;
    HWND status = nullptr;

    explicit Sim(const std::string& sim_exe) : exe(sim_exe)
    {
        program.folder = make_temp_folder("sim");
    }
    std::string discs() const { return program.folder + "\\discs"; }
    // The "discs" folder is made with its first file: without it the program has no drive.
    void file(const std::string& name, const std::string& bytes)
    {
        CreateDirectoryA(discs().c_str(), nullptr);
        write_file(discs() + "\\" + name, bytes);
    }
    void settings(const std::string& ini) { write_file(program.folder + "\\settings.ini", ini); }
    // Starts the program and waits for its window (and, unless told not to,
    // for the end of the first refresh: the label reads "Done" from the start).
    bool start(bool wait_done = true)
    {
        if (!program.start(exe)) return false;
        main = wait_for_window(program.process.dwProcessId, "Orvo CD Ripper");
        if (!main) return false;
        list = GetDlgItem(main, IDC_TRACKS);
        status = GetDlgItem(main, IDC_STATUS);
        DWORD begin = GetTickCount();
        while (wait_done && log().find("end thread...") == std::string::npos) {
            if (GetTickCount() - begin > 10000) return false;
            Sleep(20);
        }
        return true;
    }
    std::string text(int row, int column) { return list_text(program.process.hProcess, list, row, column); }
    std::string log() { return read_file(program.folder + "\\log.txt"); }
    void set_field(int id, const char* text) { SendMessageA(GetDlgItem(main, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)); }
    int close()
    {
        PostMessageA(main, WM_CLOSE, 0, 0);
        return program.wait_exit();
    }
};

// Samples of `frames` stereo frames, different for every track number.
std::string pattern(int track, uint32_t frames);
// The port of the local CDDB server whose folder is `server`
// (tests/lookup/cddb_server.py writes it there).
inline std::string cddb_port(const std::string& server) { return read_file(server + "\\port.txt"); }

// settings.ini text: the format lines ("MP3=1\r\nWAV=0\r\nWMA=0") and the root.
std::string ini_for(const std::string& root, const char* format);
// A disc of one short untitled track, as "<name>.cue".
void one_track_disc(Sim& sim, const std::string& name);
// How many files in `folder` match `pattern` (".", ".." not counted).
int count_files(const std::string& folder, const char* pattern);

struct RipRun {
    std::vector<std::string> boxes;  // texts of the message boxes seen, in order
    bool done = false;               // "Done!" was shown
};
// Presses Rip CD, picks the format, sets the subfolder boxes (-1 leaves
// one as it is), presses Start, and answers every message box until the
// rip is over; between boxes it calls `poll` with the progress dialog.
RipRun rip(Sim& sim, int format, int artist_box = -1, int album_box = -1,
           void (*poll)(HWND progress, void* context) = nullptr, void* context = nullptr);

}  // namespace harness
