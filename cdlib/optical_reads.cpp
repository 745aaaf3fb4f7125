#include "cdlib/optical_reads.h"

#include <windows.h>

#include <cstring>

#include "cdlib/cdlib.h"
#include "cdlib/drives.h"

namespace {

constexpr uint8_t kInquiry = 0x12, kModeSense = 0x5A, kReadCd = 0xBE, kRead12 = 0xA8;
constexpr uint32_t kC2Bytes = 294, kC2Stride = kSectorBytes + kC2Bytes;
constexpr uint32_t kC2SectorsPerRead = 24;    // 2646 bytes each: within the 64 KiB every adapter takes
constexpr uint32_t kFuaSectorsPerRead = 26;
constexpr unsigned kUnknownBufferKib = 4096;  // a drive that does not say: more than most hold
constexpr unsigned kTooFastMs = 5;            // a read from the disc quicker than this tells nothing

void put_be32(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value >> 24), at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8), at[3] = static_cast<uint8_t>(value);
}

// Sectors the drive's cache may hold: its buffer.
uint32_t cache_sectors(const DriveReads& reads)
{
    unsigned kib = reads.caps.buffer_kib ? reads.caps.buffer_kib : kUnknownBufferKib;
    return static_cast<uint32_t>(static_cast<uint64_t>(kib) * 1024 / kSectorBytes);
}

bool read_c2(CdDevice& device, uint32_t first, uint32_t n, uint8_t* out, std::vector<bool>* flagged)
{
    uint8_t cdb[12] = {kReadCd, 0x04 /* CD-DA */, 0, 0, 0, 0, 0, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n),
                       0x10 | 0x02 /* user data, C2 error pointers */, 0, 0};
    put_be32(cdb + 2, first);
    std::vector<uint8_t> data(static_cast<size_t>(n) * kC2Stride);
    size_t got = 0;
    if (device.scsi_in(cdb, sizeof cdb, data.data(), data.size(), &got) != CdDevice::kScsiDone || got != data.size()) return false;
    for (uint32_t i = 0; i < n; ++i) {
        memcpy(out + static_cast<size_t>(i) * kSectorBytes, data.data() + static_cast<size_t>(i) * kC2Stride, kSectorBytes);
        (*flagged)[i] = c2_flagged(data.data() + static_cast<size_t>(i) * kC2Stride + kSectorBytes, kC2Bytes);
    }
    return true;
}

// READ(12) with Force Unit Access of `n` sectors, its data thrown away.
CdDevice::ScsiResult read_fua(CdDevice& device, uint32_t first, uint32_t n)
{
    uint8_t cdb[12] = {kRead12, 0x08 /* FUA */};
    put_be32(cdb + 2, first);
    put_be32(cdb + 6, n);
    std::vector<uint8_t> data(static_cast<size_t>(n) * kSectorBytes);
    size_t got = 0;
    return device.scsi_in(cdb, sizeof cdb, data.data(), data.size(), &got);
}

// Milliseconds a read of `n` sectors at `first` takes; false when it fails.
bool timed_read(CdDevice& device, const DriveReads& reads, uint32_t first, uint32_t n, double* ms)
{
    std::vector<uint8_t> out(static_cast<size_t>(n) * kSectorBytes);
    std::vector<bool> flagged(n);
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    bool read = read_sectors(device, reads, first, n, out.data(), &flagged);
    QueryPerformanceCounter(&after);
    *ms = static_cast<double>(after.QuadPart - before.QuadPart) * 1000 / static_cast<double>(frequency.QuadPart);
    return read;
}

}  // namespace

void learn_drive(CdDevice& device, int letter, DriveReads* reads)
{
    if (reads->learned) return;
    reads->learned = true;
    uint8_t answer[252] = {};
    size_t got = 0;
    const uint8_t inquiry[6] = {kInquiry, 0, 0, 0, 36, 0};
    const uint8_t sense[10] = {kModeSense, 0x08 /* no block descriptors */, 0x2A, 0, 0, 0, 0, 0, sizeof answer, 0};
    reads->scsi = device.scsi_in(inquiry, sizeof inquiry, answer, 36, &got) == CdDevice::kScsiDone && parse_inquiry(answer, got, &reads->caps);
    if (reads->scsi && device.scsi_in(sense, sizeof sense, answer, sizeof answer, &got) == CdDevice::kScsiDone)
        parse_capabilities_page(answer, got, &reads->caps);
    reads->recent.set_limit(cache_sectors(*reads));
    if (!reads->caps.page_read) {
        cdlib_log("drive %c: %s", 'A' + letter, reads->scsi ? "no capabilities page: no C2 error pointers asked for"
                                                            : "no SCSI commands pass through: no C2 error pointers, no Force Unit Access");
        return;
    }
    cdlib_log("drive %c: %s %s %s; C2 error pointers %s, CD-DA stream %s, buffer %u KiB", 'A' + letter, reads->caps.vendor.c_str(),
              reads->caps.product.c_str(), reads->caps.revision.c_str(), reads->caps.c2 ? "yes" : "no",
              reads->caps.accurate ? "accurate" : "not accurate", reads->caps.buffer_kib);
}

uint32_t sectors_per_read(CdDevice& device, const DriveReads& reads)
{
    return reads.caps.c2 ? kC2SectorsPerRead : device.max_sectors_per_read();
}

