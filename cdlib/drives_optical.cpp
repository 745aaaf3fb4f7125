// Drive back end of the production program: the CD-ROM drives of the
// machine, read through their device interface (TOC, CD-TEXT, raw CDDA).
#include <windows.h>
#include <winioctl.h>
#include <ntddcdrm.h>
#include <ntddstor.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "cdlib/cdlib.h"
#include "cdlib/drives.h"
#include "cdlib/optical_device.h"

namespace {

constexpr int kReadAttempts = 3;  // per sector, once a request has failed

// ---- the system's drives ---------------------------------------------------

class WindowsCdDevice : public CdDevice {
public:
    explicit WindowsCdDevice(int letter) : letter_(letter) {}
    ~WindowsCdDevice() override { reopen(); }

    bool describe(char* text, size_t size, char* vendor, char* product, size_t part_size) override
    {
        STORAGE_PROPERTY_QUERY query = {};
        query.PropertyId = StorageDeviceProperty;
        query.QueryType = PropertyStandardQuery;
        std::vector<uint8_t> buffer(1024);
        DWORD returned = 0;
        if (!control(check_, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer.data(), buffer.size(), &returned) ||
            returned < sizeof(STORAGE_DEVICE_DESCRIPTOR))
            return false;
        auto* descriptor = reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(buffer.data());
        auto field = [&](DWORD offset) -> std::string {
            if (offset == 0 || offset >= returned) return std::string();
            std::string s(reinterpret_cast<char*>(buffer.data()) + offset, strnlen(reinterpret_cast<char*>(buffer.data()) + offset, returned - offset));
            while (!s.empty() && s.back() == ' ') s.pop_back();
            while (!s.empty() && s.front() == ' ') s.erase(0, 1);
            return s;
        };
        std::string all = field(descriptor->VendorIdOffset);
        snprintf(vendor, part_size, "%s", all.c_str());
        snprintf(product, part_size, "%s", field(descriptor->ProductIdOffset).c_str());
        for (DWORD offset : {descriptor->ProductIdOffset, descriptor->ProductRevisionOffset}) {
            std::string part = field(offset);
            if (!part.empty()) all += (all.empty() ? "" : " ") + part;
        }
        snprintf(text, size, "%s", all.empty() ? "CD drive" : all.c_str());
        return true;
    }

    bool check_ready(uint32_t* changes) override
    {
        ULONG count = 0;
        DWORD returned = 0;
        if (control(check_, IOCTL_STORAGE_CHECK_VERIFY2, nullptr, 0, &count, sizeof count, &returned) &&
            returned == sizeof count) {
            *changes = count;
            return true;
        }
        // A drive that keeps no count, or will not tell it: whether a disc is in at all.
        returned = 0;
        bool ready = control(read_, IOCTL_STORAGE_CHECK_VERIFY, nullptr, 0, &count, sizeof count, &returned);
        *changes = ready && returned == sizeof count ? count : 0;
        return ready;
    }

    bool read_toc(std::vector<uint8_t>* bytes) override
    {
        CDROM_TOC toc = {};
        DWORD returned = 0;
        if (!control(read_, IOCTL_CDROM_READ_TOC, nullptr, 0, &toc, sizeof toc, &returned)) return false;
        bytes->assign(reinterpret_cast<uint8_t*>(&toc), reinterpret_cast<uint8_t*>(&toc) + returned);
        return true;
    }

    bool read_cdtext(std::vector<uint8_t>* bytes) override
    {
        CDROM_READ_TOC_EX request = {};
        request.Format = CDROM_READ_TOC_EX_FORMAT_CDTEXT;
        std::vector<uint8_t> buffer(65536);
        DWORD returned = 0;
        if (!control(read_, IOCTL_CDROM_READ_TOC_EX, &request, sizeof request, buffer.data(), buffer.size(), &returned))
            return false;
        buffer.resize(returned);
        *bytes = buffer;
        return true;
    }

    bool read_audio(uint32_t first, uint32_t count, uint8_t* out) override
    {
        RAW_READ_INFO info = {};
        info.DiskOffset.QuadPart = static_cast<LONGLONG>(first) * 2048;
        info.SectorCount = count;
        info.TrackMode = CDDA;
        DWORD returned = 0;
        return control(read_, IOCTL_CDROM_RAW_READ, &info, sizeof info, out, count * 2352, &returned, false) &&
               returned == count * 2352;
    }

