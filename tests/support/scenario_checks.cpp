// Checks: what the program shows, logs and leaves on disk, and what it
// holds round after round of a long session.
#include <windows.h>
#include <commctrl.h>
#include <winternl.h>

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "res/resource.h"
#include "tests/support/scenario.h"

namespace scenario {

std::string joined(const Strings& texts)
{
    std::string out;
    for (const std::string& t : texts) out += (out.empty() ? "" : " ; ") + show(t);
    return out.empty() ? "none" : out;
}

// Cuts the last word off `text` and returns it.
std::string last_word(std::string* text)
{
    size_t space = text->find_last_of(' ');
    std::string word = space == std::string::npos ? "" : text->substr(space + 1);
    if (space != std::string::npos) text->erase(text->find_last_not_of(' ', space) + 1);
    return word;
}

bool in_range(double value, const std::string& range)
{
    size_t dots = range.find("..");
    std::string high = dots == std::string::npos ? range : range.substr(dots + 2);
    return value >= atof(range.c_str()) && (high.empty() || value <= atof(high.c_str()));
}

bool expect_boxes(Run& run, Strings& a)
{
    Strings want = a[0] == "none" ? Strings() : pieces(a[0], " ; ");
    bool ok = want.size() == run.boxes.size();
    for (size_t i = 0; ok && i < want.size(); ++i) ok = run.boxes[i].rfind(want[i], 0) == 0;
    check(run, ok, "message boxes: expected " + show(a[0]) + ", seen " + joined(run.boxes));
    run.boxes.clear();
    return true;
}

bool expect_box(Run& run, Strings& a)
{
    HWND box = harness::wait_for_message_box(pid(run), nullptr, a[0] == "none" ? 500 : 10000);
    if (a[0] == "none") return check(run, !box, "a message box is open: " + show(box ? harness::message_box_text(box) : ""));
    std::string seen = box ? harness::message_box_text(box) : "no box";
    return check(run, seen.rfind(a[0], 0) == 0, "message box: expected " + show(a[0]) + ", seen " + show(seen));
}

bool expect_row(Run& run, Strings& a)
{
    std::string seen = main_window(run) ? list_row_text(process(run), run.list, row(run, a[0])) : "";
    return same(run, "row " + a[0], a[1], seen);
}

bool expect_ticked(Run& run, Strings& a)
{
    std::string seen;
    for (int r = 0; main_window(run) && r < list_count(run.list); ++r)
        if (list_state_image(run.list, r) == 2) seen += (seen.empty() ? "" : ",") + to_string(r + 1);
    return same(run, "ticked rows", a[0], seen.empty() ? "none" : seen);
}

// A field's text; of a list view, its selected row's.
std::string field_text(Run& run, HWND field)
{
    if (!is_list_view(field)) return harness::window_text(field);
    int at = static_cast<int>(SendMessageA(field, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return at < 0 ? "" : list_row_text(process(run), field, at);
}

bool expect_field(Run& run, Strings& a)
{
    HWND field = control(run, a[0]);
    if (field && !harness::wait_until([&] { return field_text(run, field) == a[1]; }, 5000))
        same(run, a[0], a[1], field_text(run, field));
    return true;
}

bool expect_state(Run& run, Strings& a)
{
    HWND window = control(run, a[0]);
    if (!window) return true;
    bool checked = SendMessageA(window, BM_GETCHECK, 0, 0) == BST_CHECKED, enabled = IsWindowEnabled(window);
    const std::map<std::string, bool> states = {{"checked", checked}, {"unchecked", !checked}, {"enabled", enabled},
        {"disabled", !enabled}, {"shown", IsWindowVisible(window) && !IsIconic(window)}};
    return check(run, states.count(a[1]) && states.at(a[1]), a[0] + " is not " + a[1]);
}

bool expect_log(Run& run, Strings& a)
{
    std::string n = a[0] == "count" ? last_word(&a[1]) : "";
    int seen = count_of(log_of(run), a[1]);
    bool ok = a[0] == "has" ? seen > 0 : a[0] == "lacks" ? seen == 0 : a[0] == "count" && seen == atoi(n.c_str());
    return check(run, ok,
                 "log " + a[0] + " " + show(a[1]) + " " + n + ": log.txt holds it " + to_string(seen) + " times");
}

bool records_match(const Strings& items, size_t i, const Strings& records, size_t r)
{
    if (i == items.size()) return r == records.size();
    for (size_t k = r; items[i] == "..." && k <= records.size(); ++k)
        if (records_match(items, i + 1, records, k)) return true;
    const std::string& item = items[i];
    size_t n = item.size() - (!item.empty() && item.back() == '*');
    bool ok = item != "..." && r < records.size() &&
              records[r].compare(0, n == item.size() ? std::string::npos : n, item, 0, n) == 0;
    return ok && records_match(items, i + 1, records, r + 1);
}

bool expect_log_records(Run& run, Strings& a)
{
    bool whole = false;
    Strings records = harness::log_records(log_of(run), &whole);
    return check(run, records_match(pieces(a[0], " ; "), 0, records, 0),
                 "log.txt: expected " + show(a[0]) + ", seen " + joined(records));
}

bool expect_file(Run& run, Strings& a)
{
    std::string last = a[0].substr(a[0].find_last_of(' ') + 1), size;
    if (a[0].find(' ') != std::string::npos && last.find_first_of("0123456789") == 0 &&
        last.find_first_not_of("0123456789.") == std::string::npos)
        size = last_word(&a[0]);
    if (!harness::file_exists(a[0])) return check(run, false, show(a[0]) + " is missing");
    size_t bytes = harness::read_file(a[0]).size();
    return check(run, size.empty() || in_range(static_cast<double>(bytes), size),
                 show(a[0]) + ": " + to_string(bytes) + " bytes, expected " + size);
}

bool expect_count(Run& run, Strings& a)
{
    std::string pattern = a[2].empty() ? "*" : a[2];
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((a[0] + "\\" + pattern).c_str(), &found);
    int files = 0;
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        files += strcmp(found.cFileName, ".") && strcmp(found.cFileName, "..");
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return same(run, "files " + pattern + " in " + a[0], a[1], to_string(files));
}

// A FLAC file whose STREAMINFO (its first block) states 44,100 Hz, two
// channels of 16 bits, exactly `frames` frames and an MD5 of the audio:
// what the encoder finished with, written back at the front.
bool whole_flac(const std::string& bytes, uint32_t frames)
{
    uint64_t format = 44100ull << 44 | 1ull << 41 | 15ull << 36 | frames;
    std::string want = "fLaC" + std::string("\x00\x00\x00\x22", 4);
    for (int shift = 56; shift >= 0; shift -= 8) want += static_cast<char>(format >> shift & 0xFF);
    return bytes.size() >= 42 && bytes.compare(0, 8, want, 0, 8) == 0 && bytes.compare(18, 8, want, 8, 8) == 0 &&
           bytes.find_first_not_of('\0', 26) < 42;
}

// By its extension: a WAV as exact (SECONDS may be S+G: G seconds of a
// gap's silence after the samples), an MP3 with its ID3v2 head and ID3v1
// tail, a WMA whose header states its final size (either of at least 90% of
// 128 kb/s), a FLAC as whole_flac says.
bool expect_whole(Run& run, Strings& a)
{
    std::string time = last_word(&a[0]);
    double seconds = atof(time.c_str()), gap = time.find('+') == std::string::npos ? 0 : atof(time.c_str() + time.find('+'));
    int track = atoi(last_word(&a[0]).c_str());
    std::string bytes = harness::read_file(a[0]), ext = a[0].substr(a[0].find_last_of('.') + 1);
    bool whole = bytes.size() >= seconds * 16000 * 0.9;
    uint32_t frames = static_cast<uint32_t>(lround(seconds * 75)) * 588;
    if (ext == "flac") {
        whole = whole_flac(bytes, frames);
    } else if (ext == "wav") {
        std::string want = wav_file(track, frames, static_cast<uint32_t>(lround(gap * 75)) * 588);
        size_t at = 0;
        while (at < bytes.size() && at < want.size() && bytes[at] == want[at]) ++at;
        return check(run, bytes == want,
                     show(a[0]) + ": " + to_string(bytes.size()) + " bytes, differs from the expected " +
                         to_string(want.size()) + " at byte " + to_string(at));
    } else if (ext == "mp3") {
        whole = whole && bytes.compare(0, 3, "ID3") == 0 && bytes.compare(bytes.size() - 128, 3, "TAG") == 0;
    } else {
        size_t at = bytes.find(
            std::string("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16));  // File Properties
        whole = whole && bytes.compare(0, 4, "\x30\x26\xB2\x75") == 0 && at != std::string::npos &&
                le32(bytes, at + 40) == bytes.size() && le32(bytes, at + 44) == 0;
    }
    char what[80];
    snprintf(what, sizeof what, " is not a whole %s of %g s (%zu bytes)", ext.c_str(), seconds, bytes.size());
    return check(run, whole, show(a[0]) + what);
}

// The request lines the CDDB server got since the last such check.
bool expect_requests(Run& run, Strings& a)
{
    std::string want, path = run.vars["SERVER"] + "\\requests.txt";
    for (const std::string& line : pieces(a[0], " ; ")) want += a[0] == "none" ? "" : line + "\n";
    auto seen = [&] { std::string all = harness::read_file(path); return all.substr(std::min(all.size(), run.requests_at)); };
    harness::wait_until([&] { return seen() == want; }, 10000);
    std::string got = seen();
    run.requests_at += got.size();
    return same(run, "requests to the CDDB server", want, got);
}

bool expect_setting(Run& run, Strings& a)
{
    char value[2048] = {};
    GetPrivateProfileStringA("Settings", a[0].c_str(), "<absent>", value, sizeof value,
                             (run.vars["PROG"] + "\\settings.ini").c_str());
    return same(run, "settings.ini " + a[0], a[1], value);
}

bool expect_bar(Run& run, Strings& a)
{
    if (!run.progress) return fail(run, "expect bar: only while a rip runs (in a `when` step)");
    int at = static_cast<int>(
        SendDlgItemMessageA(run.progress, a[0] == "total" ? IDC_TOTAL_BAR : IDC_TRACK_BAR, PBM_GETPOS, 0, 0));
    return check(run, in_range(at, a[1]), a[0] + " bar at " + to_string(at) + ", expected " + a[1]);
}

// --- what the process holds, sampled round after round: none of it may add up ---

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
// what it was given; none of that may add up round after round. The
// allowances are below the rounds between those samples: one handle or
// GDI object lost a round shows.
struct Counter { const char* what; long (*count)(HANDLE); long allowance; };
const Counter kCounters[] = {{"kernel handles", count_handles, 1},
                             {"threads", count_threads, 0},
                             {"GDI objects (brushes, fonts, icon bitmaps)", count_gdi, 1},
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

const std::vector<Verb> kCheckVerbs = {
    {"expect boxes:", "t", expect_boxes},
    {"expect box", "t", expect_box},
    {"expect rows", "w", [](Run& r, Strings& a) {
         return main_window(r) && same(r, "rows", a[0], to_string(list_count(r.list)));
     }},
    {"expect row", "wt", expect_row},
    {"expect window", "t", [](Run& r, Strings& a) {
         HWND w = harness::wait_for_window(pid(r), a[0].c_str());
         return check(r, w && harness::wait_until([&] { return IsWindowVisible(w); }, 5000), "no window " + show(a[0]));
     }},
    {"expect closed", "t", [](Run& r, Strings& a) {
         HWND w = harness::wait_for_window(pid(r), a[0].c_str(), 0);
         return check(r, !w || harness::wait_gone(w, 5000), show(a[0]) + " is still open");
     }},
    {"expect requests:", "t", expect_requests},
    {"expect ticked", "w", expect_ticked},
    {"expect field", "wt", expect_field},
    {"expect status", "t", [](Run& r, Strings& a) { Strings b = {"status", a[0]}; return expect_field(r, b); }},
    {"expect no editor", "", [](Run& r, Strings&) {
         bool gone = main_window(r) && harness::wait_until([&] { return editor(r) == nullptr; }, 3000);
         return check(r, gone, "the title editor is still open");
     }},
    {"expect no file", "r", [](Run& r, Strings& a) {
         return check(r, !harness::file_exists(a[0]), show(a[0]) + " exists");
     }},
    {"expect limit", "ww", [](Run& r, Strings& a) {
         HWND c = control(r, a[0]);
         return !c || same(r, "text limit of " + a[0], a[1], to_string(SendMessageA(c, EM_GETLIMITTEXT, 0, 0)));
     }},
    {"expect state", "ww", expect_state},
    {"expect log", "wt", expect_log},
    {"expect log:", "t", expect_log_records},
    {"expect file", "r", expect_file},
    {"expect count", "pwT", expect_count},
    {"expect whole", "r", expect_whole},
    {"expect has", "pt", [](Run& r, Strings& a) {
         return check(r, harness::read_file(a[0]).find(a[1]) != std::string::npos, show(a[0]) + " lacks " + show(a[1]));
     }},
    {"expect text", "pt", [](Run& r, Strings& a) { return same(r, a[0], a[1], harness::read_file(a[0])); }},
    {"expect same", "pr", [](Run& r, Strings& a) {
         return same(r, a[0] + " against " + a[1], harness::read_file(a[1]), harness::read_file(a[0]));
     }},
    {"expect setting", "wt", expect_setting},
    {"expect bar", "ww", expect_bar},
    {"expect exit", "w", [](Run& r, Strings& a) {
         r.exit_checked = true;
         return same(r, "exit code", a[0], to_string(r.program.wait_exit(20000)));
     }},
    {"sample", "", sample},
    {"expect steady", "", expect_steady},
};

}  // namespace scenario
