// A kernel-mode CD-ROM driver for tests under Wine: two drives, D: and E:,
// that answer the program's device calls as a Windows CD-ROM driver does,
// from disc images the test tool puts in (see control.h). It can take the
// disc out, fail chosen sectors (slowly, as a real drive does) or give
// wrong samples for them without an error (as a scratch can), read early or
// late by a number of samples, refuse chosen requests and limit the read
// speed, and keep the last sectors it read in a cache that answers
// re-reads (wrong samples and all). Through SCSI pass-through it answers
// the few commands the program sends (INQUIRY, MODE SENSE of the
// capabilities page, READ CD with the Q sub-channel and C2 error pointers,
// READ(12) with Force Unit Access, READ SUB-CHANNEL). Built with
// mingw-w64 against ntoskrnl and hal only; never part of the release.
// The DDK headers define these two themselves; C++ refuses a second definition.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ntddk.h>
#include <ntddcdrm.h>
#include <ntddstor.h>
#include <ntddscsi.h>

#include "tests/cdrom/control.h"

namespace {

constexpr int kDrives = 2, kFailures = 16, kCacheMax = 1024;
constexpr ULONG kSector = 2352, kC2Bytes = 294;

// Reads that reach `sector` fail, `count` more times (-1: for ever), each
// after `ms`; or with `garble` give wrong samples there without an error
// (`flagged`: the C2 error pointers tell).
struct Failure { long sector, count, ms; bool garble, flagged; };

// A sector the drive read from the disc, as it read it.
struct Cached { ULONG sector; bool flagged; UCHAR data[kSector]; };
Cached g_cache[kDrives][kCacheMax];

struct Drive {
    WCHAR letter;
    HANDLE image;   // null: no disc
    HANDLE q_image;  // its sectors' Q frames
    ULONG changes;  // media changes so far
    OrvoCommand disc;
    Failure fails[kFailures];
    long offset;  // at sample position p the disc's sample p - offset
    long refuse_count;  // the next requests of refuse_code answered refuse_status (-1: every one)
    ULONG refuse_code, refuse_status, stale_status;
    long speed;
    OrvoCounts counts;
    // The cache: the last cache_size sectors read from the disc, in a ring.
    int index;  // of the drive, into g_cache
    long cache_size, cache_next;
    unsigned long flags;  // kOrvoC2, kOrvoFuaIgnored
    LONGLONG owed_us;     // reading time not yet waited for
};

Drive* drive_of(PDEVICE_OBJECT device) { return static_cast<Drive*>(device->DeviceExtension); }

// Success with `bytes` given back; the request is completed by dispatch.
NTSTATUS given(PIRP irp, ULONG_PTR bytes) { return irp->IoStatus.Information = bytes, STATUS_SUCCESS; }

NTSTATUS copy_out(PIRP irp, const void* bytes, ULONG size, ULONG out_bytes)
{
    if (out_bytes < size) return STATUS_BUFFER_TOO_SMALL;
    RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, bytes, size);
    return given(irp, size);
}

void take_out(Drive* d)
{
    if (d->image) ZwClose(d->image);
    if (d->q_image) ZwClose(d->q_image);
    d->image = d->q_image = nullptr;
    ++d->changes;
    d->counts = OrvoCounts();
}

