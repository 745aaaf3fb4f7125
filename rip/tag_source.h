// Where a file's tags come from: the one place a TagSet is made.
#pragma once
#include "rip/rip_state.h"
#include "rip/tag_set.h"

// The tags of track `track_number` (as the disc numbers it) of a disc of
// `track_count` tracks, from the main window's fields (ANSI code page
// texts, given in UTF-8; a text the MusicBrainz lookup put there and the
// field still shows is given as found), with what the lookup found of the
// release and the row's track: album artist, disc number, ids, the cover.
TagSet tags_for_track(const DiscFields& fields, int track_number, int track_count);
