// Audio read from an optical drive so that it can be trusted: with C2
// error pointers where the drive gives them (a sector they flag is read
// again), and with the drive's cache kept from answering a re-read (found
// out by experiment once per drive, then defeated before every re-read).
#pragma once
#include <cstdint>
#include <vector>

#include "cdlib/drive_caps.h"
#include "cdlib/optical_device.h"

struct CDLIB_DRIVEINFO;

// What the program found out about one drive, kept for the run.
struct DriveReads {
    bool learned = false;      // INQUIRY and MODE SENSE asked
    bool scsi = false;         // commands pass through to it
    DriveCaps caps;
    bool cache_tested = false;
    int cache = 0;             // CDLIB_CACHE_*
    unsigned disc_ms = 0, cache_ms = 0;
    enum Fua { kFuaUnknown, kFuaHonoured, kFuaIgnored, kFuaRefused } fua = kFuaUnknown;
    int defeat = 0;            // CDLIB_DEFEAT_*
    unsigned long defeats = 0;
    uint32_t fua_end = 0;      // where the last Force Unit Access ended
    RecentReads recent;        // what its cache may hold
};

// Asks the drive what it can do, once; logs it.
void learn_drive(CdDevice& device, int letter, DriveReads* reads);

// The most sectors one read may ask for.
uint32_t sectors_per_read(CdDevice& device, const DriveReads& reads);

// `n` sectors (at most sectors_per_read) from `first` into `out`; with C2
// pointers, `flagged` says for each whether they flag it (else all false).
bool read_sectors(CdDevice& device, const DriveReads& reads, uint32_t first, uint32_t n, uint8_t* out,
                  std::vector<bool>* flagged);

// Before the first read of audio: whether a re-read of `n` sectors at
// `first` comes from the cache, and whether Force Unit Access gets past it.
void test_cache(CdDevice& device, int letter, DriveReads* reads, uint32_t first, uint32_t n);

// Before reading [first, first + count): when the drive may still hold
// some of it in its cache, makes sure it reads the disc instead. `audio_end`:
// the end of the disc's audio, for a read elsewhere.
void keep_from_cache(CdDevice& device, DriveReads* reads, uint32_t first, uint32_t count, uint32_t audio_end);

void describe_reads(const DriveReads& reads, CDLIB_DRIVEINFO* info);
