#include "rip/replaygain_tags.h"

#include <cctype>
#include <cstdint>

#include "cdlib/asf_guids.h"

namespace {

constexpr char kPrefix[] = "REPLAYGAIN_";

uint64_t get_le(const std::string& b, size_t at, int n)
{
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
    return v;
}

uint64_t get_be(const std::string& b, size_t at, int n)
{
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
    return v;
}

void put_le(std::string* b, int n, uint64_t v)
{
    for (int i = 0; i < n; ++i, v >>= 8) b->push_back(static_cast<char>(v & 0xFF));
}

void put_be(std::string* b, int n, uint64_t v)
{
    for (int i = n - 1; i >= 0; --i) b->push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}

bool starts_with_prefix(const std::string& name)
{
    if (name.size() < sizeof kPrefix - 1) return false;
    for (size_t i = 0; i < sizeof kPrefix - 1; ++i)
        if (static_cast<char>(toupper(static_cast<unsigned char>(name[i]))) != kPrefix[i]) return false;
    return true;
}

size_t fail(std::string* why, const char* text)
{
    *why = text;
    return 0;
}

// ---- FLAC ------------------------------------------------------------------

constexpr int kPadding = 1, kVorbisComment = 4;

// The comment block's body with `values` in place of any REPLAYGAIN_ comments.
bool new_comments(const std::string& body, const GainValues& values, std::string* out)
{
    if (body.size() < 8) return false;
    size_t vendor = get_le(body, 0, 4);
    if (vendor > body.size() - 8) return false;
    size_t at = 4 + vendor, count = get_le(body, at, 4);
    at += 4;
    std::vector<std::string> kept;
    for (size_t i = 0; i < count; ++i) {
        if (at + 4 > body.size()) return false;
        size_t length = get_le(body, at, 4);
        if (length > body.size() - at - 4) return false;
        std::string comment = body.substr(at + 4, length);
        if (!starts_with_prefix(comment)) kept.push_back(comment);
        at += 4 + length;
    }
    for (const auto& value : values) kept.push_back(value.first + "=" + value.second);
    *out = body.substr(0, 4 + vendor);
    put_le(out, 4, kept.size());
    for (const std::string& comment : kept) put_le(out, 4, comment.size()), *out += comment;
    return true;
}

// ---- ID3v2 -----------------------------------------------------------------

// A TXXX frame (ISO-8859-1: the names and values are ASCII).
std::string txxx_frame(const std::string& name, const std::string& value, int version)
{
    std::string body = std::string(1, '\0') + name + '\0' + value, frame = "TXXX";
    uint32_t size = static_cast<uint32_t>(body.size());
    if (version == 4) size = (size & 0x7F) | (size & 0x3F80) << 1 | (size & 0x1FC000) << 2 | (size & 0xFE00000) << 3;
    put_be(&frame, 4, size);
    frame += std::string(2, '\0') + body;
    return frame;
}

uint32_t syncsafe(const std::string& b, size_t at)
{
    return static_cast<uint32_t>((get_be(b, at, 1) & 0x7F) << 21 | (get_be(b, at + 1, 1) & 0x7F) << 14 |
                                 (get_be(b, at + 2, 1) & 0x7F) << 7 | (get_be(b, at + 3, 1) & 0x7F));
}

// ---- ASF ----------------------------------------------------------------------

bool is_guid(const std::string& b, size_t at, const unsigned char guid[16])
{
    return b.compare(at, 16, reinterpret_cast<const char*>(guid), 16) == 0;
}

std::string utf16(const std::string& ascii)
{
    std::string out;
    for (char c : ascii + '\0') out += c, out += '\0';
    return out;
}

// The descriptors of an Extended Content Description object's body, those
// named REPLAYGAIN_ replaced by `values`.
bool new_descriptors(const std::string& object, const GainValues& values, std::string* out)
{
    size_t at = 26, count = get_le(object, 24, 2);
    std::string kept;
    size_t kept_count = 0;
    for (size_t i = 0; i < count; ++i) {
        if (at + 2 > object.size()) return false;
        size_t name_length = get_le(object, at, 2);
        if (at + 2 + name_length + 4 > object.size()) return false;
        size_t value_length = get_le(object, at + 2 + name_length + 2, 2);
        size_t end = at + 2 + name_length + 4 + value_length;
        if (end > object.size()) return false;
        std::string name;
        for (size_t c = 0; c + 1 < name_length; c += 2) name += object[at + 2 + c];
        if (!starts_with_prefix(name)) kept += object.substr(at, end - at), ++kept_count;
        at = end;
    }
    for (const auto& value : values) {
        std::string name = utf16(value.first), text = utf16(value.second);
        put_le(&kept, 2, name.size());
        kept += name;
        put_le(&kept, 2, 0);  // a Unicode string
        put_le(&kept, 2, text.size());
        kept += text;
        ++kept_count;
    }
    *out = object.substr(0, 16);
    put_le(out, 8, 26 + kept.size());
    put_le(out, 2, kept_count);
    *out += kept;
    return true;
}

}  // namespace

