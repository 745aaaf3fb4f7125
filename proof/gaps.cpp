#include "gaps.h"

#include <map>

namespace {

// Pregaps are mostly two seconds long or none at all: these are tried
// before anything is searched.
constexpr uint32_t kUsualPregap = 150;

struct Reader {
    QRead read;
    void* context;
    int* reads;
    std::map<uint32_t, QFrame> known;  // sectors whose position frame counted
};

// The position frame of `sector`, read again when it does not count (a bad
// CRC, a neighbour's position), or of the next few sectors when the drive
// gives a catalogue or ISRC frame there (about one in a hundred). False
// when none of them counts.
bool position_at(Reader& r, uint32_t sector, uint32_t limit, QFrame* frame, uint32_t* at)
{
    for (uint32_t s = sector; s < limit && s < sector + 4; ++s) {
        auto seen = r.known.find(s);
        if (seen != r.known.end()) return *frame = seen->second, *at = s, true;
        for (int attempt = 0; attempt < 3; ++attempt) {
            uint8_t q[kQFrameBytes];
            ++*r.reads;
            if (!r.read(r.context, s, q) || !parse_q_frame(q, frame)) continue;
            if (frame->kind != QKind::kPosition) break;  // the same frame again: try the next sector
            if (frame->absolute != static_cast<int32_t>(s)) continue;
            r.known[s] = *frame;
            *at = s;
            return true;
        }
    }
    return false;
}

// The search for the first sector in [low, high] whose frame `reached`
// says yes (the frames say no before it and yes from it on; `high` itself
// is never read: it is the answer when nothing before it says yes).
template <typename Reached>
struct Search {
    Reader& r;
    Reached reached;
    uint32_t low, high;
    uint32_t end;  // frames are looked for up to here

    // Narrows the range by the frame at `sector` (or the next that
    // counts); false when none does.
    bool probe(uint32_t sector)
    {
        if (sector < low || sector >= high) return true;  // already decided
        QFrame frame;
        uint32_t at;
        if (!position_at(r, sector, end, &frame, &at)) return false;
        if (!reached(frame)) low = at + 1 < high ? at + 1 : high;
        else if (at < high) high = at;
        else high = sector;  // no position frame from `sector` to the range's end: the left part decides
        return true;
    }
    // Halves the range until one sector is left.
    bool finish()
    {
        while (low < high)
            if (!probe(low + (high - low) / 2)) return false;
        return true;
    }
};

template <typename Reached>
Search<Reached> search(Reader& r, uint32_t low, uint32_t high, Reached reached)
{
    return Search<Reached>{r, reached, low, high, high};
}

// Where track `number`'s pregap begins, between `from` and `start` (its
// index 1): the sector before `start` first (most tracks have no pregap),
// then the usual two seconds, then ever longer ones going back, and only
// then a search between the last two tried. Before the first track, the
// disc's first sector first: all of it is the first track's.
bool find_pregap(Reader& r, int number, uint32_t from, uint32_t start, bool first_track, uint32_t* pregap_start)
{
    auto s = search(r, from, start, [number](const QFrame& f) { return f.track >= number; });
    if (first_track && !s.probe(from)) return false;
    if (!s.probe(start - 1)) return false;
    if (start - from > kUsualPregap && (!s.probe(start - kUsualPregap) || !s.probe(start - kUsualPregap - 1))) return false;
    for (uint32_t back = 2 * kUsualPregap; back <= start - from && s.low < s.high; back *= 2)
        if (!s.probe(start - back)) return false;
    if (!s.finish()) return false;
    *pregap_start = s.low;
    return true;
}

// The first sectors of the indexes after 1 of the track whose own sectors
// (no next pregap) are [start, end), when its last sector says it has them.
bool find_later_indexes(Reader& r, int number, uint32_t start, uint32_t end, TrackIndexes* indexes)
{
    QFrame last;
    uint32_t at;
    if (end <= start || !position_at(r, end - 1, end, &last, &at) || last.track != number) return true;
    for (int index = 2; index <= last.index && index <= 99; ++index) {
        auto s = search(r, start, end, [number, index](const QFrame& f) { return f.track > number || f.index >= index; });
        if (!s.finish()) return false;
        if (s.low < end) indexes->later.push_back(s.low);
    }
    return true;
}

}  // namespace

bool find_disc_indexes(const Toc& toc, QRead read, void* context, TrackIndexes* indexes, int* reads)
{
    Reader r = {read, context, reads, {}};
    for (int i = 0; i < toc.count; ++i) indexes[i] = TrackIndexes();
    // Every pregap first: each one ends the track before.
    for (int i = 0; i < toc.count; ++i) {
        if (!toc.tracks[i].audio) continue;
        uint32_t start = toc.tracks[i].start, from = i > 0 ? toc.tracks[i - 1].start + 1 : 0, pregap_start = start;
        if (start > from && !find_pregap(r, toc.first + i, from, start, i == 0, &pregap_start)) return false;
        indexes[i].pregap = start - pregap_start;
    }
    for (int i = 0; i < toc.count; ++i) {
        if (!toc.tracks[i].audio) continue;
        uint32_t start = toc.tracks[i].start, end = start + toc.tracks[i].sectors;
        if (i + 1 < toc.count && toc.tracks[i + 1].audio && toc.tracks[i + 1].start - indexes[i + 1].pregap < end)
            end = toc.tracks[i + 1].start - indexes[i + 1].pregap;
        if (!find_later_indexes(r, toc.first + i, start, end, &indexes[i])) return false;
    }
    return true;
}
