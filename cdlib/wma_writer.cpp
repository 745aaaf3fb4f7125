// WMA files: Windows Media Audio v2 in ASF, written with FFmpeg's encoder
// and muxer. The file itself is ours (CreateFileA), so the program's 8-bit
// paths work as they are and a failed open leaves nothing behind.
#include <windows.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "cdlib/asf_guids.h"
#include "cdlib/cdlib.h"
#include "cdlib/cdlib_internal.h"

namespace {

constexpr int kIoBufferBytes = 65536;

struct WmaFile {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::string path;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    std::vector<int16_t> pending;  // interleaved samples short of a whole frame
    int64_t next_pts = 0;
    bool header_written = false;
    bool failed = false;
    DWORD error = 0;  // the system's reason for the first failed write
    std::vector<std::pair<std::string, std::string>> binary;  // name, value: put into the header at the end
    uint32_t padding = 0;  // bytes of a Padding object put into the header at the end
};

// Guards the table of files only. A file is written by one thread at a
// time, and FFmpeg keeps its own lock around what its encoders share, so
// several files encode at once.
std::mutex g_mutex;
std::vector<std::unique_ptr<WmaFile>> g_files;  // handle = index + 1

int write_packet(void* opaque, uint8_t* data, int size)
{
    auto* wma = static_cast<WmaFile*>(opaque);
    // A write cut short (a volume filling up) is retried for the rest, so
    // that the system says why when it fails.
    DWORD written = 0;
    for (int done = 0; done < size; done += static_cast<int>(written)) {
        if (WriteFile(wma->file, data + done, static_cast<DWORD>(size - done), &written, nullptr) && written > 0) continue;
        if (!wma->failed) wma->error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        wma->failed = true;
        return AVERROR(EIO);
    }
    return size;
}

int64_t seek_file(void* opaque, int64_t offset, int whence)
{
    auto* wma = static_cast<WmaFile*>(opaque);
    LARGE_INTEGER size;
    if (whence & AVSEEK_SIZE) return GetFileSizeEx(wma->file, &size) ? size.QuadPart : -1;
    DWORD method = FILE_BEGIN;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_CUR: method = FILE_CURRENT; break;
    case SEEK_END: method = FILE_END; break;
    }
    LARGE_INTEGER to, at;
    to.QuadPart = offset;
    if (!SetFilePointerEx(wma->file, to, &at, method)) return -1;
    return at.QuadPart;
}

void release(WmaFile* wma)
{
    if (wma->format) {
        if (wma->format->pb) {
            av_freep(&wma->format->pb->buffer);
            avio_context_free(&wma->format->pb);
        }
        avformat_free_context(wma->format);
        wma->format = nullptr;
    }
    avcodec_free_context(&wma->codec);
    av_frame_free(&wma->frame);
    av_packet_free(&wma->packet);
    if (wma->file != INVALID_HANDLE_VALUE) CloseHandle(wma->file);
    wma->file = INVALID_HANDLE_VALUE;
}

bool set_up(WmaFile* wma, CDLIB_DWORD freq, CDLIB_DWORD channels, CDLIB_DWORD bitrate)
{
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!encoder || avformat_alloc_output_context2(&wma->format, nullptr, "asf", nullptr) < 0) return false;
    wma->codec = avcodec_alloc_context3(encoder);
    if (!wma->codec) return false;
    wma->codec->sample_rate = static_cast<int>(freq);
    av_channel_layout_default(&wma->codec->ch_layout, static_cast<int>(channels));
    wma->codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    wma->codec->bit_rate = bitrate;
    wma->codec->time_base = AVRational{1, static_cast<int>(freq)};
    if (wma->format->oformat->flags & AVFMT_GLOBALHEADER) wma->codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(wma->codec, encoder, nullptr) < 0) return false;

    wma->stream = avformat_new_stream(wma->format, nullptr);
    if (!wma->stream || avcodec_parameters_from_context(wma->stream->codecpar, wma->codec) < 0) return false;
    wma->stream->time_base = wma->codec->time_base;

    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (!buffer) return false;
    wma->format->pb = avio_alloc_context(buffer, kIoBufferBytes, 1, wma, nullptr, write_packet, seek_file);
    if (!wma->format->pb) {
        av_free(buffer);
        return false;
    }
    wma->format->pb->seekable = AVIO_SEEKABLE_NORMAL;

    wma->frame = av_frame_alloc();
    wma->packet = av_packet_alloc();
    if (!wma->frame || !wma->packet) return false;
    wma->frame->nb_samples = wma->codec->frame_size;
    wma->frame->format = wma->codec->sample_fmt;
    if (av_channel_layout_copy(&wma->frame->ch_layout, &wma->codec->ch_layout) < 0) return false;
    // Decoders use the first frame of a WMA stream to warm up and give no
    // sound for it: without a frame of silence in front, every file lost
    // its first 2048 samples.
    wma->pending.assign(static_cast<size_t>(wma->codec->frame_size) * wma->codec->ch_layout.nb_channels, 0);
    return av_frame_get_buffer(wma->frame, 0) >= 0;
}