size_t flac_with_gains(std::string* head, const GainValues& values, std::string* why)
{
    std::string& b = *head;
    if (b.compare(0, 4, "fLaC") != 0) return fail(why, "not a FLAC file");
    // The blocks as they are, then the same with new comments and less padding.
    size_t at = 4, comments = 0, padding = 0;
    bool last = false;
    while (!last) {
        if (at + 4 > b.size()) return fail(why, "its metadata runs past what was read");
        last = (b[at] & 0x80) != 0;
        int type = b[at] & 0x7F;
        size_t length = get_be(b, at + 1, 3);
        if (length > b.size() - at - 4) return fail(why, "its metadata runs past what was read");
        if (type == kVorbisComment && !comments) comments = at;
        if (type == kPadding && !padding) padding = at;
        at += 4 + length;
    }
    if (!comments || !padding) return fail(why, comments ? "no PADDING block" : "no Vorbis comments");
    size_t end = at, comment_length = get_be(b, comments + 1, 3), padding_length = get_be(b, padding + 1, 3);
    std::string body;
    if (!new_comments(b.substr(comments + 4, comment_length), values, &body)) return fail(why, "its Vorbis comments are damaged");
    if (body.size() > comment_length + padding_length) return fail(why, "no room in its padding");
    size_t padding_left = comment_length + padding_length - body.size();
    std::string rebuilt = b.substr(0, 4);
    for (at = 4; at < end;) {
        size_t length = get_be(b, at + 1, 3);
        std::string header = b.substr(at, 1);
        if (at == comments) put_be(&header, 3, body.size()), rebuilt += header + body;
        else if (at == padding) put_be(&header, 3, padding_left), rebuilt += header + std::string(padding_left, '\0');
        else rebuilt += b.substr(at, 4 + length);
        at += 4 + length;
    }
    b.replace(0, end, rebuilt);
    return end;
}

size_t id3v2_with_gains(std::string* head, const GainValues& values, std::string* why)
{
    std::string& b = *head;
    if (b.size() < 10 || b.compare(0, 3, "ID3") != 0) return fail(why, "no ID3v2 tag");
    int version = static_cast<uint8_t>(b[3]);
    if (version != 3 && version != 4) return fail(why, "an ID3v2 version other than 2.3 and 2.4");
    if (b[5] & 0xC0) return fail(why, "an ID3v2 tag unsynchronised or with an extended header");
    size_t end = 10 + syncsafe(b, 6);
    if (end > b.size()) return fail(why, "its tag runs past what was read");
    std::string frames;
    size_t at = 10;
    while (at + 10 <= end && b[at] != '\0') {
        size_t size = version == 4 ? syncsafe(b, at + 4) : get_be(b, at + 4, 4);
        if (size > end - at - 10) return fail(why, "its tag's frames are damaged");
        std::string frame = b.substr(at, 10 + size);
        bool ours = frame.compare(0, 4, "TXXX") == 0 && size > 1 && starts_with_prefix(frame.substr(11));
        if (!ours) frames += frame;
        at += 10 + size;
    }
    for (const auto& value : values) frames += txxx_frame(value.first, value.second, version);
    if (frames.size() > end - 10) return fail(why, "no room in its padding");
    b.replace(10, end - 10, frames + std::string(end - 10 - frames.size(), '\0'));
    return end;
}

size_t asf_with_gains(std::string* head, const GainValues& values, std::string* why)
{
    std::string& b = *head;
    if (b.size() < 30 || !is_guid(b, 0, kAsfHeaderGuid)) return fail(why, "no ASF header");
    size_t end = get_le(b, 16, 8), count = get_le(b, 24, 4);
    if (end > b.size() || end < 30) return fail(why, "its header runs past what was read");
    size_t at = 30, content = 0, padding = 0;
    for (size_t i = 0; i < count; ++i) {
        if (at + 24 > end) return fail(why, "its header's objects are damaged");
        size_t size = get_le(b, at + 16, 8);
        if (size < 24 || size > end - at) return fail(why, "its header's objects are damaged");
        if (is_guid(b, at, kAsfExtendedContentGuid) && !content) content = at;
        if (is_guid(b, at, kAsfPaddingGuid) && !padding) padding = at;
        at += size;
    }
    if (!content || !padding) return fail(why, content ? "no Padding object" : "no Extended Content Description");
    size_t content_size = get_le(b, content + 16, 8), padding_size = get_le(b, padding + 16, 8);
    std::string object;
    if (content_size < 26 || !new_descriptors(b.substr(content, content_size), values, &object))
        return fail(why, "its Extended Content Description is damaged");
    if (object.size() > content_size + padding_size - 24) return fail(why, "no room in its padding");
    size_t padding_left = content_size + padding_size - object.size();
    std::string rebuilt = b.substr(0, 30);
    for (at = 30; at < end;) {
        size_t size = get_le(b, at + 16, 8);
        if (at == content) {
            rebuilt += object;
        } else if (at == padding) {
            rebuilt += b.substr(at, 16);
            put_le(&rebuilt, 8, padding_left);
            rebuilt += std::string(padding_left - 24, '\0');
        } else {
            rebuilt += b.substr(at, size);
        }
        at += size;
    }
    b.replace(0, end, rebuilt);
    return end;
}

bool id3v2_with_padding(std::string* tag, size_t bytes)
{
    std::string& b = *tag;
    if (b.size() < 10 || b.compare(0, 3, "ID3") != 0 || (b[3] != 3 && b[3] != 4) || (b[5] & 0xC0)) return false;
    size_t end = 10 + syncsafe(b, 6);
    if (end != b.size()) return false;
    size_t zeros = 0;
    while (zeros < end - 10 && b[end - 1 - zeros] == '\0') ++zeros;
    if (zeros >= bytes) return true;
    b.append(bytes - zeros, '\0');
    size_t size = b.size() - 10;
    if (size >= 1u << 28) return false;
    for (int i = 0; i < 4; ++i) b[6 + i] = static_cast<char>(size >> (7 * (3 - i)) & 0x7F);
    return true;
}