NTSTATUS open_file(const wchar_t* name, HANDLE* file)
{
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
    IO_STATUS_BLOCK io;
    NTSTATUS status = ZwCreateFile(file, GENERIC_READ | SYNCHRONIZE, &attributes, &io, nullptr, 0,
                                   FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (!NT_SUCCESS(status)) *file = nullptr;
    return status;
}

NTSTATUS put_in(Drive* d, const OrvoCommand& c)
{
    take_out(d);
    NTSTATUS status = open_file(c.image, &d->image);
    if (NT_SUCCESS(status) && !NT_SUCCESS(status = open_file(c.q_image, &d->q_image))) take_out(d);
    if (!NT_SUCCESS(status)) return status;
    d->disc = c;
    for (Failure& f : d->fails) f.count = 0;
    d->offset = 0;
    d->cache_next = 0;
    for (Cached& entry : g_cache[d->index]) entry.sector = ~0ul;
    if (!c.count) d->refuse_count = d->stale_status = 0, d->cache_size = 0, d->flags = 0;  // else the same drive, another disc
    return STATUS_SUCCESS;
}

NTSTATUS command(Drive* d, PIRP irp, const OrvoCommand& c, ULONG out_bytes)
{
    switch (c.op) {
    case kOrvoCount: return copy_out(irp, &d->counts, sizeof d->counts, out_bytes);
    case kOrvoInsert: return put_in(d, c);
    case kOrvoEject: return take_out(d), STATUS_SUCCESS;
    case kOrvoSpeed: return d->speed = c.count, STATUS_SUCCESS;
    case kOrvoRefuse: return d->refuse_code = c.code, d->refuse_count = c.count, d->refuse_status = c.status, STATUS_SUCCESS;
    case kOrvoStale: return d->stale_status = c.status, STATUS_SUCCESS;
    case kOrvoOffset: return d->offset = c.count, STATUS_SUCCESS;
    case kOrvoCache:
        if (c.count < 0 || c.count > kCacheMax) return STATUS_INVALID_PARAMETER;
        return d->cache_size = c.count, d->flags = static_cast<unsigned long>(c.ms), STATUS_SUCCESS;
    case kOrvoGarble:
    case kOrvoFail:
        for (Failure& f : d->fails)
            if (!f.count) return f = {c.sector, c.count, c.op == kOrvoGarble ? 0 : c.ms, c.op == kOrvoGarble, c.op == kOrvoGarble && c.ms == 1}, STATUS_SUCCESS;
    }
    return STATUS_INVALID_PARAMETER;
}

void wait_ms(LONGLONG ms)
{
    LARGE_INTEGER wait;
    wait.QuadPart = -10000LL * ms;
    KeDelayExecutionThread(KernelMode, FALSE, &wait);
}

// A read that reaches a failing sector fails there, as a scratch would,
// after the failure's time.
bool read_fails(Drive* d, ULONG first, ULONG count)
{
    for (Failure& f : d->fails) {
        ULONG sector = static_cast<ULONG>(f.sector);
        if (!f.count || f.garble || sector < first || sector >= first + count) continue;
        if (f.count > 0) --f.count;
        return wait_ms(f.ms), true;
    }
    return false;
}

// A read that reaches a garbling sector gets wrong samples there, and no
// error; true when its C2 pointers would tell.
bool garble(Drive* d, ULONG first, ULONG count, UCHAR* out)
{
    bool flagged = false;
    for (Failure& f : d->fails) {
        ULONG sector = static_cast<ULONG>(f.sector);
        if (!f.count || !f.garble || sector < first || sector >= first + count) continue;
        if (f.count > 0) --f.count;
        flagged = flagged || f.flagged;
        for (ULONG b = 0; b < kSector; b += 4) out[(sector - first) * kSector + b] ^= 0x5A;
    }
    return flagged;
}

// The C2 error pointers of a garbled sector: a bit for each byte it got
// wrong (every fourth).
void flag_c2(UCHAR* c2, bool flagged)
{
    for (ULONG i = 0; i < kC2Bytes; ++i) c2[i] = flagged ? 0x88 : 0;
}

// One sector from the disc as the drive gives it: read early or late by
// its offset, silence beyond the image.
NTSTATUS read_disc(Drive* d, ULONG sector, UCHAR* out)
{
    RtlZeroMemory(out, kSector);  // beyond the image: silence
    LONGLONG begin = static_cast<LONGLONG>(sector) * kSector - 4LL * d->offset, skip = begin < 0 ? -begin : 0;
    if (skip >= static_cast<LONGLONG>(kSector)) return STATUS_SUCCESS;
    IO_STATUS_BLOCK io;
    LARGE_INTEGER at;
    at.QuadPart = begin + skip;
    NTSTATUS status = ZwReadFile(d->image, nullptr, nullptr, nullptr, &io, out + skip, static_cast<ULONG>(kSector - skip), &at, nullptr);
    return !NT_SUCCESS(status) && status != STATUS_END_OF_FILE ? status : STATUS_SUCCESS;
}

// The reading time owed so far, waited for.
void pay_time(Drive* d)
{
    if (d->owed_us >= 1000) wait_ms(d->owed_us / 1000);
    d->owed_us %= 1000;
}

// One sector as the drive gives it: from its cache when it read the sector
// lately (unless Force Unit Access is asked and honoured: then from the
// disc, and the cache forgets it), else from the disc, at the drive's
// speed, failing or garbled where it fails or garbles. `flagged`: what the
// C2 error pointers would say.
NTSTATUS read_sector(Drive* d, ULONG sector, UCHAR* out, bool* flagged, bool fua = false)
{
    bool bypass = fua && !(d->flags & kOrvoFuaIgnored);
    for (long i = 0; i < d->cache_size; ++i) {
        Cached& entry = g_cache[d->index][i];
        if (entry.sector != sector) continue;
        if (bypass) {
            entry.sector = ~0ul;
            break;
        }
        RtlCopyMemory(out, entry.data, kSector);
        *flagged = entry.flagged;
        return STATUS_SUCCESS;
    }
    if (d->speed > 0) d->owed_us += 1000000 / (75 * d->speed);
    if (read_fails(d, sector, 1)) return STATUS_DEVICE_DATA_ERROR;
    NTSTATUS status = read_disc(d, sector, out);
    if (!NT_SUCCESS(status)) return status;
    *flagged = garble(d, sector, 1, out);
    if (d->cache_size > 0 && !bypass) {
        Cached& entry = g_cache[d->index][d->cache_next];
        entry.sector = sector, entry.flagged = *flagged;
        RtlCopyMemory(entry.data, out, kSector);
        d->cache_next = (d->cache_next + 1) % d->cache_size;
    }
    return STATUS_SUCCESS;
}

NTSTATUS raw_read(Drive* d, PIRP irp, ULONG in_bytes, ULONG out_bytes)
{
    auto* info = static_cast<RAW_READ_INFO*>(irp->AssociatedIrp.SystemBuffer);
    if (in_bytes < sizeof *info || info->TrackMode != CDDA) return STATUS_INVALID_PARAMETER;
    ++d->counts.raw_reads;
    ULONG first = static_cast<ULONG>(info->DiskOffset.QuadPart / 2048), count = info->SectorCount;
    auto* out = irp->MdlAddress ? static_cast<UCHAR*>(MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority)) : nullptr;
    if (!out || count == 0 || count > out_bytes / kSector) return STATUS_INVALID_PARAMETER;
    NTSTATUS status = STATUS_SUCCESS;
    bool flagged;
    for (ULONG i = 0; i < count && NT_SUCCESS(status); ++i) status = read_sector(d, first + i, out + i * kSector, &flagged);
    pay_time(d);
    return NT_SUCCESS(status) ? given(irp, count * kSector) : status;
}

