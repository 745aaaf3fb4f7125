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
    size_t n = 0;
    while (text[n]) {
        size_t step = (is_lead && is_lead(static_cast<unsigned char>(text[n])) && text[n + 1]) ? 2 : 1;
        if (n + step > size - 1) break;
        n += step;
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