bool write_header(WmaFile* wma)
{
    if (wma->header_written) return true;
    wma->header_written = true;
    if (avformat_write_header(wma->format, nullptr) < 0) wma->failed = true;
    return !wma->failed;
}

void drain(WmaFile* wma)
{
    while (avcodec_receive_packet(wma->codec, wma->packet) == 0) {
        av_packet_rescale_ts(wma->packet, wma->codec->time_base, wma->stream->time_base);
        wma->packet->stream_index = wma->stream->index;
        if (av_interleaved_write_frame(wma->format, wma->packet) < 0) wma->failed = true;
    }
}

// Encodes one frame of frame_size sample frames from `samples` (interleaved).
void encode_frame(WmaFile* wma, const int16_t* samples)
{
    if (av_frame_make_writable(wma->frame) < 0) {
        wma->failed = true;
        return;
    }
    int channels = wma->codec->ch_layout.nb_channels;
    for (int c = 0; c < channels; ++c) {
        auto* plane = reinterpret_cast<float*>(wma->frame->data[c]);
        for (int i = 0; i < wma->codec->frame_size; ++i) plane[i] = samples[i * channels + c] / 32768.0f;
    }
    wma->frame->pts = wma->next_pts;
    wma->next_pts += wma->codec->frame_size;
    if (avcodec_send_frame(wma->codec, wma->frame) < 0) wma->failed = true;
    drain(wma);
}

// The file of a handle; it stays where it is while the table grows.
WmaFile* find(HWMENCODE handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (handle == 0 || handle > g_files.size()) return nullptr;
    return g_files[handle - 1].get();
}

// The program's texts are in the ANSI code page; the ASF writer takes UTF-8.
std::string ansi_to_utf8(const char* text)
{
    int wide_length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (wide_length <= 0) return text;
    std::vector<wchar_t> wide(static_cast<size_t>(wide_length));
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), wide_length);
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return text;
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, &utf8[0], length, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(length) - 1);
    return utf8;
}

// Fails with the error code the library reports and the system's reason
// for the failed write left for GetLastError.
int fail_write(DWORD error)
{
    cdlib_fail(CDLIB_ERROR_FILEOPEN);
    SetLastError(error ? error : ERROR_WRITE_FAULT);
    return 0;
}

constexpr uint64_t kMaxHeaderBytes = 1u << 20;  // what FFmpeg writes is a few KiB
constexpr DWORD kMoveBytes = 1u << 20;

