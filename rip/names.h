// Output names and folders, kept free of platform calls.
#pragma once
#include <cstddef>
#include <cstdint>

// How the bytes of a text make its characters: null for a single-byte
// code page, a test of the lead bytes of a double-byte one (such as code
// page 932), or utf8_text for UTF-8, the program's own code page where
// Windows takes it. Lengths are counted as Windows counts a path's: in
// bytes in an ANSI code page (as the program always did) and in UTF-16
// units in UTF-8 (a Japanese letter is 3 bytes but 1 unit).
typedef bool (*LeadByteTest)(unsigned char c);
bool utf8_text(unsigned char c);  // its lead bytes, C2-F4
size_t text_units(const char* text, LeadByteTest is_lead);
// The bytes of the character at `p` (a sequence that is not whole counts
// its first byte alone), and what that many bytes count as a length.
size_t text_char_bytes(const char* p, LeadByteTest is_lead);
size_t text_char_units(size_t bytes, LeadByteTest is_lead);
// The bytes of the longest start of `text` within `max_units`, ended at a
// character boundary.
size_t text_prefix_bytes(const char* text, size_t max_units, LeadByteTest is_lead);

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
// The bytes a name or a path of those lengths may take in UTF-8: 3 a unit
// at most (4 for the 2 units of a character outside the BMP).
constexpr size_t kMaxNameBytes = 3 * kMaxNameLength + 1;
constexpr size_t kMaxPathBytes = 3 * kMaxPathLength + 1;

// The output folder for a root and the optional artist and album levels
// ("%s%s\%s\" and its shorter forms); the album level is "year - album"
// when a year is given. Each level goes through sanitize_name and
// make_safe_folder_level. `root` must already end with a backslash.
// A folder longer than `max_units` (text_units) is made to fit: the album
// is cut first, then the artist, each at a character boundary and never to
// nothing (the year stays), and the cut level is made safe again. Returns
// false when even that does not fit, or the text does not fit `size` bytes.
bool compose_folder_text(const char* root, const char* artist, const char* album, const char* year, bool with_artist,
                         bool with_album, char* out, size_t size, size_t max_units, LeadByteTest is_lead = nullptr);

// A track's file name, "<number>.<title><extension>", with the title made
// safe (sanitize_name). When `folder_length` (text_units) of folder and the name
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
// names, trailing dots and spaces). When `folder_length` (text_units) of folder,
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
