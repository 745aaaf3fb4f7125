// Drive back end of the production program: the CD-ROM drives of the
// machine, read through their device interface (TOC, CD-TEXT, raw CDDA).
#include <windows.h>
#include <winioctl.h>
#include <ntddcdrm.h>
#include <ntddscsi.h>
#include <ntddstor.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "cdlib/cdlib.h"
#include "cdlib/drives.h"
#include "cdlib/optical_device.h"
#include "cdlib/optical_reads.h"
#include "cdlib/qsub.h"

namespace {

constexpr int kReadAttempts = 3;  // per sector, once a request has failed

// SCSI pass-through: the request, the drive's sense data, then the data
// (one buffer, as IOCTL_SCSI_PASS_THROUGH takes it); every command here
// moves far less than the 64 KiB any adapter takes.
constexpr size_t kSenseBytes = 32;
constexpr size_t kScsiDataOffset = (sizeof(SCSI_PASS_THROUGH) + kSenseBytes + 7) / 8 * 8;
constexpr size_t kScsiMaxData = 65536 - kScsiDataOffset;
constexpr ULONG kScsiTimeoutSeconds = 20;

// The request for a command whose data comes in, into `buffer`
// (kScsiDataOffset + `size` bytes), its sense data zeroed.
void prepare_request(uint8_t* buffer, const uint8_t* cdb, size_t cdb_size, size_t size)
{
    memset(buffer, 0, kScsiDataOffset);
    auto* request = reinterpret_cast<SCSI_PASS_THROUGH*>(buffer);
    request->Length = sizeof *request;
    request->CdbLength = static_cast<UCHAR>(cdb_size);
    request->SenseInfoLength = kSenseBytes;
    request->SenseInfoOffset = sizeof *request;
    request->DataIn = SCSI_IOCTL_DATA_IN;
    request->DataTransferLength = static_cast<ULONG>(size);
    request->TimeOutValue = kScsiTimeoutSeconds;
    request->DataBufferOffset = kScsiDataOffset;
    memcpy(request->Cdb, cdb, cdb_size);
}

// Whether the command ended in CHECK CONDITION with the sense key UNIT
// ATTENTION (sense data in fixed or descriptor format).
bool unit_attention(const uint8_t* buffer)
{
    auto* request = reinterpret_cast<const SCSI_PASS_THROUGH*>(buffer);
    if (request->ScsiStatus != 2 || request->SenseInfoLength < 3) return false;
    const uint8_t* sense = buffer + sizeof *request;  // where prepare_request put it
    int code = sense[0] & 0x7F;
    int key = code == 0x70 || code == 0x71 ? sense[2] & 0x0F : code == 0x72 || code == 0x73 ? sense[1] & 0x0F : -1;
    return key == 6;
}

// Errors that mean no command is passed through at all: a handle that may
// not write (pass-through wants both), a driver without the request.
bool refuses_pass_through(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

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

    // The last error is left set to why when the command was refused. A
    // command met by UNIT ATTENTION (the first after a disc change or a
    // reset, on some drives) is sent once more.
    ScsiResult scsi_in(const uint8_t* cdb, size_t cdb_size, uint8_t* data, size_t size, size_t* returned) override
    {
        *returned = 0;
        if (cdb_size == 0 || cdb_size > 16 || size > kScsiMaxData) return kScsiFailed;
        std::vector<uint8_t> buffer(kScsiDataOffset + size);
        auto* request = reinterpret_cast<SCSI_PASS_THROUGH*>(buffer.data());
        DWORD given = 0;
        for (int attempt = 0; attempt < 2; ++attempt) {
            prepare_request(buffer.data(), cdb, cdb_size, size);
            if (!control(scsi_, IOCTL_SCSI_PASS_THROUGH, buffer.data(), buffer.size(), buffer.data(), buffer.size(), &given)) {
                SetLastError(error_);
                return refuses_pass_through(error_) ? kScsiRefused : kScsiFailed;
            }
            if (!unit_attention(buffer.data())) break;
        }
        if (request->ScsiStatus != 0) return kScsiFailed;  // CHECK CONDITION and the like: the drive said no
        // What came back is what the system copied out, however much the
        // request claims.
        size_t moved = given > kScsiDataOffset ? given - kScsiDataOffset : 0;
        if (request->DataTransferLength < moved) moved = request->DataTransferLength;
        if (moved > size) moved = size;
        memcpy(data, buffer.data() + kScsiDataOffset, moved);
        *returned = moved;
        return kScsiDone;
    }

    bool read_q_channel(int format, int track, uint8_t* data, size_t size, size_t* returned) override
    {
        CDROM_SUB_Q_DATA_FORMAT request = {};
        request.Format = static_cast<UCHAR>(format);
        request.Track = static_cast<UCHAR>(track);
        SUB_Q_CHANNEL_DATA answer = {};
        DWORD given = 0;
        *returned = 0;
        if (!control(read_, IOCTL_CDROM_READ_Q_CHANNEL, &request, sizeof request, &answer, sizeof answer, &given)) return false;
        *returned = given < size ? given : size;
        if (*returned > sizeof answer) *returned = sizeof answer;
        memcpy(data, &answer, *returned);
        return true;
    }

    uint32_t max_sectors_per_read() override { return 26; }  // just under 64 KB, which every drive takes

    void reopen() override
    {
        close(read_);
        close(check_);
        close(scsi_);
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
            error_ = GetLastError();
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
    // read access; SCSI pass-through wants read and write access.
    Handle check_{FILE_READ_ATTRIBUTES};
    Handle read_{GENERIC_READ};
    Handle scsi_{GENERIC_READ | GENERIC_WRITE};
    DWORD error_ = 0;  // of the last request that failed
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

// How the disc's sub-channel is read: not yet asked; SCSI commands
// (Q frames, catalogue number, ISRCs); or IOCTL_CDROM_READ_Q_CHANNEL where
// the system passes no commands through (no Q frames then).
enum class SubchannelPath { kUnknown, kScsi, kQChannel };

struct OpticalDrive {
    std::unique_ptr<CdDevice> device;
    int letter = 0;
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
    // The sub-channel of this disc, found out when first wanted.
    SubchannelPath path = SubchannelPath::kUnknown;
    bool catalog_read = false;
    int catalog_status = CDLIB_OK;
    std::string catalog;
    // What the drive can do and how its cache is kept from re-reads: found
    // out once, kept for the run.
    DriveReads reads;
};

// Another disc is in (or the drive may hold one): what its sub-channel
// said is asked again.
void forget_subchannel(OpticalDrive* drive)
{
    drive->path = SubchannelPath::kUnknown;
    drive->catalog_read = false;
    drive->catalog.clear();
    drive->reads.recent.clear();
}

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
        drive->letter = letters[i];
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
        std::vector<uint8_t> before;
        before.swap(drive->toc_bytes);
        bool other = !drive->known || changes != drive->changes;
        drive->known = false;
        if (!drive->device->read_toc(&drive->toc_bytes) ||
            !parse_toc_bytes(drive->toc_bytes.data(), drive->toc_bytes.size(), &drive->toc))
            return forget_subchannel(drive), CDLIB_ERROR_NOCD;
        if (other || before != drive->toc_bytes) forget_subchannel(drive);
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

// Where the disc's audio ends: a read elsewhere stays before it.
uint32_t audio_end(const OpticalDrive* drive)
{
    uint32_t end = 0;
    for (int i = 0; i < drive->toc.count; ++i)
        if (drive->toc.tracks[i].audio) end = drive->toc.tracks[i].start + drive->toc.tracks[i].sectors;
    return end;
}

// Sectors the C2 pointers flag are read again, the cache kept out, until a
// read comes without C2 errors; one that never does keeps its last read
// and is noted.
int mend_c2(OpticalDrive* drive, uint32_t first, uint32_t n, uint8_t* out, std::vector<bool>* flagged)
{
    CdDevice& device = *drive->device;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        uint32_t low = n, high = 0;
        for (uint32_t i = 0; i < n; ++i)
            if ((*flagged)[i]) low = i < low ? i : low, high = i + 1;
        if (low >= high) return CDLIB_OK;
        if (cdlib_stop_asked()) return CDLIB_ERROR_STOPPED;
        keep_from_cache(device, &drive->reads, first + low, high - low, audio_end(drive));
        for (uint32_t i = low; i < high; ++i) {
            std::vector<bool> again;
            uint8_t sector[kSectorBytes];
            if (!(*flagged)[i] || !read_sectors(device, drive->reads, first + i, 1, sector, &again)) continue;
            memcpy(out + static_cast<size_t>(i) * kSectorBytes, sector, kSectorBytes);
            (*flagged)[i] = again[0];
        }
        drive->reads.recent.add(first + low, high - low);
    }
    for (uint32_t i = 0; i < n; ++i) {
        if (!(*flagged)[i]) continue;
        cdlib_note_c2(first + i);
        cdlib_log("sector %u: C2 errors in each of %d reads", first + i, kReadAttempts + 1);
    }
    return CDLIB_OK;
}

// `n` sectors from `first`: one request, and when the drive refuses it,
// every sector alone through a fresh handle: once, and again while the
// read-ahead's retry time lasts. Sectors left unread are silence, unless
// the disc is gone; sectors with C2 errors are read again. The stop check
// is asked before every request.
int read_request(OpticalDrive* drive, uint32_t first, uint32_t n, uint8_t* out, DWORD began, uint32_t* silenced)
{
    CdDevice& device = *drive->device;
    if (cdlib_stop_asked()) return CDLIB_ERROR_STOPPED;
    std::vector<bool> flagged;
    bool whole = read_sectors(device, drive->reads, first, n, out, &flagged);
    drive->reads.recent.add(first, n);
    if (whole) return mend_c2(drive, first, n, out, &flagged);
    device.reopen();
    flagged.assign(n, false);
    uint32_t unread = 0;
    for (uint32_t s = 0; s < n; ++s) {
        uint8_t* sector = out + static_cast<size_t>(s) * kSectorBytes;
        bool ok = false;
        for (int attempt = 0; attempt < kReadAttempts && !ok && (attempt == 0 || GetTickCount() - began < kRetryMs); ++attempt) {
            if (cdlib_stop_asked()) return CDLIB_ERROR_STOPPED;
            std::vector<bool> one;
            ok = read_sectors(device, drive->reads, first + s, 1, sector, &one);
            if (ok) flagged[s] = one[0];
        }
        if (!ok) memset(sector, 0, kSectorBytes), cdlib_note_unread(first + s);
        unread += ok ? 0 : 1;
    }
    if (unread && !same_disc(drive)) return CDLIB_ERROR_NOCD;  // the disc is gone, not just scratched
    *silenced += unread;
    return mend_c2(drive, first, n, out, &flagged);
}

}  // namespace

int backend_read_audio(int index, uint32_t first, uint32_t count, uint8_t* out, uint32_t* silenced)
{
    OpticalDrive* drive = drive_at(index);
    if (!drive) return CDLIB_ERROR_DEVICE;
    std::lock_guard<std::mutex> lock(drive->lock);
    // A disc changed since it was read is not the one the stream plays.
    if (!same_disc(drive)) return CDLIB_ERROR_NOCD;
    CdDevice& device = *drive->device;
    learn_drive(device, drive->letter, &drive->reads);
    uint32_t step = sectors_per_read(device, drive->reads);
    if (step == 0) step = 1;
    test_cache(device, drive->letter, &drive->reads, first, count < step ? count : step);
    DWORD began = GetTickCount();
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < step ? count - done : step;
        keep_from_cache(device, &drive->reads, first + done, n, audio_end(drive));
        int error = read_request(drive, first + done, n, out + static_cast<size_t>(done) * kSectorBytes, began, silenced);
        if (error != CDLIB_OK) return error;
        done += n;
    }
    return CDLIB_OK;
}

