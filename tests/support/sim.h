// The simulation build running in a folder of its own, with disc images
// written into its "discs" folder before it starts.
#pragma once
#include <windows.h>

#include <string>

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
        CreateDirectoryA(discs().c_str(), nullptr);
    }
    std::string discs() const { return program.folder + "\\discs"; }
    void file(const std::string& name, const std::string& bytes) { write_file(discs() + "\\" + name, bytes); }
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

}  // namespace harness
