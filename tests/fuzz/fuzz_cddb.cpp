// CDDB replies of any bytes through the reply check, the value, year and
// genre search and the DTITLE split. The first byte chooses the out buffers'
// size (1 to 256 bytes), each buffer allocated at exactly that size: a
// value as long as the buffer is then quick to find, and a write one byte
// past it is caught. The same bytes as a cover picture: what is taken
// has a size and is a JPEG or a PNG of bounded size.
#include "lookup/cddb.h"
#include "rip/cover_picture.h"

#include <cstdlib>

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    size_t out_size = 1 + data[0];
    std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);  // ends with its NUL, may hold others
    std::vector<char> value(out_size), artist(out_size), album(out_size);
    classify_cddb_reply(200, reply.c_str());
    for (const char* key : {"DTITLE", "EXTD", "TTITLE0", "TTITLE12"})
        cddb_value(reply.c_str(), key, value.data(), out_size);
    cddb_year(reply.c_str(), value.data(), out_size);
    cddb_genre(reply.c_str(), "rock", value.data(), out_size);
    split_dtitle(reply.c_str(), artist.data(), out_size, album.data(), out_size);
    CoverPicture cover;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!read_cover_picture(bytes, &cover)) return 0;
    std::string start = cover.mime == "image/png" ? "\x89PNG" : cover.mime == "image/jpeg" ? "\xFF\xD8" : "?";
    if (!cover.width || !cover.height || !cover.depth || cover.bytes != bytes || bytes.compare(0, start.size(), start))
        abort();
    return 0;
}
