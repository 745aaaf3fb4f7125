#include "musicbrainz.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

using Json = nlohmann::json;

namespace {

const uint32_t kLeadIn = 150;
const uint32_t kSessionGap = 11400;  // between an enhanced CD's audio and its data session
const uint32_t kLengthSlackMs = 10000;

}  // namespace

MbToc mb_toc_from_lbas(int first, const std::vector<uint32_t>& starts, const std::vector<bool>& data,
                       uint32_t leadout)
{
    MbToc toc;
    toc.first = first < 1 ? 1 : first;
    size_t count = starts.size();
    while (count > 0 && count <= data.size() && data[count - 1]) --count;
    if (count == 0 || toc.first > 99) return toc;
    if (count > static_cast<size_t>(100 - toc.first)) count = 100 - toc.first;
    toc.last = toc.first + static_cast<int>(count) - 1;
    for (size_t i = 0; i < count; ++i) toc.offsets[toc.first + i] = starts[i] + kLeadIn;
    uint32_t end = leadout;
    if (count < starts.size()) {
        // The audio session ends a session gap before the data track.
        uint32_t data_start = starts[count];
        end = data_start > starts[count - 1] + kSessionGap ? data_start - kSessionGap : data_start;
    }
    toc.leadout = end + kLeadIn;
    return toc;
}

std::string mb_disc_id_text(const MbToc& toc)
{
    char text[2 * 2 + 100 * 8 + 1];
    size_t used = snprintf(text, sizeof text, "%02X%02X%08X", toc.first & 0xFF, toc.last & 0xFF, toc.leadout);
    for (int n = 1; n <= 99; ++n) used += snprintf(text + used, sizeof text - used, "%08X", toc.offsets[n]);
    return text;
}

std::string mb_disc_id(const uint8_t sha1[20])
{
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._";
    std::string id;
    for (int i = 0; i < 20; i += 3) {
        uint32_t bits = sha1[i] << 16 | (i + 1 < 20 ? sha1[i + 1] << 8 : 0) | (i + 2 < 20 ? sha1[i + 2] : 0);
        id += kDigits[bits >> 18 & 63];
        id += kDigits[bits >> 12 & 63];
        id += i + 1 < 20 ? kDigits[bits >> 6 & 63] : '-';
        id += i + 2 < 20 ? kDigits[bits & 63] : '-';
    }
    return id;
}

std::string mb_request_path(const std::string& disc_id, const MbToc& toc)
{
    std::string path = "/ws/2/discid/" + disc_id + "?toc=" + std::to_string(toc.first) + "+" +
                       std::to_string(toc.last) + "+" + std::to_string(toc.leadout);
    for (int n = toc.first; n >= 1 && n <= toc.last && n <= 99; ++n) path += "+" + std::to_string(toc.offsets[n]);
    return path + "&cdstubs=no&inc=artist-credits+recordings+labels+release-groups&fmt=json";
}

std::string mb_year(const std::string& date)
{
    for (size_t i = 0; i < 4; ++i)
        if (i >= date.size() || date[i] < '0' || date[i] > '9') return "";
    return date.substr(0, 4);
}

namespace {

// Reads the fields of an answer. A field of the wrong type marks the whole
// answer bad; an absent or null field reads as empty, except where a
// caller asks for it to be there.
struct Reader {
    bool bad = false;

    const Json* member(const Json& object, const char* key, Json::value_t type)
    {
        if (!object.is_object()) return bad = true, nullptr;
        auto found = object.find(key);
        if (found == object.end() || found->is_null()) return nullptr;
        if (found->type() != type) return bad = true, nullptr;
        return &*found;
    }
    const Json* array(const Json& object, const char* key) { return member(object, key, Json::value_t::array); }
    const Json* object(const Json& object, const char* key) { return member(object, key, Json::value_t::object); }
    std::string text(const Json& object, const char* key, bool needed = false)
    {
        const Json* found = member(object, key, Json::value_t::string);
        if (!found && needed) bad = true;
        return found ? found->get_ref<const std::string&>() : std::string();
    }
    bool flag(const Json& object, const char* key)
    {
        const Json* found = member(object, key, Json::value_t::boolean);
        return found && found->get<bool>();
    }
    // A whole number from 0 to `most`; `absent` when there is none.
    uint32_t number(const Json& object, const char* key, uint32_t most, uint32_t absent)
    {
        if (!object.is_object()) return bad = true, absent;
        auto found = object.find(key);
        if (found == object.end() || found->is_null()) return absent;
        if (found->is_number_unsigned() && found->get<uint64_t>() <= most)
            return static_cast<uint32_t>(found->get<uint64_t>());
        if (found->is_number_integer() && found->get<int64_t>() >= 0 && found->get<int64_t>() <= most)
            return static_cast<uint32_t>(found->get<int64_t>());
        return bad = true, absent;
    }

