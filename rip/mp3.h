#pragma once

enum Mp3Result {
    kMp3Written = 0,
    kMp3NoInput,    // the WAV file could not be opened; no MP3 file was made
    kMp3NoOutput,   // the MP3 file could not be created
};

// Encodes the samples of a WAV file (read from byte 44 on as 16-bit stereo)
// into an MP3 file with LAME's defaults (128 kb/s CBR joint stereo), and
// writes LAME's Info tag into the first frame so players know the exact
// length. Stops early when the rip is aborted.
Mp3Result encode_wav_to_mp3(const char* wav_path, const char* mp3_path, int in_rate, int out_rate);

// Adds the five ID3 frames (artist, album, year, title, track number) from
// the disc fields, as an ID3v2 tag at the front and an ID3v1 tag at the end.
void write_id3_tags(const char* mp3_path);
