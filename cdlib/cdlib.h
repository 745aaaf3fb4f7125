// Orvo audio-CD and WMA library: the program's only way to reach drives,
// discs, CD audio and WMA files. This header is the library's whole
// interface. Every call may be made from any thread.
#pragma once
#include <cstdint>

typedef uint32_t CDLIB_DWORD;
typedef uint64_t CDLIB_QWORD;
typedef uint32_t HSTREAM;    // decode stream of a CD track; 0: none
typedef uint32_t HWMENCODE;  // WMA file being written; 0: none

// Version 2.3: high word 0x0203.
#define CDLIB_VERSION_2_3 0x02030000u

// Error codes reported by BASS_ErrorGetCode (per calling thread).
enum {
    CDLIB_OK = 0,
    CDLIB_ERROR_MEM = 1,         // out of memory
    CDLIB_ERROR_FILEOPEN = 2,    // a file could not be opened or created
    CDLIB_ERROR_DRIVER = 3,      // the device could not be used
    CDLIB_ERROR_HANDLE = 5,      // not a valid stream or encoder handle
    CDLIB_ERROR_INIT = 8,        // BASS_Init has not been called
    CDLIB_ERROR_ALREADY = 14,    // BASS_Init was called already
    CDLIB_ERROR_ILLPARAM = 20,   // an argument is out of range
    CDLIB_ERROR_NOTAVAIL = 37,   // no such information (no CD-TEXT, ...)
    CDLIB_ERROR_DEVICE = 23,     // no such drive
    CDLIB_ERROR_NOCD = 12,       // no disc in the drive
    CDLIB_ERROR_CDTRACK = 13,    // no such track, or not an audio track
    CDLIB_ERROR_ENDED = 45,      // the stream has no more data
    CDLIB_ERROR_READ = 46,       // the disc could not be read
    CDLIB_ERROR_FORMAT = 6,      // unsupported sample format
    CDLIB_ERROR_CODEC = 44,      // the encoder failed
    CDLIB_ERROR_STOPPED = 47,    // the program's stop check asked the read to stop
    CDLIB_ERROR_UNKNOWN = -1,
};

#define BASS_STREAM_DECODE 0x200000u   // stream flag: decode only, never played
#define BASS_WMA_ENCODE_TAGS 0x2000u   // encoder flag: tags are given before audio
#define BASS_CDID_CDDB 2               // BASS_CD_GetID: CDDB query text
#define BASS_CDID_TEXT 4               // BASS_CD_GetID: CD-TEXT entries
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1

// Where the library reports what the program's log should show (why a disc
// image was refused, how many sectors could not be read). Null: nowhere.
typedef void (*CDLIB_LOGPROC)(const char* line);
void CDLIB_SetLogProc(CDLIB_LOGPROC proc);

// Asked while a stream reads the disc, between device requests (retries of
// unreadable sectors can take seconds each): nonzero stops the read, and
// BASS_ChannelGetData then fails with CDLIB_ERROR_STOPPED. Null: never.
typedef int (*CDLIB_STOPPROC)(void);
void CDLIB_SetStopProc(CDLIB_STOPPROC proc);

CDLIB_DWORD BASS_GetVersion(void);
int BASS_Init(int device, CDLIB_DWORD freq, CDLIB_DWORD flags, void* window, const void* clsid);
int BASS_Free(void);
int BASS_ErrorGetCode(void);

// Drives are numbered from 0 in the order the library lists them.
const char* BASS_CD_GetDriveDescription(CDLIB_DWORD drive);  // null past the last
CDLIB_DWORD BASS_CD_GetDriveLetter(CDLIB_DWORD drive);       // 0 = A:, 3 = D:, ...
// The vendor and product the drive reports, without padding; both empty for
// a drive that reports none (a disc image). Valid until BASS_Free.
int CDLIB_GetDriveModel(CDLIB_DWORD drive, const char** vendor, const char** product);
// The drive's read offset correction in samples: a drive whose correction
// is +n gives, at each sample position p, the disc's sample p - n. Streams
// set to a track after this call take sample s from position s + n, and
// give silence where that lies outside the disc's audio (which is never
// read). 0 (the default) reads the drive as it is.
#define CDLIB_MAX_READ_OFFSET 3000
int CDLIB_SetReadOffset(CDLIB_DWORD drive, int samples);
int BASS_CD_IsReady(CDLIB_DWORD drive);
int BASS_CD_GetTracks(CDLIB_DWORD drive);                    // -1: no disc
CDLIB_DWORD BASS_CD_GetTrackLength(CDLIB_DWORD drive, CDLIB_DWORD track);  // bytes; 0xFFFFFFFF: not audio
const char* BASS_CD_GetID(CDLIB_DWORD drive, CDLIB_DWORD id);

// The disc's table of contents as the drive reports it.
struct CDLIB_TOC {
    int first;                   // number of the first track (1 on most discs; 4 on a sheet starting at TRACK 04)
    int last;                    // number of the last track (data tracks included)
    CDLIB_DWORD start[99];       // start[i]: first sector of the (first + i)th track, index 1, without the 150 of the lead-in
    unsigned char control[99];   // its control bits: 4 data track, 2 digital copy permitted, 1 pre-emphasis
    CDLIB_DWORD leadout;         // first sector after the last track
};
// Fills `toc` for the disc in the drive; 0 (BASS_ErrorGetCode: CDLIB_ERROR_NOCD...) without one.
// The number a drive's track (0-based, as every other call counts them) has
// on the disc is toc.first + track.
int CDLIB_GetTOC(CDLIB_DWORD drive, CDLIB_TOC* toc);

