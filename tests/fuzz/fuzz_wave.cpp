// WAVE headers of any bytes, and tables of contents of any bytes.
#include "cdlib/cue.h"
#include "cdlib/toc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WaveLayout layout;
    std::string error;
    parse_wave_header(data, size, size + (size > 0 ? data[0] : 0) * 1000ull, &layout, &error);
    Toc toc;
    if (parse_toc_bytes(data, size, &toc)) cddb_query_text(toc);
    return 0;
}
