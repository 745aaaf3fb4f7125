// Driving the simulation build through a rip, shared by the scenario
// runner and the soak test.
#include "tests/support/sim.h"

#include <gtest/gtest.h>

#include <cstring>

namespace harness {

std::string pattern(int track, uint32_t frames)
{
    std::string bytes(frames * 4, '\0');
    for (uint32_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 13 + track * 101 + i / 997) & 0xFF);
    return bytes;
}

std::string ini_for(const std::string& root, const char* format)
{
    return "[Settings]\r\n" + std::string(format) + "\r\nOutput=" + root + "\r\n";
}

void one_track_disc(Sim& sim, const std::string& name)
{
    sim.file(name + ".bin", pattern(1, 588 * 5));
    sim.file(name + ".cue", "FILE " + name + ".bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
}

int count_files(const std::string& folder, const char* pattern)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    int files = 0;
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        if (strcmp(found.cFileName, ".") && strcmp(found.cFileName, "..")) ++files;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

RipRun rip(Sim& sim, int format, int artist_box, int album_box, void (*poll)(HWND, void*), void* context)
{
    RipRun run;
    DWORD pid = sim.program.process.dwProcessId;
    harness::click(sim.main, IDC_RIP);
    HWND options = harness::wait_for_window(pid, "Settings");
    EXPECT_TRUE(options != nullptr) << "the rip options open";
    if (!options) return run;
    harness::click(options, format);
    for (auto box : {std::make_pair(IDC_OPT_ARTIST, artist_box), std::make_pair(IDC_OPT_ALBUM, album_box)}) {
        if (box.second < 0) continue;
        if (static_cast<int>(SendDlgItemMessageA(options, box.first, BM_GETCHECK, 0, 0)) != box.second)
            harness::click(options, box.first);
    }
    Sleep(100);
    harness::click(options, IDOK);
    HWND progress = harness::wait_for_window(pid, "CD Ripping...");
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 120000) {
        HWND box = nullptr;
        for (HWND w : harness::process_dialogs(pid)) {
            // Message boxes, not the options dialog that may still be closing.
            if (w != sim.main && harness::is_message_box(w) && harness::window_text(w) != "Settings") box = w;
        }
        if (box) {
            std::string text = harness::message_box_text(box);
            run.boxes.push_back(text);
            harness::click(box, IDOK);
            harness::wait_gone(box, 5000);
            if (text == "Done!") {
                run.done = true;
                break;
            }
            continue;
        }
        if (progress && !IsWindow(progress)) {
            Sleep(300);  // a "Done!" box may be on its way
            bool more = false;
            for (HWND w : harness::process_dialogs(pid))
                more = more || (w != sim.main && harness::is_message_box(w) && harness::window_text(w) != "Settings");
            if (!more) break;
        }
        if (poll && progress && IsWindow(progress)) poll(progress, context);
        Sleep(20);
    }
    return run;
}

}  // namespace harness
