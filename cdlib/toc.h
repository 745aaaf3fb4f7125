// A disc's table of contents as the library uses it, and the freedb disc id.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr int kMaxTracks = 99;
constexpr uint32_t kSectorBytes = 2352;      // one CD-DA sector: 588 stereo frames
constexpr uint32_t kBytesPerSecond = 176400;
constexpr uint32_t kLeadInFrames = 150;      // the 2-second lead-in before sector 0
constexpr uint32_t kEnhancedCdGap = 11400;   // lead-out + lead-in + pre-gap between sessions

// A track's control bits, as the TOC gives them: 1 pre-emphasis, 2 digital
// copy permitted, 4 a data track, 8 four channels.
constexpr uint8_t kControlData = 4;

struct TocTrack {
    uint32_t start;    // first sector of index 1, counted from sector 0
    uint32_t sectors;  // sectors up to the next track's start (or the lead-out)
    bool audio;
    uint8_t control;   // kControl... bits
};

struct Toc {
    int first = 1;  // the number the disc gives its first track (tracks[i] is number first + i)
    int count = 0;
    TocTrack tracks[kMaxTracks] = {};
    uint32_t leadout = 0;  // first sector after the last track
};

// Track lengths from the starts and the lead-out. A data track that follows
// an audio track as the last track is taken as a second session (enhanced
// CD): the audio before it ends kEnhancedCdGap sectors earlier.
void finish_toc_lengths(Toc* toc, bool enhanced_layout);

// freedb disc id, and the CDDB query text:
// "<id> <count> <offset of each track with lead-in> <disc seconds>".
uint32_t freedb_disc_id(const Toc& toc);
std::string cddb_query_text(const Toc& toc);

// Reads a table of contents as IOCTL_CDROM_READ_TOC returns it (big-endian
// length, first and last track, 8-byte entries with MSF addresses, the
// lead-out as track 0xAA). Keeps the first track's number and each track's
// control bits; data tracks are told by them.
// Applies the enhanced-CD rule to the lengths. False when malformed.
bool parse_toc_bytes(const uint8_t* data, size_t size, Toc* toc);
