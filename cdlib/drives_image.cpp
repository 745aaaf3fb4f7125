// Drive back end of the simulation build: every cue sheet in the folder
// "discs" beside the program is a drive with that disc in it. A sheet that
// cannot be read, or whose files are missing, is a drive without a disc.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cdlib/cdlib.h"
#include "cdlib/cue.h"
#include "cdlib/drives.h"
#include "cdlib/image_layout.h"
#include "cdlib/qsub.h"
#include "cdlib/text_utf8.h"

namespace {

constexpr DWORD kMaxCueBytes = 1 << 20;
constexpr DWORD kMaxCdTextBytes = 1 << 20;
constexpr int kFirstLetter = 3;  // D:

// Files kept open between reads of one drive; a file whose name has gone
// (renamed or deleted) counts as gone although the handle could still read.
struct OpenFiles {
    std::vector<std::string> paths;
    std::vector<HANDLE> handles;

    void close_all()
    {
        for (HANDLE h : handles) {
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
        handles.clear();
        paths.clear();
    }
};

struct ImageDrive {
    std::string cue_path;
    std::string folder;           // where the cue sheet lies
    // The last disc read from the sheet, kept for the reads of audio.
    FILETIME cue_time = {};
    ULONGLONG cue_size = 0;
    bool loaded = false;
    ImageLayout layout;
    CdText text;
    std::string catalog;          // CATALOG and each track's ISRC, as the sheet writes them
    std::vector<std::string> isrcs;
    std::vector<std::string> files;
    int speed = 0;
    int delay_ms = 0;
    int offset = 0;               // reads as a drive whose correction is +offset samples
    uint32_t head = 0;            // the sector after the last one read (the throttled drive's place)
    uint64_t owed_us = 0;         // time of the throttled drive's moves not yet waited for
    std::string last_problem;     // logged once until it changes
    uint64_t generation = 0;      // counts the loads of the sheet
    // Used by audio reads only, under read_lock:
    OpenFiles open;
    ImageLayout read_layout;
    std::vector<std::string> read_files;
    int read_offset = 0;
    uint64_t read_generation = ~0ull;
    std::mutex read_lock;
};

std::mutex g_mutex;
std::vector<std::unique_ptr<ImageDrive>> g_drives;

// A drive throttled to a speed (REM SPEED) also takes its time to move: a
// sector away from the one after the last read costs a seek, 20 ms to
// settle and let the sector come round plus up to 130 ms across a full
// disc (about 60 ms over a third of it, as drives state their average
// access), then the sectors' own time at that speed. Returns the
// milliseconds to wait now for a read of `count` sectors at `sector`
// (what is under a millisecond is owed to the next).
DWORD time_to_read(ImageDrive& drive, uint32_t sector, uint32_t count)
{
    if (drive.speed <= 0) return 0;
    constexpr uint64_t kSettleUs = 20000, kStrokeUs = 130000, kFullDisc = 360000;
    if (sector != drive.head) {
        uint64_t distance = sector > drive.head ? sector - drive.head : drive.head - sector;
        drive.owed_us += kSettleUs + kStrokeUs * std::min<uint64_t>(distance, kFullDisc) / kFullDisc;
    }
    drive.owed_us += static_cast<uint64_t>(count) * 1000000 / (75 * static_cast<uint64_t>(drive.speed));
    drive.head = sector + count;
    DWORD ms = static_cast<DWORD>(drive.owed_us / 1000);
    drive.owed_us %= 1000;
    return ms;
}

std::string program_folder()
{
    char path[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p(path, n);
    size_t slash = p.find_last_of('\\');
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
}

bool read_whole_file(const std::string& path, DWORD limit, std::string* bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= limit;
    if (ok) {
        bytes->resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ok = bytes->empty() || (ReadFile(file, &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr) &&
                                read == bytes->size());
    }
    CloseHandle(file);
    return ok;
}

std::string resolve(const std::string& folder, const std::string& name)
{
    bool absolute = (name.size() > 1 && name[1] == ':') || (!name.empty() && (name[0] == '\\' || name[0] == '/'));
    return absolute ? name : folder + "\\" + name;
}

// Size and sample layout of one file of the sheet.
bool inspect_file(const std::string& path, CueFileType type, ImageFileInfo* info, std::string* problem)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *problem = "missing file " + path;
        return false;
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    info->data_offset = 0;
    info->data_bytes = static_cast<uint64_t>(size.QuadPart);
    bool ok = true;
    if (type == CueFileType::Wave) {
        std::vector<uint8_t> header(65536);
        DWORD read = 0;
        ReadFile(file, header.data(), static_cast<DWORD>(header.size()), &read, nullptr);
        WaveLayout wave;
        std::string why;
        ok = parse_wave_header(header.data(), read, info->data_bytes, &wave, &why);
        if (ok) {
            info->data_offset = wave.data_offset;
            info->data_bytes = wave.data_bytes;
        } else {
            *problem = path + ": " + why;
        }
    }
    CloseHandle(file);
    return ok;
}

CdText text_from_sheet(const CueSheet& sheet)
{
    CdText text;
    text.titles[0] = sheet.title;
    text.has_title[0] = sheet.has_title;
    text.performers[0] = sheet.performer;
    text.has_performer[0] = sheet.has_performer;
    for (const CueTrack& track : sheet.tracks) {
        if (track.number < 1 || track.number > 99) continue;
        text.titles[track.number] = track.title;
        text.has_title[track.number] = track.has_title;
        text.performers[track.number] = track.performer;
        text.has_performer[track.number] = track.has_performer;
    }
    bool utf8 = true;
    for (int i = 0; i < 100; ++i) {
        text.present = text.present || text.has_title[i] || text.has_performer[i];
        utf8 = utf8 && is_valid_utf8(text.titles[i]) && is_valid_utf8(text.performers[i]);
    }
    text.character_code = utf8 ? kCdTextUtf8 : kCdTextAnsi;  // a sheet in UTF-8, or one of old
    return text;
}

// Reads the sheet and its files again. Called with g_mutex held; returns
// the delay the query must take, or -1 when there is no disc.
int load_disc(ImageDrive& drive, std::string* problem)
{
    std::string cue;
    if (!read_whole_file(drive.cue_path, kMaxCueBytes, &cue)) {
        *problem = "cannot read the cue sheet (missing, unreadable or over 1 MB)";
        return -1;
    }
    CueSheet sheet;
    std::string why;
    if (!parse_cue(cue.data(), cue.size(), &sheet, &why)) {
        *problem = "bad cue sheet: " + why;
        return -1;
    }
    std::vector<ImageFileInfo> infos(sheet.files.size());
    std::vector<std::string> paths;
    for (size_t i = 0; i < sheet.files.size(); ++i) {
        paths.push_back(resolve(drive.folder, sheet.files[i].name));
        if (!inspect_file(paths.back(), sheet.files[i].type, &infos[i], problem)) return -1;
    }
    ImageLayout layout;
    if (!build_image_layout(sheet, infos, &layout, &why)) {
        *problem = "bad cue sheet: " + why;
        return -1;
    }
    CdText text = text_from_sheet(sheet);
    if (!sheet.cdtext_file.empty()) {
        std::string packs;
        if (!read_whole_file(resolve(drive.folder, sheet.cdtext_file), kMaxCdTextBytes, &packs)) {
            *problem = "cannot read CD-TEXT file " + sheet.cdtext_file;
            return -1;
        }
        text = parse_cdtext(reinterpret_cast<const uint8_t*>(packs.data()), packs.size());
    }
    drive.layout = layout;
    drive.text = text;
    drive.catalog = sheet.catalog;
    drive.isrcs.clear();
    for (const CueTrack& track : sheet.tracks) drive.isrcs.push_back(track.isrc);
    drive.files = paths;
    drive.speed = sheet.speed;
    drive.delay_ms = sheet.delay_ms;
    drive.offset = sheet.offset;
    drive.loaded = true;
    ++drive.generation;
    return sheet.delay_ms;
}

struct ReadContext {
    const std::vector<std::string>* files;
    OpenFiles* open;
};

bool read_file_bytes(void* context, int file, uint64_t offset, void* buffer, uint32_t bytes)
{
    auto* ctx = static_cast<ReadContext*>(context);
    if (file < 0 || static_cast<size_t>(file) >= ctx->files->size()) return false;
    const std::string& path = (*ctx->files)[file];
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    OpenFiles& open = *ctx->open;
    if (open.paths != *ctx->files) {
        open.close_all();
        open.paths = *ctx->files;
        open.handles.assign(open.paths.size(), INVALID_HANDLE_VALUE);
    }
    HANDLE& handle = open.handles[file];
    if (handle == INVALID_HANDLE_VALUE) {
        handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return false;
    }
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!ReadFile(handle, buffer, bytes, &read, &at) && GetLastError() != ERROR_HANDLE_EOF) return false;
    // A file that ends inside its last sector: the rest is silence.
    if (read < bytes) memset(static_cast<uint8_t*>(buffer) + read, 0, bytes - read);
    return true;
}

// The sectors as a drive whose correction is +offset samples gives them:
// at sample position p the disc's sample p - offset, silence beyond the disc.
bool read_shifted(const ImageLayout& layout, int offset, uint32_t first, uint32_t count, uint8_t* out, ReadContext* context)
{
    if (offset == 0) return read_image_sectors(layout, first, count, out, read_file_bytes, context);
    int64_t begin = static_cast<int64_t>(first) * kSectorBytes - 4 * static_cast<int64_t>(offset);
    int64_t end = begin + static_cast<int64_t>(count) * kSectorBytes;
    int64_t from = std::max<int64_t>(begin, 0), to = std::min<int64_t>(end, static_cast<int64_t>(layout.toc.leadout) * kSectorBytes);
    memset(out, 0, static_cast<size_t>(count) * kSectorBytes);
    if (from >= to) return true;
    uint32_t sector = static_cast<uint32_t>(from / kSectorBytes);
    uint32_t sectors = static_cast<uint32_t>((to + kSectorBytes - 1) / kSectorBytes) - sector;
    std::vector<uint8_t> bytes(static_cast<size_t>(sectors) * kSectorBytes);
    if (!read_image_sectors(layout, sector, sectors, bytes.data(), read_file_bytes, context)) return false;
    memcpy(out + (from - begin), bytes.data() + (from - static_cast<int64_t>(sector) * kSectorBytes), static_cast<size_t>(to - from));
    return true;
}

}  // namespace

