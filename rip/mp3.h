#pragma once
#include <windows.h>

#include <cstdio>

struct TagSet;

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

// Writes the MP3 file `mp3` (open for reading and writing, empty; closed
// here) in one pass, so that no copy of it is ever needed: an ID3v2 tag of
// `tags` (texts in ISO-8859-1 where they fit, UTF-16 otherwise), the
// audio `read` gives encoded with LAME's defaults (128 kb/s CBR joint
// stereo), LAME's Info frame in the stream's first frame so players know
// the exact length, and an ID3v1 tag at the end. Anything but kMp3Written
// deletes `mp3_path`. On a write failure `*error` gets the system's error
// code.
Mp3Result encode_to_mp3(PcmSource read, void* source, const TagSet& tags, FILE* mp3, const char* mp3_path,
                        DWORD* error);