uint64_t get_le(const std::string& bytes, size_t at, int size)
{
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void put_le(std::string* bytes, size_t at, int size, uint64_t value)
{
    for (int i = 0; i < size; ++i, value >>= 8) (*bytes)[at + i] = static_cast<char>(value & 0xFF);
}

void append_le(std::string* bytes, int size, uint64_t value)
{
    bytes->append(static_cast<size_t>(size), '\0');
    put_le(bytes, bytes->size() - size, size, value);
}

// A Metadata Library object of the attributes, each a byte array of the
// whole file (language 0, stream 0).
std::string metadata_library(const std::vector<std::pair<std::string, std::string>>& attributes)
{
    std::string object(reinterpret_cast<const char*>(kAsfMetadataLibraryGuid), 16);
    append_le(&object, 8, 0);  // its size, set below
    append_le(&object, 2, attributes.size());
    for (const auto& attribute : attributes) {
        std::string name;
        for (char c : attribute.first + '\0') name += std::string{c, '\0'};  // the names are ASCII
        append_le(&object, 2, 0);
        append_le(&object, 2, 0);
        append_le(&object, 2, name.size());
        append_le(&object, 2, 1);  // byte array
        append_le(&object, 4, attribute.second.size());
        object += name + attribute.second;
    }
    put_le(&object, 16, 8, object.size());
    return object;
}

// `header` with `library` (if any) at the end of its Header Extension
// object and a Padding object of `padding` bytes (if any) after its last
// object, every size that covers them (header, extension, the file's) grown
// to match; empty when the header is not laid out as FFmpeg writes it.
std::string with_additions(std::string header, const std::string& library, uint32_t padding)
{
    size_t extension = 0, properties = 0;
    for (size_t at = 30; at + 24 <= header.size();) {
        uint64_t size = get_le(header, at + 16, 8);
        if (size < 24 || size > header.size() - at) return "";
        if (header.compare(at, 16, reinterpret_cast<const char*>(kAsfHeaderExtensionGuid), 16) == 0 && size >= 46)
            extension = at;
        if (header.compare(at, 16, reinterpret_cast<const char*>(kAsfFilePropertiesGuid), 16) == 0 && size >= 48)
            properties = at;
        at += static_cast<size_t>(size);
    }
    if (!extension || !properties) return "";
    std::string pad;
    if (padding) {
        pad.assign(reinterpret_cast<const char*>(kAsfPaddingGuid), 16);
        append_le(&pad, 8, 24 + padding);
        pad.append(padding, '\0');
        put_le(&header, 24, 4, get_le(header, 24, 4) + 1);
    }
    uint64_t grow = library.size() + pad.size(), extension_size = get_le(header, extension + 16, 8);
    put_le(&header, 16, 8, get_le(header, 16, 8) + grow);
    put_le(&header, extension + 16, 8, extension_size + library.size());
    put_le(&header, extension + 42, 4, get_le(header, extension + 42, 4) + library.size());
    put_le(&header, properties + 40, 8, get_le(header, properties + 40, 8) + grow);
    header += pad;
    header.insert(extension + static_cast<size_t>(extension_size), library);
    return header;
}

bool file_io(WmaFile* wma, bool write, uint64_t at, void* data, DWORD bytes)
{
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(at);
    DWORD done = 0;
    bool ok = SetFilePointerEx(wma->file, to, nullptr, FILE_BEGIN) &&
              (write ? WriteFile(wma->file, data, bytes, &done, nullptr) : ReadFile(wma->file, data, bytes, &done, nullptr)) &&
              done == bytes;
    if (!ok && !wma->failed) wma->error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    wma->failed = wma->failed || !ok;
    return ok;
}

// The finished file gets the binary attributes in its header (FFmpeg's
// muxer writes only text attributes, into an object whose values stop at
// 64 KiB), and the padding asked for. What follows the header moves up,
// from its end backwards.
void grow_header(WmaFile* wma)
{
    std::string start(30, '\0');
    LARGE_INTEGER size;
    if ((wma->binary.empty() && !wma->padding) || !file_io(wma, false, 0, &start[0], 30)) return;
    uint64_t header_size = get_le(start, 16, 8);
    if (start.compare(0, 16, reinterpret_cast<const char*>(kAsfHeaderGuid), 16) != 0 || header_size < 30 ||
        header_size > kMaxHeaderBytes || !GetFileSizeEx(wma->file, &size) ||
        header_size > static_cast<uint64_t>(size.QuadPart)) {
        wma->failed = true;
        return;
    }
    std::string header(static_cast<size_t>(header_size), '\0');
    if (!file_io(wma, false, 0, &header[0], static_cast<DWORD>(header_size))) return;
    std::string grown = with_additions(header, wma->binary.empty() ? "" : metadata_library(wma->binary), wma->padding);
    if (grown.empty()) {
        wma->failed = true;
        return;
    }
    uint64_t grow = grown.size() - header.size();
    std::vector<char> piece(kMoveBytes);
    for (uint64_t end = static_cast<uint64_t>(size.QuadPart); end > header_size && !wma->failed;) {
        DWORD n = static_cast<DWORD>(end - header_size < kMoveBytes ? end - header_size : kMoveBytes);
        end -= n;
        if (file_io(wma, false, end, piece.data(), n)) file_io(wma, true, end + grow, piece.data(), n);
    }
    if (!wma->failed) file_io(wma, true, 0, &grown[0], static_cast<DWORD>(grown.size()));
}

int add_binary(WmaFile* wma, const char* tag, const void* data, CDLIB_DWORD length)
{
    wma->binary.emplace_back(tag, std::string(static_cast<const char*>(data), length));
    cdlib_ok();
    return 1;
}

std::string canonical_tag(const char* name)
{
    // Players read the track number under this spelling only.
    if (_stricmp(name, "WM/TrackNumber") == 0) return "WM/TrackNumber";
    if (_stricmp(name, "Title") == 0) return "title";
    if (_stricmp(name, "Author") == 0) return "author";
    return name;
}

}  // namespace

