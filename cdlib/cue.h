// Cue sheets: the disc images the simulation drives play.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class CueFileType { Binary, Motorola, Wave };
enum class CueTrackMode { Audio, Mode1_2048, Mode1_2352, Mode2_2352 };

struct CueFile {
    std::string name;
    CueFileType type;
};

struct CueTrack {
    int number = 0;
    int file = 0;             // index into CueSheet::files
    CueTrackMode mode = CueTrackMode::Audio;
    int64_t index0 = -1;      // sectors from the start of its file; -1: none
    int index0_file = -1;     // the file INDEX 00 lies in (the track's, or the one before)
    int64_t index1 = -1;
    std::vector<int64_t> later_indexes;  // INDEX 02, 03... in the track's file
    uint32_t pregap = 0;      // sectors of silence not in the file
    uint32_t postgap = 0;
    uint8_t flags = 0;        // FLAGS as control bits: PRE 1, DCP 2, 4CH 8
    std::string isrc;         // ISRC, as written
    std::string title, performer;
    bool has_title = false, has_performer = false;
};

struct CueSheet {
    std::vector<CueFile> files;
    std::vector<CueTrack> tracks;
    std::string title, performer;
    bool has_title = false, has_performer = false;
    std::string cdtext_file;  // CDTEXTFILE, empty when none
    std::string catalog;      // CATALOG, as written
    int speed = 0;            // REM SPEED n: read at n times real time; 0: no throttle
    int delay_ms = 0;         // REM DELAY ms: every disc query takes this long
    int offset = 0;           // REM OFFSET n: reads as a drive whose correction is +n samples
};

// Parses a cue sheet. On failure returns false and says why in `error`
// (with the line number); `sheet` is then unspecified.
bool parse_cue(const char* text, size_t size, CueSheet* sheet, std::string* error);

// Bytes one sector of the mode takes in its file.
uint32_t cue_sector_bytes(CueTrackMode mode);

// WAVE files: where the samples are. Only 16-bit stereo 44,100 Hz PCM is
// accepted. `size` is the bytes available (the header may be read alone).
struct WaveLayout {
    uint64_t data_offset = 0;
    uint64_t data_bytes = 0;
};
bool parse_wave_header(const uint8_t* data, size_t size, uint64_t file_size, WaveLayout* layout, std::string* error);
