#include "flac.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include "app/log.h"
#include "rip/capture.h"
#include "rip/rip_state.h"
#include "rip/tag_set.h"

constexpr unsigned kFramesPerCall = 4096;

struct FlacFile {
    FILE* file;
    char path[kMaxPathBytes];
    FLAC__StreamEncoder* encoder;
    FLAC__StreamMetadata* blocks[4];  // seek table, comments, picture, padding
    unsigned block_count;
    bool failed;
    DWORD error;
    FLAC__int32 samples[kFramesPerCall * 2];
    char file_buffer[1 << 20];  // few, large writes
};

namespace {

constexpr uint64_t kSeekPointFrames = 10 * 44100;  // as the flac command line: one every 10 s
constexpr unsigned kPaddingBytes = 8192;           // room to edit the comments in place later

// Called right after a C library call on the file failed, errno cleared
// before it.
void fail(FlacFile* flac)
{
    if (flac->failed) return;
    flac->failed = true;
    flac->error = failed_write_reason(flac->path);
}

FLAC__StreamEncoderWriteStatus write_bytes(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                           uint32_t, uint32_t, void* data)
{
    auto* flac = static_cast<FlacFile*>(data);
    errno = 0;
    if (!flac->failed && fwrite(buffer, 1, bytes, flac->file) != bytes) fail(flac);
    return flac->failed ? FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR : FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus seek_to(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* data)
{
    auto* flac = static_cast<FlacFile*>(data);
    errno = 0;
    if (!flac->failed && _fseeki64(flac->file, static_cast<int64_t>(offset), SEEK_SET) != 0) fail(flac);
    return flac->failed ? FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR : FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus tell_at(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* data)
{
    auto* flac = static_cast<FlacFile*>(data);
    int64_t at = _ftelli64(flac->file);
    if (at < 0) return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
    *offset = static_cast<FLAC__uint64>(at);
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

// NAME=text (UTF-8). An empty text adds nothing.
bool add_comment(FLAC__StreamMetadata* block, const char* name, const std::string& text)
{
    if (text.empty()) return true;
    FLAC__StreamMetadata_VorbisComment_Entry entry;
    if (FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name, text.c_str()) &&
        FLAC__metadata_object_vorbiscomment_append_comment(block, entry, false))
        return true;
    g_log.print("FLAC: %s not written", name);
    return false;
}

std::string number_text(int n)
{
    return n > 0 ? std::to_string(n) : "";
}

// The comments as taggers name them: totals under both names in use, the
// disc only for a release of several discs, ids only when known.
FLAC__StreamMetadata* make_comments(const TagSet& tags)
{
    bool several = tags.discs > 1;
    const struct {
        const char* name;
        std::string text;
    } comments[] = {
        {"ARTIST", tags.artist},
        {"ALBUMARTIST", tags.album_artist},
        {"ALBUM", tags.album},
        {"DATE", tags.year},
        {"TITLE", tags.title},
        {"TRACKNUMBER", number_text(tags.track)},
        {"TRACKTOTAL", number_text(tags.tracks)},
        {"TOTALTRACKS", number_text(tags.tracks)},
        {"DISCNUMBER", several ? number_text(tags.disc) : ""},
        {"DISCTOTAL", several ? number_text(tags.discs) : ""},
        {"TOTALDISCS", several ? number_text(tags.discs) : ""},
        {"MUSICBRAINZ_ALBUMID", tags.mb_release},
        {"MUSICBRAINZ_RELEASEGROUPID", tags.mb_release_group},
        {"MUSICBRAINZ_TRACKID", tags.mb_recording},
        {"MUSICBRAINZ_RELEASETRACKID", tags.mb_release_track},
        {"MUSICBRAINZ_ARTISTID", tags.mb_artist},
        {"MUSICBRAINZ_ALBUMARTISTID", tags.mb_album_artist},
        {"MUSICBRAINZ_DISCID", tags.mb_disc_id},
        {"ISRC", tags.isrc},
        {"BARCODE", tags.barcode},
    };
    FLAC__StreamMetadata* block = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    bool ok = block != nullptr;
    for (const auto& comment : comments) ok = ok && add_comment(block, comment.name, comment.text);
    if (ok) return block;
    if (block) FLAC__metadata_object_delete(block);
    return nullptr;
}

// The front cover as a PICTURE block of type 3.
FLAC__StreamMetadata* make_picture(const CoverPicture& cover)
{
    FLAC__StreamMetadata* block = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PICTURE);
    if (!block) return nullptr;
    FLAC__StreamMetadata_Picture& picture = block->data.picture;
    picture.type = FLAC__STREAM_METADATA_PICTURE_TYPE_FRONT_COVER;
    picture.width = cover.width;
    picture.height = cover.height;
    picture.depth = cover.depth;
    picture.colors = 0;
    auto* data = reinterpret_cast<FLAC__byte*>(const_cast<char*>(cover.bytes.data()));
    const char* why = nullptr;
    if (FLAC__metadata_object_picture_set_mime_type(block, const_cast<char*>(cover.mime.c_str()), true) &&
        FLAC__metadata_object_picture_set_data(block, data, static_cast<FLAC__uint32>(cover.bytes.size()), true) &&
        FLAC__metadata_object_picture_is_legal(block, &why))
        return block;
    g_log.print("FLAC: no picture (%s)", why ? why : "out of memory");
    FLAC__metadata_object_delete(block);
    return nullptr;
}

// The seek points are placeholders that the encoder fills in as it goes.
FLAC__StreamMetadata* make_seek_table(uint64_t frames)
{
    FLAC__StreamMetadata* block = FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE);
    if (block && FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(block, kSeekPointFrames,
                                                                                           frames) &&
        FLAC__metadata_object_seektable_template_sort(block, true))
        return block;
    if (block) FLAC__metadata_object_delete(block);
    return nullptr;
}

bool add_metadata(FlacFile* flac, uint64_t frames, const TagSet& tags)
{
    FLAC__StreamMetadata* padding = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING);
    if (padding) padding->length = kPaddingBytes;
    FLAC__StreamMetadata* made[] = {frames ? make_seek_table(frames) : nullptr, make_comments(tags),
                                    tags.cover ? make_picture(*tags.cover) : nullptr, padding};
    bool ok = (made[0] || !frames) && made[1] && (made[2] || !tags.cover) && made[3];
    for (FLAC__StreamMetadata* block : made)
        if (block) flac->blocks[flac->block_count++] = block;
    return ok;
}

