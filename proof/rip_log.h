// The rip log written beside a rip's files, and the one-sentence verdict the
// end of a rip shows. Its last line holds the SHA-256 of the text before it,
// which the caller computes (rip_log_checksum_line).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "cdlib/toc.h"

// What the AccurateRip database said about a track.
enum class ArVerdict {
    kNotChecked,     // no answer: no connection, a bad answer, no time left
    kNotInDatabase,  // the disc is not in it (404)
    kAccurate,       // v1 or v2 matched a record
    kNoMatch,        // the disc is there, this track's checksums are not
    kNotSubmitted,   // the disc is there, but nobody submitted this track (checksum 0)
    kSilent,         // digital silence: its checksums are 0, nothing can match them
};

enum class OffsetSource { kNone, kSetting, kDriveList };

struct RipLogTrack {
    int number = 0;  // on the disc
    std::string file_name;
    int peak = 0;    // the largest absolute sample, 0 to 32768
    uint32_t crc32 = 0, ar_v1 = 0, ar_v2 = 0;
    ArVerdict verdict = ArVerdict::kNotChecked;
    int confidence = 0;         // of the match; else the database's best for the track
    int rereads = 0;            // reads after the first
    bool reads_agree = true;    // when re-read: whether every read gave the same audio
    // Read twice because the database could not prove it: every read's
    // CRC-32, the file's last.
    bool read_twice = false;
    std::vector<uint32_t> read_crcs;
    std::vector<uint32_t> unreadable;  // sectors read as silence, ascending
    std::vector<uint32_t> c2;          // sectors with C2 errors in every read, ascending
    // ReplayGain (when measured): the track's loudness, and what became of
    // the values in its file's tags ("" for a file without tags).
    bool measured = false, audible = false;
    double lufs = 0;
    std::string gain_tags;
    // From the sub-channel (and the table of contents).
    int control = 0;                   // pre-emphasis 1, copy permitted 2, four channels 8
    bool gaps_known = false;           // its pregap and indexes were searched
    uint32_t pregap = 0;               // sectors of index 0 before its index 1
    std::vector<uint32_t> later;       // index 2, 3...: sectors from its index 1
    std::string isrc;
};

// What the drive can do and how its re-reads were kept from its cache.
struct RipLogDrive {
    bool reported = false;  // it told its capabilities (SCSI commands)
    bool c2 = false;        // read with C2 error pointers
    bool accurate = false;  // "CD-DA stream is accurate"
    unsigned buffer_kib = 0;
    int cache = 0;          // 0 not found out, 1 none, 2 caches audio
    unsigned disc_ms = 0, cache_ms = 0;  // the test: a read from the disc, the same again
    int defeat = 0;         // 0 not needed, 1 Force Unit Access, 2 reading elsewhere first
    unsigned long defeats = 0;
};

struct RipLog {
    std::string program, version, date;
    std::string vendor, product;  // as the drive reports them
    RipLogDrive drive;
    int read_offset = 0;          // correction in samples
    OffsetSource offset_source = OffsetSource::kNone;
    std::vector<std::string> settings;  // format and encoder, one line each
    std::string artist, album;
    Toc toc;                            // the freedb and AccurateRip ids come from it
    bool checked = true;                // false: AccurateRip=0, no checksums were taken
    bool test_and_copy = true;          // TestAndCopy: tracks the database cannot prove are read twice
    // ReplayGain: off (ReplayGain=0), or the album's loudness over `album_of`
    // (the tracks ripped, "" when every track of the disc was).
    bool replaygain = true;
    bool album_audible = false;
    double album_lufs = 0;
    int album_peak = 0;
    std::string album_of;
    std::string musicbrainz_id;         // empty: none
    std::string catalog;                // the disc's catalogue number; empty: none
    std::string subchannel;             // how the sub-channel was read
    std::vector<RipLogTrack> tracks;
};

// Ascending numbers as runs: "1200-1205, 3000", and how many more past 16 runs.
std::string ranges_text(const std::vector<uint32_t>& numbers);

// A track with unreadable sectors is never accurate, whatever it matched.
bool track_accurate(const RipLogTrack& track);
// A track the database cannot judge although it knows the disc: nobody
// submitted it, or it is digital silence. Not a failed track.
bool track_unverifiable(const RipLogTrack& track);

// Whether the last of the track's reads (read twice) agrees with an earlier one.
bool track_reads_agree(const RipLogTrack& track);

// One sentence: every track accurately ripped (the lowest confidence), the
// tracks that were not, or that the disc could not be checked.
std::string rip_verdict_text(const RipLog& log);

// Every line of the log but the last, each ending in CR LF. Control bytes
// in the texts (a line break in a title) become spaces.
std::string rip_log_text(const RipLog& log);

// The last line, from the SHA-256 of every byte rip_log_text gave.
std::string rip_log_checksum_line(const uint8_t sha256[32]);
