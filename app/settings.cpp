#include "settings.h"

#include <windows.h>
#include <cstdio>
#include <string>

#include "app/code_page.h"
#include "app/whole_file.h"
#include "cdlib/text_utf8.h"
#include "globals.h"
#include "log.h"
#include "settings_rules.h"

static const char kSection[] = "Settings";
bool g_musicbrainz_lookup = true;
bool g_accuraterip_check = true;
bool g_gap_detection = true;
bool g_test_and_copy = true;
bool g_replaygain = true;
constexpr DWORD kSettingTextSize = 1024;
static char g_read_offset[kSettingTextSize];  // as read: kept as it is, valid or not

int32_t read_setting_int(const char* section, const char* key)
{
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, 0, SettingsPath));
}

void read_setting_text(const char* section, const char* key, char* destination)
{
    GetPrivateProfileStringA(section, key, "", destination, kSettingTextSize, SettingsPath);
}

void write_setting_int(const char* section, const char* key, int32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "%d", static_cast<int>(value));
    WritePrivateProfileStringA(section, key, text, SettingsPath);
}

void write_setting_text(const char* section, const char* key, const char* text)
{
    WritePrivateProfileStringA(section, key, text, SettingsPath);
}

// settings.ini of an earlier version keeps its texts in the system's ANSI
// code page (Output=C:\Música\ in 1252). Where the program's texts are
// UTF-8, a file that is not UTF-8 is read in that code page and written
// back in UTF-8 before anything is read from it, so the folder stays.
void convert_legacy_settings()
{
    std::string bytes;
    if (GetACP() != CP_UTF8 || !read_whole_file(SettingsPath, 1 << 20, &bytes) || is_valid_utf8(bytes)) return;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
        return;  // UTF-16, which Windows reads as such
    UINT page = legacy_ansi_code_page();
    std::string utf8 = code_page_to_utf8(bytes, page);
    if (!utf8.empty() && replace_file(SettingsPath, utf8))
        g_log.print("settings.ini: read in code page %u, written in UTF-8", page);
}

void load_settings()
{
    convert_legacy_settings();
    g_rip_options.mp3 = read_setting_int(kSection, "MP3");
    g_rip_options.wav = read_setting_int(kSection, "WAV");
    g_rip_options.wma = read_setting_int(kSection, "WMA");
    g_rip_options.flac = read_setting_int(kSection, "FLAC");
    g_log.print("%d, %d, %d", g_rip_options.mp3, g_rip_options.wav, g_rip_options.wma);
    validate_format_flags(&g_rip_options.mp3, &g_rip_options.wav, &g_rip_options.wma, g_rip_options.flac);

    g_musicbrainz_lookup = GetPrivateProfileIntA(kSection, "MusicBrainz", 1, SettingsPath) != 0;
    g_accuraterip_check = GetPrivateProfileIntA(kSection, "AccurateRip", 1, SettingsPath) != 0;
    g_gap_detection = GetPrivateProfileIntA(kSection, "GapDetection", 1, SettingsPath) != 0;
    g_test_and_copy = GetPrivateProfileIntA(kSection, "TestAndCopy", 1, SettingsPath) != 0;
    g_replaygain = GetPrivateProfileIntA(kSection, "ReplayGain", 1, SettingsPath) != 0;
    read_setting_text(kSection, "Output", OutputRoot);
    if (OutputRoot[0] == '\0') snprintf(OutputRoot, kWorkingBufferSize, "%s", kDefaultOutputRoot);
    g_log.print("Output path: %s", OutputRoot);
    CreateDirectoryA(OutputRoot, nullptr);
    read_setting_text(kSection, "ReadOffset", g_read_offset);
}

bool read_offset_setting(int* samples)
{
    if (g_read_offset[0] == '\0') return false;
    if (parse_read_offset(g_read_offset, samples)) return true;
    g_log.print("ReadOffset=%s is not an offset from -3000 to 3000: not used", g_read_offset);
    return false;
}

void save_settings()
{
    write_setting_int(kSection, "MP3", g_rip_options.mp3);
    write_setting_int(kSection, "WAV", g_rip_options.wav);
    write_setting_int(kSection, "WMA", g_rip_options.wma);
    write_setting_text(kSection, "Output", OutputRoot);
    write_setting_int(kSection, "FLAC", g_rip_options.flac);
    write_setting_int(kSection, "MusicBrainz", g_musicbrainz_lookup ? 1 : 0);
    write_setting_int(kSection, "AccurateRip", g_accuraterip_check ? 1 : 0);
    write_setting_int(kSection, "GapDetection", g_gap_detection ? 1 : 0);
    write_setting_int(kSection, "TestAndCopy", g_test_and_copy ? 1 : 0);
    write_setting_int(kSection, "ReplayGain", g_replaygain ? 1 : 0);
    if (g_read_offset[0] != '\0') write_setting_text(kSection, "ReadOffset", g_read_offset);
}

OutputFormat rip_format()
{
    return chosen_format(g_rip_options.mp3, g_rip_options.wav, g_rip_options.wma, g_rip_options.flac);
}
