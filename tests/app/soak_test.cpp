// One running program used for a long while: refreshes, rips in every
// format, every dialog opened and cancelled, lookups against the local CDDB
// server, each after one cancelled before the server answered. What the
// process holds must come back to what it held after a first round of the
// same work.
#include <windows.h>
#include <winternl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "tests/support/harness.h"
#include "tests/support/sim.h"

namespace {

std::string g_sim, g_server;

// The process's entry in the system's process list (the one place where
// Wine reports a process's handles): its handles or its threads.
long listed(HANDLE process, bool threads)
{
    std::vector<char> list(1 << 22);
    NtQuerySystemInformation(SystemProcessInformation, list.data(), static_cast<ULONG>(list.size()), nullptr);
    for (size_t at = 0;;) {
        auto* entry = reinterpret_cast<SYSTEM_PROCESS_INFORMATION*>(&list[at]);
        if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == GetProcessId(process))
            return threads ? entry->NumberOfThreads : entry->HandleCount;
        if (!entry->NextEntryOffset) return -1;
        at += entry->NextEntryOffset;
    }
}

// Wine does not implement GetGuiResources; it keeps each process's GDI
// objects in a handle table the process's PEB points to.
long count_gdi(HANDLE process)
{
    if (long n = static_cast<long>(GetGuiResources(process, GR_GDIOBJECTS))) return n;
    struct Entry { UINT64 object; ULONG owner; USHORT unique; UCHAR type, flags; UINT64 user; };
    std::vector<Entry> entries(0x10000);
    PROCESS_BASIC_INFORMATION basic = {};
    UINT64 table = 0;
    const size_t kGdiTableInPeb = 0xF8;
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) ||
        !ReadProcessMemory(process, reinterpret_cast<char*>(basic.PebBaseAddress) + kGdiTableInPeb, &table,
                           sizeof table, nullptr) ||
        !ReadProcessMemory(process, reinterpret_cast<void*>(table), entries.data(), entries.size() * sizeof(Entry),
                           nullptr))
        return -1;
    return std::count_if(entries.begin(), entries.end(), [](const Entry& e) { return e.type != 0; });
}

// Without GetGuiResources, the windows the process owns (top-level,
// children, message-only) stand for its USER objects; a leaked icon shows
// in the GDI count through its bitmaps.
long count_user(HANDLE process)
{
    if (long n = static_cast<long>(GetGuiResources(process, GR_USEROBJECTS))) return n;
    std::pair<DWORD, long> count = {GetProcessId(process), 0};
    WNDENUMPROC count_window = [](HWND window, LPARAM param) -> BOOL {
        auto* count = reinterpret_cast<std::pair<DWORD, long>*>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        count->second += pid == count->first;
        return TRUE;
    };
    EnumChildWindows(GetDesktopWindow(), count_window, reinterpret_cast<LPARAM>(&count));
    for (HWND w = nullptr; (w = FindWindowExA(HWND_MESSAGE, w, nullptr, nullptr));)
        count_window(w, reinterpret_cast<LPARAM>(&count));
    return count.second;
}

// Committed private memory, threads' stacks among it (Wine reports none).
long private_kb(HANDLE process)
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (char* at = nullptr; VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;
         at = static_cast<char*>(region.BaseAddress) + region.RegionSize)
        total += region.State == MEM_COMMIT && region.Type == MEM_PRIVATE ? region.RegionSize : 0;
    return static_cast<long>(total / 1024);
}

// What is counted, and the growth allowed between the two samples. Worker
// threads and WinINet come and go, and the heap keeps some of what it was
// given; none of that may add up round after round.
struct Counter { const char* what; long (*count)(HANDLE); long allowance; };
const Counter kCounters[] = {{"kernel handles", [](HANDLE p) { return listed(p, false); }, 6},
                             {"threads", [](HANDLE p) { return listed(p, true); }, 0},
                             {"GDI objects (brushes, fonts, icon bitmaps)", count_gdi, 4},
                             {"USER objects (windows)", count_user, 2},
                             {"private memory in KB", private_kb, 2048}};

// Presses `button` of `window`; true once `file` grows by a text holding `what`.
bool press_and_wait(HWND window, int button, const std::string& file, const char* what)
{
    size_t before = harness::read_file(file).size();
    harness::click(window, button);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20))
        if (harness::read_file(file).find(what, before) != std::string::npos) return true;
    return false;
}

