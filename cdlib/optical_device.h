// The one seam between the optical back end and the operating system:
// every device call goes through a CdDevice.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class CdDevice {
public:
    virtual ~CdDevice() = default;
    // Vendor, product and revision, as the drive reports them, in `text`;
    // vendor and product alone too.
    virtual bool describe(char* text, size_t size, char* vendor, char* product, size_t part_size) = 0;
    // Whether a disc is in; `changes` gets the drive's media-change count
    // (0 when it keeps none or will not tell).
    virtual bool check_ready(uint32_t* changes) = 0;
    // The table of contents in the layout IOCTL_CDROM_READ_TOC returns.
    virtual bool read_toc(std::vector<uint8_t>* bytes) = 0;
    // The raw CD-TEXT packs (18 bytes each), with or without a 4-byte header.
    virtual bool read_cdtext(std::vector<uint8_t>* bytes) = 0;
    // CD-DA sectors, 2352 bytes each; false when the drive refuses.
    virtual bool read_audio(uint32_t first, uint32_t count, uint8_t* out) = 0;
    // A SCSI command whose data comes in, through SCSI pass-through:
    // `*returned` bytes of at most `size` land in `data`. kScsiRefused when
    // the system or the drive will not pass commands through at all (the
    // handle may not write, the driver has no such request).
    enum ScsiResult { kScsiDone, kScsiFailed, kScsiRefused };
    virtual ScsiResult scsi_in(const uint8_t* cdb, size_t cdb_size, uint8_t* data, size_t size, size_t* returned) = 0;
    // IOCTL_CDROM_READ_Q_CHANNEL: the catalogue number (format 2) or a
    // track's ISRC (format 3, the disc's track number) in the layout READ
    // SUB-CHANNEL gives them; `*returned` bytes of at most `size`.
    virtual bool read_q_channel(int format, int track, uint8_t* data, size_t size, size_t* returned) = 0;
    // The most sectors one read may ask for.
    virtual uint32_t max_sectors_per_read() = 0;
    // Drops the device's handles; the next request opens them afresh.
    virtual void reopen() = 0;
};