    // An artist credit as one text: each credited name followed by its join phrase.
    bool credit(const Json& owner, std::string* names, std::vector<std::string>* ids)
    {
        const Json* credits = array(owner, "artist-credit");
        if (!credits) return false;
        names->clear(), ids->clear();
        for (const Json& credit : *credits) {
            *names += text(credit, "name", true) + text(credit, "joinphrase");
            const Json* artist = object(credit, "artist");
            if (artist) ids->push_back(text(*artist, "id", true));
        }
        return !bad;
    }
};

// The number of sectors of track n of the TOC, in milliseconds.
uint32_t toc_length_ms(const MbToc& toc, int n)
{
    uint32_t end = n < toc.last ? toc.offsets[n + 1] : toc.leadout;
    return end > toc.offsets[n] ? static_cast<uint32_t>((end - toc.offsets[n]) * 1000ull / 75) : 0;
}

// Whether a medium holds the disc: its disc ids name it (an exact answer),
// or its tracks' lengths are the TOC's give or take a few seconds.
bool medium_fits(Reader& reader, const Json& medium, const MbRelease& read, const std::string& disc_id,
                 const MbToc& toc, bool exact)
{
    if (static_cast<int>(read.tracks.size()) != toc.last - toc.first + 1) return false;
    if (exact) {
        const Json* discs = reader.array(medium, "discs");
        bool named = false;
        for (size_t i = 0; discs && i < discs->size(); ++i) named |= reader.text((*discs)[i], "id") == disc_id;
        return named;
    }
    for (size_t i = 0; i < read.tracks.size(); ++i) {
        uint32_t wanted = toc_length_ms(toc, toc.first + static_cast<int>(i)), got = read.tracks[i].length_ms;
        if (got == 0 || (got > wanted ? got - wanted : wanted - got) > kLengthSlackMs) return false;
    }
    return true;
}

// The release's own fields, shared by each of its media.
MbRelease read_release(Reader& reader, const Json& release)
{
    MbRelease read;
    read.id = reader.text(release, "id", true);
    read.title = reader.text(release, "title", true);
    reader.credit(release, &read.artist, &read.artist_ids);
    read.date = reader.text(release, "date");
    read.country = reader.text(release, "country");
    read.barcode = reader.text(release, "barcode");
    if (const Json* group = reader.object(release, "release-group")) read.release_group_id = reader.text(*group, "id");
    if (const Json* cover = reader.object(release, "cover-art-archive")) read.front_cover = reader.flag(*cover, "front");
    const Json* labels = reader.array(release, "label-info");
    if (labels && !labels->empty()) {
        read.catalog_number = reader.text((*labels)[0], "catalog-number");
        if (const Json* label = reader.object((*labels)[0], "label")) read.label = reader.text(*label, "name");
    }
    return read;
}

MbTrack read_track(Reader& reader, const Json& track, const MbRelease& release)
{
    MbTrack read;
    read.track_id = reader.text(track, "id");
    read.title = reader.text(track, "title", true);
    read.length_ms = reader.number(track, "length", UINT32_MAX, 0);
    const Json* recording = reader.object(track, "recording");
    if (recording) read.recording_id = reader.text(*recording, "id");
    if (recording && !read.length_ms) read.length_ms = reader.number(*recording, "length", UINT32_MAX, 0);
    // The track's own credit, else its recording's, else the release's.
    if (!reader.credit(track, &read.artist, &read.artist_ids) &&
        !(recording && reader.credit(*recording, &read.artist, &read.artist_ids))) {
        read.artist = release.artist;
        read.artist_ids = release.artist_ids;
    }
    return read;
}

}  // namespace

MbAnswer mb_parse_answer(const std::string& json, const std::string& disc_id, const MbToc& toc,
                         std::vector<MbRelease>* releases)
{
    releases->clear();
    Json answer = Json::parse(json, nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) return MbAnswer::kBad;
    Reader reader;
    const Json* listed = reader.array(answer, "releases");
    bool exact = answer.contains("id") && answer.contains("offsets");
    if (exact) reader.text(answer, "id", true), reader.array(answer, "offsets");
    else reader.number(answer, "release-count", UINT32_MAX, 0);
    if (!listed || (!exact && !answer.contains("release-count")) || reader.bad) return MbAnswer::kBad;
    for (const Json& release : *listed) {
        MbRelease common = read_release(reader, release);
        const Json* media = reader.array(release, "media");
        for (size_t m = 0; media && m < media->size(); ++m) {
            const Json& medium = (*media)[m];
            MbRelease read = common;
            read.format = reader.text(medium, "format");
            read.disc = static_cast<int>(reader.number(medium, "position", 999, static_cast<uint32_t>(m + 1)));
            if (read.disc < 1) reader.bad = true;  // media count from 1
            read.discs = std::max(static_cast<int>(media->size()), read.disc);
            const Json* tracks = reader.array(medium, "tracks");
            for (size_t t = 0; tracks && t < tracks->size(); ++t)
                read.tracks.push_back(read_track(reader, (*tracks)[t], common));
            if (!reader.bad && medium_fits(reader, medium, read, disc_id, toc, exact))
                releases->push_back(read);
        }
        if (reader.bad) break;
    }
    if (reader.bad) return releases->clear(), MbAnswer::kBad;
    return releases->empty() ? MbAnswer::kNotFound : MbAnswer::kFound;
}

int mb_release_with_barcode(const std::vector<MbRelease>& releases, const std::string& catalog)
{
    for (size_t i = 0; !catalog.empty() && i < releases.size(); ++i) {
        const std::string& barcode = releases[i].barcode;
        if (barcode == catalog || (barcode.size() == 12 && catalog == "0" + barcode)) return static_cast<int>(i);
    }
    return -1;
}
