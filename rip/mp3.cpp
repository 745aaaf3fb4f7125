#include "mp3.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <id3/tag.h>
#include <lame/lame.h>

#include "rip/capture.h"
#include "rip/rip_state.h"

namespace {

constexpr int kInputBytes = 20000;   // 5000 stereo frames
constexpr int kOutputBytes = 16384;  // LAME asks for 1.25 x frames + 7200
// lame_init fills a table that all encoders share; two made at once
// would fill it together.
std::mutex g_lame_setup;

// Appends `bytes` to the MP3 file; false (with the error kept) when the
// write fails.
bool put(FILE* mp3, const char* path, const void* data, size_t bytes, DWORD* error)
{
    errno = 0;
    if (bytes == 0 || fwrite(data, 1, bytes, mp3) == bytes) return true;
    *error = failed_write_reason(path);
    return false;
}

lame_global_flags* new_encoder()
{
    std::lock_guard<std::mutex> lock(g_lame_setup);
    lame_global_flags* lame = lame_init();
    lame_set_in_samplerate(lame, 44100);
    lame_set_out_samplerate(lame, 44100);
    lame_set_num_channels(lame, 2);
    lame_init_params(lame);
    return lame;
}

Mp3Result encode(PcmSource read, void* source, FILE* mp3, const char* mp3_path, DWORD* error)
{
    short input[kInputBytes / 2];
    unsigned char output[kOutputBytes];
    lame_global_flags* lame = new_encoder();
    Mp3Result result = kMp3Written;
    for (;;) {
        long got = read(source, reinterpret_cast<char*>(input), sizeof input);
        if (got == 0) break;
        if (got < 0) {
            result = got == -1 ? kMp3Aborted : kMp3NoInput;
            break;
        }
        int bytes = lame_encode_buffer_interleaved(lame, input, static_cast<int>(got / 4), output, kOutputBytes);
        if (bytes > 0 && !put(mp3, mp3_path, output, static_cast<size_t>(bytes), error)) {
            result = kMp3WriteFailed;
            break;
        }
    }
    if (result == kMp3Written) {
        int bytes = lame_encode_flush(lame, output, kOutputBytes);
        if (bytes > 0 && !put(mp3, mp3_path, output, static_cast<size_t>(bytes), error)) result = kMp3WriteFailed;
    }
    // The first frame was written as a placeholder; now it can say how
    // many samples the file holds and how much padding the encoder added.
    size_t tag = result == kMp3Written ? lame_get_lametag_frame(lame, output, kOutputBytes) : 0;
    if (tag > 0 && tag <= static_cast<size_t>(kOutputBytes)) {
        if (fseek(mp3, 0, SEEK_SET) != 0 || !put(mp3, mp3_path, output, tag, error)) result = kMp3WriteFailed;
    }
    lame_close(lame);
    return result;
}

// The text as ISO-8859-1 when every character of it has a place there;
// otherwise false (the frame then carries UTF-16).
bool ansi_to_latin1(const char* text, char* out, size_t size, wchar_t* wide, size_t wide_size)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, static_cast<int>(wide_size));
    if (n <= 0) {
        wide[0] = 0;
        snprintf(out, size, "%s", text);
        return true;
    }
    size_t i = 0;
    for (; wide[i] && i + 1 < size; ++i) {
        if (wide[i] > 0xFF) return false;
        out[i] = static_cast<char>(wide[i]);
    }
    out[i] = '\0';
    return true;
}

void set_frame_text(ID3_Frame* frame, const char* text)
{
    char latin1[1024];
    wchar_t wide[1024];
    ID3_Field* field = frame->GetField(ID3FN_TEXT);
    if (ansi_to_latin1(text, latin1, sizeof latin1, wide, sizeof wide / sizeof wide[0])) {
        field->Set(latin1);
        return;
    }
    // id3lib writes a little-endian byte-order mark but each character's
    // bytes high first: handing it the characters byte-swapped puts them
    // in the order its mark announces.
    unicode_t utf16[1024];
    size_t i = 0;
    for (; wide[i] && i + 1 < sizeof utf16 / sizeof utf16[0]; ++i)
        utf16[i] = static_cast<unicode_t>((wide[i] >> 8 & 0xFF) | (wide[i] & 0xFF) << 8);
    utf16[i] = 0;
    frame->GetField(ID3FN_TEXTENC)->Set(ID3TE_UTF16);
    field->SetEncoding(ID3TE_UTF16);
    field->Set(utf16);
}

// Both tags where they belong: "ID3" at the front, "TAG" 128 bytes from the end.
bool holds_both_tags(const char* path)
{
    FILE* file = fopen(path, "rb");
    if (!file) return false;
    char front[3] = {}, back[3] = {};
    bool ok = fread(front, 1, 3, file) == 3 && fseek(file, -128, SEEK_END) == 0 && fread(back, 1, 3, file) == 3;
    fclose(file);
    return ok && memcmp(front, "ID3", 3) == 0 && memcmp(back, "TAG", 3) == 0;
}

}  // namespace

Mp3Result encode_to_mp3(PcmSource read, void* source, FILE* mp3, const char* mp3_path, DWORD* error)
{
    *error = 0;
    Mp3Result result = encode(read, source, mp3, mp3_path, error);
    errno = 0;
    if (fclose(mp3) != 0 && result == kMp3Written) {
        *error = failed_write_reason(mp3_path);
        result = kMp3WriteFailed;
    }
    if (result != kMp3Written) DeleteFileA(mp3_path);
    return result;
}

bool write_id3_tags(const char* mp3_path, const DiscFields& tags, DWORD* error)
{
    ID3_Tag tag;
    ID3_Frame artist, album, year, title, track;
    tag.Link(mp3_path, ID3TT_ALL);
    struct {
        ID3_Frame* frame;
        ID3_FrameID id;
        const char* text;
    } frames[] = {
        {&artist, ID3FID_LEADARTIST, tags.artist},
        {&album, ID3FID_ALBUM, tags.album},
        {&year, ID3FID_YEAR, tags.year},
        {&title, ID3FID_TITLE, tags.title},
        {&track, ID3FID_TRACKNUM, tags.track_number},
    };
    for (auto& f : frames) {
        f.frame->SetID(f.id);
        set_frame_text(f.frame, f.text);
    }
    for (auto& f : frames) tag.AddFrame(*f.frame);
    SetLastError(0);
    flags_t written = tag.Update(ID3TT_ALL);
    *error = GetLastError();
    return (written & ID3TT_ID3V2) && (written & ID3TT_ID3V1) && holds_both_tags(mp3_path);
}