int backend_list_drives(DriveName* drives, int max)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    std::string folder = program_folder() + "\\discs";
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.cue").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());  // byte order
    g_drives.clear();
    int count = 0;
    for (const std::string& name : names) {
        if (count >= max) break;
        auto drive = std::make_unique<ImageDrive>();
        drive->cue_path = folder + "\\" + name;
        drive->folder = folder;
        g_drives.push_back(std::move(drive));
        std::string description = name.substr(0, name.size() - 4);
        snprintf(drives[count].description, sizeof drives[count].description, "%s", description.c_str());
        drives[count].letter = kFirstLetter + count;
        drives[count].vendor[0] = drives[count].product[0] = '\0';
        ++count;
    }
    return count;
}

int backend_read_disc(int index, Toc* toc, CdText* text, bool)
{
    int delay;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (index < 0 || static_cast<size_t>(index) >= g_drives.size()) return CDLIB_ERROR_DEVICE;
        ImageDrive& drive = *g_drives[index];
        std::string problem;
        delay = load_disc(drive, &problem);
        if (delay < 0) {
            drive.loaded = false;
            if (problem != drive.last_problem) {
                cdlib_log("disc image %s: %s", drive.cue_path.c_str(), problem.c_str());
                drive.last_problem = problem;
            }
            return CDLIB_ERROR_NOCD;
        }
        drive.last_problem.clear();
        *toc = drive.layout.toc;
        *text = drive.text;
    }
    if (delay > 0) Sleep(static_cast<DWORD>(delay));  // a drive that has to spin up
    return CDLIB_OK;
}

