#include "gaps.h"

namespace {

struct Reader {
    QRead read;
    void* context;
    int* reads;
};

// The position frame of `sector`, read again when it does not count (a bad
// CRC, a neighbour's position), or of the next few sectors when the drive
// gives a catalogue or ISRC frame there (about one in a hundred). False
// when none of them counts.
bool position_at(const Reader& r, uint32_t sector, uint32_t limit, QFrame* frame, uint32_t* at)
{
    for (uint32_t s = sector; s < limit && s < sector + 4; ++s) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            uint8_t q[kQFrameBytes];
            ++*r.reads;
            if (!r.read(r.context, s, q) || !parse_q_frame(q, frame)) continue;
            if (frame->kind != QKind::kPosition) break;  // the same frame again: try the next sector
            if (frame->absolute != static_cast<int32_t>(s)) continue;
            *at = s;
            return true;
        }
    }
    return false;
}

// The first sector in [from, to) whose frame `reached` says yes, the frames
// saying no before it and yes from it on; `to` when none does.
template <typename Reached>
bool first_reaching(const Reader& r, uint32_t from, uint32_t to, Reached reached, uint32_t* first)
{
    uint32_t low = from, high = to;  // the answer lies in [low, high]
    while (low < high) {
        uint32_t middle = low + (high - low) / 2, at;  // `at`: the sector whose frame counted
        QFrame frame;
        if (!position_at(r, middle, to, &frame, &at)) return false;
        if (!reached(frame)) low = at + 1;
        else if (at < high) high = at;
        else high = middle;  // nothing counts from the middle on: the left half decides
    }
    *first = high < low ? high : low;
    return true;
}

}  // namespace

bool find_track_indexes(const Toc& toc, int track, QRead read, void* context, TrackIndexes* indexes, int* reads)
{
    *indexes = TrackIndexes();
    if (track < 0 || track >= toc.count) return false;
    Reader r = {read, context, reads};
    int number = toc.first + track;
    uint32_t start = toc.tracks[track].start, end = start + toc.tracks[track].sectors;
    uint32_t from = track > 0 ? toc.tracks[track - 1].start + 1 : 0;
    uint32_t pregap_start;
    if (start > from && !first_reaching(r, from, start, [&](const QFrame& f) { return f.track >= number; }, &pregap_start))
        return false;
    indexes->pregap = start > from ? start - pregap_start : 0;
    // Where the track's own sectors end (the next track's pregap follows
    // within its length), the last index it reaches there, then each
    // index's first sector.
    uint32_t own_end, at;
    QFrame last;
    if (end <= start || !first_reaching(r, start, end, [&](const QFrame& f) { return f.track > number; }, &own_end) ||
        own_end <= start || !position_at(r, own_end - 1, own_end, &last, &at) || last.track != number)
        return true;
    end = own_end;
    for (int index = 2; index <= last.index && index <= 99; ++index) {
        uint32_t first;
        if (!first_reaching(r, start, end, [&](const QFrame& f) { return f.track > number || f.index >= index; }, &first))
            return false;
        if (first < end) indexes->later.push_back(first);
    }
    return true;
}