bool start_encoder(FlacFile* flac, uint64_t frames, const TagSet& tags)
{
    // The stream encoder always works out the audio's MD5 for STREAMINFO.
    FLAC__StreamEncoder* e = flac->encoder;
    bool set = FLAC__stream_encoder_set_channels(e, 2) && FLAC__stream_encoder_set_bits_per_sample(e, 16) &&
               FLAC__stream_encoder_set_sample_rate(e, 44100) && FLAC__stream_encoder_set_compression_level(e, 5) &&
               FLAC__stream_encoder_set_total_samples_estimate(e, frames) &&
               add_metadata(flac, frames, tags) && FLAC__stream_encoder_set_metadata(e, flac->blocks, flac->block_count);
    if (!set) return false;
    FLAC__StreamEncoderInitStatus status =
        FLAC__stream_encoder_init_stream(e, write_bytes, seek_to, tell_at, nullptr, flac);
    if (status == FLAC__STREAM_ENCODER_INIT_STATUS_OK) return true;
    g_log.print("FLAC encoder: %s", FLAC__StreamEncoderInitStatusString[status]);
    return false;
}

void free_flac(FlacFile* flac)
{
    if (flac->encoder) FLAC__stream_encoder_delete(flac->encoder);
    for (unsigned i = 0; i < flac->block_count; ++i) FLAC__metadata_object_delete(flac->blocks[i]);
    delete flac;
}

}  // namespace

FlacFile* flac_create(const char* path, uint64_t frames, const TagSet& tags)
{
    FILE* file = fopen(path, "wb");
    if (!file) return nullptr;
    auto* flac = new FlacFile{file, {}, FLAC__stream_encoder_new(), {}, 0, false, 0, {}, {}};
    setvbuf(file, flac->file_buffer, _IOFBF, sizeof flac->file_buffer);
    snprintf(flac->path, sizeof flac->path, "%s", path);
    if (flac->encoder && start_encoder(flac, frames, tags)) return flac;
    fclose(file);
    DeleteFileA(path);
    free_flac(flac);
    return nullptr;
}

bool flac_write(FlacFile* flac, const char* pcm, size_t bytes)
{
    if (bytes % 4 != 0) return false;  // the stream gives whole frames
    const auto* in = reinterpret_cast<const unsigned char*>(pcm);
    for (size_t frames = bytes / 4; frames > 0 && !flac->failed;) {
        unsigned n = frames < kFramesPerCall ? static_cast<unsigned>(frames) : kFramesPerCall;
        for (unsigned i = 0; i < n * 2; ++i, in += 2) flac->samples[i] = static_cast<int16_t>(in[0] | in[1] << 8);
        if (!FLAC__stream_encoder_process_interleaved(flac->encoder, flac->samples, n)) {
            fail(flac);
            g_log.print("FLAC encoder: %s", FLAC__stream_encoder_get_resolved_state_string(flac->encoder));
        }
        frames -= n;
    }
    return !flac->failed;
}

bool flac_close(FlacFile* flac, DWORD* error)
{
    if (!FLAC__stream_encoder_finish(flac->encoder) && !flac->failed) {
        fail(flac);
        g_log.print("FLAC encoder: %s", FLAC__stream_encoder_get_resolved_state_string(flac->encoder));
    }
    errno = 0;
    if (fflush(flac->file) != 0) fail(flac);
    if (fclose(flac->file) != 0) fail(flac);
    bool whole = !flac->failed;
    *error = flac->error;
    free_flac(flac);
    return whole;
}
