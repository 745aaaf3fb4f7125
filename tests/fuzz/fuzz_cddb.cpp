// CDDB replies of any bytes through the key search and the DTITLE split.
#include "lookup/cddb.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string reply(reinterpret_cast<const char*>(data), size);  // ends with its NUL, may hold others
    char value[4096], artist[1024], album[4096];
    const char* keys[] = {"DTITLE=", "YEAR: ", "TITLE0=", "TITLE12=", " / "};
    for (const char* key : keys) find_key_value(reply.c_str(), key, value, sizeof value);
    find_key_value(reply.c_str(), "DTITLE=", value, sizeof value);
    split_dtitle(value, artist, sizeof artist, album, sizeof album);
    return 0;
}
