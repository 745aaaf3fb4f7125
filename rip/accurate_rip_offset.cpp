// The drive's read offset correction for a rip: the user's, the database's
// drive list's, or none.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/log.h"
#include "app/settings.h"
#include "cdlib/cdlib.h"
#include "lookup/accuraterip.h"
#include "lookup/web.h"
#include "rip/accurate_rip_run.h"
#include "rip/rip_state.h"

namespace {

constexpr size_t kMaxDriveListBytes = 4 << 20;

// One request for the drive list, shared with its thread, which may outlive
// the rip that asked (a server that does not answer).
struct ListFetch {
    HANDLE done = nullptr;
    WebReply reply;
    bool answered = false;
    ~ListFetch()
    {
        if (done) CloseHandle(done);
    }
};

DWORD WINAPI fetch_thread(LPVOID parameter)
{
    std::unique_ptr<std::shared_ptr<ListFetch>> holder(static_cast<std::shared_ptr<ListFetch>*>(parameter));
    ListFetch& fetch = **holder;
    fetch.answered = web_get(kArHost, kArDriveListPath, false, kMaxDriveListBytes, &fetch.reply, nullptr);
    SetEvent(fetch.done);
    return 0;
}

// Fetches the drive list on a thread of its own and waits for it, but
// never past an Abort: a server that does not answer keeps only that thread
// (until its time-out), not the user. False when there is no answer.
bool fetch_drive_list(WebReply* reply, bool* stopped)
{
    auto fetch = std::make_shared<ListFetch>();
    fetch->done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!fetch->done) return false;
    auto* holder = new std::shared_ptr<ListFetch>(fetch);
    HANDLE thread = CreateThread(nullptr, 0, fetch_thread, holder, 0, nullptr);
    if (!thread) {
        delete holder;
        return false;
    }
    CloseHandle(thread);
    g_log.print("asking %s for the drive list", kArHost);
    while (WaitForSingleObject(fetch->done, 100) == WAIT_TIMEOUT) {
        if (!rip_stopping()) continue;
        g_log.print("drive list: the rip was stopped before the answer");
        *stopped = true;
        return false;
    }
    *reply = fetch->reply;
    return fetch->answered;
}

bool read_file(const char* path, std::string* bytes)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    DWORD read = 0;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= static_cast<LONGLONG>(kMaxDriveListBytes);
    if (ok) bytes->resize(static_cast<size_t>(size.QuadPart));
    ok = ok && (bytes->empty() || (ReadFile(file, &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr) &&
                                   read == bytes->size()));
    CloseHandle(file);
    return ok;
}

// The database's drive list: the copy beside the program, else fetched once
// a run and kept there when it is a good list.
bool load_drive_list(std::vector<ArDrive>* drives)
{
    static bool fetched = false;
    char path[MAX_PATH];
    if (snprintf(path, sizeof path, "%s\\DriveOffsets.bin", ProgramDirectory) >= static_cast<int>(sizeof path)) return false;
    std::string bytes, why;
    if (read_file(path, &bytes)) {
        if (ar_parse_drive_list(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), drives, &why)) return true;
        g_log.print("%s: %s", path, why.c_str());
    }
    if (fetched) return false;
    WebReply reply;
    bool stopped = false;
    bool answered = fetch_drive_list(&reply, &stopped);
    fetched = !stopped;  // a rip stopped while waiting leaves the question to the next
    if (stopped) return false;
    if (!answered || reply.status != 200 || reply.too_big) {
        g_log.print("drive list: no answer (status %lu, error %lu)", reply.status, reply.error);
        return false;
    }
    if (!ar_parse_drive_list(reinterpret_cast<const uint8_t*>(reply.body.data()), reply.body.size(), drives, &why)) {
        g_log.print("drive list: %s", why.c_str());
        return false;
    }
    replace_file(path, reply.body);
    return true;
}

}  // namespace

ReadOffsetChoice apply_read_offset(int drive)
{
    ReadOffsetChoice choice;
    const char* vendor = "";
    const char* product = "";
    CDLIB_GetDriveModel(static_cast<CDLIB_DWORD>(drive), &vendor, &product);
    choice.vendor = vendor;
    choice.product = product;
    std::vector<ArDrive> drives;
    if (read_offset_setting(&choice.samples)) {
        choice.source = OffsetSource::kSetting;
    } else if (g_accuraterip_check && (vendor[0] || product[0]) && load_drive_list(&drives) &&
               ar_find_drive_offset(drives, vendor, product, &choice.samples)) {
        choice.source = OffsetSource::kDriveList;
    }
    if (!CDLIB_SetReadOffset(static_cast<CDLIB_DWORD>(drive), choice.samples)) {
        choice.samples = 0;
        choice.source = OffsetSource::kNone;
    }
    const char* sources[] = {"none known", "settings.ini", "the AccurateRip drive list"};
    g_log.print("read offset correction: %+d samples (%s)", choice.samples, sources[static_cast<int>(choice.source)]);
    return choice;
}