// ---- SCSI pass-through ------------------------------------------------------

// Why a command is refused, as the additional sense code of ILLEGAL
// REQUEST (0: it is answered); kUnreadable goes with MEDIUM ERROR.
enum : UCHAR { kAnswered = 0, kUnreadable = 0x11, kBadOpcode = 0x20, kBadAddress = 0x21, kBadField = 0x24 };
constexpr ULONG kQBytes = 16, kCodeBytes = 24;  // a formatted Q frame; READ SUB-CHANNEL's catalogue or ISRC answer

ULONG be16(const UCHAR* p) { return static_cast<ULONG>(p[0]) << 8 | p[1]; }
ULONG be32(const UCHAR* p) { return be16(p) << 16 | be16(p + 2); }

// At most `allocation` bytes of `answer` into the request's data.
UCHAR give(const UCHAR* answer, ULONG size, ULONG allocation, UCHAR* data, ULONG room, ULONG* moved)
{
    *moved = size < allocation ? size : allocation;
    if (*moved > room) *moved = room;
    RtlCopyMemory(data, answer, *moved);
    return kAnswered;
}

UCHAR inquiry(Drive* d, const UCHAR* cdb, UCHAR* data, ULONG room, ULONG* moved)
{
    if (cdb[1] & 1) return kBadField;  // no vital product data pages
    UCHAR answer[36] = {0x05 /* CD/DVD */, 0x80 /* removable */, 0, 0x02, sizeof answer - 5};
    RtlCopyMemory(answer + 8, "ORVO    TEST DRIVE X    1.00", 28);
    answer[8 + 8 + 11] = static_cast<UCHAR>(d->letter);
    return give(answer, sizeof answer, be16(cdb + 3), data, room, moved);
}

