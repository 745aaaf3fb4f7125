// One running program used for a long while: refreshes, rips in every
// format, every dialog opened and cancelled, lookups against the local CDDB
// server. Kernel handles, GDI and USER objects and private memory must come
// back to what they were after a first round of the same work.
#include <windows.h>
#include <winternl.h>
#include <psapi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "tests/support/harness.h"
#include "tests/support/sim.h"

using harness::Sim;

namespace {

std::string g_sim, g_server;

// Growth allowed between the sample after the first round and the sample
// at the end. Worker threads and WinINet come and go, and the heap keeps
// some of what it was given; none of that may add up round after round.
const long kHandleAllowance = 6;
const long kGdiAllowance = 4;
const long kUserAllowance = 2;
const long kPrivateAllowanceKb = 2048;

struct Usage {
    long handles = 0, gdi = 0, user = 0, private_kb = 0;
};

typedef NTSTATUS(WINAPI* QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
typedef NTSTATUS(WINAPI* QueryProcessInformation)(HANDLE, ULONG, PVOID, ULONG, PULONG);

// Wine reports no handle count for a process; its system handle list has them.
long count_handles(HANDLE process)
{
    DWORD count = 0;
    if (GetProcessHandleCount(process, &count) && count) return static_cast<long>(count);
    struct Entry {
        ULONG owner;
        UCHAR type, flags;
        USHORT value;
        PVOID object;
        ACCESS_MASK access;
    };
    auto query = reinterpret_cast<QuerySystemInformation>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation"));
    std::vector<char> buffer(1 << 20);
    const ULONG kSystemHandleInformation = 16;
    NTSTATUS status;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), nullptr)) ==
           static_cast<NTSTATUS>(0xC0000004))
        buffer.resize(buffer.size() * 2);
    if (status) return -1;
    ULONG entries = *reinterpret_cast<ULONG*>(buffer.data());
    const Entry* entry = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
    DWORD pid = GetProcessId(process);
    long owned = 0;
    for (ULONG i = 0; i < entries; ++i) owned += entry[i].owner == pid;
    return owned;
}

// Wine does not implement GetGuiResources; it keeps each process's GDI
// objects in a handle table the process's PEB points to.
long count_gdi(HANDLE process)
{
    if (long n = static_cast<long>(GetGuiResources(process, GR_GDIOBJECTS))) return n;
    auto query = reinterpret_cast<QueryProcessInformation>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess"));
    PROCESS_BASIC_INFORMATION basic = {};
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr)) return -1;
    UINT64 table = 0;
    const size_t kGdiTableInPeb = 0xF8;
    if (!ReadProcessMemory(process, reinterpret_cast<char*>(basic.PebBaseAddress) + kGdiTableInPeb, &table,
                           sizeof table, nullptr) || !table)
        return -1;
    struct Entry {
        UINT64 object;
        ULONG owner;
        USHORT unique;
        UCHAR type, flags;
        UINT64 user;
    };
    std::vector<Entry> entries(0x10000);
    if (!ReadProcessMemory(process, reinterpret_cast<void*>(table), entries.data(), entries.size() * sizeof(Entry),
                           nullptr))
        return -1;
    long used = 0;
    for (const Entry& e : entries) used += e.type != 0;
    return used;
}

struct WindowCount {
    DWORD pid;
    long windows;
};

BOOL CALLBACK count_window(HWND window, LPARAM param)
{
    auto* count = reinterpret_cast<WindowCount*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == count->pid) ++count->windows;
    return TRUE;
}

BOOL CALLBACK count_top_window(HWND window, LPARAM param)
{
    count_window(window, param);
    EnumChildWindows(window, count_window, param);
    return TRUE;
}

// Without GetGuiResources, the windows the process owns (top-level,
// children, message-only) stand for its USER objects; a leaked icon shows
// in the GDI count through its bitmaps.
long count_user(HANDLE process)
{
    if (long n = static_cast<long>(GetGuiResources(process, GR_USEROBJECTS))) return n;
    WindowCount count = {GetProcessId(process), 0};
    EnumWindows(count_top_window, reinterpret_cast<LPARAM>(&count));
    for (HWND w = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExA(HWND_MESSAGE, w, nullptr, nullptr))
        count_window(w, reinterpret_cast<LPARAM>(&count));
    return count.windows;
}

// Committed private memory; Wine reports none, so its regions are summed.
long private_kb(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters) &&
        counters.PrivateUsage)
        return static_cast<long>(counters.PrivateUsage / 1024);
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (char* at = nullptr; VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;
         at = static_cast<char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    }
    return static_cast<long>(total / 1024);
}

Usage sample(HANDLE process)
{
    Sleep(1000);  // threads that just ended are gone from the counts
    return {count_handles(process), count_gdi(process), count_user(process), private_kb(process)};
}