bool read_sectors(CdDevice& device, const DriveReads& reads, uint32_t first, uint32_t n, uint8_t* out, std::vector<bool>* flagged)
{
    flagged->assign(n, false);
    if (reads.caps.c2) return read_c2(device, first, n, out, flagged);
    return device.read_audio(first, n, out);
}

void test_cache(CdDevice& device, int letter, DriveReads* reads, uint32_t first, uint32_t n)
{
    if (reads->cache_tested) return;
    reads->cache_tested = true;
    if (n > kFuaSectorsPerRead) n = kFuaSectorsPerRead;
    if (n > kC2SectorsPerRead && reads->caps.c2) n = kC2SectorsPerRead;
    double disc = 0, again = 0, after_fua = 0;
    if (n == 0 || !timed_read(device, *reads, first, n, &disc) || !timed_read(device, *reads, first, n, &again)) {
        reads->defeat = CDLIB_DEFEAT_ELSEWHERE;
        cdlib_log("drive %c: cache not found out (the test reads failed): defeated by reading elsewhere", 'A' + letter);
        return;
    }
    reads->disc_ms = static_cast<unsigned>(disc + 0.5), reads->cache_ms = static_cast<unsigned>(again + 0.5);
    reads->cache = disc < kTooFastMs ? CDLIB_CACHE_UNKNOWN : again * 3 < disc ? CDLIB_CACHE_AUDIO : CDLIB_CACHE_NONE;
    if (reads->cache != CDLIB_CACHE_NONE && reads->scsi) {
        CdDevice::ScsiResult fua = read_fua(device, first, n);
        if (fua != CdDevice::kScsiDone) reads->fua = DriveReads::kFuaRefused;
        else if (reads->cache == CDLIB_CACHE_AUDIO && timed_read(device, *reads, first, n, &after_fua))
            reads->fua = after_fua * 3 < disc ? DriveReads::kFuaIgnored : DriveReads::kFuaHonoured;
    }
    reads->defeat = reads->cache == CDLIB_CACHE_NONE          ? CDLIB_DEFEAT_NONE
                    : reads->fua == DriveReads::kFuaHonoured ? CDLIB_DEFEAT_FUA
                                                             : CDLIB_DEFEAT_ELSEWHERE;
    const char* fua_text[] = {"not found out", "honoured", "ignored", "refused"};
    cdlib_log("drive %c: %u sectors read in %.1f ms, again in %.1f ms: %s; Force Unit Access %s; re-reads %s", 'A' + letter, n,
              disc, again,
              reads->cache == CDLIB_CACHE_AUDIO  ? "it caches audio"
              : reads->cache == CDLIB_CACHE_NONE ? "it does not cache audio"
                                                 : "too fast to tell whether it caches audio",
              fua_text[reads->fua],
              reads->defeat == CDLIB_DEFEAT_NONE  ? "need nothing"
              : reads->defeat == CDLIB_DEFEAT_FUA ? "go past the cache by Force Unit Access"
                                                  : "go past the cache by reading more than it holds elsewhere first");
}

void keep_from_cache(CdDevice& device, DriveReads* reads, uint32_t first, uint32_t count, uint32_t audio_end)
{
    if (reads->defeat == CDLIB_DEFEAT_NONE || !reads->recent.overlaps(first, count)) return;
    // A re-read going on where the last one left off is the same re-read.
    if (reads->defeat != CDLIB_DEFEAT_FUA || first != reads->fua_end) ++reads->defeats;
    if (reads->defeat == CDLIB_DEFEAT_FUA) {
        reads->fua_end = first + count;
        bool refused = false;
        for (uint32_t done = 0; done < count && !refused;) {
            uint32_t n = count - done < kFuaSectorsPerRead ? count - done : kFuaSectorsPerRead;
            refused = read_fua(device, first + done, n) == CdDevice::kScsiRefused;
            done += n;
        }
        if (!refused) return;
        reads->defeat = CDLIB_DEFEAT_ELSEWHERE;  // pass-through went away: the other way from now on
    }
    // More than the cache holds, before the sectors or after them: a read
    // the cache could answer itself would push nothing out.
    uint32_t want = cache_sectors(*reads) + kFuaSectorsPerRead;
    uint32_t from = first < want && audio_end >= first + count + want ? audio_end - want : 0;
    if (want > audio_end - from) want = audio_end - from;
    std::vector<uint8_t> out(static_cast<size_t>(kFuaSectorsPerRead) * kSectorBytes);
    std::vector<bool> flagged;
    uint32_t step = sectors_per_read(device, *reads);
    for (uint32_t done = 0; done < want && !cdlib_stop_asked();) {
        uint32_t n = want - done < step ? want - done : step;
        if (n > kFuaSectorsPerRead) n = kFuaSectorsPerRead;
        read_sectors(device, *reads, from + done, n, out.data(), &flagged);
        done += n;
    }
    reads->recent.clear();
    reads->recent.add(from, want);
}

void describe_reads(const DriveReads& reads, CDLIB_DRIVEINFO* info)
{
    *info = CDLIB_DRIVEINFO();
    info->reported = reads.caps.page_read;
    info->c2 = reads.caps.c2;
    info->accurate = reads.caps.accurate;
    info->buffer_kib = reads.caps.buffer_kib;
    info->cache = reads.cache;
    info->disc_ms = reads.disc_ms;
    info->cache_ms = reads.cache_ms;
    info->defeat = reads.defeat;
    info->defeats = reads.defeats;
}
