#include "rip/tag_source.h"

#include <vector>

#include "app/code_page.h"
#include "lookup/mb_lookup.h"

namespace {

// The UTF-8 form of a text of the program's code page; empty when it does not convert.
std::string ansi_to_utf8(const char* text)
{
    return code_page_to_utf8(text, CP_ACP);
}

// A field's text: as found while the field still shows what the lookup
// put there (the code page may not hold it), else as the field holds it.
std::string field_text(const char* shown, const MbText* found)
{
    return found && mb_still_shown(*found, shown) ? found->original : ansi_to_utf8(shown);
}

std::string joined(const std::vector<std::string>& ids)
{
    std::string text;
    for (const std::string& id : ids) text += (text.empty() ? "" : "/") + id;
    return text;
}

// What MusicBrainz says of the release and of the row's track.
void add_found(const MbFound& found, int row, TagSet* tags)
{
    const MbRelease& release = found.release;
    if (release.discs > 1) tags->disc = release.disc, tags->discs = release.discs;
    tags->mb_release = release.id;
    tags->mb_release_group = release.release_group_id;
    tags->mb_album_artist = joined(release.artist_ids);
    tags->mb_disc_id = found.disc_id;
    tags->cover = found.cover;
    int index = row >= 0 && row < static_cast<int>(found.medium_tracks.size()) ? found.medium_tracks[row] : -1;
    if (index < 0 || index >= static_cast<int>(release.tracks.size())) return;
    const MbTrack& track = release.tracks[index];
    tags->mb_recording = track.recording_id;
    tags->mb_release_track = track.track_id;
    tags->mb_artist = joined(track.artist_ids);
}

}  // namespace

TagSet tags_for_track(const DiscFields& fields, int track_number, int track_count)
{
    const MbFound* found = fields.found && fields.found->found ? fields.found : nullptr;
    bool row_found = found && fields.row >= 0 && fields.row < static_cast<int>(found->titles.size());
    TagSet tags;
    tags.artist = field_text(fields.artist, found ? &found->artist : nullptr);
    tags.album = field_text(fields.album, found ? &found->album : nullptr);
    tags.year = ansi_to_utf8(fields.year);
    tags.title = field_text(fields.title, row_found ? &found->titles[fields.row] : nullptr);
    tags.track = track_number;
    tags.tracks = track_count;
    if (found) add_found(*found, fields.row, &tags);
    // A compilation's track: its own artist, the release's as album artist.
    std::string own = field_text(fields.track_artist, row_found ? &found->artists[fields.row] : nullptr);
    if (!own.empty() && own != tags.artist) {
        tags.album_artist = tags.artist;
        tags.artist = own;
    }
    return tags;
}
