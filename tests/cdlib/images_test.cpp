// The audio-CD library with the disc-image back end, through its public
// calls: the drives are the cue sheets this test writes into "discs" beside
// itself before the first call (the library lists its drives once).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cdlib/cdlib.h"
#include "cdlib/cdtext.h"
#include "tests/support/harness.h"

namespace {

std::string g_discs;        // the discs folder
std::string g_out;          // where WMA files go for the native check
std::vector<std::string> g_log;

void capture_log(const char* line)
{
    g_log.push_back(line);
}

// The 16-bit sample of track t, frame i, channel c on every test disc.
int16_t sample_of(int t, uint32_t i, int c)
{
    return static_cast<int16_t>((i * 7 + t * 1000 + c * 3) & 0x7FFF);
}

std::string pcm(int t, uint32_t frames, bool big_endian = false)
{
    std::string bytes(frames * 4, '\0');
    for (uint32_t i = 0; i < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
            uint16_t v = static_cast<uint16_t>(sample_of(t, i, c));
            bytes[i * 4 + c * 2 + (big_endian ? 1 : 0)] = static_cast<char>(v & 0xFF);
            bytes[i * 4 + c * 2 + (big_endian ? 0 : 1)] = static_cast<char>(v >> 8);
        }
    }
    return bytes;
}

std::string wave_file(const std::string& samples)
{
    auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
    std::string fmt = u16(1) + u16(2) + u32(44100) + u32(176400) + u16(4) + u16(16);
    std::string list = "LIST" + u32(5) + "hello" + std::string(1, '\0');
    std::string body = "WAVE" + list + "fmt " + u32(16) + fmt + "data" + u32(static_cast<uint32_t>(samples.size())) + samples;
    return "RIFF" + u32(static_cast<uint32_t>(body.size())) + body;
}

void put(const std::string& name, const std::string& bytes)
{
    ASSERT_TRUE(harness::write_file(g_discs + "\\" + name, bytes)) << name;
}

constexpr uint32_t kFrames1 = 588 * 200, kFrames2 = 588 * 150 + 100, kFrames3 = 588 * 75;

