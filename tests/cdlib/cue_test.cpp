#include "cdlib/cue.h"
#include "cdlib/image_layout.h"
#include "cdlib/toc.h"

#include "tests/table_file.h"

// A sheet laid out against files of the given sizes; the error or "".
static std::string lay_out(const std::string& text, const std::vector<ImageFileInfo>& files, ImageLayout* layout)
{
    CueSheet sheet;
    std::string error;
    parse_cue(text.data(), text.size(), &sheet, &error) && build_image_layout(sheet, files, layout, &error);
    return error;
}

// The TOC of a sheet laid out against files of the given bytes, or the error.
static std::string layout_of(const std::string& text, const std::string& file_bytes)
{
    std::vector<ImageFileInfo> files;
    std::istringstream sizes(file_bytes);
    for (uint64_t bytes; sizes >> bytes;) files.push_back(ImageFileInfo{0, bytes});
    ImageLayout layout;
    std::string error = lay_out(text, files, &layout), toc;
    if (layout.toc.first != 1) toc = std::to_string(layout.toc.first) + ": ";
    for (int i = 0; i < layout.toc.count && error.empty(); ++i) {
        const TocTrack& t = layout.toc.tracks[i];
        toc += std::to_string(t.start) + "+" + std::to_string(t.sectors) + (t.audio ? "" : "d");
        toc += (t.control & ~kControlData) ? "/" + std::to_string(t.control & ~kControlData) + " " : " ";
    }
    return error.empty() ? toc + "end " + std::to_string(layout.toc.leadout) : error;
}

// The CDDB query of a disc of one file: `gap` sectors of INDEX 00 before
// every track but the first ("GAP from N": its first track is number N),
// then each track's sectors.
static std::string query_of(const std::string& gaps, const std::string& lengths)
{
    std::string cue = "FILE disc.bin BINARY\n", from;
    char line[96];
    uint32_t at = 0, gap = 0, first = 1, sectors;
    std::istringstream(gaps) >> gap >> from >> first;
    uint32_t track = first - 1;
    auto index = [&](int number) {
        snprintf(line, sizeof line, "    INDEX %02d %02u:%02u:%02u\n", number, at / 4500, at / 75 % 60, at % 75);
        return std::string(line);
    };
    for (std::istringstream list(lengths); list >> sectors; at += sectors) {
        cue += "  TRACK " + std::to_string(++track) + " AUDIO\n";
        cue += track > first && gap ? index(0) : "";
        at += track > first ? gap : 0;
        cue += index(1);
    }
    ImageLayout layout;
    std::string error = lay_out(cue, {ImageFileInfo{0, at * 2352ull}}, &layout);
    return error.empty() ? cddb_query_text(layout.toc) : error;
}

// The data bytes a WAVE header of the row's values leads to, or the error.
static std::string wave_of(const std::string& values)
{
    std::string tag;
    uint32_t format, channels, rate, bits, data_size, extra, given;
    std::istringstream(values) >> tag >> format >> channels >> rate >> bits >> data_size >> extra >> given;
    std::vector<uint8_t> h;
    auto put = [&](const char* text) { h.insert(h.end(), text, text + 4); };
    auto le = [&](uint32_t v, int bytes) { for (int i = 0; i < bytes; ++i) h.push_back(static_cast<uint8_t>(v >> 8 * i)); };
    put(tag.c_str()), le(0, 4), put("WAVE");
    if (extra) put("LIST"), le(3, 4), le(0, 4);  // odd size: a pad byte follows
    put("fmt "), le(16, 4), le(format, 2), le(channels, 2), le(rate, 4), le(rate * channels * bits / 8, 4);
    le(channels * bits / 8, 2), le(bits, 2), put("data"), le(data_size, 4);
    WaveLayout layout;
    std::string error;
    if (!parse_wave_header(h.data(), given ? given : h.size(), h.size() + (extra ? 8000 : 4004), &layout, &error))
        return error;
    return layout.data_offset == h.size() ? std::to_string(layout.data_bytes) : "samples at the wrong offset";
}

// Where the image's sectors lie, as its Q sub-channel says: "sector=track.index/relative".
static std::string positions_of(const std::string& file_bytes, const std::string& text, const std::string& sectors)
{
    std::vector<ImageFileInfo> files;
    std::istringstream sizes(file_bytes), wanted(sectors);
    for (uint64_t bytes; sizes >> bytes;) files.push_back({0, bytes});
    ImageLayout layout;
    std::string error = lay_out(text, files, &layout), out;
    for (uint32_t sector; error.empty() && wanted >> sector;) {
        ImagePosition at = image_position(layout, sector);
        out += (out.empty() ? "" : " ") + std::to_string(sector) + "=" + std::to_string(layout.toc.first + at.track) + "." +
               std::to_string(at.index) + "/" + std::to_string(at.relative);
    }
    return error.empty() ? out : error;
}

static std::string run(const TableRow& row)
{
    if (row.at(0) == "discid") return query_of(row.at(1), row.at(2));
    if (row.at(0) == "q") return positions_of(row.at(1), row.at(2), row.at(3));
    return row.at(0) == "wave" ? wave_of(row.at(1)) : layout_of(row.at(2), row.at(1));
}

TEST(CueSheet, SheetsLayoutsAndWaveHeaders) { check_table("cdlib/cue.table", run); }
