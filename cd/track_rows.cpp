#include "track_rows.h"

#include <cstdio>
#include <cstring>

void default_track_title(int number, char* title, size_t size)
{
    snprintf(title, size, "Track %02d", number);
}

void copy_track_title(char* title, size_t size, const char* text, LeadByteTest is_lead)
{
    if (size == 0) return;
    size_t n = 0, units = 0;
    while (text[n]) {
        size_t step = text_char_bytes(text + n, is_lead), more = text_char_units(step, is_lead);
        if (n + step > size - 1 || units + more > kTitleChars) break;
        n += step;
        units += more;
    }
    memcpy(title, text, n);
    title[n] = '\0';
}

void format_track_time(uint32_t bytes, char* text, size_t size)
{
    uint32_t seconds = bytes / 176400;
    snprintf(text, size, "%u:%02u", seconds / 60, seconds % 60);
}

const char* find_cdtext_title(const char* run, int number)
{
    if (!run) return nullptr;
    char key[12];
    snprintf(key, sizeof key, "TITLE%d=", number);
    size_t key_length = strlen(key);
    for (const char* entry = run; *entry; entry += strlen(entry) + 1) {
        if (strncmp(entry, key, key_length) == 0) return entry + key_length;
    }
    return nullptr;
}
