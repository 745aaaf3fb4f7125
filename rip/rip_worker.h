#pragma once
#include <windows.h>

// Thread entry: rips the ticked rows of the track list, one after another,
// once the "CDRipping" event is set. The parameter is the progress window.
DWORD WINAPI rip_worker(LPVOID progress_window);
