#pragma once
#include <windows.h>

enum Mp3Result {
    kMp3Written = 0,
    kMp3NoInput,      // the WAV file could not be opened or read; no MP3 file is left
    kMp3NoOutput,     // the MP3 file could not be created
    kMp3WriteFailed,  // writing the MP3 file failed (a full volume); nothing is left
    kMp3Aborted,      // the rip was aborted; nothing is left
};

// Encodes the samples of a WAV file (read from byte 44 on as 16-bit stereo)
// into an MP3 file with LAME's defaults (128 kb/s CBR joint stereo), and
// writes LAME's Info tag into the first frame so players know the exact
// length. Stops early when the rip is aborted. On a write failure
// `*error` gets the system's error code.
Mp3Result encode_wav_to_mp3(const char* wav_path, const char* mp3_path, int in_rate, int out_rate, DWORD* error);

// Adds the five ID3 frames (artist, album, year, title, track number) from
// the disc fields, as an ID3v2 tag at the front and an ID3v1 tag at the end.
// Returns false, with the system's error code in `*error`, when the file
// does not hold both tags afterwards.
bool write_id3_tags(const char* mp3_path, DWORD* error);
