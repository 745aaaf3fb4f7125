// The Q sub-channel of a CD-DA sector, as a drive gives it formatted (16
// bytes): where the sector lies (track, index, times), or the disc's
// catalogue number, or the track's ISRC; and the rules their values keep.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kQFrameBytes = 16;

enum class QKind {
    kPosition,  // ADR 1
    kCatalog,   // ADR 2: the media catalogue number (MCN, 13 digits)
    kIsrc,      // ADR 3: the track's ISRC
};

struct QFrame {
    QKind kind = QKind::kPosition;
    int control = 0;           // the track's control bits (pre-emphasis, copy permitted, data, four channels)
    // kPosition:
    int track = 0;             // 1-99; 0xAA in the lead-out
    int index = 0;             // 0: the pregap, which counts down to index 1
    int32_t relative = 0;      // sectors from the track's index 1 (negative in the pregap)
    int32_t absolute = 0;      // the sector's address from sector 0 (the lead-in's 150 taken off)
    // kCatalog and kIsrc:
    std::string text;          // the catalogue number's digits, or the ISRC's 12 characters
    int frame = 0;             // the absolute time's frame (0-74) these frames carry
};

// Reads a formatted Q frame. False when its CRC-16 (bytes 10-11, inverted,
// big-endian, over bytes 0-9) fails, its ADR is not 1, 2 or 3, or a number
// is not BCD: such a frame tells nothing.
bool parse_q_frame(const uint8_t q[kQFrameBytes], QFrame* frame);

// Whether an ISRC is well formed: two letters, three letters or digits,
// seven digits ("USRC17607839").
bool isrc_well_formed(const std::string& isrc);

// Whether a catalogue number is well formed: 13 digits, not all zeros.
bool mcn_well_formed(const std::string& mcn);

// A Q frame as a drive gives it, with its CRC: the position of `absolute`
// (from sector 0) in track `track` at index `index`, `relative` sectors from
// the track's index 1. For disc images and tests.
void make_q_position(uint8_t q[kQFrameBytes], int control, int track, int index, int32_t relative, int32_t absolute);