int count_of(const std::string& text, const char* what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

bool refresh(Sim& sim)
{
    int before = count_of(sim.log(), "end thread...");
    harness::click(sim.main, IDC_REFRESH);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20))
        if (count_of(sim.log(), "end thread...") > before) return true;
    return false;
}

// Opens the dialog behind `button` and cancels it.
bool open_and_cancel(Sim& sim, int button, const char* caption)
{
    harness::click(sim.main, button);
    HWND dialog = harness::wait_for_window(sim.program.process.dwProcessId, caption);
    if (!dialog) return false;
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return harness::wait_gone(dialog);
}

bool lookup(Sim& sim, int round)
{
    char reply[200];
    snprintf(reply, sizeof reply,
             "210 rock 01020304 CD database entry follows\r\nDTITLE=Soak / Round %d\r\nTTITLE0=Only\r\n"
             "EXTD=YEAR: 2001\r\n.\r\n", round);
    harness::write_file(g_server + "\\reply.bin", reply);
    harness::write_file(g_server + "\\delay.txt", "0");
    harness::click(sim.main, IDC_DISC_INFO);
    HWND dialog = harness::wait_for_window(sim.program.process.dwProcessId, "Retrive Disc Info");
    if (!dialog) return false;
    harness::click(dialog, IDOK);
    if (!harness::wait_gone(dialog, 20000)) return false;
    return harness::window_text(GetDlgItem(sim.main, IDC_ALBUM)) == "Round " + std::to_string(round);
}

const int kFormats[] = {IDC_MP3, IDC_WAV, IDC_WMA};

// Each kind of use, as many times as told.
void use_the_program(Sim& sim, int refreshes, int rips, int dialogs, int lookups)
{
    for (int i = 0; i < refreshes; ++i) EXPECT_TRUE(refresh(sim)) << "refresh " << i << " ends";
    for (int i = 0; i < rips; ++i) {
        harness::RipRun run = harness::rip(sim, kFormats[i % 3]);
        EXPECT_TRUE(run.done && run.boxes.size() == 1) << "rip " << i << " ends with Done! alone";
    }
    for (int i = 0; i < dialogs; ++i) {
        EXPECT_TRUE(open_and_cancel(sim, IDC_RIP, "Settings")) << "rip options, round " << i;
        EXPECT_TRUE(open_and_cancel(sim, IDC_DISC_INFO, "Retrive Disc Info")) << "disc info, round " << i;
        EXPECT_TRUE(open_and_cancel(sim, IDC_ABOUT, "Orvo CD Ripper :: About")) << "about, round " << i;
    }
    for (int i = 0; i < lookups; ++i) EXPECT_TRUE(lookup(sim, i)) << "lookup " << i << " fills the album";
}

TEST(Soak, NothingGrowsOverALongSession)
{
    Sim sim(g_sim);
    sim.settings(harness::ini_for(harness::make_temp_folder("soak"), "MP3=1\r\nWAV=0\r\nWMA=0"));
    harness::one_track_disc(sim, "s");
    SetEnvironmentVariableA("http_proxy", ("http://127.0.0.1:" + harness::cddb_port(g_server)).c_str());
    ASSERT_TRUE(sim.start());
    HANDLE process = sim.program.process.hProcess;

    use_the_program(sim, 2, 3, 1, 1);  // first use loads what stays loaded
    Usage before = sample(process);
    use_the_program(sim, 30, 20, 20, 20);
    Usage after = sample(process);

    printf("soak: handles %ld -> %ld, GDI %ld -> %ld, USER %ld -> %ld, private %ld KB -> %ld KB\n", before.handles,
           after.handles, before.gdi, after.gdi, before.user, after.user, before.private_kb, after.private_kb);
    ASSERT_GT(before.handles, 0) << "handles could not be counted";
    ASSERT_GT(before.gdi, 0) << "GDI objects could not be counted";
    ASSERT_GT(before.user, 0) << "USER objects could not be counted";
    EXPECT_LE(after.handles - before.handles, kHandleAllowance) << "kernel handles leak";
    EXPECT_LE(after.gdi - before.gdi, kGdiAllowance) << "GDI objects leak (brushes, fonts, icon bitmaps)";
    EXPECT_LE(after.user - before.user, kUserAllowance) << "windows are left behind";
    EXPECT_LE(after.private_kb - before.private_kb, kPrivateAllowanceKb) << "private memory grows";
    EXPECT_FALSE(harness::file_exists(sim.program.folder + "\\wav.tmp")) << "no rip leaves wav.tmp behind";
    EXPECT_EQ(sim.close(), 0);
}

}  // namespace

int main(int argc, char** argv)
{
    return harness::run_tests(argc, argv, {&g_sim, &g_server}, "SIMULATION_PROGRAM SERVER_FOLDER");
}
