#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

// A FLAC file being written from 16-bit stereo 44,100 Hz PCM: libFLAC at
// compression level 5 (the flac command line's default), the audio's MD5
// and its exact length in STREAMINFO, a seek table, the track's tags as
// Vorbis comments and its front cover as a PICTURE block. Every byte goes
// through our own FILE*, so a failed write (a full volume) is seen and kept.
struct FlacFile;
struct TagSet;

// Creates the file for `frames` stereo frames, commented with `tags`; null
// when it cannot be created or the encoder does not start (nothing is then
// left at `path`). Each file may be written from a thread of its own.
FlacFile* flac_create(const char* path, uint64_t frames, const TagSet& tags);

// Encodes `bytes` of PCM (whole frames). False once any write has failed.
bool flac_write(FlacFile* flac, const char* pcm, size_t bytes);

// Finishes the stream (STREAMINFO rewritten at the front), closes the file
// and frees `flac`. False, with the system's error code in `*error`, when
// any write, seek or the close failed: the file is then not whole.
bool flac_close(FlacFile* flac, DWORD* error);