// MODE SENSE(10) of the capabilities page alone: CD-DA read accurately,
// with ISRCs and the catalogue number, C2 error pointers when it gives
// them; a tray that locks and ejects; its buffer, 512 KiB or its cache.
UCHAR mode_sense(Drive* d, const UCHAR* cdb, UCHAR* data, ULONG room, ULONG* moved)
{
    if ((cdb[2] & 0x3F) != 0x2A) return kBadField;
    UCHAR answer[8 + 22] = {0, sizeof answer - 2};
    UCHAR* page = answer + 8;
    ULONG buffer_kib = static_cast<ULONG>(d->cache_size) * kSector / 1024;
    if (buffer_kib < 512) buffer_kib = 512;
    page[0] = 0x2A, page[1] = 20, page[5] = static_cast<UCHAR>(0x63 | (d->flags & kOrvoC2 ? 0x10 : 0)), page[6] = 0x29;
    page[12] = static_cast<UCHAR>(buffer_kib >> 8), page[13] = static_cast<UCHAR>(buffer_kib);
    return give(answer, sizeof answer, be16(cdb + 7), data, room, moved);
}

// The catalogue number (format 2) or the ISRC of the disc's track `track`
// (format 3) in READ SUB-CHANNEL's answer, header and all; false for
// another format or no such track.
bool code_answer(Drive* d, UCHAR format, UCHAR track, UCHAR answer[kCodeBytes])
{
    const OrvoCommand& c = d->disc;
    RtlZeroMemory(answer, kCodeBytes);
    answer[1] = 0x15;  // no audio playing
    answer[3] = kCodeBytes - 4;
    answer[4] = format;
    if (format == 2) {
        answer[8] = c.catalog[0] ? 0x80 : 0;
        RtlCopyMemory(answer + 9, c.catalog, 13);
        return true;
    }
    UCHAR first = c.toc[2], last = c.toc[3];
    if (format != 3 || track < first || track > last || track - first >= 99) return false;
    answer[5] = static_cast<UCHAR>(0x30 | (c.toc[4 + 8 * (track - first) + 1] & 0x0F));  // ADR 3, the track's control
    answer[6] = track;
    answer[8] = c.isrc[track - first][0] ? 0x80 : 0;
    RtlCopyMemory(answer + 9, c.isrc[track - first], 12);
    return true;
}

UCHAR read_subchannel(Drive* d, const UCHAR* cdb, UCHAR* data, ULONG room, ULONG* moved)
{
    UCHAR answer[kCodeBytes];
    if (!(cdb[2] & 0x40)) {  // the header alone
        code_answer(d, 2, 0, answer);
        answer[3] = 0;
        return give(answer, 4, be16(cdb + 7), data, room, moved);
    }
    if (!code_answer(d, cdb[3], cdb[6], answer)) return kBadField;
    return give(answer, kCodeBytes, be16(cdb + 7), data, room, moved);
}

