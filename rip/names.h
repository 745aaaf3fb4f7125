// Output names and folders, kept free of platform calls.
#pragma once
#include <cstddef>
#include <cstdint>

// true when `c` starts a double-byte character of the ANSI code page
typedef bool (*LeadByteTest)(unsigned char c);

// Makes a text safe as part of a file name, in place: the nine characters
// \ / : * ? < > | become '_', '"' becomes '\'', control characters (0x01-0x1F,
// 0x7F) become '_'. With `is_lead`, a lead byte and the byte after it are one
// character whose trail byte is kept as it is (in code page 932 trail bytes
// include '\' and '|'); a lead byte with nothing behind it becomes '_'.
// The length never changes.
void sanitize_name(char* text, LeadByteTest is_lead = nullptr);

// Makes one folder level (already through sanitize_name) one that Windows
// creates and keeps exactly as written, and that never leaves the folder it
// is made in: trailing dots and spaces (Windows strips them; a level of only
// dots and spaces would name the folder itself or its parent) become '_', a
// device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9 in any case, also with an
// extension or trailing spaces before it) gets a '_' in front, cut back at a
// character boundary to `size` - 1 if needed, and an empty level becomes "_".
void make_safe_folder_level(char* text, size_t size, LeadByteTest is_lead = nullptr);

// The longest path the program's 8-bit file calls take (MAX_PATH less its
// terminator), the longest name one level of a path may have, and the
// temporary name a file is written under until it is whole ("~track04.part").
constexpr size_t kMaxPathLength = 259;
constexpr size_t kMaxNameLength = 255;
constexpr size_t kPartNameLength = 13;
// The longest output folder: the temporary names fit behind it, and so does
// a track's name of its number, one character of its title and an extension.
constexpr size_t kMaxFolderLength = kMaxPathLength - kPartNameLength;

// The output folder for a root and the optional artist and album levels
// ("%s%s\%s\" and its shorter forms); the album level is "year - album"
// when a year is given. Each level goes through sanitize_name and
// make_safe_folder_level. `root` must already end with a backslash.
// A folder longer than `size` - 1 is made to fit: the album is cut first,
// then the artist, each at a character boundary and never to nothing (the
// year stays), and the cut level is made safe again. Returns false when
// even that does not fit.
bool compose_folder_text(const char* root, const char* artist, const char* album, const char* year, bool with_artist,
                         bool with_album, char* out, size_t size, LeadByteTest is_lead = nullptr);

// A track's file name, "<number>.<title><extension>", with the title made
// safe (sanitize_name). When `folder_length` bytes of folder and the name
// would pass kMaxPathLength, or the name kMaxNameLength, the title is cut
// at a character boundary, never to nothing; the number and the extension
// stay, so the tracks of a disc never share a name. Returns false when not
// even one character of the title fits (a folder over kMaxFolderLength) or
// the name does not fit `size`.
bool compose_file_name(size_t folder_length, int number, const char* title, const char* extension, char* out,
                       size_t size, LeadByteTest is_lead = nullptr);

// The name of a file that stands beside a rip's tracks, such as its log:
// "<base><suffix><extension>" ("Album (disc 2).log"), `base` ("" gives
// "Rip") and `suffix` made safe as a folder level is (sanitize_name, device
// names, trailing dots and spaces). When `folder_length` bytes of folder,
// the name and `spare` more bytes (a temporary name's) would pass
// kMaxPathLength, or the name kMaxNameLength, the base is cut at a
// character boundary, never to nothing; the suffix and the extension stay.
// False when not even one character of the base fits.
bool compose_beside_name(size_t folder_length, const char* base, const char* suffix, const char* extension,
                         size_t spare, char* out, size_t size, LeadByteTest is_lead = nullptr);

// The 44-byte header of a 16-bit stereo 44,100 Hz PCM WAV file holding
// `data_bytes` bytes of samples.
constexpr size_t kWavHeaderBytes = 44;
void make_wav_header(uint8_t* header, uint32_t data_bytes);
