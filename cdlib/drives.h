// What a drive back end supplies to the rest of the library. One back end
// is linked into a program: optical drives, disc images, or none.
#pragma once
#include <cstdint>
#include <string>

#include "cdlib/cdtext.h"
#include "cdlib/toc.h"

constexpr int kMaxDrives = 32;

struct DriveName {
    char description[256];
    int letter;  // 0 = A:
    char vendor[64];   // as the drive reports them, without padding; "" for none
    char product[64];
};

// Lists the drives (at most kMaxDrives); called once, the list is kept.
int backend_list_drives(DriveName* drives, int max);

// Reads the disc in the drive now. Returns CDLIB_OK or an error code
// (CDLIB_ERROR_NOCD when there is no readable disc). With `text_wanted`, a
// CD-TEXT read that failed before is tried again.
int backend_read_disc(int drive, Toc* toc, CdText* text, bool text_wanted);

// Reads `count` audio sectors from disc sector `first` into `out`
// (count * 2352 bytes). Sectors that cannot be read even after retries are
// given as silence and added to `*silenced`. Returns CDLIB_OK, or an error
// code when the disc is gone or the program's stop check said stop.
int backend_read_audio(int drive, uint32_t first, uint32_t count, uint8_t* out, uint32_t* silenced);

// How many times real time the drive may deliver audio; 0: no limit.
int backend_read_speed(int drive);

// What the disc's sub-channel says beyond the table of contents, as the
// disc in the drive was read last: the formatted Q frame of `sector` (a
// position), the catalogue number and a track's ISRC (0-based; "" when the
// disc has none). CDLIB_ERROR_NOTAVAIL where the drive cannot tell.
int backend_read_q(int drive, uint32_t sector, uint8_t q[16]);
int backend_read_codes(int drive, int track, std::string* catalog, std::string* isrc);

// What the drive can do, as CDLIB_GetDriveInfo tells it.
struct CDLIB_DRIVEINFO;
int backend_drive_info(int drive, CDLIB_DRIVEINFO* info);

// Notes a sector given as silence for the stream whose read is under way
// on this thread; or one whose every read had C2 errors.
void cdlib_note_unread(uint32_t sector);
void cdlib_note_c2(uint32_t sector);

// Reports a line through the program's log hook.
void cdlib_log(const char* format, ...);
// Whether the program's stop check says stop now.
bool cdlib_stop_asked();
