#include "cddb.h"

#include <cctype>
#include <cstdio>
#include <cstring>

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

int find_key_value(const char* text, const char* key, char* out, size_t out_size)
{
    if (out_size > 0) out[0] = '\0';
    size_t key_length = strlen(key);
    if (key_length == 0) return -1;
    const char* found = strstr(text, key);
    if (!found || found[key_length] == '\0') return -1;
    const char* value = found + key_length;
    size_t length = strcspn(value, "\r");
    if (out_size > 0) {
        if (length > out_size - 1) length = out_size - 1;
        memcpy(out, value, length);
        out[length] = '\0';
    }
    return static_cast<int>(found - text);
}

void split_dtitle(const char* dtitle, char* artist, size_t artist_size, char* album, size_t album_size)
{
    int p = find_key_value(dtitle, " / ", album, album_size);
    if (p < 0) {
        snprintf(artist, artist_size, "%s", dtitle);
        return;
    }
    snprintf(artist, artist_size, "%.*s", p, dtitle);
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
        if (c <= ' ' || c >= 0x7F || c == '&' || c == '+' || c == '#') return false;
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