// READ CD of CD-DA sectors: each sector's 2352 bytes or none, its C2
// error pointers (294 bytes, where the drive gives them) or none, then its
// formatted Q or nothing; no raw sub-channel.
UCHAR read_cd(Drive* d, const UCHAR* cdb, UCHAR* data, ULONG room, ULONG* moved)
{
    ULONG type = cdb[1] >> 2 & 7, first = be32(cdb + 2), count = be16(cdb + 7) | static_cast<ULONG>(cdb[6]) << 16;
    ULONG main = cdb[9] & 0xF8 ? kSector : 0, errors = cdb[9] & 0x06, sub = cdb[10] & 7;
    if (type > 1 || (errors && (errors != 0x02 || !(d->flags & kOrvoC2))) || (sub != 0 && sub != 2)) return kBadField;
    if (first >= d->disc.q_sectors || count > d->disc.q_sectors - first) return kBadAddress;
    ULONG c2 = errors ? kC2Bytes : 0, stride = main + c2 + (sub ? kQBytes : 0);
    if (count * stride > room) return kBadField;
    for (ULONG i = 0; i < count; ++i) {
        UCHAR* at = data + i * stride;
        bool flagged = false;
        if (main && !NT_SUCCESS(read_sector(d, first + i, at, &flagged))) return pay_time(d), kUnreadable;
        if (c2) flag_c2(at + main, flagged);
        IO_STATUS_BLOCK io;
        LARGE_INTEGER offset;
        offset.QuadPart = static_cast<LONGLONG>(first + i) * kQBytes;
        if (sub && !NT_SUCCESS(ZwReadFile(d->q_image, nullptr, nullptr, nullptr, &io, at + main + c2, kQBytes, &offset, nullptr)))
            return pay_time(d), kUnreadable;
    }
    pay_time(d);
    *moved = count * stride;
    return kAnswered;
}

// READ(12) of CD-DA sectors, 2352 bytes each; with Force Unit Access
// (byte 1, bit 3) from the disc, not the cache, unless the drive ignores it.
UCHAR read_12(Drive* d, const UCHAR* cdb, UCHAR* data, ULONG room, ULONG* moved)
{
    ULONG first = be32(cdb + 2), count = be32(cdb + 6);
    if (first >= d->disc.q_sectors || count > d->disc.q_sectors - first) return kBadAddress;
    if (count * kSector > room) return kBadField;
    for (ULONG i = 0; i < count; ++i) {
        bool flagged;
        if (!NT_SUCCESS(read_sector(d, first + i, data + i * kSector, &flagged, (cdb[1] & 0x08) != 0))) return pay_time(d), kUnreadable;
    }
    pay_time(d);
    *moved = count * kSector;
    return kAnswered;
}

UCHAR scsi_command(Drive* d, const UCHAR* cdb, UCHAR* data, ULONG room, ULONG* moved)
{
    switch (cdb[0]) {
    case 0x12: return inquiry(d, cdb, data, room, moved);
    case 0x5A: return mode_sense(d, cdb, data, room, moved);
    case 0xA8: return read_12(d, cdb, data, room, moved);
    case 0x42: return read_subchannel(d, cdb, data, room, moved);
    case 0xBE: return read_cd(d, cdb, data, room, moved);
    }
    return kBadOpcode;
}

// IOCTL_SCSI_PASS_THROUGH, its data in the same buffer: a command refused
// comes back as CHECK CONDITION with fixed-format sense data, and the
// request itself succeeds, as on Windows.
NTSTATUS pass_through(Drive* d, PIRP irp, ULONG in_bytes, ULONG out_bytes)
{
    UCHAR* buffer = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
    auto* request = reinterpret_cast<SCSI_PASS_THROUGH*>(buffer);
    if (in_bytes < sizeof *request || out_bytes < sizeof *request || request->Length != sizeof *request ||
        request->CdbLength == 0 || request->CdbLength > 16)
        return STATUS_INVALID_PARAMETER;
    ULONG room = request->DataTransferLength;
    ULONG_PTR offset = request->DataBufferOffset;
    if (room && (request->DataIn != SCSI_IOCTL_DATA_IN || offset < sizeof *request || offset > out_bytes || room > out_bytes - offset))
        return STATUS_INVALID_PARAMETER;
    ULONG moved = 0;
    UCHAR why = scsi_command(d, request->Cdb, buffer + offset, room, &moved);
    request->DataTransferLength = moved;
    request->ScsiStatus = why == kAnswered ? 0 : 2;
    if (why == kAnswered) return given(irp, offset + moved > sizeof *request ? offset + moved : sizeof *request);
    UCHAR sense[18] = {0x70, 0, static_cast<UCHAR>(why == kUnreadable ? 0x03 : 0x05), 0, 0, 0, 0, 10, 0, 0, 0, 0, why};
    ULONG n = request->SenseInfoLength < sizeof sense ? request->SenseInfoLength : sizeof sense;
    ULONG at = request->SenseInfoOffset;
    if (at < sizeof *request || at > out_bytes || n > out_bytes - at) n = 0;
    RtlCopyMemory(buffer + at, sense, n);
    request->SenseInfoLength = static_cast<UCHAR>(n);
    return given(irp, n ? at + n : sizeof *request);
}

