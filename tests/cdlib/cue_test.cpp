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
