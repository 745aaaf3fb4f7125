#include "lookup/cover_art.h"

#include <cctype>
#include <cstdio>

#include "lookup/web.h"

namespace {

constexpr size_t kMaxCoverBytes = 4u << 20;

// 8-4-4-4-12 hexadecimal digits: nothing else goes into the path.
bool is_release_id(const std::string& id)
{
    if (id.size() != 36) return false;
    for (size_t i = 0; i < id.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? id[i] != '-' : !isxdigit(static_cast<unsigned char>(id[i]))) return false;
    }
    return true;
}

bool starts_like_image(const std::string& bytes)
{
    static const char kJpeg[] = "\xFF\xD8\xFF";
    static const char kPng[] = "\x89PNG\r\n\x1A\n";
    return bytes.compare(0, sizeof kJpeg - 1, kJpeg) == 0 || bytes.compare(0, sizeof kPng - 1, kPng) == 0;
}

}  // namespace

bool fetch_front_cover(const std::string& release_id, WebStop* stop, std::string* bytes)
{
    bytes->clear();
    if (!is_release_id(release_id)) return false;
    char path[80];
    snprintf(path, sizeof path, "/release/%s/front-500", release_id.c_str());
    WebReply reply;
    if (!web_get("coverartarchive.org", path, true, kMaxCoverBytes, &reply, stop)) return false;
    if (reply.status != 200 || reply.too_big || !starts_like_image(reply.body)) return false;
    bytes->swap(reply.body);
    return true;
}
