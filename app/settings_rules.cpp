#include "settings_rules.h"

const char kDefaultOutputRoot[] = "C:\\Music\\";

bool parse_read_offset(const char* text, int* samples)
{
    const char* p = text;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    int value = 0, digits = 0;
    for (; *p >= '0' && *p <= '9' && digits < 5; ++p, ++digits) value = value * 10 + (*p - '0');
    if (digits == 0 || *p != '\0' || value > 3000) return false;
    *samples = negative ? -value : value;
    return true;
}

void validate_format_flags(int32_t* mp3, int32_t* wav, int32_t* wma, int32_t flac)
{
    if (flac != 0) return;
    int32_t x = *mp3 ^ *wav;
    int32_t y = (*wma == 0) ? 1 : 0;
    if (x == y) return;
    *mp3 = 1;
    *wav = 0;
    *wma = 0;
}

OutputFormat chosen_format(int32_t mp3, int32_t wav, int32_t wma, int32_t flac)
{
    if (flac) return OutputFormat::kFlac;
    if (mp3) return OutputFormat::kMp3;
    if (wav) return OutputFormat::kWav;
    return wma ? OutputFormat::kWma : OutputFormat::kMp3;
}
