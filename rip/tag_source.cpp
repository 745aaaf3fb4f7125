#include "rip/tag_source.h"

#include <vector>

namespace {

// The UTF-8 form of an ANSI code page text; empty when it does not convert.
std::string ansi_to_utf8(const char* text)
{
    int wide_length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (wide_length <= 0) return "";
    std::vector<wchar_t> wide(static_cast<size_t>(wide_length));
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), wide_length);
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return "";
    std::vector<char> utf8(static_cast<size_t>(length));
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, utf8.data(), length, nullptr, nullptr);
    return utf8.data();
}

}  // namespace

TagSet tags_for_track(const DiscFields& fields, int track_number, int track_count)
{
    TagSet tags;
    tags.artist = ansi_to_utf8(fields.artist);
    tags.album = ansi_to_utf8(fields.album);
    tags.year = ansi_to_utf8(fields.year);
    tags.title = ansi_to_utf8(fields.title);
    tags.track = track_number;
    tags.tracks = track_count;
    return tags;
}