int backend_drive_info(int index, CDLIB_DRIVEINFO* info)
{
    OpticalDrive* drive = drive_at(index);
    if (!drive) return CDLIB_ERROR_DEVICE;
    std::lock_guard<std::mutex> lock(drive->lock);
    describe_reads(drive->reads, info);
    return CDLIB_OK;
}

int backend_read_speed(int)
{
    return 0;
}

namespace {

constexpr uint8_t kInquiry = 0x12, kReadSubchannel = 0x42, kReadCd = 0xBE;
constexpr int kCatalogFormat = 2, kIsrcFormat = 3;  // READ SUB-CHANNEL's data formats
constexpr size_t kCodeAnswerBytes = 24;             // its answer for either, header included

void use_q_channel(OpticalDrive* drive, DWORD error)
{
    drive->path = SubchannelPath::kQChannel;
    cdlib_log("sub-channel of drive %c: SCSI pass-through refused (error %lu): catalogue number and ISRCs through "
              "IOCTL_CDROM_READ_Q_CHANNEL, no Q frames",
              'A' + drive->letter, error);
}

// Which way this disc's sub-channel is read, found once per disc and
// logged: SCSI commands when the system passes an INQUIRY through to the
// drive, else the CD-ROM driver's own request.
SubchannelPath subchannel_path(OpticalDrive* drive)
{
    if (drive->path != SubchannelPath::kUnknown) return drive->path;
    const uint8_t cdb[6] = {kInquiry, 0, 0, 0, 36, 0};
    uint8_t answer[36];
    size_t got = 0;
    if (drive->device->scsi_in(cdb, sizeof cdb, answer, sizeof answer, &got) == CdDevice::kScsiRefused) {
        use_q_channel(drive, GetLastError());
    } else {
        drive->path = SubchannelPath::kScsi;
        cdlib_log("sub-channel of drive %c: read through SCSI pass-through (READ CD with formatted Q, READ SUB-CHANNEL)",
                  'A' + drive->letter);
    }
    return drive->path;
}

// A SCSI command of the sub-channel; a refusal turns the disc over to the
// CD-ROM driver's request.
CdDevice::ScsiResult sub_command(OpticalDrive* drive, const uint8_t* cdb, size_t cdb_size, uint8_t* data, size_t size,
                                 size_t* got)
{
    CdDevice::ScsiResult result = drive->device->scsi_in(cdb, cdb_size, data, size, got);
    if (result == CdDevice::kScsiRefused) use_q_channel(drive, GetLastError());
    return result;
}

// READ SUB-CHANNEL's answer (as IOCTL_CDROM_READ_Q_CHANNEL's) for the
// catalogue number or an ISRC: a 4-byte header whose length counts what
// follows, the format, the valid bit (byte 8, bit 7), the characters from
// byte 9 (13 digits, or 12 characters). A code not marked valid is none.
// False for an answer cut short, of another format, or not plain text.
bool parse_code_answer(const uint8_t* answer, size_t size, int format, std::string* code)
{
    code->clear();
    if (size < kCodeAnswerBytes || 4u + (answer[2] << 8 | answer[3]) < kCodeAnswerBytes || answer[4] != format) return false;
    if (!(answer[8] & 0x80)) return true;
    size_t chars = format == kCatalogFormat ? 13 : 12;
    for (size_t i = 0; i < chars && answer[9 + i] != 0; ++i) {
        if (answer[9 + i] < 0x20 || answer[9 + i] > 0x7E) return code->clear(), false;
        code->push_back(static_cast<char>(answer[9 + i]));
    }
    return true;
}

// The catalogue number (kCatalogFormat) or the ISRC of the disc's track
// `number` (kIsrcFormat), "" when the disc has none.
int read_code(OpticalDrive* drive, int format, int number, std::string* code)
{
    uint8_t answer[kCodeAnswerBytes] = {};
    size_t got = 0;
    bool read = false;
    if (subchannel_path(drive) == SubchannelPath::kScsi) {
        const uint8_t cdb[10] = {kReadSubchannel, 0, 0x40 /* sub-Q */, static_cast<uint8_t>(format), 0, 0,
                                 static_cast<uint8_t>(number), 0, sizeof answer, 0};
        CdDevice::ScsiResult result = sub_command(drive, cdb, sizeof cdb, answer, sizeof answer, &got);
        if (result == CdDevice::kScsiFailed) return CDLIB_ERROR_READ;
        read = result == CdDevice::kScsiDone;
    }
    if (drive->path == SubchannelPath::kQChannel) read = drive->device->read_q_channel(format, number, answer, sizeof answer, &got);
    if (!read) return CDLIB_ERROR_NOTAVAIL;
    return parse_code_answer(answer, got, format, code) ? CDLIB_OK : CDLIB_ERROR_READ;
}

// The drive whose disc was read, locked; null (and `*error`) otherwise.
OpticalDrive* known_drive(int index, std::unique_lock<std::mutex>* lock, int* error)
{
    OpticalDrive* drive = drive_at(index);
    if (!drive) return *error = CDLIB_ERROR_DEVICE, nullptr;
    *lock = std::unique_lock<std::mutex>(drive->lock);
    if (!drive->known) return *error = CDLIB_ERROR_NOCD, nullptr;
    return drive;
}

}  // namespace

