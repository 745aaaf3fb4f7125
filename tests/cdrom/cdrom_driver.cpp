// A kernel-mode CD-ROM driver for tests under Wine: two drives, D: and E:,
// that answer the program's device calls as a Windows CD-ROM driver does,
// from disc images the test tool puts in (see control.h). It can take the
// disc out, fail chosen sectors (slowly, as a real drive does) or give
// wrong samples for them without an error (as a scratch can), read early or
// late by a number of samples, refuse chosen requests and limit the read
// speed. Built with
// mingw-w64 against ntoskrnl and hal only; never part of the release.
// The DDK headers define these two themselves; C++ refuses a second definition.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ntddk.h>
#include <ntddcdrm.h>
#include <ntddstor.h>

#include "tests/cdrom/control.h"

namespace {

constexpr int kDrives = 2, kFailures = 16;
constexpr ULONG kSector = 2352;

// Reads that reach `sector` fail, `count` more times (-1: for ever), each
// after `ms`; or with `garble` give wrong samples there without an error.
struct Failure { long sector, count, ms; bool garble; };

struct Drive {
    WCHAR letter;
    HANDLE image;   // null: no disc
    ULONG changes;  // media changes so far
    OrvoCommand disc;
    Failure fails[kFailures];
    long offset;  // at sample position p the disc's sample p - offset
    long refuse_count;  // the next requests of refuse_code answered refuse_status (-1: every one)
    ULONG refuse_code, refuse_status, stale_status;
    long speed;
    OrvoCounts counts;
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
    d->image = nullptr;
    ++d->changes;
    d->counts = OrvoCounts();
}

NTSTATUS put_in(Drive* d, const OrvoCommand& c)
{
    take_out(d);
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, c.image);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
    IO_STATUS_BLOCK io;
    NTSTATUS status = ZwCreateFile(&d->image, GENERIC_READ | SYNCHRONIZE, &attributes, &io, nullptr, 0,
                                   FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (!NT_SUCCESS(status)) return d->image = nullptr, status;
    d->disc = c;
    for (Failure& f : d->fails) f.count = 0;
    d->offset = 0;
    if (!c.count) d->refuse_count = d->stale_status = 0;  // else the same drive, another disc
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
    case kOrvoGarble:
    case kOrvoFail:
        for (Failure& f : d->fails)
            if (!f.count) return f = {c.sector, c.count, c.ms, c.op == kOrvoGarble}, STATUS_SUCCESS;
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

// A read that reaches a garbling sector gets wrong samples there, and no error.
void garble(Drive* d, ULONG first, ULONG count, UCHAR* out)
{
    for (Failure& f : d->fails) {
        ULONG sector = static_cast<ULONG>(f.sector);
        if (!f.count || !f.garble || sector < first || sector >= first + count) continue;
        if (f.count > 0) --f.count;
        for (ULONG b = 0; b < kSector; b += 4) out[(sector - first) * kSector + b] ^= 0x5A;
    }
}

NTSTATUS raw_read(Drive* d, PIRP irp, ULONG in_bytes, ULONG out_bytes)
{
    auto* info = static_cast<RAW_READ_INFO*>(irp->AssociatedIrp.SystemBuffer);
    if (in_bytes < sizeof *info || info->TrackMode != CDDA) return STATUS_INVALID_PARAMETER;
    ++d->counts.raw_reads;
    ULONG first = static_cast<ULONG>(info->DiskOffset.QuadPart / 2048), count = info->SectorCount;
    void* out = irp->MdlAddress ? MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority) : nullptr;
    if (!out || count == 0 || count > out_bytes / kSector) return STATUS_INVALID_PARAMETER;
    if (d->speed > 0) wait_ms(count * 1000LL / (75 * d->speed));
    if (read_fails(d, first, count)) return STATUS_DEVICE_DATA_ERROR;
    RtlZeroMemory(out, count * kSector);  // beyond the image: silence
    LONGLONG begin = static_cast<LONGLONG>(first) * kSector - 4LL * d->offset, skip = begin < 0 ? -begin : 0;
    if (skip < static_cast<LONGLONG>(count) * kSector) {
        IO_STATUS_BLOCK io;
        LARGE_INTEGER at;
        at.QuadPart = begin + skip;
        NTSTATUS status = ZwReadFile(d->image, nullptr, nullptr, nullptr, &io, static_cast<UCHAR*>(out) + skip,
                                     static_cast<ULONG>(count * kSector - skip), &at, nullptr);
        if (!NT_SUCCESS(status) && status != STATUS_END_OF_FILE) return status;
    }
    garble(d, first, count, static_cast<UCHAR*>(out));
    return given(irp, count * kSector);
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
    }
    return STATUS_INVALID_DEVICE_REQUEST;
}

NTSTATUS dispatch(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    Drive* d = drive_of(device);
    if (stack->MajorFunction == IRP_MJ_CREATE) stack->FileObject->FsContext = reinterpret_cast<void*>(static_cast<ULONG_PTR>(d->changes));
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
        device->Flags |= DO_DIRECT_IO;
        device->Flags &= ~DO_DEVICE_INITIALIZING;
        IoDeleteSymbolicLink(&link);  // the system's own, pointing nowhere useful
        status = IoCreateSymbolicLink(&link, &name);
        if (!NT_SUCCESS(status)) return status;
    }
    return STATUS_SUCCESS;
}
