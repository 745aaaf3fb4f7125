#include "cdlib/cue.h"
#include "cdlib/image_layout.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

CueSheet parsed(const std::string& text)
{
    CueSheet sheet;
    std::string error;
    EXPECT_TRUE(parse_cue(text.data(), text.size(), &sheet, &error)) << error << "\n" << text;
    return sheet;
}

std::string refusal(const std::string& text)
{
    CueSheet sheet;
    std::string error;
    EXPECT_FALSE(parse_cue(text.data(), text.size(), &sheet, &error)) << "accepted:\n" << text;
    return error;
}

TEST(CueSheet, ReadsFilesTracksIndexesGapsAndTexts)
{
    CueSheet sheet = parsed(
        "\xEF\xBB\xBFREM GENRE Rock\r\n"
        "REM SPEED 4\r\nREM DELAY 250\r\n"
        "PERFORMER \"The Band\"\r\nTITLE \"An Album\"\r\nCATALOG 0000000000000\r\n"
        "CDTEXTFILE disc.cdt\r\n"
        "FILE \"my disc.bin\" BINARY\r\n"
        "  TRACK 01 AUDIO\r\n    FLAGS DCP\r\n    TITLE \"One\"\r\n    INDEX 01 00:00:00\r\n"
        "  TRACK 02 AUDIO\r\n    PREGAP 00:02:00\r\n    INDEX 00 01:00:00\r\n    INDEX 01 01:02:10\r\n"
        "    POSTGAP 00:01:00\r\n"
        "FILE data.iso MOTOROLA\r\n  track 03 mode1/2048\r\n    index 01 00:00:00\r\n");
    ASSERT_EQ(sheet.files.size(), 2u);
    EXPECT_EQ(sheet.files[0].name, "my disc.bin") << "quoted name with a space";
    EXPECT_EQ(sheet.files[1].name, "data.iso") << "unquoted name";
    EXPECT_EQ(sheet.files[1].type, CueFileType::Motorola);
    EXPECT_EQ(sheet.speed, 4);
    EXPECT_EQ(sheet.delay_ms, 250);
    EXPECT_EQ(sheet.cdtext_file, "disc.cdt");
    EXPECT_EQ(sheet.title, "An Album");
    EXPECT_EQ(sheet.performer, "The Band");
    ASSERT_EQ(sheet.tracks.size(), 3u);
    EXPECT_EQ(sheet.tracks[0].title, "One");
    EXPECT_FALSE(sheet.tracks[1].has_title);
    EXPECT_EQ(sheet.tracks[1].index0, 60 * 75);
    EXPECT_EQ(sheet.tracks[1].index1, 62 * 75 + 10);
    EXPECT_EQ(sheet.tracks[1].pregap, 150u);
    EXPECT_EQ(sheet.tracks[1].postgap, 75u);
    EXPECT_EQ(sheet.tracks[2].mode, CueTrackMode::Mode1_2048);
    EXPECT_EQ(sheet.tracks[2].file, 1);
}

TEST(CueSheet, RefusesMalformedSheetsWithAReason)
{
    const std::string head = "FILE a.bin BINARY\n  TRACK 01 AUDIO\n";
    EXPECT_NE(refusal(head + "    INDEX 01 00:00:00\n  FROB 1\n").find("unknown command"), std::string::npos);
    EXPECT_NE(refusal(head + "    INDEX 01 00:60:00\n").find("bad time"), std::string::npos);
    EXPECT_NE(refusal(head + "    INDEX 01 00:00:75\n").find("bad time"), std::string::npos);
    EXPECT_NE(refusal(head + "    INDEX 01 0:0\n").find("bad time"), std::string::npos);
    EXPECT_NE(refusal(head + "    INDEX 01 00:00:00\n  TRACK 03 AUDIO\n    INDEX 01 00:10:00\n").find("out of order"),
              std::string::npos);
    EXPECT_NE(refusal(head + "    INDEX 01 00:10:00\n  TRACK 02 AUDIO\n    INDEX 01 00:05:00\n").find("before"),
              std::string::npos);
    EXPECT_NE(refusal(head).find("no INDEX 01"), std::string::npos);
    EXPECT_NE(refusal("  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n").find("before any FILE"), std::string::npos);
    EXPECT_NE(refusal("FILE a.bin MP3\n").find("file type"), std::string::npos);
    EXPECT_NE(refusal(head + "    INDEX 01 00:00:00\nTITLE " + std::string(5000, 'x') + "\n").find("too long"),
              std::string::npos);
    EXPECT_NE(refusal(std::string("FILE a.bin BINARY\n\0\n", 20)).find("NUL"), std::string::npos);
    EXPECT_NE(refusal("").find("no tracks"), std::string::npos);
    EXPECT_NE(refusal("FILE \"a.bin BINARY\n").find("FILE"), std::string::npos) << "unclosed quote";
}

std::vector<ImageFileInfo> sizes(std::initializer_list<uint64_t> bytes)
{
    std::vector<ImageFileInfo> files;
    for (uint64_t b : bytes) files.push_back(ImageFileInfo{0, b});
    return files;
}

