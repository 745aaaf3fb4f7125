#include "accuraterip.h"

#include <cctype>
#include <cstdio>

namespace {

uint32_t le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

constexpr size_t kRecordHead = 13;  // count, id1, id2, cddb
constexpr size_t kTrackEntry = 9;   // confidence, CRC, CRC of sector 450
constexpr size_t kDriveRecord = 69;
constexpr size_t kDriveName = 33;

bool refuse(std::string* error, const char* what, size_t at)
{
    char text[120];
    snprintf(text, sizeof text, "%s at byte %zu", what, at);
    *error = text;
    return false;
}

// Upper case, no spaces around, one space for each run of them inside.
std::string plain_name(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (isspace(static_cast<unsigned char>(c))) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += static_cast<char>(toupper(static_cast<unsigned char>(c)));
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace

ArDiscIds ar_disc_ids(const Toc& toc)
{
    ArDiscIds ids;
    for (int i = 0; i < toc.count && i < kMaxTracks; ++i) {
        if (!toc.tracks[i].audio) continue;
        uint32_t lba = toc.tracks[i].start;
        ++ids.audio_tracks;
        ids.id1 += lba;
        ids.id2 += (lba > 0 ? lba : 1) * static_cast<uint32_t>(ids.audio_tracks);
    }
    if (ids.audio_tracks == 0) return ArDiscIds();
    ids.id1 += toc.leadout;
    ids.id2 += toc.leadout * static_cast<uint32_t>(ids.audio_tracks + 1);
    ids.cddb = freedb_disc_id(toc);
    return ids;
}

std::string ar_request_path(const ArDiscIds& ids)
{
    if (ids.audio_tracks <= 0) return "";
    char path[96];
    snprintf(path, sizeof path, "/accuraterip/%x/%x/%x/dBAR-%03d-%08x-%08x-%08x.bin", ids.id1 & 0xF, ids.id1 >> 4 & 0xF,
             ids.id1 >> 8 & 0xF, ids.audio_tracks, ids.id1, ids.id2, ids.cddb);
    return path;
}

bool ar_parse_dbar(const uint8_t* data, size_t size, const ArDiscIds& disc, std::vector<ArRecord>* records,
                   std::string* error)
{
    records->clear();
    if (size == 0) return refuse(error, "empty answer", 0);
    std::vector<ArRecord> found;  // kept only when every record fits
    for (size_t at = 0; at < size;) {
        if (size - at < kRecordHead) return refuse(error, "cut record head", at);
        size_t count = data[at];
        if (count == 0) return refuse(error, "record without tracks", at);
        if (static_cast<int>(count) != disc.audio_tracks) return refuse(error, "record for another track count", at);
        if (size - at - kRecordHead < count * kTrackEntry) return refuse(error, "cut record", at);
        ArRecord record = {le32(data + at + 1), le32(data + at + 5), le32(data + at + 9), {}};
        if (record.id1 != disc.id1 || record.id2 != disc.id2 || record.cddb != disc.cddb)
            return refuse(error, "record for another disc", at);
        const uint8_t* entry = data + at + kRecordHead;
        for (size_t i = 0; i < count; ++i, entry += kTrackEntry)
            record.tracks.push_back({entry[0], le32(entry + 1), le32(entry + 5)});
        found.push_back(record);
        at += kRecordHead + count * kTrackEntry;
    }
    records->swap(found);
    return true;
}

ArMatch ar_match_track(const std::vector<ArRecord>& records, int slot, uint32_t v1, uint32_t v2)
{
    ArMatch match;
    for (const ArRecord& record : records) {
        if (slot < 1 || static_cast<size_t>(slot) > record.tracks.size()) continue;
        const ArTrackEntry& entry = record.tracks[slot - 1];
        if (entry.crc == 0) continue;
        match.submitted = true;
        if (entry.confidence > match.best_confidence) match.best_confidence = entry.confidence;
        if ((entry.crc == v1 || entry.crc == v2) && (!match.matched || entry.confidence > match.confidence)) {
            match.matched = true;
            match.v2 = entry.crc != v1;
            match.confidence = entry.confidence;
        }
    }
    return match;
}

bool ar_parse_drive_list(const uint8_t* data, size_t size, std::vector<ArDrive>* drives, std::string* error)
{
    drives->clear();
    if (size == 0) return refuse(error, "empty drive list", 0);
    if (size % kDriveRecord) return refuse(error, "drive list cut short", size - size % kDriveRecord);
    for (size_t at = 0; at < size; at += kDriveRecord) {
        const char* name = reinterpret_cast<const char*>(data + at + 2);
        size_t length = 0;
        while (length < kDriveName && name[length]) ++length;
        int offset = static_cast<int16_t>(data[at] | data[at + 1] << 8);
        drives->push_back({offset, std::string(name, length)});
    }
    return true;
}

bool ar_find_drive_offset(const std::vector<ArDrive>& drives, const std::string& vendor, const std::string& product,
                          int* offset)
{
    std::string wanted_vendor = plain_name(vendor), wanted_product = plain_name(product);
    if (wanted_vendor.empty() && wanted_product.empty()) return false;
    for (const ArDrive& drive : drives) {
        size_t dash = drive.name.find(" - ");
        if (dash == std::string::npos || drive.offset < -kArMaxOffset || drive.offset > kArMaxOffset) continue;
        if (plain_name(drive.name.substr(0, dash)) == wanted_vendor &&
            plain_name(drive.name.substr(dash + 3)) == wanted_product) {
            *offset = drive.offset;
            return true;
        }
    }
    return false;
}
