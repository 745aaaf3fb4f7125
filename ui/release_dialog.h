// The chooser between the releases that MusicBrainz knows a disc from.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "lookup/musicbrainz.h"

// Lists the media, one row each (title, artist, date, country, label,
// catalogue number, barcode, format, "n of m" discs), sortable by any
// column; the row whose barcode is the disc's catalogue number
// (`disc_catalog`, 13 digits or "") is selected at the start, else the
// first. The index of the one chosen, or -1 when the user cancels.
int choose_release(HWND owner, const std::vector<MbRelease>& releases, const std::string& disc_catalog);