void write_discs()
{
    // a: three tracks in one BINARY file, texts in the sheet
    put("a-plain.bin", pcm(1, kFrames1) + pcm(2, kFrames2 - 100) + pcm(3, kFrames3));
    put("a-plain.cue", "PERFORMER \"Band\"\nTITLE \"Album\"\nFILE \"a-plain.bin\" BINARY\n"
                       "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
                       "  TRACK 02 AUDIO\n    INDEX 01 00:02:50\n"
                       "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 01 00:04:50\n");
    // b: CD-TEXT packs take precedence over the sheet's texts
    uint8_t packs[3][18];
    make_cdtext_pack(packs[0], 0x80, 0, 0, 0, "Packed\0Singl");
    make_cdtext_pack(packs[1], 0x80, 1, 1, 5, "e\0\0\0\0\0\0\0\0\0\0");
    make_cdtext_pack(packs[2], 0x81, 0, 2, 0, "Packer\0\t\0\0\0");
    put("b-cdtext.cdt", std::string(reinterpret_cast<char*>(packs), sizeof packs));
    put("b-cdtext.bin", pcm(1, 588 * 10));
    put("b-cdtext.cue", "TITLE \"Ignored\"\nCDTEXTFILE b-cdtext.cdt\nFILE b-cdtext.bin BINARY\n"
                        "  TRACK 01 AUDIO\n    TITLE \"Ignored too\"\n    INDEX 01 00:00:00\n");
    // c: one WAVE file per track, the second with its pause inside the file
    put("c-1.wav", wave_file(pcm(1, 588 * 20)));
    put("c-2.wav", wave_file(std::string(588 * 4 * 30, '\0') + pcm(2, 588 * 20)));
    put("c-wave.cue", "FILE c-1.wav WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                      "FILE c-2.wav WAVE\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:00:30\n");
    // d: mixed mode: a data track first, then big-endian audio
    put("d-data.iso", std::string(2352 * 50, 'D'));
    put("d-audio.raw", pcm(1, 588 * 10, true));
    put("d-mixed.cue", "FILE d-data.iso BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                       "FILE d-audio.raw MOTOROLA\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n");
    put("e-missing.cue", "FILE nowhere.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    put("f-malformed.cue", "FILE a-plain.bin BINARY\n  TRACK 01 AUDIO\n  INDEX 01 00:00:00\n  SHUFFLE ON\n");
    put("g-slow.bin", pcm(1, 44100 * 2));
    put("g-slow.cue", "REM SPEED 4\nREM DELAY 300\nFILE g-slow.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    put("h-gaps.bin", pcm(1, 588 * 10) + pcm(2, 588 * 10));
    put("h-gaps.cue", "FILE h-gaps.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n    POSTGAP 00:00:02\n"
                      "  TRACK 02 AUDIO\n    PREGAP 00:00:03\n    INDEX 01 00:00:10\n");
    put("not-a-disc.txt", "ignored");
}

enum { kPlain, kCdText, kWave, kMixed, kMissing, kMalformed, kSlow, kGaps, kDriveCount };

std::string read_all(HSTREAM stream)
{
    std::string bytes;
    std::vector<char> block(20000);
    BASS_ChannelPlay(stream, 0);
    int guard = 0;
    while (BASS_ChannelIsActive(stream) && ++guard < 100000) {
        DWORD got = BASS_ChannelGetData(stream, block.data(), 20000);
        if (got == 0xFFFFFFFFu) break;
        bytes.append(block.data(), got);
    }
    return bytes;
}

TEST(ImageDrives, ListedInNameOrderWithLettersFromD)
{
    const char* names[] = {"a-plain", "b-cdtext", "c-wave", "d-mixed", "e-missing", "f-malformed", "g-slow", "h-gaps"};
    for (int i = 0; i < kDriveCount; ++i) {
        const char* description = BASS_CD_GetDriveDescription(i);
        ASSERT_TRUE(description != nullptr) << "drive " << i;
        EXPECT_STREQ(description, names[i]);
        EXPECT_EQ(BASS_CD_GetDriveLetter(i), static_cast<DWORD>(3 + i));
    }
    EXPECT_TRUE(BASS_CD_GetDriveDescription(kDriveCount) == nullptr) << "null past the last drive";
    EXPECT_EQ(BASS_ErrorGetCode(), CDLIB_ERROR_DEVICE);
}

TEST(ImageDrives, PlainDiscTocIdsAndTexts)
{
    EXPECT_TRUE(BASS_CD_IsReady(kPlain));
    ASSERT_EQ(BASS_CD_GetTracks(kPlain), 3);
    EXPECT_EQ(BASS_CD_GetTrackLength(kPlain, 0), kFrames1 * 4);
    EXPECT_EQ(BASS_CD_GetTrackLength(kPlain, 1), kFrames2 * 4 - 400) << "up to track 3";
    EXPECT_EQ(BASS_CD_GetTrackLength(kPlain, 2), kFrames3 * 4);
    EXPECT_EQ(BASS_CD_GetTrackLength(kPlain, 3), 0xFFFFFFFFu);
    // starts 0, 200, 350 sectors; lead-out 425: id from the freedb rule
    EXPECT_STREQ(BASS_CD_GetID(kPlain, BASS_CDID_CDDB), "0c000503 3 150 350 500 7");
    const char* run = BASS_CD_GetID(kPlain, BASS_CDID_TEXT);
    ASSERT_TRUE(run != nullptr);
    std::vector<std::string> entries;
    for (const char* p = run; *p; p += strlen(p) + 1) entries.push_back(p);
    std::vector<std::string> expected = {"TITLE0=Album", "PERFORMER0=Band", "TITLE1=One", "TITLE3=Three"};
    EXPECT_EQ(entries, expected);
    EXPECT_TRUE(BASS_CD_GetID(kGaps, BASS_CDID_TEXT) == nullptr) << "no texts, no run";
}

TEST(ImageDrives, StreamsDeliverTheTrackBytesExactly)
{
    HSTREAM stream = BASS_CD_StreamCreate(kPlain, 1, BASS_STREAM_DECODE);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(stream), static_cast<CDLIB_QWORD>(kFrames2 * 4 - 400));
    std::string data = read_all(stream);
    EXPECT_TRUE(data == pcm(2, kFrames2 - 100)) << "track 2 bytes, " << data.size() << " read";
    EXPECT_EQ(BASS_ChannelIsActive(stream), 0u);
    char byte;
    EXPECT_EQ(BASS_ChannelGetData(stream, &byte, 1), 0xFFFFFFFFu);
    EXPECT_EQ(BASS_ErrorGetCode(), CDLIB_ERROR_ENDED);

    ASSERT_TRUE(BASS_CD_StreamSetTrack(stream, 0));
    EXPECT_EQ(BASS_ChannelGetPosition(stream), 0u);
    EXPECT_TRUE(read_all(stream) == pcm(1, kFrames1)) << "the same stream, now at track 1's start";
    EXPECT_FLOAT_EQ(BASS_ChannelBytes2Seconds(stream, 176400 * 3), 3.0f);
    EXPECT_EQ(BASS_CD_StreamCreate(kPlain, 5, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), CDLIB_ERROR_CDTRACK);
}

TEST(ImageDrives, CdTextFileWinsOverTheSheet)
{
    const char* run = BASS_CD_GetID(kCdText, BASS_CDID_TEXT);
    ASSERT_TRUE(run != nullptr);
    EXPECT_EQ(std::string(run, 65), std::string("TITLE0=Packed\0PERFORMER0=Packer\0TITLE1=Single\0PERFORMER1=Packer\0\0", 65));
}

TEST(ImageDrives, WaveFilesMixedModeAndGaps)
{
    ASSERT_EQ(BASS_CD_GetTracks(kWave), 2);
    EXPECT_EQ(BASS_CD_GetTrackLength(kWave, 0), 588u * 4 * (20 + 30)) << "track 1 runs through track 2's pause";
    HSTREAM wave = BASS_CD_StreamCreate(kWave, 1, BASS_STREAM_DECODE);
    EXPECT_TRUE(read_all(wave) == pcm(2, 588 * 20)) << "samples behind the WAVE header";

    ASSERT_EQ(BASS_CD_GetTracks(kMixed), 2);
    EXPECT_EQ(BASS_CD_GetTrackLength(kMixed, 0), 0xFFFFFFFFu) << "data track";
    EXPECT_EQ(BASS_CD_StreamCreate(kMixed, 0, BASS_STREAM_DECODE), 0u);
    HSTREAM mixed = BASS_CD_StreamCreate(kMixed, 1, BASS_STREAM_DECODE);
    EXPECT_TRUE(read_all(mixed) == pcm(1, 588 * 10)) << "MOTOROLA samples come out little-endian";

    EXPECT_EQ(BASS_CD_GetTrackLength(kGaps, 0), 588u * 4 * (10 + 2 + 3));
    std::string first = read_all(BASS_CD_StreamCreate(kGaps, 0, BASS_STREAM_DECODE));
    EXPECT_TRUE(first == pcm(1, 588 * 10) + std::string(588 * 4 * 5, '\0')) << "postgap and pregap are silence";
}

TEST(ImageDrives, BrokenImagesAreDrivesWithoutADiscAndTheLogSaysWhy)
{
    g_log.clear();
    EXPECT_FALSE(BASS_CD_IsReady(kMissing));
    EXPECT_EQ(BASS_ErrorGetCode(), CDLIB_ERROR_NOCD);
    EXPECT_EQ(BASS_CD_GetTracks(kMissing), -1);
    EXPECT_EQ(BASS_CD_GetTracks(kMalformed), -1);
    EXPECT_TRUE(BASS_CD_GetID(kMalformed, BASS_CDID_CDDB) == nullptr);
    ASSERT_EQ(g_log.size(), 2u) << "one line for each drive, not one per query";
    EXPECT_NE(g_log[0].find("missing file"), std::string::npos) << g_log[0];
    EXPECT_NE(g_log[1].find("unknown command"), std::string::npos) << g_log[1];
}

TEST(ImageDrives, RenamingAFileAwayTakesTheDiscOut)
{
    std::string bin = g_discs + "\\a-plain.bin", away = g_discs + "\\a-plain.away";
    HSTREAM stream = BASS_CD_StreamCreate(kPlain, 0, BASS_STREAM_DECODE);
    ASSERT_NE(stream, 0u);
    char block[20000];
    EXPECT_EQ(BASS_ChannelGetData(stream, block, sizeof block), sizeof block);
    ASSERT_TRUE(MoveFileA(bin.c_str(), away.c_str()));
    EXPECT_FALSE(BASS_CD_IsReady(kPlain));
    // What was read ahead (at most 64 sectors) may still come; then reads fail, never block.
    int reads = 0;
    while (BASS_ChannelGetData(stream, block, sizeof block) != 0xFFFFFFFFu && reads < 100) ++reads;
    EXPECT_LE(reads, 8) << "the stream ends within its read-ahead";
    EXPECT_EQ(BASS_ChannelIsActive(stream), 0u) << "and the stream stops";
    EXPECT_FALSE(BASS_CD_StreamSetTrack(stream, 1));
    EXPECT_EQ(BASS_ChannelIsActive(stream), 0u) << "a track that cannot be set gives nothing, not old data";
    ASSERT_TRUE(MoveFileA(away.c_str(), bin.c_str()));
    EXPECT_TRUE(BASS_CD_IsReady(kPlain)) << "renamed back, the disc is in again";
}

TEST(ImageDrives, SpeedAndDelayMakeASlowDrive)
{
    DWORD start = GetTickCount();
    EXPECT_TRUE(BASS_CD_IsReady(kSlow));
    EXPECT_GE(GetTickCount() - start, 280u) << "REM DELAY 300 makes the query slow";

    HSTREAM stream = BASS_CD_StreamCreate(kSlow, 0, BASS_STREAM_DECODE);
    start = GetTickCount();
    std::string data = read_all(stream);  // 2 seconds of audio at 4 times real time
    DWORD took = GetTickCount() - start;
    EXPECT_EQ(data.size(), 176400u * 2);
    EXPECT_GE(took, 450u) << "about half a second at REM SPEED 4";

    start = GetTickCount();
    read_all(BASS_CD_StreamCreate(kPlain, 0, BASS_STREAM_DECODE));
    EXPECT_LT(GetTickCount() - start, 1000u) << "an image without REM SPEED is not throttled";
}

TEST(WmaWriter, WritesTaggedFilesAndFailsCleanly)
{
    std::string path = g_out + "\\tagged.wma";
    HWMENCODE encoder = BASS_WMA_EncodeOpenFile(44100, 2, BASS_WMA_ENCODE_TAGS, 128000, path.c_str());
    ASSERT_NE(encoder, 0u) << BASS_ErrorGetCode();
    EXPECT_TRUE(BASS_WMA_EncodeSetTag(encoder, "Title", "A Title", 0));
    EXPECT_TRUE(BASS_WMA_EncodeSetTag(encoder, "Author", "An Artist", 0));
    EXPECT_TRUE(BASS_WMA_EncodeSetTag(encoder, "WM/AlbumTitle", "An Album", 0));
    EXPECT_TRUE(BASS_WMA_EncodeSetTag(encoder, "WM/Year", "1999", 0));
    EXPECT_TRUE(BASS_WMA_EncodeSetTag(encoder, "WM/Tracknumber", "7", 0));
    std::string audio = pcm(1, 44100 * 3 + 777);
    for (size_t at = 0; at < audio.size(); at += 3333) {  // blocks of any length
        size_t n = std::min<size_t>(3333, audio.size() - at);
        EXPECT_TRUE(BASS_WMA_EncodeWrite(encoder, audio.data() + at, static_cast<DWORD>(n)));
    }
    BASS_WMA_EncodeClose(encoder);
    EXPECT_EQ(BASS_ErrorGetCode(), CDLIB_OK);
    harness::write_file(g_out + "\\tagged.frames", std::to_string(44100 * 3 + 777));

    HWMENCODE empty = BASS_WMA_EncodeOpenFile(44100, 2, BASS_WMA_ENCODE_TAGS, 128000, (g_out + "\\tags-only.wma").c_str());
    ASSERT_NE(empty, 0u);
    BASS_WMA_EncodeSetTag(empty, "Title", "Nothing", 0);
    BASS_WMA_EncodeClose(empty);

    CreateDirectoryA((g_out + "\\a-folder.wma").c_str(), nullptr);
    EXPECT_EQ(BASS_WMA_EncodeOpenFile(44100, 2, 0, 128000, (g_out + "\\a-folder.wma").c_str()), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), CDLIB_ERROR_FILEOPEN);
    EXPECT_EQ(BASS_WMA_EncodeOpenFile(44100, 2, 0, 128000, (g_out + "\\no\\such\\folder.wma").c_str()), 0u);
    EXPECT_FALSE(harness::file_exists(g_out + "\\no")) << "nothing is left behind";
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    g_discs = harness::beside_this_program("discs");
    g_out = harness::beside_this_program("wma-out");
    harness::remove_tree(g_discs);
    harness::remove_tree(g_out);
    CreateDirectoryA(g_discs.c_str(), nullptr);
    CreateDirectoryA(g_out.c_str(), nullptr);
    write_discs();
    CDLIB_SetLogProc(capture_log);
    return RUN_ALL_TESTS();
}
