// The test CD-ROM device's private command, sent by tests/cdrom/device.cpp
// to the driver (tests/cdrom/cdrom_driver.cpp) through any handle of a drive.
#pragma once

#define ORVO_IOCTL_COMMAND CTL_CODE(FILE_DEVICE_CD_ROM, 0xA00, METHOD_BUFFERED, FILE_ANY_ACCESS)

enum { kOrvoInsert = 1, kOrvoEject, kOrvoFail, kOrvoSpeed, kOrvoCount, kOrvoRefuse, kOrvoStale, kOrvoGarble, kOrvoOffset, kOrvoCache };

// kOrvoCache's flags: the drive gives C2 error pointers; it ignores Force Unit Access.
enum { kOrvoC2 = 1, kOrvoFuaIgnored = 2 };

// kOrvoCount's answer: requests since the disc last went in or out.
struct OrvoCounts {
    unsigned long toc_reads;  // READ_TOC and READ_TOC_EX
    unsigned long raw_reads;
};

struct OrvoCommand {
    unsigned long op;
    long sector;        // kOrvoFail, kOrvoGarble: the sector
    long count;         // kOrvoFail: failed reads before it reads (-1: never reads); kOrvoSpeed: times real time (0: no limit);
                        // kOrvoRefuse: requests refused (-1: every one); kOrvoGarble: reads that give wrong samples;
                        // kOrvoOffset: the correction the drive needs (samples); kOrvoCache: sectors it caches;
                        // kOrvoInsert: 1 keeps the drive's refusals and stale status
    long ms;            // kOrvoFail: how long each failing read takes; kOrvoGarble: 1 when C2 pointers flag it;
                        // kOrvoCache: kOrvoC2 | kOrvoFuaIgnored
    // kOrvoRefuse: the request (its IOCTL code) and its answer (0: success,
    // nothing given back); kOrvoStale: the status stale handles get
    unsigned long code, status;
    unsigned long toc_bytes, text_bytes;
    unsigned char toc[804];     // kOrvoInsert: what IOCTL_CDROM_READ_TOC returns
    unsigned char text[8192];   // and READ_TOC_EX for CD-TEXT (4-byte header, packs)
    wchar_t image[400];         // NT path of the sectors' file, 2352 bytes each from sector 0
    // kOrvoInsert, the sub-channel: the formatted Q frame of every sector
    // (16 bytes each from sector 0, `q_sectors` of them) in the file at
    // `q_image`; the catalogue number and the tracks' ISRCs ("": none),
    // by their place on the disc.
    unsigned long q_sectors;
    wchar_t q_image[400];
    char catalog[14];
    char isrc[99][13];
};
