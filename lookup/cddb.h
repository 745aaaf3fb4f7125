// CDDB: the categories, the key search, and what a "read" reply says.
#pragma once
#include <cstddef>
#include <string>

struct CddbCategory {
    const char* name;         // goes into the request
    const char* description;  // shown in the genre list
};
constexpr int kCddbCategoryCount = 11;
extern const CddbCategory CddbCategories[kCddbCategoryCount];

// What the server's answer to a "read" is. Only an entry may change
// anything the user has.
enum class CddbReply {
    kEntry,      // HTTP 200 and a first line "210 ...": an entry follows
    kNoEntry,    // the server has no such entry ("401 ...")
    kNotEntry,   // HTTP 200 but no entry: another CDDB error, or a page that
                 // is not CDDB at all (a captive portal, a proxy's page)
    kHttpError,  // any other HTTP status
};
CddbReply classify_cddb_reply(unsigned long http_status, const char* reply);

// The value of `key` ("DTITLE", "TTITLE3") in an entry: the rest of every
// line that starts with the key and '=', joined in order (a long value is
// spread over several such lines). A line ends at CR or LF. The value is
// cut to `size` - 1 bytes (`size` > 0). Returns whether `out` got any text:
// false when no line has the key, or only with nothing behind it.
bool cddb_value(const char* reply, const char* key, char* out, size_t size);

// The disc's year: DYEAR when it holds four digits, else the four digits
// behind "YEAR: " in EXTD (older entries: "EXTD= YEAR: 1986 ID3G: 17").
// Returns false, with `year` empty, when the entry holds neither.
constexpr size_t kCddbYearSize = 5;
bool cddb_year(const char* reply, char* year, size_t size);

// The disc's genre: DGENRE when the entry has one, else the category the
// entry was read from ("rock" gives "Rock"); none for "misc" and "data",
// which name no genre. Returns whether `genre` got any text.
bool cddb_genre(const char* reply, const char* category, char* genre, size_t size);

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

// A reply's text in UTF-8: as it came when it is valid UTF-8 (what protocol
// level 6 asks for), else each byte read as an ISO-8859-1 letter (what an
// older server sends).
std::string cddb_text_utf8(const std::string& reply);
