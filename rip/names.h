// Output names and folders, kept free of platform calls.
#pragma once
#include <cstddef>
#include <cstdint>

// Replaces, in place, the nine characters a file name cannot hold:
// \ / : * ? < > | become '_' and '"' becomes '\''. The length never changes.
void sanitize_name(char* text);

// The output folder for a root and the optional artist and album levels
// ("%s%s\%s\" and its shorter forms); the album level is "year - album"
// when a year is given. `root` must already end with a backslash.
// Returns false when the result does not fit `size` (nothing is cut).
bool compose_folder_text(const char* root, const char* artist, const char* album, const char* year, bool with_artist,
                         bool with_album, char* out, size_t size);

// The 44-byte header of a 16-bit stereo 44,100 Hz PCM WAV file holding
// `data_bytes` bytes of samples.
constexpr size_t kWavHeaderBytes = 44;
void make_wav_header(uint8_t* header, uint32_t data_bytes);