// Vendor, product and revision padded with spaces, as drives report them.
NTSTATUS describe(Drive* d, PIRP irp, ULONG out_bytes)
{
    static const char kStrings[] = "ORVO    \0TEST DRIVE X    \0" "1.00";
    auto* descriptor = static_cast<STORAGE_DEVICE_DESCRIPTOR*>(irp->AssociatedIrp.SystemBuffer);
    ULONG size = sizeof *descriptor + sizeof kStrings;
    if (out_bytes < size) return STATUS_BUFFER_TOO_SMALL;
    RtlZeroMemory(descriptor, size);
    descriptor->Version = descriptor->Size = size;
    descriptor->DeviceType = 5;  // a CD/DVD device
    char* strings = reinterpret_cast<char*>(descriptor + 1);
    RtlCopyMemory(strings, kStrings, sizeof kStrings);
    strings[20] = static_cast<char>(d->letter);
    descriptor->VendorIdOffset = sizeof *descriptor;
    descriptor->ProductIdOffset = sizeof *descriptor + 9;
    descriptor->ProductRevisionOffset = sizeof *descriptor + 26;
    descriptor->BusType = BusTypeAtapi;
    return given(irp, size);
}

NTSTATUS control(Drive* d, PIRP irp, PIO_STACK_LOCATION stack)
{
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
    void* buffer = irp->AssociatedIrp.SystemBuffer;
    if (code == ORVO_IOCTL_COMMAND)
        return in < sizeof(OrvoCommand) ? STATUS_INVALID_PARAMETER : command(d, irp, *static_cast<OrvoCommand*>(buffer), out);
    if (code == IOCTL_STORAGE_QUERY_PROPERTY) {
        auto* query = static_cast<STORAGE_PROPERTY_QUERY*>(buffer);
        if (in < sizeof *query || query->PropertyId != StorageDeviceProperty || query->QueryType != PropertyStandardQuery)
            return STATUS_NOT_SUPPORTED;
        return describe(d, irp, out);
    }
    // The system lets a request through only on a handle opened for the
    // access its code asks: pass-through wants write access too.
    auto access = static_cast<ACCESS_MASK>(reinterpret_cast<ULONG_PTR>(stack->FileObject->FsContext2));
    if ((code >> 14 & FILE_WRITE_ACCESS) && !(access & (FILE_WRITE_DATA | GENERIC_WRITE | GENERIC_ALL)))
        return STATUS_ACCESS_DENIED;
    if (!d->image) return STATUS_NO_MEDIA_IN_DEVICE;
    // A handle opened before the last media change fails until it is
    // opened again, as a volume handle does on Windows.
    if (reinterpret_cast<ULONG_PTR>(stack->FileObject->FsContext) != d->changes)
        return d->stale_status ? static_cast<NTSTATUS>(d->stale_status) : STATUS_VERIFY_REQUIRED;
    if (code == d->refuse_code && (d->refuse_count < 0 || (d->refuse_count > 0 && d->refuse_count--)))
        return d->refuse_status ? static_cast<NTSTATUS>(d->refuse_status) : given(irp, 0);
    switch (code) {
    case IOCTL_STORAGE_CHECK_VERIFY2:
        return copy_out(irp, &d->changes, out >= sizeof(ULONG) ? sizeof(ULONG) : 0, out);
    case IOCTL_STORAGE_CHECK_VERIFY: return given(irp, 0);  // ready; the count only through CHECK_VERIFY2
    case IOCTL_CDROM_READ_TOC: ++d->counts.toc_reads; return copy_out(irp, d->disc.toc, d->disc.toc_bytes < out ? d->disc.toc_bytes : out, out);
    case IOCTL_CDROM_READ_TOC_EX: {
        ++d->counts.toc_reads;
        auto* request = static_cast<CDROM_READ_TOC_EX*>(buffer);
        if (in < sizeof *request || request->Format != CDROM_READ_TOC_EX_FORMAT_CDTEXT || d->disc.text_bytes == 0)
            return STATUS_INVALID_DEVICE_REQUEST;
        return copy_out(irp, d->disc.text, d->disc.text_bytes < out ? d->disc.text_bytes : out, out);
    }
    case IOCTL_CDROM_RAW_READ: return raw_read(d, irp, in, out);
    case IOCTL_SCSI_PASS_THROUGH: return pass_through(d, irp, in, out);
    case IOCTL_CDROM_READ_Q_CHANNEL: {
        auto* request = static_cast<CDROM_SUB_Q_DATA_FORMAT*>(buffer);
        UCHAR answer[kCodeBytes];
        if (in < sizeof *request || !code_answer(d, request->Format, request->Track, answer)) return STATUS_INVALID_DEVICE_REQUEST;
        return copy_out(irp, answer, sizeof answer, out);
    }
    }
    return STATUS_INVALID_DEVICE_REQUEST;
}

