#include "mp3.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <id3/tag.h>
#include <id3/writers.h>
#include <lame/lame.h>

#include "rip/capture.h"
#include "rip/replaygain_tags.h"
#include "rip/rip_state.h"
#include "rip/tag_set.h"

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

std::wstring utf8_to_wide(const std::string& text)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length > 0 ? static_cast<size_t>(length) : 0, L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

// The frame's text (UTF-8) as ISO-8859-1 when every character of it has a
// place there, as UTF-16 otherwise.
void set_frame_text(ID3_Frame* frame, const std::string& text)
{
    std::wstring wide = utf8_to_wide(text);
    ID3_Field* field = frame->GetField(ID3FN_TEXT);
    std::string latin1;
    bool fits = true;
    for (wchar_t c : wide) {
        latin1 += static_cast<char>(c);
        fits = fits && c <= 0xFF;
    }
    if (fits) {
        field->Set(latin1.c_str());
        return;
    }
    // id3lib writes a little-endian byte-order mark but each character's
    // bytes high first: handing it the characters byte-swapped puts them
    // in the order its mark announces.
    std::vector<unicode_t> utf16;
    for (wchar_t c : wide) utf16.push_back(static_cast<unicode_t>((c >> 8 & 0xFF) | (c & 0xFF) << 8));
    utf16.push_back(0);
    frame->GetField(ID3FN_TEXTENC)->Set(ID3TE_UTF16);
    field->SetEncoding(ID3TE_UTF16);
    field->Set(utf16.data());
}

void add_text(ID3_Tag* tag, ID3_FrameID id, const std::string& text)
{
    auto* frame = new ID3_Frame(id);
    set_frame_text(frame, text);
    tag->AttachFrame(frame);
}

// A MusicBrainz id as a TXXX frame named as taggers name it. Ids are
// printable ASCII; anything else is not written.
void add_id(ID3_Tag* tag, const char* description, const std::string& id)
{
    for (char c : id)
        if (c < 0x20 || c > 0x7E) return;
    if (id.empty()) return;
    auto* frame = new ID3_Frame(ID3FID_USERTEXT);
    frame->GetField(ID3FN_DESCRIPTION)->Set(description);
    frame->GetField(ID3FN_TEXT)->Set(id.c_str());
    tag->AttachFrame(frame);
}

std::string number_of(int n, int total)
{
    char text[32];
    if (total > 0) snprintf(text, sizeof text, "%d/%d", n, total);
    else snprintf(text, sizeof text, "%d", n);
    return text;
}

// What MusicBrainz adds: album artist, disc, ids (the recording as a UFID
// frame, the others as TXXX frames) and the front cover.
void add_found_frames(ID3_Tag* tag, const TagSet& tags)
{
    if (!tags.album_artist.empty()) add_text(tag, ID3FID_BAND, tags.album_artist);
    if (tags.discs > 1) add_text(tag, ID3FID_PARTINSET, number_of(tags.disc, tags.discs));
    const struct {
        const char* name;
        const std::string& id;
    } ids[] = {
        {"MusicBrainz Album Id", tags.mb_release},
        {"MusicBrainz Release Group Id", tags.mb_release_group},
        {"MusicBrainz Release Track Id", tags.mb_release_track},
        {"MusicBrainz Artist Id", tags.mb_artist},
        {"MusicBrainz Album Artist Id", tags.mb_album_artist},
        {"MusicBrainz Disc Id", tags.mb_disc_id},
        {"BARCODE", tags.barcode},
    };
    for (const auto& id : ids) add_id(tag, id.name, id.id);
    if (!tags.isrc.empty()) add_text(tag, ID3FID_ISRC, tags.isrc);
    if (!tags.mb_recording.empty()) {
        auto* frame = new ID3_Frame(ID3FID_UNIQUEFILEID);
        frame->GetField(ID3FN_OWNER)->Set("http://musicbrainz.org");
        frame->GetField(ID3FN_DATA)->Set(reinterpret_cast<const uchar*>(tags.mb_recording.data()),
                                         tags.mb_recording.size());
        tag->AttachFrame(frame);
    }
    if (tags.cover) {
        auto* frame = new ID3_Frame(ID3FID_PICTURE);
        frame->GetField(ID3FN_MIMETYPE)->Set(tags.cover->mime.c_str());
        frame->GetField(ID3FN_PICTURETYPE)->Set(ID3PT_COVERFRONT);
        frame->GetField(ID3FN_DESCRIPTION)->Set("");
        frame->GetField(ID3FN_DATA)->Set(reinterpret_cast<const uchar*>(tags.cover->bytes.data()),
                                         tags.cover->bytes.size());
        tag->AttachFrame(frame);
    }
}

// The frames rendered in memory: as an ID3v2 tag for the front of the file
// and an ID3v1 tag for its end. False when id3lib gives no tag.
bool render_tags(const TagSet& tags, Id3Tags* rendered)
{
    ID3_Tag tag;
    add_text(&tag, ID3FID_LEADARTIST, tags.artist);
    add_text(&tag, ID3FID_ALBUM, tags.album);
    add_text(&tag, ID3FID_YEAR, tags.year);
    add_text(&tag, ID3FID_TITLE, tags.title);
    add_text(&tag, ID3FID_TRACKNUM, number_of(tags.track, tags.tracks));
    add_found_frames(&tag, tags);
    // Room for the frames and the padding id3lib adds (under 2 KiB).
    rendered->front.resize(tag.Size() + 4096);
    ID3_MemoryWriter front(rendered->front.data(), rendered->front.size());
    size_t bytes = tag.Render(front, ID3TT_ID3V2);
    rendered->front.resize(bytes < rendered->front.size() ? bytes : 0);
    // Room for the ReplayGain values, which come once the album is read.
    if (tags.gain_room && !rendered->front.empty()) {
        std::string tag(rendered->front.begin(), rendered->front.end());
        if (id3v2_with_padding(&tag, kGainRoomBytes)) rendered->front.assign(tag.begin(), tag.end());
        else rendered->front.clear();
    }
    ID3_MemoryWriter back(rendered->back, sizeof rendered->back);
    return !rendered->front.empty() && tag.Render(back, ID3TT_ID3V1) == sizeof rendered->back;
}

}  // namespace

Mp3Result encode_to_mp3(PcmSource read, void* source, const TagSet& tags, FILE* mp3, const char* mp3_path,
                        DWORD* error)
{
    *error = 0;
    Id3Tags rendered;
    Mp3Result result =
        render_tags(tags, &rendered) ? encode(read, source, rendered, mp3, mp3_path, error) : kMp3WriteFailed;
    // The last bytes (the ID3v1 tag) are flushed on their own: under Wine
    // fclose returns 0 when its own flush fails, and a write cut short by a
    // full volume leaves no error code (failed_write_reason then asks the
    // volume).
    errno = 0;
    SetLastError(0);
    bool flushed = fflush(mp3) == 0;
    if ((fclose(mp3) != 0 || !flushed) && result == kMp3Written) {
        *error = failed_write_reason(mp3_path);
        result = kMp3WriteFailed;
    }
    if (result != kMp3Written) DeleteFileA(mp3_path);
    return result;
}
