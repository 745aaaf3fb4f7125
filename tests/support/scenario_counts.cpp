// What the process holds, sampled round after round of a long session:
// none of it may add up.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <iterator>

#include "tests/support/scenario.h"

namespace scenario {

// Its threads, from its entry in the system's process list.
long count_threads(HANDLE process)
{
    std::vector<char> list(1 << 22);
    NtQuerySystemInformation(SystemProcessInformation, list.data(), static_cast<ULONG>(list.size()), nullptr);
    for (size_t at = 0;;) {
        auto* entry = reinterpret_cast<SYSTEM_PROCESS_INFORMATION*>(&list[at]);
        if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == GetProcessId(process)) return entry->NumberOfThreads;
        if (!entry->NextEntryOffset) return -1;
        at += entry->NextEntryOffset;
    }
}

// Its open handles, from the system's list of every handle. (Wine's process
// list gives the size its handle table has grown to, which 20 handles
// leaked round after round need not change.)
long count_handles(HANDLE process)
{
    std::vector<char> list(1 << 20);
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(SystemHandleInformation, list.data(), static_cast<ULONG>(list.size()),
                                              nullptr)) == static_cast<NTSTATUS>(0xC0000004))  // too small
        list.resize(list.size() * 2);
    auto* handles = reinterpret_cast<SYSTEM_HANDLE_INFORMATION*>(list.data());
    auto owned = [&](const SYSTEM_HANDLE_ENTRY& h) { return h.OwnerPid == GetProcessId(process); };
    return status ? -1 : std::count_if(handles->Handle, handles->Handle + handles->Count, owned);
}

// Wine does not implement GetGuiResources; it keeps each process's GDI
// objects in a handle table the process's PEB points to. (Windows left
// behind show as dialogs that stay open, which the steps check.)
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

// What is counted, and the growth allowed from the second sample to the
// last. Worker threads and WinINet come and go, and the heap keeps some of
// what it was given; none of that may add up round after round.
struct Counter { const char* what; long (*count)(HANDLE); long allowance; };
const Counter kCounters[] = {{"kernel handles", count_handles, 6},
                             {"threads", count_threads, 0},
                             {"GDI objects (brushes, fonts, icon bitmaps)", count_gdi, 4},
                             {"private memory in KB", private_kb, 2048}};

bool sample(Run& run, Strings&)
{
    Sleep(1000);  // threads that just ended are gone from the counts
    run.samples.emplace_back();
    for (const Counter& counter : kCounters) run.samples.back().push_back(counter.count(process(run)));
    return true;
}

bool expect_steady(Run& run, Strings&)
{
    if (run.samples.size() < 3) return fail(run, "expect steady: after three samples");
    for (size_t i = 0; i < std::size(kCounters); ++i) {
        long first = run.samples[1][i], last = run.samples.back()[i];
        printf("%s: %ld -> %ld\n", kCounters[i].what, first, last);
        check(run, first > 0 && last - first <= kCounters[i].allowance,
              std::string(kCounters[i].what) + " grew from " + to_string(first) + " to " + to_string(last));
    }
    return true;
}

const std::vector<Verb> kCountVerbs = {
    {"sample", "", sample},
    {"expect steady", "", expect_steady},
};

}  // namespace scenario