// What the disc's sub-channel says beyond the table of contents, where the
// drive can tell (0 and CDLIB_ERROR_NOTAVAIL where it cannot): the
// formatted Q sub-channel frame of disc sector `sector` (16 bytes, with its
// CRC: track, index, times), and the disc's catalogue number (13 digits)
// and a track's ISRC (12 characters) as the disc holds them, "" for none.
int CDLIB_ReadQ(CDLIB_DWORD drive, CDLIB_DWORD sector, unsigned char q[16]);
int CDLIB_GetCatalog(CDLIB_DWORD drive, char catalog[14]);
int CDLIB_GetIsrc(CDLIB_DWORD drive, CDLIB_DWORD track, char isrc[13]);

// What a drive can do and how its re-reads were kept from its cache, as
// found so far (the cache by experiment at its first read of audio); all
// zero for a drive that answers no SCSI commands (or a disc image).
typedef struct CDLIB_DRIVEINFO {
    int reported;           // it answered INQUIRY and MODE SENSE (page 2Ah)
    int c2;                 // it gives C2 error pointers, and reads ask for them
    int accurate;           // it says its CD-DA stream is accurate
    unsigned buffer_kib;    // its buffer; 0: not said
    int cache;              // CDLIB_CACHE_*
    unsigned disc_ms, cache_ms;  // the experiment: a read from the disc, the same read again
    int defeat;             // CDLIB_DEFEAT_*: how a re-read is kept from the cache
    unsigned long defeats;  // re-reads it was done for
} CDLIB_DRIVEINFO;
#define CDLIB_CACHE_UNKNOWN 0  // not read yet, or its reads too fast to tell: defeated all the same
#define CDLIB_CACHE_NONE 1
#define CDLIB_CACHE_AUDIO 2
#define CDLIB_DEFEAT_NONE 0       // not needed
#define CDLIB_DEFEAT_FUA 1        // READ(12) with Force Unit Access over the sectors
#define CDLIB_DEFEAT_ELSEWHERE 2  // more than the cache holds read elsewhere first
int CDLIB_GetDriveInfo(CDLIB_DWORD drive, CDLIB_DRIVEINFO* info);

// The audio before the disc's first track's index 1 (a hidden track in its
// pregap), as a track of its own for BASS_CD_GetTrackLength and streams;
// no such track on a disc whose first track starts at sector 0 or is data.
#define CDLIB_HIDDEN_TRACK 0xFFFFu

HSTREAM BASS_CD_StreamCreate(CDLIB_DWORD drive, CDLIB_DWORD track, CDLIB_DWORD flags);
int BASS_CD_StreamSetTrack(HSTREAM stream, CDLIB_DWORD track);
CDLIB_QWORD BASS_ChannelGetLength(CDLIB_DWORD handle);
CDLIB_QWORD BASS_ChannelGetPosition(CDLIB_DWORD handle);
float BASS_ChannelBytes2Seconds(CDLIB_DWORD handle, CDLIB_QWORD bytes);
int BASS_ChannelPlay(CDLIB_DWORD handle, int restart);
CDLIB_DWORD BASS_ChannelIsActive(CDLIB_DWORD handle);
CDLIB_DWORD BASS_ChannelGetData(CDLIB_DWORD handle, void* buffer, CDLIB_DWORD length);  // 0xFFFFFFFF: error
// Sectors of the stream's current track that could not be read even after
// retries and were given as silence, so far; 0xFFFFFFFF for a bad handle.
CDLIB_DWORD CDLIB_StreamUnreadSectors(HSTREAM stream);
// Those sectors (disc sectors from 0, ascending), at most `max` of them into
// `sectors`; returns how many there are, 0xFFFFFFFF for a bad handle.
CDLIB_DWORD CDLIB_StreamUnreadList(HSTREAM stream, CDLIB_DWORD* sectors, CDLIB_DWORD max);
// The sectors of the stream's current track whose every read had C2 errors
// (the last read is given), in the same way.
CDLIB_DWORD CDLIB_StreamC2List(HSTREAM stream, CDLIB_DWORD* sectors, CDLIB_DWORD max);

HWMENCODE BASS_WMA_EncodeOpenFile(CDLIB_DWORD freq, CDLIB_DWORD chans, CDLIB_DWORD flags,
                                  CDLIB_DWORD bitrate, const char* file);
// Tags go before the audio. `type` says what `text` is: ANSI code page text,
// UTF-8 text, or (BINARY) bytes whose count is the high 16 bits of `type`.
#define BASS_WMA_TAG_ANSI 0
#define BASS_WMA_TAG_UTF8 2
#define BASS_WMA_TAG_BINARY 0x100
int BASS_WMA_EncodeSetTag(HWMENCODE encoder, const char* tag, const char* text, CDLIB_DWORD type);
// A binary attribute of any size (WM/Picture), kept in the header's
// Metadata Library object, which holds values past 64 KiB.
int CDLIB_WMA_EncodeSetBinaryTag(HWMENCODE encoder, const char* tag, const void* data, CDLIB_DWORD length);
// A Padding object of `bytes` (at most 64 KiB) in the finished file's
// header: room to add attributes later without moving the audio.
int CDLIB_WMA_EncodeSetPadding(HWMENCODE encoder, CDLIB_DWORD bytes);
int BASS_WMA_EncodeWrite(HWMENCODE encoder, const void* buffer, CDLIB_DWORD length);
// Finishes the file. 0 when a write failed (a full volume): the file is
// then not whole; GetLastError gives the system's reason, as after
// BASS_WMA_EncodeWrite.
int BASS_WMA_EncodeClose(HWMENCODE encoder);
