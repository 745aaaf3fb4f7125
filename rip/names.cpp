#include "names.h"

#include <cstdio>
#include <cstring>

void sanitize_name(char* text)
{
    for (char* p = text; *p; ++p) {
        switch (*p) {
        case '\\': case '/': case ':': case '*': case '?': case '<': case '>': case '|':
            *p = '_';
            break;
        case '"':
            *p = '\'';
            break;
        }
    }
}

bool compose_folder_text(const char* root, const char* artist, const char* album, const char* year, bool with_artist,
                         bool with_album, char* out, size_t size)
{
    char album_level[1024];
    if (year[0] != '\0') snprintf(album_level, sizeof album_level, "%s - %s", year, album);
    else snprintf(album_level, sizeof album_level, "%s", album);
    int n;
    if (with_artist && with_album) n = snprintf(out, size, "%s%s\\%s\\", root, artist, album_level);
    else if (with_artist) n = snprintf(out, size, "%s%s\\", root, artist);
    else if (with_album) n = snprintf(out, size, "%s%s\\", root, album_level);
    else n = snprintf(out, size, "%s", root);
    return n >= 0 && static_cast<size_t>(n) < size;
}

static void put32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

static void put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void make_wav_header(uint8_t* h, uint32_t data_bytes)
{
    memcpy(h, "RIFF", 4);
    put32(h + 4, data_bytes + 36);
    memcpy(h + 8, "WAVE", 4);
    memcpy(h + 12, "fmt ", 4);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, 2);
    put32(h + 24, 44100);
    put32(h + 28, 176400);
    put16(h + 32, 4);
    put16(h + 34, 16);
    memcpy(h + 36, "data", 4);
    put32(h + 40, data_bytes);
}
