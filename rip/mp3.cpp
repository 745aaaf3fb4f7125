#include "mp3.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include <id3/tag.h>
#include <id3/writers.h>
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

// The tags of one file, rendered before any audio is written.
struct Id3Tags {
    std::vector<unsigned char> front;  // ID3v2, at the start
    unsigned char back[128];           // ID3v1, the last 128 bytes
};

// Moves to `offset` from `origin` of the MP3 file; false (with the error
// kept) when the seek fails, which also writes out what is buffered.
bool seek(FILE* mp3, const char* path, long offset, int origin, DWORD* error)
{
    errno = 0;
    if (fseek(mp3, offset, origin) == 0) return true;
    *error = failed_write_reason(path);
    return false;
}

// The file in one pass: the ID3v2 tag, LAME's stream, then its Info frame
// written over the placeholder it began with, then the ID3v1 tag.
Mp3Result encode(PcmSource read, void* source, const Id3Tags& tags, FILE* mp3, const char* mp3_path, DWORD* error)
{
    short input[kInputBytes / 2];
    unsigned char output[kOutputBytes];
    if (!put(mp3, mp3_path, tags.front.data(), tags.front.size(), error)) return kMp3WriteFailed;
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
    // The stream's first frame was a placeholder; now it can say how many
    // samples the file holds and how much padding the encoder added.
    size_t info = result == kMp3Written ? lame_get_lametag_frame(lame, output, kOutputBytes) : 0;
    if (info > 0 && info <= static_cast<size_t>(kOutputBytes) &&
        !(seek(mp3, mp3_path, static_cast<long>(tags.front.size()), SEEK_SET, error) &&
          put(mp3, mp3_path, output, info, error)))
        result = kMp3WriteFailed;
    lame_close(lame);
    if (result == kMp3Written &&
        !(seek(mp3, mp3_path, 0, SEEK_END, error) && put(mp3, mp3_path, tags.back, sizeof tags.back, error)))
        result = kMp3WriteFailed;
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

// The five frames (artist, album, year, title, track number) rendered in
// memory: as an ID3v2 tag for the front of the file and an ID3v1 tag for
// its end. False when id3lib gives no tag.
bool render_tags(const DiscFields& fields, Id3Tags* tags)
{
    ID3_Tag tag;
    ID3_Frame artist, album, year, title, track;
    struct {
        ID3_Frame* frame;
        ID3_FrameID id;
        const char* text;
    } frames[] = {
        {&artist, ID3FID_LEADARTIST, fields.artist},
        {&album, ID3FID_ALBUM, fields.album},
        {&year, ID3FID_YEAR, fields.year},
        {&title, ID3FID_TITLE, fields.title},
        {&track, ID3FID_TRACKNUM, fields.track_number},
    };
    for (auto& f : frames) {
        f.frame->SetID(f.id);
        set_frame_text(f.frame, f.text);
        tag.AddFrame(*f.frame);
    }
    // Room for the frames and the padding id3lib adds (under 2 KiB).
    tags->front.resize(tag.Size() + 4096);
    ID3_MemoryWriter front(tags->front.data(), tags->front.size());
    size_t bytes = tag.Render(front, ID3TT_ID3V2);
    tags->front.resize(bytes < tags->front.size() ? bytes : 0);
    ID3_MemoryWriter back(tags->back, sizeof tags->back);
    return !tags->front.empty() && tag.Render(back, ID3TT_ID3V1) == sizeof tags->back;
}

}  // namespace

Mp3Result encode_to_mp3(PcmSource read, void* source, const DiscFields& fields, FILE* mp3, const char* mp3_path,
                        DWORD* error)
{
    *error = 0;
    Id3Tags tags;
    Mp3Result result = render_tags(fields, &tags) ? encode(read, source, tags, mp3, mp3_path, error) : kMp3WriteFailed;
    errno = 0;
    if (fclose(mp3) != 0 && result == kMp3Written) {
        *error = failed_write_reason(mp3_path);
        result = kMp3WriteFailed;
    }
    if (result != kMp3Written) DeleteFileA(mp3_path);
    return result;
}