int backend_read_audio(int index, uint32_t first, uint32_t count, uint8_t* out, uint32_t* silenced)
{
    ImageDrive* drive;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (index < 0 || static_cast<size_t>(index) >= g_drives.size() || !g_drives[index]->loaded) return CDLIB_ERROR_NOCD;
        drive = g_drives[index].get();
    }
    (void)silenced;  // an image has no unreadable sectors: a file either reads or is gone
    std::lock_guard<std::mutex> read_lock(drive->read_lock);
    // The layout the last disc query found; copied only when it changed.
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (drive->read_generation != drive->generation) {
            drive->read_layout = drive->layout;
            drive->read_files = drive->files;
            drive->read_offset = drive->offset;
            drive->read_generation = drive->generation;
        }
        drive->head = first + count;  // its time is the stream's to pace
    }
    ReadContext context = {&drive->read_files, &drive->open};
    if (!read_shifted(drive->read_layout, drive->read_offset, first, count, out, &context)) {
        drive->open.close_all();
        return CDLIB_ERROR_NOCD;
    }
    return CDLIB_OK;
}

int backend_read_speed(int index)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (index < 0 || static_cast<size_t>(index) >= g_drives.size()) return 0;
    return g_drives[index]->speed;
}

int backend_read_q(int index, uint32_t sector, uint8_t q[16])
{
    DWORD wait;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (index < 0 || static_cast<size_t>(index) >= g_drives.size() || !g_drives[index]->loaded) return CDLIB_ERROR_NOCD;
        ImageDrive& drive = *g_drives[index];
        const ImageLayout& layout = drive.layout;
        if (sector >= layout.toc.leadout) return CDLIB_ERROR_ILLPARAM;
        ImagePosition at = image_position(layout, sector);
        make_q_position(q, layout.toc.tracks[at.track].control, layout.toc.first + at.track, at.index, at.relative,
                        static_cast<int32_t>(sector));
        wait = time_to_read(drive, sector, 1);
    }
    if (wait) Sleep(wait);
    return CDLIB_OK;
}

// A throttled drive finds a track's ISRC by going to the track and reading
// on until its frame comes (within 100 sectors); the catalogue number
// wherever it is.
int backend_read_codes(int index, int track, std::string* catalog, std::string* isrc)
{
    DWORD wait;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (index < 0 || static_cast<size_t>(index) >= g_drives.size() || !g_drives[index]->loaded) return CDLIB_ERROR_NOCD;
        ImageDrive& drive = *g_drives[index];
        *catalog = drive.catalog;
        bool known = track >= 0 && static_cast<size_t>(track) < drive.isrcs.size();
        *isrc = known ? drive.isrcs[track] : "";
        uint32_t start = track >= 0 && track < drive.layout.toc.count ? drive.layout.toc.tracks[track].start : drive.head;
        wait = time_to_read(drive, start, 100);
    }
    if (wait) Sleep(wait);
    return CDLIB_OK;
}

// An image tells nothing of a drive: no C2 pointers, no cache.
int backend_drive_info(int index, CDLIB_DRIVEINFO* info)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (index < 0 || static_cast<size_t>(index) >= g_drives.size()) return CDLIB_ERROR_DEVICE;
    *info = CDLIB_DRIVEINFO();
    return CDLIB_OK;
}
