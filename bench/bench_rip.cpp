// Times a whole rip in the real simulation build, driven like a user:
// Rip CD, the format, Start, until "Done!". Prints the wall time and the
// program's peak memory for bench/run.sh.
//   bench_rip PROGRAM_FOLDER FORMAT(mp3|wav|wma|flac) [ARTIST ALBUM YEAR [PAUSE_MS]]
// The optional texts are typed into the main window's fields first, and
// the rip starts PAUSE_MS later (the headless demo of run.sh uses them to
// show the filled window in its screenshot).
// ORVO_BENCH_EXE names the program in the folder (default the simulation
// build); ORVO_BENCH_DEVICE holds commands for the test CD-ROM drives
// (tests/cdrom/device.cpp), separated by ';', sent before it starts.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "res/resource.h"
#include "tests/support/harness.h"

std::string device_command(const std::string& line);  // tests/cdrom/device.cpp

// Sends each of the ';'-separated device commands; false (and why on
// stderr) at the first refused.
static bool send_device_commands(const char* commands)
{
    std::string all = commands ? commands : "";
    for (size_t at = 0; at < all.size();) {
        size_t end = all.find(';', at);
        if (end == std::string::npos) end = all.size();
        std::string why = device_command(all.substr(at, end - at));
        if (!why.empty()) return fprintf(stderr, "device %s: %s\n", all.substr(at, end - at).c_str(), why.c_str()), false;
        at = end + 1;
    }
    return true;
}

int main(int argc, char** argv)
{
    if (argc < 3) return 2;
    std::string folder = harness::windows_path(argv[1]);
    const char* name = argv[2];
    int format = strcmp(name, "wav") == 0    ? IDC_WAV
                 : strcmp(name, "flac") == 0 ? IDC_FLAC
                 : strcmp(name, "wma") == 0  ? IDC_WMA
                 : strcmp(name, "mp3") == 0  ? IDC_MP3
                                             : 0;
    if (!format) return 2;  // an unknown format would rip another one silently
    if (!send_device_commands(getenv("ORVO_BENCH_DEVICE"))) return 1;
    const char* exe = getenv("ORVO_BENCH_EXE");
    harness::Program program;
    program.folder = folder;
    std::string path = folder + "\\" + (exe && *exe ? exe : "OrvoCdRipperSim.exe");
    if (!program.start_in(path)) return fprintf(stderr, "cannot start %s (error %lu)\n", path.c_str(), GetLastError()), 1;
    DWORD pid = program.process.dwProcessId;
    HWND main = harness::wait_for_window(pid, "Orvo CD Ripper");
    while (harness::read_file(folder + "\\log.txt").find("end thread...") == std::string::npos) Sleep(20);
    if (argc >= 6) {
        const int fields[] = {IDC_ARTIST, IDC_ALBUM, IDC_YEAR};
        for (int i = 0; i < 3; ++i)
            SendMessageA(GetDlgItem(main, fields[i]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3 + i]));
        if (argc >= 7) Sleep(static_cast<DWORD>(atoi(argv[6])));
    }
    harness::click(main, IDC_RIP);
    HWND options = harness::wait_for_window(pid, "Settings");
    harness::click(options, format);
    // The rip proper: from the press of Start to the "Done!" box.
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    harness::click(options, IDOK);  // queued behind the format click
    HWND progress = harness::wait_for_window(pid, "CD Ripping...");
    // Watching costs the program nothing while the rip runs: one cheap
    // question every 2 ms, and the windows are searched only at the end.
    while (IsWindow(progress)) Sleep(2);
    HWND box = nullptr;
    while (!box) {
        for (HWND w : harness::process_dialogs(pid))
            if (w != main && GetDlgItem(w, 0xFFFF) && IsWindowVisible(w) && harness::window_text(w) != "Settings") box = w;
        if (!box) Sleep(1);
    }
    QueryPerformanceCounter(&b);
    std::string text = harness::message_box_text(box);
    PROCESS_MEMORY_COUNTERS memory = {};
    GetProcessMemoryInfo(program.process.hProcess, &memory, sizeof memory);
    harness::click(box, IDOK);
    PostMessageA(main, WM_CLOSE, 0, 0);
    program.wait_exit();
    program.folder.clear();  // keep the folder: the script reads the files
    printf("rip_result %s\nrip_wall_seconds %.3f\npeak_working_set_mb %.1f\npeak_private_mb %.1f\n", text.c_str(),
           static_cast<double>(b.QuadPart - a.QuadPart) / f.QuadPart, memory.PeakWorkingSetSize / 1048576.0,
           memory.PeakPagefileUsage / 1048576.0);
    return text == "Done!" ? 0 : 1;
}
