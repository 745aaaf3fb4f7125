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
    ~WindowsCdDevice() override { close(); }

    bool describe(char* text, size_t size) override
    {
        STORAGE_PROPERTY_QUERY query = {};
        query.PropertyId = StorageDeviceProperty;
        query.QueryType = PropertyStandardQuery;
        std::vector<uint8_t> buffer(1024);
        DWORD returned = 0;
        if (!control(IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer.data(), buffer.size(), &returned) ||
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
        bool ready = control(IOCTL_STORAGE_CHECK_VERIFY2, nullptr, 0, &count, sizeof count, &returned);
        *changes = returned == sizeof count ? count : 0;
        return ready;
    }

    bool read_toc(std::vector<uint8_t>* bytes) override
    {
        CDROM_TOC toc = {};
        DWORD returned = 0;
        if (!control(IOCTL_CDROM_READ_TOC, nullptr, 0, &toc, sizeof toc, &returned)) return false;
        bytes->assign(reinterpret_cast<uint8_t*>(&toc), reinterpret_cast<uint8_t*>(&toc) + returned);
        return true;
    }

    bool read_cdtext(std::vector<uint8_t>* bytes) override
    {
        CDROM_READ_TOC_EX request = {};
        request.Format = CDROM_READ_TOC_EX_FORMAT_CDTEXT;
        std::vector<uint8_t> buffer(65536);
        DWORD returned = 0;
        if (!control(IOCTL_CDROM_READ_TOC_EX, &request, sizeof request, buffer.data(), buffer.size(), &returned))
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
        return control(IOCTL_CDROM_RAW_READ, &info, sizeof info, out, count * 2352, &returned) && returned == count * 2352;
    }

    uint32_t max_sectors_per_read() override { return 26; }  // just under 64 KB, which every drive takes

private:
    // One device request. A handle that a media change has made stale (or
    // that no longer reaches the drive) fails until it is opened again, so
    // such a failure is tried once more through a fresh handle.
    bool control(DWORD code, void* in, size_t in_size, void* out, size_t out_size, DWORD* returned)
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (open() && DeviceIoControl(handle_, code, in, static_cast<DWORD>(in_size), out, static_cast<DWORD>(out_size),
                                          returned, nullptr))
                return true;
            DWORD error = GetLastError();
            if (error != ERROR_MEDIA_CHANGED && error != ERROR_INVALID_HANDLE && error != ERROR_DEV_NOT_EXIST &&
                error != ERROR_DEVICE_NOT_CONNECTED && handle_ != INVALID_HANDLE_VALUE)
                return false;
            close();
        }
        return false;
    }

    bool open()
    {
        if (handle_ != INVALID_HANDLE_VALUE) return true;
        char path[16];
        snprintf(path, sizeof path, "\\\\.\\%c:", 'A' + letter_);
        handle_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        return handle_ != INVALID_HANDLE_VALUE;
    }
    void close()
    {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    int letter_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
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
    // CD-TEXT again, which can cost a drive a spin-up each.
    bool known = false;
    uint32_t changes = 0;
    Toc toc;
    CdText text;
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
        if (!drive->device->describe(name.description, sizeof name.description))
            snprintf(name.description, sizeof name.description, "CD drive");
        name.letter = letters[i];
        g_drives.push_back(std::move(drive));
    }
    return static_cast<int>(g_drives.size());
}

int backend_read_disc(int index, Toc* toc, CdText* text)
{
    OpticalDrive* drive = drive_at(index);
    if (!drive) return CDLIB_ERROR_DEVICE;
    std::lock_guard<std::mutex> lock(drive->lock);
    uint32_t changes = 0;
    if (!drive->device->check_ready(&changes)) {
        drive->known = false;
        return CDLIB_ERROR_NOCD;
    }
    if (!drive->known || changes == 0 || changes != drive->changes) {
        drive->known = false;
        std::vector<uint8_t> bytes;
        if (!drive->device->read_toc(&bytes) || !parse_toc_bytes(bytes.data(), bytes.size(), &drive->toc))
            return CDLIB_ERROR_NOCD;
        drive->text = CdText();
        if (drive->device->read_cdtext(&bytes)) drive->text = parse_cdtext(bytes.data(), bytes.size());
        drive->known = true;
        drive->changes = changes;
    }
    *toc = drive->toc;
    *text = drive->text;
    return CDLIB_OK;
}

int backend_read_audio(int index, uint32_t first, uint32_t count, uint8_t* out, uint32_t* silenced)
{
    OpticalDrive* drive = drive_at(index);
    if (!drive) return CDLIB_ERROR_DEVICE;
    std::lock_guard<std::mutex> lock(drive->lock);
    CdDevice& device = *drive->device;
    // A disc changed since it was read is not the one the stream plays.
    uint32_t changes = 0;
    if (!device.check_ready(&changes) || !drive->known || changes != drive->changes) return CDLIB_ERROR_NOCD;
    uint32_t step = device.max_sectors_per_read();
    if (step == 0) step = 1;
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < step ? count - done : step;
        uint8_t* target = out + static_cast<size_t>(done) * kSectorBytes;
        if (!device.read_audio(first + done, n, target)) {
            // Smaller requests, then every sector on its own, a few times.
            for (uint32_t s = 0; s < n; ++s) {
                bool ok = false;
                for (int attempt = 0; attempt < kReadAttempts && !ok; ++attempt)
                    ok = device.read_audio(first + done + s, 1, target + static_cast<size_t>(s) * kSectorBytes);
                if (!ok) {
                    if (!device.check_ready(&changes)) return CDLIB_ERROR_NOCD;  // the disc is gone, not just scratched
                    memset(target + static_cast<size_t>(s) * kSectorBytes, 0, kSectorBytes);
                    ++*silenced;
                }
            }
        }
        done += n;
    }
    return CDLIB_OK;
}

int backend_read_speed(int)
{
    return 0;
}