HWMENCODE BASS_WMA_EncodeOpenFile(CDLIB_DWORD freq, CDLIB_DWORD chans, CDLIB_DWORD, CDLIB_DWORD bitrate, const char* path)
{
    if (!path || !*path || freq != 44100 || chans != 2 || bitrate == 0) return cdlib_fail(CDLIB_ERROR_ILLPARAM);
    auto wma = std::make_unique<WmaFile>();
    wma->path = path;
    wma->file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (wma->file == INVALID_HANDLE_VALUE) return cdlib_fail(CDLIB_ERROR_FILEOPEN);
    if (!set_up(wma.get(), freq, chans, bitrate)) {
        release(wma.get());
        DeleteFileA(path);
        return cdlib_fail(CDLIB_ERROR_CODEC);
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    g_files.push_back(std::move(wma));
    cdlib_ok();
    return static_cast<HWMENCODE>(g_files.size());
}

int BASS_WMA_EncodeSetTag(HWMENCODE handle, const char* tag, const char* text, CDLIB_DWORD type)
{
    WmaFile* wma = find(handle);
    if (!wma || !wma->format) return cdlib_fail(CDLIB_ERROR_HANDLE);
    if (!tag || !text) return cdlib_fail(CDLIB_ERROR_ILLPARAM);
    if (wma->header_written) return cdlib_fail(CDLIB_ERROR_NOTAVAIL);  // tags go before the audio
    switch (type & 0xFFFF) {
    case BASS_WMA_TAG_ANSI:
    case BASS_WMA_TAG_UTF8: break;
    case BASS_WMA_TAG_BINARY: return add_binary(wma, tag, text, type >> 16);
    default: return cdlib_fail(CDLIB_ERROR_ILLPARAM);
    }
    std::string utf8 = type == BASS_WMA_TAG_ANSI ? ansi_to_utf8(text) : text;
    av_dict_set(&wma->format->metadata, canonical_tag(tag).c_str(), utf8.c_str(), 0);
    cdlib_ok();
    return 1;
}

int CDLIB_WMA_EncodeSetBinaryTag(HWMENCODE handle, const char* tag, const void* data, CDLIB_DWORD length)
{
    WmaFile* wma = find(handle);
    if (!wma || !wma->format) return cdlib_fail(CDLIB_ERROR_HANDLE);
    if (!tag || (!data && length)) return cdlib_fail(CDLIB_ERROR_ILLPARAM);
    if (wma->header_written) return cdlib_fail(CDLIB_ERROR_NOTAVAIL);
    return add_binary(wma, tag, data, length);
}

int CDLIB_WMA_EncodeSetPadding(HWMENCODE handle, CDLIB_DWORD bytes)
{
    WmaFile* wma = find(handle);
    if (!wma || !wma->format) return cdlib_fail(CDLIB_ERROR_HANDLE);
    if (bytes > (1u << 16)) return cdlib_fail(CDLIB_ERROR_ILLPARAM);
    wma->padding = bytes;
    cdlib_ok();
    return 1;
}

int BASS_WMA_EncodeWrite(HWMENCODE handle, const void* buffer, CDLIB_DWORD length)
{
    WmaFile* wma = find(handle);
    if (!wma || !wma->format) return cdlib_fail(CDLIB_ERROR_HANDLE);
    if (!write_header(wma)) return fail_write(wma->error);
    const auto* samples = static_cast<const int16_t*>(buffer);
    wma->pending.insert(wma->pending.end(), samples, samples + length / 2);
    size_t frame_values = static_cast<size_t>(wma->codec->frame_size) * wma->codec->ch_layout.nb_channels;
    size_t used = 0;
    while (wma->pending.size() - used >= frame_values) {
        encode_frame(wma, wma->pending.data() + used);
        used += frame_values;
    }
    wma->pending.erase(wma->pending.begin(), wma->pending.begin() + static_cast<std::ptrdiff_t>(used));
    if (wma->failed) return fail_write(wma->error);
    cdlib_ok();
    return 1;
}

int BASS_WMA_EncodeClose(HWMENCODE handle)
{
    WmaFile* wma = find(handle);
    if (!wma || !wma->format) return cdlib_fail(CDLIB_ERROR_HANDLE);
    if (write_header(wma)) {
        if (!wma->pending.empty()) {  // the last, partial frame is padded with silence
            size_t frame_values = static_cast<size_t>(wma->codec->frame_size) * wma->codec->ch_layout.nb_channels;
            wma->pending.resize(frame_values, 0);
            encode_frame(wma, wma->pending.data());
            wma->pending.clear();
        }
        avcodec_send_frame(wma->codec, nullptr);
        drain(wma);
        if (av_write_trailer(wma->format) < 0) wma->failed = true;
    }
    if (wma->format->pb) avio_flush(wma->format->pb);
    if (wma->header_written && !wma->failed) grow_header(wma);
    bool failed = wma->failed;
    DWORD error = wma->error;
    release(wma);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_files[handle - 1].reset();  // the handle stays taken; its memory goes
    }
    if (failed) return fail_write(error);
    cdlib_ok();
    return 1;
}
