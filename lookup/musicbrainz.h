// MusicBrainz: the disc id, the request, and what an answer of its web
// service says about a disc. Kept free of platform calls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The audio part of a disc's table of contents, as MusicBrainz counts it:
// sectors from the start of the disc, the 150 of the lead-in included.
// An enhanced CD (data track last) counts only its audio tracks, and its
// lead-out is the data track's start - 11400.
struct MbToc {
    int first = 1;           // number of the first track
    int last = 0;            // number of the last audio track
    uint32_t leadout = 0;
    uint32_t offsets[100] = {};  // offsets[n]: start of track n; 0 where there is none
};

// The MusicBrainz TOC of a disc from its tracks' starts and its lead-out in
// LBA (without the lead-in); `data[i]` marks a data track; `first` is the
// first track's number. Data tracks behind the last audio track are left
// out (an enhanced CD); last is 0 when no audio track is left.
MbToc mb_toc_from_lbas(int first, const std::vector<uint32_t>& starts, const std::vector<bool>& data,
                       uint32_t leadout);

// The text whose SHA-1 makes the disc id: "%02X" first, "%02X" last, then
// 100 x "%08X" (the lead-out, then tracks 1 to 99).
std::string mb_disc_id_text(const MbToc& toc);
// The disc id from that SHA-1: Base64 with '+' '/' '=' as '.' '_' '-' (28 characters).
std::string mb_disc_id(const uint8_t sha1[20]);
// The request's path and query on musicbrainz.org, for a fuzzy answer too.
std::string mb_request_path(const std::string& disc_id, const MbToc& toc);

struct MbTrack {
    std::string title;
    std::string artist;          // the track's artist credit as one text
    std::vector<std::string> artist_ids;
    std::string recording_id;
    std::string track_id;        // the release track
    uint32_t length_ms = 0;
};

// One medium of one release: what the user chooses between.
struct MbRelease {
    std::string id, release_group_id;
    std::string title;
    std::string artist;          // the release's artist credit as one text
    std::vector<std::string> artist_ids;
    std::string date, country, barcode, label, catalog_number;
    std::string format;          // of the medium ("CD")
    int disc = 1, discs = 1;     // the medium's position and the release's count of media
    bool front_cover = false;    // the Cover Art Archive has a front image
    std::vector<MbTrack> tracks; // the medium's tracks, in order
};

enum class MbAnswer {
    kFound,     // `releases` holds at least one medium for the disc
    kNotFound,  // an answer that names no medium for this disc
    kBad,       // not the JSON that the service sends
};

// Reads a discid answer (UTF-8 JSON). An exact answer (an object with
// "id", "offsets" and "releases") gives, per release, the medium whose
// discs[].id is `disc_id`; a fuzzy one ("release-count" and "releases")
// the media with as many tracks as `toc` whose lengths are each within 10 s.
// Never throws; texts are UTF-8.
MbAnswer mb_parse_answer(const std::string& json, const std::string& disc_id, const MbToc& toc,
                         std::vector<MbRelease>* releases);

// The year of a release date ("1986-05-12" gives "1986"); "" when it does
// not start with four digits.
std::string mb_year(const std::string& date);

// The medium whose release's barcode is the disc's catalogue number (13
// digits; a 12-digit UPC barcode is that number without its leading 0): the first such, -1 when none is or the
// number is "".
int mb_release_with_barcode(const std::vector<MbRelease>& releases, const std::string& catalog);
