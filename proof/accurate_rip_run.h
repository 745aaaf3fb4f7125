// What a rip does to be provable: the drive's read offset correction, and
// (as the rip goes) the tracks' checksums against the AccurateRip database.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "proof/rip_log.h"

struct ReadOffsetChoice {
    int samples = 0;
    OffsetSource source = OffsetSource::kNone;
    std::string vendor, product;  // as the drive reports them
};

// Sets the drive's read offset correction for the rip: ReadOffset from
// settings.ini when set, else the database's drive list entry for the
// drive's vendor and product, else 0. log.txt says which.
ReadOffsetChoice apply_read_offset(int drive);

// The start of a rip: reads the disc's table of contents and asks the
// database for it in the background (the rip never waits for the answer).
void ar_rip_begin(int drive, const ReadOffsetChoice& offset);

// Before each read of a track (`track` from 0 on the disc): the capture
// adds every block to the track's checksums.
void ar_read_begin(int track);

// After a whole read: whether to read the track again. For a disc the
// database has already answered for, a track that matched no record, or
// with unreadable sectors, is read at most three times in all. Where the
// database cannot prove the rip (it does not know the disc, gives no
// answer, or AccurateRip=0) and TestAndCopy is on, every track is read
// until two reads agree, at most four times.
bool ar_read_again(int track, unsigned long unread);
// Whether the read begun is not the track's first.
bool ar_reading_again();

// The disc's catalogue number (as the barcode) and the track's ISRC, as the
// sub-channel gave them at the start of the rip, into its tags.
struct TagSet;
void ar_add_codes(int track, TagSet* tags);

// The track's file is made from its last read.
// `file_name` is its file beside the others, `title` the track's title.
// `unread`: its sectors read as silence; `c2`: those whose every read had C2 errors.
void ar_track_done(int track, const char* file_name, const char* title, const std::vector<uint32_t>& unread,
                   const std::vector<uint32_t>& c2);

// The end of a rip that `finished` (was neither aborted nor stopped by a
// fault): waits a few seconds at most for an answer still under way, writes
// the rip log beside the files, and gives the one-sentence verdict for the
// end message ("" when the database gave no answer). `settings`: the format
// and encoder lines for the log. A rip that `succeeded` (every file whole,
// nothing unread) also writes the cue sheet of its files, `genre` in it.
// `aborted`: Abort was pressed while it waited (nothing is then written).
std::string ar_rip_end(const std::vector<std::string>& settings, bool finished, bool succeeded, const char* genre,
                       bool* aborted);