    uint32_t max_sectors_per_read() override { return 26; }  // just under 64 KB, which every drive takes

    void reopen() override
    {
        close(read_);
        close(check_);
    }

private:
    struct Handle {
        DWORD access;
        HANDLE handle = INVALID_HANDLE_VALUE;
    };

    // One device request. A handle can go stale (a media change, another
    // program that saw the new disc first) and then fails, with whatever
    // error, until it is opened again: so a failure is tried once more
    // through a fresh handle, unless `fresh_retry` is false (a sector that
    // will not read fails as well through any handle; its retries reopen).
    bool control(Handle& h, DWORD code, void* in, size_t in_size, void* out, size_t out_size, DWORD* returned,
                 bool fresh_retry = true)
    {
        for (int attempt = 0; attempt < (fresh_retry ? 2 : 1); ++attempt) {
            if (open(h) && DeviceIoControl(h.handle, code, in, static_cast<DWORD>(in_size), out, static_cast<DWORD>(out_size),
                                           returned, nullptr))
                return true;
            if (fresh_retry) close(h);
        }
        return false;
    }

    bool open(Handle& h)
    {
        if (h.handle != INVALID_HANDLE_VALUE) return true;
        char path[16];
        snprintf(path, sizeof path, "\\\\.\\%c:", 'A' + letter_);
        h.handle = CreateFileA(path, h.access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        return h.handle != INVALID_HANDLE_VALUE;
    }
    static void close(Handle& h)
    {
        if (h.handle != INVALID_HANDLE_VALUE) CloseHandle(h.handle);
        h.handle = INVALID_HANDLE_VALUE;
    }

    int letter_;
    // The media check wants a handle opened for its attributes alone (no
    // file system is mounted for it, so it answers fast); reading wants
    // read access.
    Handle check_{FILE_READ_ATTRIBUTES};
    Handle read_{GENERIC_READ};
};

int list_system_drives(int* letters, int max)
{
    DWORD mask = GetLogicalDrives();
    int count = 0;
    for (int letter = 0; letter < 26 && count < max; ++letter) {
        if (!(mask & (1u << letter))) continue;
        char root[4] = {static_cast<char>('A' + letter), ':', '\\', '\0'};
        if (GetDriveTypeA(root) == DRIVE_CDROM) letters[count++] = letter;
    }
    return count;
}


// ---- the back end ----------------------------------------------------------

struct OpticalDrive {
    std::unique_ptr<CdDevice> device;
    std::mutex lock;  // one request at a time per drive, and guards the disc below
    // The disc as last read, kept until the drive reports a media change or
    // no disc: every query of a refresh would otherwise read the TOC and
    // CD-TEXT again, which can cost a drive a spin-up each. A drive that
    // keeps no media-change count is read again at every query.
    bool known = false;
    uint32_t changes = 0;
    std::vector<uint8_t> toc_bytes;
    Toc toc;
    CdText text;
    bool text_failed = false;  // no CD-TEXT answer for this disc yet: asked again when wanted
};

std::mutex g_mutex;
std::vector<std::unique_ptr<OpticalDrive>> g_drives;

OpticalDrive* drive_at(int index)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (index < 0 || static_cast<size_t>(index) >= g_drives.size()) return nullptr;
    return g_drives[index].get();
}

}  // namespace

int backend_list_drives(DriveName* drives, int max)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    int letters[26];
    int count = list_system_drives(letters, max < 26 ? max : 26);
    g_drives.clear();
    for (int i = 0; i < count; ++i) {
        auto drive = std::make_unique<OpticalDrive>();
        drive->device.reset(new WindowsCdDevice(letters[i]));
        DriveName& name = drives[g_drives.size()];
        name.vendor[0] = name.product[0] = '\0';
        if (!drive->device->describe(name.description, sizeof name.description, name.vendor, name.product, sizeof name.vendor))
            snprintf(name.description, sizeof name.description, "CD drive");
        name.letter = letters[i];
        g_drives.push_back(std::move(drive));
    }
    return static_cast<int>(g_drives.size());
}

