// CDDB: the categories, the key search, and what a "read" reply says.
#pragma once
#include <cstddef>

struct CddbCategory {
    const char* name;         // goes into the request
    const char* description;  // shown in the genre list
};
constexpr int kCddbCategoryCount = 11;
extern const CddbCategory CddbCategories[kCddbCategoryCount];

// Finds the first place where `key` occurs in `text` with at least one
// character behind it, and copies what follows the key up to the first CR
// (or the end) into `out`, cut to `out_size` - 1 characters. Returns the
// key's offset, or -1 (then `out` is empty).
int find_key_value(const char* text, const char* key, char* out, size_t out_size);

// A reply of this many bytes or fewer means "no such entry".
constexpr size_t kCddbShortReply = 100;

// Splits a DTITLE value at its first " / ": `artist` gets what stands
// before it (or the whole value when there is none), `album` what follows.
void split_dtitle(const char* dtitle, char* artist, size_t artist_size, char* album, size_t album_size);

// The user and host words of the CDDB hello from an e-mail address that the
// user saved ("local@host"): "local+host", with every character that a URL
// query cannot carry as it is percent-encoded. Returns false (and `hello`
// empty) for anything but one plausible address: printable ASCII without
// spaces, one '@' with text on both sides, no '&', '+' or '#', at most 254
// characters.
constexpr size_t kMaxEmailLength = 254;
bool cddb_hello_words(const char* email, char* hello, size_t size);