// Opens the dialog behind `button` and cancels it, or for Disc Info with
// `retrieve` set, presses Retrieve and cancels once the server has the request.
bool open_and_cancel(harness::Sim& sim, int button, const char* caption, bool retrieve = false)
{
    harness::click(sim.main, button);
    HWND dialog = harness::wait_for_window(sim.program.process.dwProcessId, caption);
    if (!dialog || (retrieve && !press_and_wait(dialog, IDOK, g_server + "\\requests.txt", "\n"))) return false;
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return harness::wait_gone(dialog);
}

// A lookup cancelled before the server (half a second late) answers, then
// one that fills the album.
bool lookup(harness::Sim& sim, int round)
{
    std::string album = "Round " + std::to_string(round);
    harness::write_file(g_server + "\\reply.bin", "210 rock 01020304 CD database entry follows\r\nDTITLE=Soak / " +
                                                      album + "\r\nTTITLE0=Only\r\nEXTD=YEAR: 2001\r\n.\r\n");
    harness::write_file(g_server + "\\delay.txt", "0.5");
    bool cancelled = open_and_cancel(sim, IDC_DISC_INFO, "Retrive Disc Info", true);
    harness::write_file(g_server + "\\delay.txt", "0");
    harness::click(sim.main, IDC_DISC_INFO);
    HWND dialog = harness::wait_for_window(sim.program.process.dwProcessId, "Retrive Disc Info");
    harness::click(dialog, IDOK);
    return cancelled && dialog && harness::wait_gone(dialog, 20000) &&
           harness::wait_for_text(GetDlgItem(sim.main, IDC_ALBUM), album, 1000);
}

// Each kind of use `times` times.
void use_the_program(harness::Sim& sim, int times)
{
    const int kFormats[] = {IDC_MP3, IDC_WAV, IDC_WMA};
    for (int i = 0; i < times; ++i) {
        EXPECT_TRUE(press_and_wait(sim.main, IDC_REFRESH, sim.program.folder + "\\log.txt", "end thread...")) << i;
        harness::RipRun run = harness::rip(sim, kFormats[i % 3]);
        EXPECT_TRUE(run.done && run.boxes.size() == 1) << "rip " << i << " ends with Done! alone";
        EXPECT_TRUE(open_and_cancel(sim, IDC_RIP, "Settings")) << "rip options, round " << i;
        EXPECT_TRUE(open_and_cancel(sim, IDC_DISC_INFO, "Retrive Disc Info")) << "disc info, round " << i;
        EXPECT_TRUE(open_and_cancel(sim, IDC_ABOUT, "Orvo CD Ripper :: About")) << "about, round " << i;
        EXPECT_TRUE(lookup(sim, i)) << "lookup " << i;
    }
}

TEST(Soak, NothingGrowsOverALongSession)
{
    harness::Sim sim(g_sim);
    sim.settings(harness::ini_for(harness::make_temp_folder("soak"), "MP3=1\r\nWAV=0\r\nWMA=0"));
    harness::one_track_disc(sim, "s");
    SetEnvironmentVariableA("http_proxy", ("http://127.0.0.1:" + harness::cddb_port(g_server)).c_str());
    ASSERT_TRUE(sim.start());
    std::vector<long> before, after;
    for (std::vector<long>* counts : {&before, &after}) {
        use_the_program(sim, counts == &before ? 2 : 20);  // the first use loads what stays loaded
        Sleep(1000);  // threads that just ended are gone from the counts
        for (const Counter& counter : kCounters) counts->push_back(counter.count(sim.program.process.hProcess));
    }
    for (size_t i = 0; i < before.size(); ++i) {
        printf("soak: %s %ld -> %ld\n", kCounters[i].what, before[i], after[i]);
        ASSERT_GT(before[i], 0) << kCounters[i].what << " could not be counted";
        EXPECT_LE(after[i] - before[i], kCounters[i].allowance) << kCounters[i].what << " grow";
    }
    EXPECT_FALSE(harness::file_exists(sim.program.folder + "\\wav.tmp")) << "no rip leaves wav.tmp behind";
    EXPECT_EQ(sim.close(), 0);
}

}  // namespace

int main(int argc, char** argv)
{
    return harness::run_tests(argc, argv, {&g_sim, &g_server}, "SIMULATION_PROGRAM SERVER_FOLDER");
}
