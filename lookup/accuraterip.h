// AccurateRip: the disc's ids and the path of its database file, that file's
// records (one per pressing), matching a track's checksums against them, and
// the database's list of drive read offsets (DriveOffsets.bin).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cdlib/toc.h"

constexpr const char* kArHost = "www.accuraterip.com";  // plain HTTP, port 80
constexpr const char* kArDriveListPath = "/accuraterip/DriveOffsets.bin";
constexpr int kArMaxOffset = 3000;  // read offsets in samples, either way

struct ArDiscIds {
    int audio_tracks = 0;  // 0: nothing to ask for
    uint32_t id1 = 0, id2 = 0, cddb = 0;
};

// The ids of a disc, from the starts of its tracks (without the 150 sectors
// of lead-in) and its lead-out (an enhanced CD's, past the data track).
// id1 and id2 count the audio tracks only; cddb is the freedb id of all.
ArDiscIds ar_disc_ids(const Toc& toc);

// "/accuraterip/a/b/c/dBAR-nnn-id1-id2-cddb.bin", a b c being the last three
// hex digits of id1, last first. Empty when the disc has no audio track.
std::string ar_request_path(const ArDiscIds& ids);

struct ArTrackEntry {
    int confidence;   // how many rips agreed
    uint32_t crc;     // the track's v1 or v2 checksum
    uint32_t crc450;  // of its sector 450, for finding offsets
};

struct ArRecord {
    uint32_t id1, id2, cddb;
    std::vector<ArTrackEntry> tracks;  // one per audio track
};

// Reads a database file: records of u8 track count, u32le id1, id2 and
// cddb, then per track u8 confidence, u32le CRC and u32le CRC of sector 450.
// All or nothing: a record that does not fit the bytes left (a cut or
// padded download), one with no tracks, or one whose track count or ids
// are not the disc's refuses the whole file; `records` is then empty and
// `error` says why. An empty file is refused too (the database answers 404
// for a disc it does not know).
bool ar_parse_dbar(const uint8_t* data, size_t size, const ArDiscIds& disc, std::vector<ArRecord>* records,
                   std::string* error);

struct ArMatch {
    bool matched = false;
    bool v2 = false;         // matched on the v2 checksum (else v1)
    int confidence = 0;      // of the matching record; the highest when several match
    int best_confidence = 0; // the highest confidence any record gives this track
    bool submitted = false;  // some record has a checksum for the track
};

// A track against every record's slot `slot` (from 1). The slots follow the
// disc's track numbers: on a disc whose first track is data (mixed mode)
// slot 1 is that data track and the last audio track has none; on an
// enhanced CD (data last) slot n is audio track n. A CRC of 0 in a record
// never matches: it stands for a track nobody submitted.
ArMatch ar_match_track(const std::vector<ArRecord>& records, int slot, uint32_t v1, uint32_t v2);

struct ArDrive {
    int offset;        // the drive's read offset correction in samples
    std::string name;  // "VENDOR - PRODUCT"
};

// Reads DriveOffsets.bin: 69-byte records of s16le offset, the name
// NUL-padded to 33 bytes, and 34 bytes not used here. All or nothing, as
// ar_parse_dbar: a size that is not a whole number of records is refused.
bool ar_parse_drive_list(const uint8_t* data, size_t size, std::vector<ArDrive>* drives, std::string* error);

// The read offset of the drive that reports `vendor` and `product` (as the
// drive pads them: spaces around and runs of spaces inside do not count,
// nor does case). The first entry of that name within kArMaxOffset wins.
bool ar_find_drive_offset(const std::vector<ArDrive>& drives, const std::string& vendor, const std::string& product,
                          int* offset);
