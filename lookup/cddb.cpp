#include "cddb.h"

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
