// Steps of the disc-image back end's test. A drive is a row:
// what the library says about it (drive_summary), the bytes its tracks'
// streams give, the log lines that leaves and the least time it takes.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>

#include "cdlib/cdlib.h"

inline std::string g_log;  // the library's log lines, each ended by '\n'
inline void capture_log(const char* line) { g_log += std::string(line) + "\n"; }

// "<description> <letter>: <n> tracks <sectors of each, or data> | <CDDB text> | <CD-TEXT entries>",
// or "<description> <letter>: no disc | - |".
inline std::string drive_summary(CDLIB_DWORD drive)
{
    const char* name = BASS_CD_GetDriveDescription(drive);
    std::string s = std::string(name ? name : "-") + " " + static_cast<char>('A' + BASS_CD_GetDriveLetter(drive)) + ":";
    int count = BASS_CD_GetTracks(drive);
    s += count < 0 ? " no disc" : " " + std::to_string(count) + " tracks";
    for (int t = 0; t < count; ++t) {
        CDLIB_DWORD bytes = BASS_CD_GetTrackLength(drive, t);
        s += bytes == 0xFFFFFFFFu ? " data" : " " + std::to_string(bytes / 2352) + (bytes % 2352 ? "+" : "");
    }
    const char* cddb = BASS_CD_GetID(drive, BASS_CDID_CDDB);
    s += std::string(" | ") + (cddb ? cddb : "-") + " |";
    for (const char* p = BASS_CD_GetID(drive, BASS_CDID_TEXT); p && *p; p += strlen(p) + 1) s += std::string(" ") + p;
    return s;
}

// `count` sectors of audio from disc sector `first`: every byte tells its
// sector and place.
inline std::string sectors(uint32_t first, uint32_t count)
{
    std::string bytes(count * 2352, '\0');
    for (uint32_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((first + i / 2352) * 31 + i % 2352 * 7);
    return bytes;
}

// Reads a stream the way the program does: blocks while it says it is active.
inline std::string read_all(HSTREAM stream)
{
    std::string bytes;
    char block[20000];
    BASS_ChannelPlay(stream, 0);
    for (CDLIB_DWORD got; bytes.size() < (1u << 28) && BASS_ChannelIsActive(stream) &&
                          (got = BASS_ChannelGetData(stream, block, sizeof block)) != 0xFFFFFFFFu;)
        bytes.append(block, got);
    return bytes;
}

struct DriveRow {
    std::string says;                 // its drive_summary
    std::vector<std::string> tracks;  // what the streams of its first tracks give ("" none: not audio)
    std::string log;                  // the log lines the summary and the reading leave
    DWORD least_ms = 0;               // the least time they take; they take less than 1.5 s more
};

inline void check_drive(CDLIB_DWORD drive, const DriveRow& row)
{
    g_log.clear();
    DWORD start = GetTickCount();
    EXPECT_EQ(drive_summary(drive), row.says);
    for (CDLIB_DWORD t = 0; t < row.tracks.size(); ++t)
        EXPECT_TRUE(read_all(BASS_CD_StreamCreate(drive, t, BASS_STREAM_DECODE)) == row.tracks[t]) << row.says << " track " << t + 1;
    DWORD took = GetTickCount() - start;
    EXPECT_TRUE(took >= row.least_ms && took < row.least_ms + 1500) << row.says << ": " << took << " ms";
    EXPECT_EQ(g_log, row.log) << row.says;
}