TEST(ImageLayout, GapsPregapsAndDataTracksShapeTheToc)
{
    CueSheet sheet = parsed(
        "FILE a.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
        "  TRACK 02 AUDIO\n    INDEX 00 00:10:00\n    INDEX 01 00:11:00\n    POSTGAP 00:01:00\n"
        "FILE b.bin BINARY\n  TRACK 03 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:00:00\n"
        "FILE c.iso BINARY\n  TRACK 04 MODE1/2048\n    INDEX 01 00:00:00\n");
    ImageLayout layout;
    std::string error;
    ASSERT_TRUE(build_image_layout(sheet, sizes({20 * 75 * 2352ull, 5 * 75 * 2352ull, 100 * 2048ull}), &layout, &error))
        << error;
    ASSERT_EQ(layout.toc.count, 4);
    EXPECT_EQ(layout.toc.tracks[0].start, 0u);
    EXPECT_EQ(layout.toc.tracks[1].start, 11 * 75u) << "INDEX 01, not INDEX 00";
    EXPECT_EQ(layout.toc.tracks[0].sectors, 11 * 75u) << "track 1 runs up to track 2's INDEX 01";
    EXPECT_EQ(layout.toc.tracks[1].sectors, (9 + 1 + 2) * 75u) << "its own rest, its postgap, the next pregap";
    EXPECT_EQ(layout.toc.tracks[2].start, (20 + 1 + 2) * 75u);
    EXPECT_FALSE(layout.toc.tracks[3].audio);
    EXPECT_EQ(layout.toc.leadout, (20 + 1 + 2 + 5) * 75u + 100u);
}

// Reads from fake files whose byte at offset o of file f is (f * 16 + o) & 0xFF.
bool fake_read(void*, int file, uint64_t offset, void* buffer, uint32_t bytes)
{
    auto* out = static_cast<uint8_t*>(buffer);
    for (uint32_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(file * 16 + offset + i);
    return true;
}

bool failing_read(void*, int, uint64_t, void*, uint32_t)
{
    return false;
}

TEST(ImageLayout, ReadsFileBytesSilenceAndBigEndianSamples)
{
    CueSheet sheet = parsed(
        "FILE a.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
        "FILE b.raw MOTOROLA\n  TRACK 02 AUDIO\n    PREGAP 00:00:01\n    INDEX 01 00:00:00\n");
    ImageLayout layout;
    std::string error;
    ASSERT_TRUE(build_image_layout(sheet, sizes({2 * 2352ull, 2 * 2352ull}), &layout, &error)) << error;
    std::vector<uint8_t> out(5 * 2352);
    ASSERT_TRUE(read_image_sectors(layout, 0, 5, out.data(), fake_read, nullptr));
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2352 + 5], static_cast<uint8_t>(2352 + 5));
    EXPECT_EQ(out[2 * 2352], 0) << "the pregap sector is silence";
    EXPECT_EQ(out[2 * 2352 + 2351], 0);
    EXPECT_EQ(out[3 * 2352 + 0], 17) << "MOTOROLA: bytes of each sample swapped";
    EXPECT_EQ(out[3 * 2352 + 1], 16);
    EXPECT_FALSE(read_image_sectors(layout, 0, 1, out.data(), failing_read, nullptr)) << "a vanished file fails";
}

TEST(ImageLayout, RefusesTracksBeyondTheirFile)
{
    CueSheet sheet = parsed("FILE a.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                            "  TRACK 02 AUDIO\n    INDEX 01 00:30:00\n");
    ImageLayout layout;
    std::string error;
    EXPECT_FALSE(build_image_layout(sheet, sizes({10 * 75 * 2352ull}), &layout, &error));
    EXPECT_NE(error.find("beyond"), std::string::npos) << error;
}

std::vector<uint8_t> wave(uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t data_size,
                          bool extra_chunk = false)
{
    std::vector<uint8_t> h;
    auto put = [&](const void* p, size_t n) { h.insert(h.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n); };
    auto u32 = [&](uint32_t v) { put(&v, 4); };
    auto u16 = [&](uint16_t v) { put(&v, 2); };
    put("RIFF", 4); u32(0); put("WAVE", 4);
    if (extra_chunk) { put("LIST", 4); u32(3); put("abc\0", 4); }
    put("fmt ", 4); u32(16); u16(format); u16(channels); u32(rate); u32(rate * channels * bits / 8);
    u16(static_cast<uint16_t>(channels * bits / 8)); u16(bits);
    put("data", 4); u32(data_size);
    return h;
}

TEST(WaveHeader, FindsTheSamplesOfCdAudioOnly)
{
    WaveLayout layout;
    std::string error;
    std::vector<uint8_t> h = wave(1, 2, 44100, 16, 8000, true);
    ASSERT_TRUE(parse_wave_header(h.data(), h.size(), h.size() + 8000, &layout, &error)) << error;
    EXPECT_EQ(layout.data_offset, h.size()) << "an odd-sized chunk before fmt is skipped with its pad byte";
    EXPECT_EQ(layout.data_bytes, 8000u);

    h = wave(1, 2, 44100, 16, 0xFFFFFFFFu);
    ASSERT_TRUE(parse_wave_header(h.data(), h.size(), h.size() + 4004, &layout, &error));
    EXPECT_EQ(layout.data_bytes, 4004u) << "an unpatched size takes what the file holds";

    h = wave(1, 1, 44100, 16, 100);
    EXPECT_FALSE(parse_wave_header(h.data(), h.size(), 1000, &layout, &error));
    EXPECT_NE(error.find("1 channels"), std::string::npos) << error;
    h = wave(3, 2, 44100, 32, 100);
    EXPECT_FALSE(parse_wave_header(h.data(), h.size(), 1000, &layout, &error));
    h = wave(1, 2, 48000, 16, 100);
    EXPECT_FALSE(parse_wave_header(h.data(), h.size(), 1000, &layout, &error));
    const uint8_t junk[] = "RIFX....WAVE";
    EXPECT_FALSE(parse_wave_header(junk, 12, 12, &layout, &error));
    h = wave(1, 2, 44100, 16, 100);
    EXPECT_FALSE(parse_wave_header(h.data(), 30, 1000, &layout, &error)) << "cut inside the fmt chunk";
}

}  // namespace
