#include "mp3.h"

#include <cstdio>

#include <id3/tag.h>
#include <lame/lame.h>

#include "app/log.h"
#include "rip/rip_state.h"

namespace {

constexpr int kInputValues = 2304;     // 1152 stereo frames
constexpr int kOutputBytes = 10000;
short g_input[kInputValues];
unsigned char g_output[kOutputBytes];

}  // namespace

Mp3Result encode_wav_to_mp3(const char* wav_path, const char* mp3_path, int in_rate, int out_rate)
{
    g_log.print("wavtomp3");
    g_log.enter();
    Mp3Result result = kMp3Written;
    FILE* wav = fopen(wav_path, "rb");
    FILE* mp3 = wav ? fopen(mp3_path, "w+b") : nullptr;
    if (!wav) {
        result = kMp3NoInput;
    } else if (!mp3) {
        fclose(wav);
        result = kMp3NoOutput;
    } else {
        fseek(wav, 44, SEEK_SET);
        lame_global_flags* lame = lame_init();
        lame_set_in_samplerate(lame, in_rate);
        lame_set_out_samplerate(lame, out_rate);
        lame_set_num_channels(lame, 1);
        lame_set_num_channels(lame, 2);
        lame_init_params(lame);
        for (;;) {
            size_t values = fread(g_input, sizeof(short), kInputValues, wav);
            if (values == 0 || g_rip_abort.load()) break;
            int bytes = lame_encode_buffer_interleaved(lame, g_input, static_cast<int>(values / 2), g_output, kOutputBytes);
            if (bytes > 0) fwrite(g_output, 1, static_cast<size_t>(bytes), mp3);
        }
        int bytes = lame_encode_flush(lame, g_output, kOutputBytes);
        if (bytes > 0) fwrite(g_output, 1, static_cast<size_t>(bytes), mp3);
        // The first frame was written as a placeholder; now it can say how
        // many samples the file holds and how much padding the encoder added.
        size_t tag = lame_get_lametag_frame(lame, g_output, kOutputBytes);
        if (tag > 0 && tag <= static_cast<size_t>(kOutputBytes)) {
            fseek(mp3, 0, SEEK_SET);
            fwrite(g_output, 1, tag, mp3);
        }
        fclose(wav);
        fclose(mp3);
        lame_close(lame);
    }
    g_log.print("ok");
    g_log.leave();
    return result;
}

void write_id3_tags(const char* mp3_path)
{
    ID3_Tag tag;
    ID3_Frame artist, album, year, title, track;
    tag.Link(mp3_path, ID3TT_ALL);
    struct {
        ID3_Frame* frame;
        ID3_FrameID id;
        const char* text;
    } frames[] = {
        {&artist, ID3FID_LEADARTIST, g_disc_fields.artist},
        {&album, ID3FID_ALBUM, g_disc_fields.album},
        {&year, ID3FID_YEAR, g_disc_fields.year},
        {&title, ID3FID_TITLE, g_disc_fields.title},
        {&track, ID3FID_TRACKNUM, g_disc_fields.track_number},
    };
    for (auto& f : frames) {
        f.frame->SetID(f.id);
        f.frame->GetField(ID3FN_TEXT)->Set(f.text);
    }
    for (auto& f : frames) tag.AddFrame(*f.frame);
    tag.Update(ID3TT_ALL);
}