int backend_read_disc(int index, Toc* toc, CdText* text, bool text_wanted)
{
    OpticalDrive* drive = drive_at(index);
    if (!drive) return CDLIB_ERROR_DEVICE;
    std::lock_guard<std::mutex> lock(drive->lock);
    uint32_t changes = 0;
    if (!drive->device->check_ready(&changes)) {
        drive->known = false;
        return CDLIB_ERROR_NOCD;
    }
    bool fresh = !drive->known || changes == 0 || changes != drive->changes;
    if (fresh) {
        drive->known = false;
        if (!drive->device->read_toc(&drive->toc_bytes) ||
            !parse_toc_bytes(drive->toc_bytes.data(), drive->toc_bytes.size(), &drive->toc))
            return CDLIB_ERROR_NOCD;
        drive->text = CdText();
        drive->text_failed = true;
        drive->known = true;
        drive->changes = changes;
    }
    std::vector<uint8_t> bytes;
    if (drive->text_failed && (fresh || text_wanted) && drive->device->read_cdtext(&bytes)) {
        drive->text = parse_cdtext(bytes.data(), bytes.size());
        drive->text_failed = false;
    }
    *toc = drive->toc;
    *text = drive->text;
    return CDLIB_OK;
}

namespace {

constexpr DWORD kRetryMs = 4000;  // the retries of one read-ahead; past it each sector gets one try

// The disc read when the stream was made is still in: the same media-change
// count, or when the drive gives none, the same table of contents.
bool same_disc(OpticalDrive* drive)
{
    uint32_t changes = 0;
    if (!drive->device->check_ready(&changes) || !drive->known) return false;
    if (changes != 0) return changes == drive->changes;
    std::vector<uint8_t> bytes;
    return drive->device->read_toc(&bytes) && bytes == drive->toc_bytes;
}

// `n` sectors from `first`: one request, and when the drive refuses it,
// every sector alone through a fresh handle: once, and again while the
// read-ahead's retry time lasts. Sectors left unread are silence, unless
// the disc is gone. The stop check is asked before every request.
int read_request(OpticalDrive* drive, uint32_t first, uint32_t n, uint8_t* out, DWORD began, uint32_t* silenced)
{
    CdDevice& device = *drive->device;
    if (cdlib_stop_asked()) return CDLIB_ERROR_STOPPED;
    if (device.read_audio(first, n, out)) return CDLIB_OK;
    device.reopen();
    uint32_t unread = 0;
    for (uint32_t s = 0; s < n; ++s) {
        uint8_t* sector = out + static_cast<size_t>(s) * kSectorBytes;
        bool ok = false;
        for (int attempt = 0; attempt < kReadAttempts && !ok && (attempt == 0 || GetTickCount() - began < kRetryMs); ++attempt) {
            if (cdlib_stop_asked()) return CDLIB_ERROR_STOPPED;
            ok = device.read_audio(first + s, 1, sector);
        }
        if (!ok) memset(sector, 0, kSectorBytes), cdlib_note_unread(first + s);
        unread += ok ? 0 : 1;
    }
    if (unread && !same_disc(drive)) return CDLIB_ERROR_NOCD;  // the disc is gone, not just scratched
    *silenced += unread;
    return CDLIB_OK;
}

}  // namespace

int backend_read_audio(int index, uint32_t first, uint32_t count, uint8_t* out, uint32_t* silenced)
{
    OpticalDrive* drive = drive_at(index);
    if (!drive) return CDLIB_ERROR_DEVICE;
    std::lock_guard<std::mutex> lock(drive->lock);
    // A disc changed since it was read is not the one the stream plays.
    if (!same_disc(drive)) return CDLIB_ERROR_NOCD;
    uint32_t step = drive->device->max_sectors_per_read();
    if (step == 0) step = 1;
    DWORD began = GetTickCount();
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < step ? count - done : step;
        int error = read_request(drive, first + done, n, out + static_cast<size_t>(done) * kSectorBytes, began, silenced);
        if (error != CDLIB_OK) return error;
        done += n;
    }
    return CDLIB_OK;
}

int backend_read_speed(int)
{
    return 0;
}

// The drive's sub-channel is not read yet: the program goes by the table of
// contents alone, as before.
int backend_read_q(int, uint32_t, uint8_t*) { return CDLIB_ERROR_NOTAVAIL; }
int backend_read_codes(int, int, std::string*, std::string*) { return CDLIB_ERROR_NOTAVAIL; }