// READ CD of the one CD-DA sector with its formatted Q: its 2352 bytes,
// which every drive gives, then the 16 of the Q frame.
int backend_read_q(int index, uint32_t sector, uint8_t q[16])
{
    std::unique_lock<std::mutex> lock;
    int error = CDLIB_OK;
    OpticalDrive* drive = known_drive(index, &lock, &error);
    if (!drive) return error;
    if (sector >= drive->toc.leadout) return CDLIB_ERROR_ILLPARAM;
    if (subchannel_path(drive) != SubchannelPath::kScsi) return CDLIB_ERROR_NOTAVAIL;
    const uint8_t cdb[12] = {kReadCd, 0x04 /* CD-DA */, static_cast<uint8_t>(sector >> 24), static_cast<uint8_t>(sector >> 16),
                             static_cast<uint8_t>(sector >> 8), static_cast<uint8_t>(sector), 0, 0, 1 /* sector */,
                             0x10 /* user data */, 0x02 /* formatted Q */, 0};
    uint8_t data[kSectorBytes + kQFrameBytes];
    size_t got = 0;
    CdDevice::ScsiResult result = sub_command(drive, cdb, sizeof cdb, data, sizeof data, &got);
    if (result == CdDevice::kScsiRefused) return CDLIB_ERROR_NOTAVAIL;
    if (result != CdDevice::kScsiDone || got != sizeof data) return CDLIB_ERROR_READ;
    memcpy(q, data + kSectorBytes, kQFrameBytes);
    return CDLIB_OK;
}

// The catalogue number is read once per disc, whatever it gave.
int backend_read_codes(int index, int track, std::string* catalog, std::string* isrc)
{
    std::unique_lock<std::mutex> lock;
    int error = CDLIB_OK;
    OpticalDrive* drive = known_drive(index, &lock, &error);
    if (!drive) return error;
    if (track >= drive->toc.count) return CDLIB_ERROR_CDTRACK;
    if (!drive->catalog_read) {
        drive->catalog_status = read_code(drive, kCatalogFormat, 0, &drive->catalog);
        drive->catalog_read = true;
    }
    *catalog = drive->catalog;
    isrc->clear();
    if (track < 0) return drive->catalog_status;
    if (!drive->toc.tracks[track].audio) return CDLIB_ERROR_CDTRACK;
    return read_code(drive, kIsrcFormat, drive->toc.first + track, isrc);
}
