// The chooser between the releases that MusicBrainz knows a disc from.
#pragma once
#include <windows.h>

#include <vector>

#include "lookup/musicbrainz.h"

// Lists the media (title, artist, date, country, label and catalogue
// number, barcode, format, "disc n of m"); the index of the one chosen,
// or -1 when the user cancels.
int choose_release(HWND owner, const std::vector<MbRelease>& releases);
