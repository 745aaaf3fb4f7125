// What one file's tags say, the same for every format. Texts are UTF-8,
// exactly as typed or found (never made safe for file names).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

// The album's front cover, checked to be a JPEG or PNG of bounded size.
struct CoverPicture {
    std::string bytes;
    std::string mime;  // "image/jpeg" or "image/png"
    uint32_t width = 0, height = 0, depth = 0;  // depth: bits a pixel
};

struct TagSet {
    std::string artist;        // the track's artist
    std::string album_artist;  // set when it differs from `artist` (compilations)
    std::string album, year, title;
    int track = 0, tracks = 0;  // the track's number, and how many the disc (medium) has
    int disc = 0, discs = 0;    // set for a release of several media
    // MusicBrainz ids, empty when unknown.
    std::string mb_release, mb_release_group, mb_recording, mb_release_track;
    std::string mb_artist, mb_album_artist, mb_disc_id;
    // From the disc's sub-channel, empty when unknown.
    std::string isrc, barcode;  // the track's ISRC; the disc's catalogue number
    std::shared_ptr<const CoverPicture> cover;  // null: no picture
    // The tag keeps room for ReplayGain values, written once the album is read.
    bool gain_room = false;
};
