#include "cddb.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "cdlib/text_utf8.h"

const CddbCategory CddbCategories[kCddbCategoryCount] = {
    {"blues", "Blues (self explanatory)"},
    {"classical", "Classical (self explanatory)"},
    {"country", "Country (self explanatory)"},
    {"data", "Data (ISO9660 and other data CDs)"},
    {"folk", "Folk (self explanatory)"},
    {"jazz", "Jazz (self explanatory)"},
    {"newage", "Newage (self explanatory)"},
    {"reggae", "Reggae (self explanatory)"},
    {"rock", "Rock (incl. funk, soul, rap, pop, industrial, etc.)"},
    {"soundtrack", "Soundtrack (movies, shows)"},
    {"misc", "Misc (others that do not fit in the above categories) "},
};

namespace {

// Whether a reply's first line starts with the three-digit CDDB status
// `code`, followed by a space or the line's end ("2101" is not "210").
bool has_status(const char* reply, const char* code)
{
    if (strncmp(reply, code, 3) != 0) return false;
    return reply[3] == ' ' || reply[3] == '\r' || reply[3] == '\n' || reply[3] == '\0';
}

// Whether `text` starts with exactly four digits.
bool is_year(const char* text)
{
    for (int i = 0; i < 4; ++i)
        if (!isdigit(static_cast<unsigned char>(text[i]))) return false;
    return !isdigit(static_cast<unsigned char>(text[4]));
}

}  // namespace

CddbReply classify_cddb_reply(unsigned long http_status, const char* reply)
{
    if (http_status != 200) return CddbReply::kHttpError;
    if (has_status(reply, "210")) return CddbReply::kEntry;
    if (has_status(reply, "401")) return CddbReply::kNoEntry;
    return CddbReply::kNotEntry;
}

bool cddb_value(const char* reply, const char* key, char* out, size_t size)
{
    size_t key_length = strlen(key), used = 0;
    out[0] = '\0';
    for (const char* line = reply; *line;) {
        size_t length = strcspn(line, "\r\n");
        if (length > key_length && line[key_length] == '=' && strncmp(line, key, key_length) == 0) {
            size_t n = length - key_length - 1;
            if (n > size - 1 - used) n = size - 1 - used;
            memcpy(out + used, line + key_length + 1, n);
            used += n;
            out[used] = '\0';
        }
        line += length;
        line += strspn(line, "\r\n");
    }
    return used > 0;
}

bool cddb_year(const char* reply, char* year, size_t size)
{
    char value[1024];
    const char* found = nullptr;
    year[0] = '\0';
    if (cddb_value(reply, "DYEAR", value, sizeof value) && is_year(value + strspn(value, " ")))
        found = value + strspn(value, " ");
    else if (cddb_value(reply, "EXTD", value, sizeof value) && strstr(value, "YEAR: ") && is_year(strstr(value, "YEAR: ") + 6))
        found = strstr(value, "YEAR: ") + 6;
    if (found) snprintf(year, size, "%.4s", found);
    return found != nullptr;
}

bool cddb_genre(const char* reply, const char* category, char* genre, size_t size)
{
    if (cddb_value(reply, "DGENRE", genre, size)) return true;
    genre[0] = '\0';
    if (strcmp(category, "misc") == 0 || strcmp(category, "data") == 0) return false;
    snprintf(genre, size, "%s", category);
    if (genre[0] >= 'a' && genre[0] <= 'z') genre[0] = static_cast<char>(genre[0] - 'a' + 'A');
    return genre[0] != '\0';
}

void split_dtitle(const char* dtitle, char* artist, size_t artist_size, char* album, size_t album_size)
{
    const char* mark = strstr(dtitle, " / ");
    if (!mark) {
        snprintf(artist, artist_size, "%s", dtitle);
        snprintf(album, album_size, "%s", "");
        return;
    }
    snprintf(artist, artist_size, "%.*s", static_cast<int>(mark - dtitle), dtitle);
    snprintf(album, album_size, "%s", mark + 3);
}

bool cddb_hello_words(const char* email, char* hello, size_t size)
{
    if (size > 0) hello[0] = '\0';
    size_t length = strlen(email);
    const char* at = strchr(email, '@');
    if (length == 0 || length > kMaxEmailLength || !at || at == email || !at[1] || strchr(at + 1, '@')) return false;
    size_t used = 0;
    for (const char* p = email; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c <= ' ' || c >= 0x7F || c == '&' || c == '+' || c == '#') return hello[0] = '\0', false;
        char piece[4] = {static_cast<char>(c), '\0'};
        if (p == at) snprintf(piece, sizeof piece, "+");
        else if (!isalnum(c) && !strchr("-._~", c)) snprintf(piece, sizeof piece, "%%%02X", c);
        size_t n = strlen(piece);
        if (used + n >= size) return hello[0] = '\0', false;
        memcpy(hello + used, piece, n + 1);
        used += n;
    }
    return true;
}

std::string cddb_text_utf8(const std::string& reply)
{
    return is_valid_utf8(reply) ? reply : latin1_to_utf8(reply);
}
