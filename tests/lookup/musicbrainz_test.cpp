#include "lookup/musicbrainz.h"

#include <openssl/sha.h>

#include "tests/table_file.h"

// "first last lead-out offset..." as in the request's toc.
static MbToc read_toc(const std::string& text)
{
    MbToc toc;
    std::istringstream in(text);
    in >> toc.first >> toc.last >> toc.leadout;
    for (int n = toc.first; n >= 1 && n <= toc.last && n <= 99; ++n) in >> toc.offsets[n];
    return toc;
}

static std::string disc_id(const MbToc& toc)
{
    std::string text = mb_disc_id_text(toc);
    uint8_t sha1[20];
    SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), sha1);
    return mb_disc_id(sha1);
}

static std::string answer(const TableRow& row)
{
    std::string body = row.at(1);
    if (!body.empty() && body.find_first_of("{[") == std::string::npos) {
        std::ifstream file(std::string(ORVO_TESTS_DIR) + "/lookup/mb/" + body, std::ios::binary);
        body.assign(std::istreambuf_iterator<char>(file), {});
    }
    MbToc toc = read_toc(row.at(2));
    std::vector<MbRelease> found(1);
    MbAnswer said = mb_parse_answer(body, disc_id(toc), toc, &found);
    std::string out = said == MbAnswer::kFound ? "found" : said == MbAnswer::kNotFound ? "not found" : "bad";
    std::string what = row.at(3);
    if (what.rfind("barcode=", 0) == 0) return out + "; " + std::to_string(mb_release_with_barcode(found, what.substr(8)));
    for (const MbRelease& r : found) {
        if (what == "releases")
            out += "; " + r.title + ", " + r.artist + ", " + r.date + ", " + r.country + ", " + r.label + ", " +
                   r.catalog_number + ", " + r.barcode + ", " + r.format + " " + std::to_string(r.disc) + "/" +
                   std::to_string(r.discs) + (r.front_cover ? ", front" : "");
        if (what == "ids") out += "; " + r.id + " " + r.release_group_id;
        for (const std::string& id : r.artist_ids) out += what == "ids" ? " " + id : "";
        for (const MbTrack& t : r.tracks) {
            if (what == "tracks") out += "; " + t.title + " - " + t.artist + " " + std::to_string(t.length_ms);
            if (what == "ids") out += "; " + t.recording_id + " " + t.track_id;
            for (const std::string& id : t.artist_ids) out += what == "ids" ? " " + id : "";
        }
    }
    return out;
}

// One row of musicbrainz.table.
static std::string run(const TableRow& row)
{
    std::string step = row.at(0);
    if (step == "id") return disc_id(read_toc(row.at(1)));
    if (step == "path") return mb_request_path(disc_id(read_toc(row.at(1))), read_toc(row.at(1)));
    if (step == "year") return mb_year(row.at(1));
    if (step == "answer") return answer(row);
    std::vector<uint32_t> starts;
    std::vector<bool> data;
    std::istringstream in(row.at(2));
    for (std::string start; in >> start;) starts.push_back(std::stoul(start)), data.push_back(start.back() == 'd');
    MbToc toc = mb_toc_from_lbas(std::stoi(row.at(1)), starts, data, std::stoul(row.at(3)));
    std::string text = std::to_string(toc.first) + " " + std::to_string(toc.last) + " " + std::to_string(toc.leadout);
    for (int n = toc.first; n <= toc.last; ++n) text += " " + std::to_string(toc.offsets[n]);
    return text + (toc.last ? " " + disc_id(toc) : "");
}

TEST(MusicBrainz, DiscIdsRequestsAndAnswers) { check_table("lookup/musicbrainz.table", run); }
