#include "proof/subchannel.h"

#include <windows.h>

#include "app/log.h"
#include "app/settings.h"
#include "cdlib/cdlib.h"
#include "rip/rip_state.h"

namespace {

struct QContext {
    int drive;
    bool answered;  // the drive gave a frame at all
};

bool read_q(void* context, uint32_t sector, uint8_t q[kQFrameBytes])
{
    auto* c = static_cast<QContext*>(context);
    if (rip_stopping()) return false;
    bool read = CDLIB_ReadQ(static_cast<CDLIB_DWORD>(c->drive), sector, q) != 0;
    c->answered = c->answered || read;
    return read;
}

void read_codes(int drive, const Toc& toc, DiscSubchannel* disc)
{
    char catalog[14] = {}, isrc[13] = {};
    if (CDLIB_GetCatalog(static_cast<CDLIB_DWORD>(drive), catalog) && mcn_well_formed(catalog)) disc->catalog = catalog;
    else if (catalog[0]) g_log.print("catalogue number %s: not 13 digits, left out", catalog);
    for (int i = 0; i < toc.count; ++i) {
        isrc[0] = '\0';
        if (!toc.tracks[i].audio || !CDLIB_GetIsrc(static_cast<CDLIB_DWORD>(drive), static_cast<CDLIB_DWORD>(i), isrc)) continue;
        if (isrc_well_formed(isrc)) disc->isrc[i] = isrc;
        else if (isrc[0]) g_log.print("track %d: ISRC %s not well formed, left out", toc.first + i, isrc);
    }
}

void search_gaps(int drive, const Toc& toc, DiscSubchannel* disc)
{
    static const char kLabel[] = "Detecting gaps...";
    PostMessageA(g_progress_window, WM_RIP_LABEL, reinterpret_cast<WPARAM>(kLabel), 0);
    QContext context = {drive, false};
    int reads = 0;
    DWORD began = GetTickCount();
    disc->searched = find_disc_indexes(toc, read_q, &context, disc->indexes, &reads);
    disc->searched = disc->searched && context.answered;
    bool codes = !disc->catalog.empty();
    for (int i = 0; i < toc.count; ++i) codes = codes || !disc->isrc[i].empty();
    if (!context.answered && codes) disc->how = "catalogue number and ISRCs alone (the drive gives no Q frames): no gaps";
    else if (!context.answered) disc->how = "not read (the drive gives no Q sub-channel): no gaps, ISRCs or catalogue number";
    g_log.print("gap detection: %s, %d Q frames in %lu ms", disc->searched ? "done" : "not done", reads,
                GetTickCount() - began);
}

}  // namespace

DiscSubchannel read_subchannel(int drive, const Toc& toc)
{
    DiscSubchannel disc;
    disc.how = "read from the drive's Q sub-channel";
    read_codes(drive, toc, &disc);
    if (g_gap_detection) search_gaps(drive, toc, &disc);
    else disc.how += "; gaps not detected (GapDetection=0 in settings.ini)";
    g_log.print("sub-channel: %s", disc.how.c_str());
    return disc;
}
