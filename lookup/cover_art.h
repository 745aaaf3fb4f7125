// The album's front cover from the Cover Art Archive.
#pragma once
#include <string>

struct WebStop;

// GET https://coverartarchive.org/release/<release_id>/front-500 (its
// redirect to the image's host followed). True with the image in `bytes`
// when the answer is a 200 of at most 4 MB that starts like a JPEG or a
// PNG; anything else (no cover, no answer, not an image, too big) is false
// with `bytes` empty. `release_id` must be a MusicBrainz id (a UUID).
bool fetch_front_cover(const std::string& release_id, WebStop* stop, std::string* bytes);
