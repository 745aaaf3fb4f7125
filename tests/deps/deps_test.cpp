// The third-party libraries are linked and work in a Windows build: LAME
// encodes, id3lib tags, FFmpeg has the WMA v2 encoder and the ASF muxer.
#include <gtest/gtest.h>

#include <vector>

#include <id3/tag.h>
#include <lame/lame.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "tests/support/harness.h"

namespace {

TEST(Dependencies, LameEncodesOneSecondOfStereo)
{
    lame_global_flags* lame = lame_init();
    ASSERT_TRUE(lame != nullptr);
    lame_set_in_samplerate(lame, 44100);
    lame_set_num_channels(lame, 2);
    ASSERT_EQ(lame_init_params(lame), 0);
    std::vector<short> pcm(44100 * 2, 0);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<short>((i * 97) % 2000 - 1000);
    std::vector<unsigned char> mp3(200000);
    int bytes = lame_encode_buffer_interleaved(lame, pcm.data(), 44100, mp3.data(), static_cast<int>(mp3.size()));
    ASSERT_GE(bytes, 0);
    int flushed = lame_encode_flush(lame, mp3.data() + bytes, static_cast<int>(mp3.size()) - bytes);
    ASSERT_GE(flushed, 0);
    EXPECT_GT(bytes + flushed, 10000) << "about 16 KB for a second at 128 kb/s";
    lame_close(lame);
}

TEST(Dependencies, Id3libWritesAFrameAndReadsItBack)
{
    std::string folder = harness::make_temp_folder("id3");
    std::string path = folder + "\\t.mp3";
    harness::write_file(path, std::string(1000, '\0'));
    {
        ID3_Tag tag;
        tag.Link(path.c_str(), ID3TT_ALL);
        ID3_Frame frame(ID3FID_TITLE);
        frame.GetField(ID3FN_TEXT)->Set("A title");
        tag.AddFrame(frame);
        tag.Update(ID3TT_ALL);
    }
    ID3_Tag tag(path.c_str());
    ID3_Frame* frame = tag.Find(ID3FID_TITLE);
    ASSERT_TRUE(frame != nullptr);
    char text[64] = {};
    frame->GetField(ID3FN_TEXT)->Get(text, sizeof text);
    EXPECT_STREQ(text, "A title");
    harness::remove_tree(folder);
}

TEST(Dependencies, FfmpegHasTheWmaV2EncoderAndAsfMuxer)
{
    EXPECT_TRUE(avcodec_find_encoder(AV_CODEC_ID_WMAV2) != nullptr);
    EXPECT_TRUE(av_guess_format("asf", nullptr, nullptr) != nullptr);
}

}  // namespace
