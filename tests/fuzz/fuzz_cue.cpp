// Cue sheets of any bytes: parsed, laid out against files of made-up sizes,
// and their texts taken as the program takes titles and names: cut into a
// track row's 108 bytes, made folder levels, folders (whole, and cut to fit
// the longest folder) and file names behind long folders, in buffers each
// allocated at exactly its size. The sheet a rip writes for the tracks
// reads back to the same tracks; the tracks of the disc they make follow
// each other, and reads past its end are silence.
#include "cdlib/cue.h"
#include "cdlib/image_layout.h"
#include "fuzz_checks.h"
#include "proof/cue_sheet.h"

#include <cstdio>
#include <vector>

static bool read_ones(void*, int, uint64_t, void* buffer, uint32_t bytes) { memset(buffer, 1, bytes); return true; }

// A track's name behind a folder of `folder_length` bytes: "<number>.<title>.flac"
// within the longest path, never cut to nothing; none behind a folder too long.
static void check_file_name(size_t folder_length, const CueTrack& track)
{
    char name[kMaxPathLength + 1], head[16];
    snprintf(head, sizeof head, "%d.", track.number);
    bool made = compose_file_name(folder_length, track.number, track.title.c_str(), ".flac", name, sizeof name, cp932_lead);
    size_t length = made ? strlen(name) : 0, least = strlen(head) + 5 + !track.title.empty();
    if (made ? folder_length + length > kMaxPathLength || length < least || strncmp(name, head, strlen(head)) ||
                   strcmp(name + length - 5, ".flac")
             : folder_length <= kMaxFolderLength)
        abort();
}

// A text made a folder level: its length kept by sanitize_name, then not
// empty and without a dot or a space as its last character.
static void check_folder_level(const std::string& text)
{
    char field[1024];
    snprintf(field, sizeof field, "%s", text.c_str());
    size_t length = strlen(field), at = 0, last = 0;
    sanitize_name(field, cp932_lead);
    if (strlen(field) != length) abort();
    make_safe_folder_level(field, sizeof field, cp932_lead);
    while (field[at]) last = at, at = char_end(field, at);
    if (at == 0 || (at == last + 1 && (field[last] == '.' || field[last] == ' '))) abort();
}

// The folder for the sheet's performer and title: cut to the longest folder
// it keeps both levels and the year, and is the whole folder when that fits.
static void check_folders(const CueSheet& sheet)
{
    std::vector<char> whole(1024), fitted(kMaxFolderLength + 1);
    const char* root = "C:\\Music\\";
    bool made = compose_folder_text(root, sheet.performer.c_str(), sheet.title.c_str(), "1999", true, true, whole.data(),
                                    whole.size(), whole.size() - 1, cp932_lead);
    if (sheet.performer.size() >= 1024 || sheet.title.size() >= 1024) return;  // more than the program's fields hold
    if (!compose_folder_text(root, sheet.performer.c_str(), sheet.title.c_str(), "1999", true, true, fitted.data(),
                             fitted.size(), fitted.size() - 1, cp932_lead))
        abort();  // a short root always leaves room for one character of each level
    std::vector<size_t> ends;  // where each level ends, found character by character
    size_t at = 0;
    for (; fitted[at]; at = char_end(fitted.data(), at))
        if (fitted[at] == '\\') ends.push_back(at);
    if (ends.size() != 4 || ends[3] + 1 != at || ends[2] == ends[1] + 1 || strncmp(&fitted[ends[2] + 1], "1999 -", 6))
        abort();
    if (made && strlen(whole.data()) < fitted.size() && strcmp(whole.data(), fitted.data())) abort();
    // The album is cut first, the artist only once the album is down to "1999 - " and a character.
    if (made && strncmp(whole.data(), fitted.data(), ends[2] + 1) && ends[3] - ends[2] - 1 > 9) abort();
}

// How a text reads back from a written sheet: '"' as '\'', control bytes as
// spaces, cut at kCueTextMax bytes where no UTF-8 sequence goes on (in a
// well-formed text, before the character that would pass it).
static bool reads_back(std::string text, const std::string& back)
{
    for (char& c : text) c = c == '"' ? '\'' : static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
    size_t n = back.size();
    bool cut_well = n == text.size() || (text.size() > kCueTextMax && (text[n] & 0xC0) != 0x80 &&
                                         (!valid_utf8(text) || n + utf8_sequence_bytes(text[n]) > kCueTextMax));
    return n <= kCueTextMax && text.compare(0, n, back) == 0 && cut_well;
}

// The sheet a rip writes for the parsed tracks, with every text of the
// sheet in its REM lines too, parses back to the same numbers, flags (PRE, DCP, 4CH) and texts.
static void check_written_sheet(const CueSheet& sheet)
{
    CueSheetInfo info;
    info.genre = info.date = sheet.title;
    info.disc_id = info.comment = sheet.performer;
    info.performer = sheet.performer, info.title = sheet.title;
    for (const CueTrack& track : sheet.tracks)  // files named as a WAVE rip's are
        info.tracks.push_back({track.number, track.flags, sheet.files[track.file].name.substr(0, 200) + ".wav",
                               track.title, track.performer});
    std::string text = cue_sheet_text(info), error;
    CueSheet back;
    if (!parse_cue(text.data(), text.size(), &back, &error) || back.tracks.size() != info.tracks.size() ||
        !reads_back(sheet.performer, back.performer) || !reads_back(sheet.title, back.title))
        abort();
    for (size_t i = 0; i < back.tracks.size(); ++i) {
        const CueTrack& track = back.tracks[i];
        const CueSheetTrack& wrote = info.tracks[i];
        if (track.number != wrote.number || track.flags != (wrote.control & 0x0B) || track.index1 != 0 ||
            !reads_back(wrote.file_name, back.files[track.file].name) || !reads_back(wrote.title, track.title) ||
            !reads_back(wrote.performer, track.performer))
            abort();
    }
}

// The disc laid out from the sheet: its tracks in the sheet's numbers, each
// up to the next; what is read past the lead-out is silence.
static void check_layout(const CueSheet& sheet, size_t size)
{
    std::vector<ImageFileInfo> files(sheet.files.size());
    for (size_t i = 0; i < files.size(); ++i) files[i].data_bytes = (size * 7919 + i * 104729) % (2352ull * 90000);
    ImageLayout layout;
    std::string error;
    if (!build_image_layout(sheet, files, &layout, &error)) return;
    const Toc& toc = layout.toc;
    if (toc.first != sheet.tracks[0].number || toc.count != static_cast<int>(sheet.tracks.size())) abort();
    check_toc_lengths(toc, false);
    std::vector<uint8_t> sectors(4 * kSectorBytes, 0xAA);  // so a sector left unwritten shows
    uint32_t first = toc.leadout > 2 ? toc.leadout - 2 : 0;
    read_image_sectors(layout, first, 4, sectors.data(), read_ones, nullptr);
    for (size_t at = (toc.leadout - first) * kSectorBytes; at < sectors.size(); ++at)
        if (sectors[at]) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CueSheet sheet;
    std::string error;
    if (!parse_cue(reinterpret_cast<const char*>(data), size, &sheet, &error)) return 0;
    // Folders of 230 to 269 bytes: the names made behind them fit, never cut to nothing; up to kMaxFolderLength one is made.
    size_t folder_length = 230 + size % 40;
    for (const CueTrack& track : sheet.tracks) {
        check_title_copy(track.title.c_str());
        check_folder_level(track.title);
        check_file_name(folder_length, track);
    }
    check_folders(sheet);
    check_written_sheet(sheet);
    check_layout(sheet, size);
    return 0;
}
