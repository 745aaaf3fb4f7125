// The drive's read offset correction for a rip: the user's, the database's
// drive list's, or none.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/log.h"
#include "app/settings.h"
#include "app/whole_file.h"
#include "cdlib/cdlib.h"
#include "lookup/accuraterip.h"
#include "lookup/web.h"
#include "proof/accurate_rip_run.h"
#include "rip/rip_state.h"

namespace {

constexpr size_t kMaxDriveListBytes = 4 << 20;

// Fetches the drive list on a thread of its own and waits for it, but
// never past an Abort: a server that does not answer keeps only that thread
// (until its time-out), not the user. False when there is no answer.
bool fetch_drive_list(WebReply* reply, bool* stopped)
{
    auto fetch = web_fetch_start(kArHost, kArDriveListPath, false, kMaxDriveListBytes);
    if (!fetch) return false;
    g_log.print("asking %s for the drive list", kArHost);
    bool answered = false;
    while (!web_fetch_done(fetch, 100, reply, &answered)) {
        if (!rip_stopping()) continue;
        g_log.print("drive list: the rip was stopped before the answer");
        *stopped = true;
        return false;
    }
    return answered;
}

// The database's drive list: the copy beside the program, else fetched once
// a run and kept there when it is a good list.
bool load_drive_list(std::vector<ArDrive>* drives)
{
    static bool fetched = false;
    char path[kMaxPathBytes];
    if (snprintf(path, sizeof path, "%s\\DriveOffsets.bin", ProgramDirectory) >= static_cast<int>(sizeof path)) return false;
    std::string bytes, why;
    if (read_whole_file(path, kMaxDriveListBytes, &bytes)) {
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