NTSTATUS dispatch(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    Drive* d = drive_of(device);
    if (stack->MajorFunction == IRP_MJ_CREATE) {
        // The media changes so far, and what the handle may do.
        PIO_SECURITY_CONTEXT security = stack->Parameters.Create.SecurityContext;
        stack->FileObject->FsContext = reinterpret_cast<void*>(static_cast<ULONG_PTR>(d->changes));
        stack->FileObject->FsContext2 = reinterpret_cast<void*>(static_cast<ULONG_PTR>(security ? security->DesiredAccess : GENERIC_ALL));
    }
    irp->IoStatus.Information = 0;
    NTSTATUS status = stack->MajorFunction == IRP_MJ_DEVICE_CONTROL ? control(d, irp, stack) : STATUS_SUCCESS;
    if (!NT_SUCCESS(status)) irp->IoStatus.Information = 0;
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

}  // namespace

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING)
{
    for (int i = IRP_MJ_CREATE; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i) driver->MajorFunction[i] = dispatch;
    for (int i = 0; i < kDrives; ++i) {
        WCHAR device_name[] = L"\\Device\\OrvoCdRom0", link_name[] = L"\\DosDevices\\D:";
        device_name[17] += i;
        link_name[12] += i;
        UNICODE_STRING name, link;
        RtlInitUnicodeString(&name, device_name);
        RtlInitUnicodeString(&link, link_name);
        PDEVICE_OBJECT device;
        NTSTATUS status = IoCreateDevice(driver, sizeof(Drive), &name, FILE_DEVICE_CD_ROM, FILE_REMOVABLE_MEDIA, FALSE, &device);
        if (!NT_SUCCESS(status)) return status;
        RtlZeroMemory(device->DeviceExtension, sizeof(Drive));
        drive_of(device)->letter = link_name[12];
        drive_of(device)->index = i;
        device->Flags |= DO_DIRECT_IO;
        device->Flags &= ~DO_DEVICE_INITIALIZING;
        IoDeleteSymbolicLink(&link);  // the system's own, pointing nowhere useful
        status = IoCreateSymbolicLink(&link, &name);
        if (!NT_SUCCESS(status)) return status;
    }
    return STATUS_SUCCESS;
}
