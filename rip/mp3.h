#pragma once
#include <windows.h>

#include <cstdio>

struct DiscFields;

enum Mp3Result {
    kMp3Written = 0,
    kMp3NoInput,      // the audio could not be read; no MP3 file is left
    kMp3WriteFailed,  // writing the MP3 file failed (a full volume); nothing is left
    kMp3Aborted,      // the rip stopped; nothing is left
};

// Where the encoder's audio comes from: fills `buffer` with up to `bytes`
// of 16-bit stereo PCM and returns how many it gave; 0 at the end of the
// audio, -1 when the rip stops, -2 when the audio cannot be read.
typedef long (*PcmSource)(void* source, char* buffer, size_t bytes);

// Encodes the audio `read` gives into `mp3` (open for reading and writing,
// empty; closed here) with LAME's defaults (128 kb/s CBR joint stereo), and
// writes LAME's Info tag into the first frame so players know the exact
// length. Anything but kMp3Written deletes `mp3_path`. On a write failure
// `*error` gets the system's error code.
Mp3Result encode_to_mp3(PcmSource read, void* source, FILE* mp3, const char* mp3_path, DWORD* error);

// Adds the five ID3 frames (artist, album, year, title, track number) of
// `tags`, as an ID3v2 tag at the front and an ID3v1 tag at the end.
// Returns false, with the system's error code in `*error`, when the file
// does not hold both tags afterwards.
bool write_id3_tags(const char* mp3_path, const DiscFields& tags, DWORD* error);
