// The one failure guard of the program: around the main window's run and
// the settings save that follows it, on the main thread.
#pragma once

// Runs `body`. A C++ exception or a processor fault raised on this thread
// inside it shows "Failed" (caption "Error") and then:
//  - for an exception that unwinds back here: returns false;
//  - for a fault or an exception that cannot unwind through the system's
//    frames: calls `finish` (which ends the process) from where it happened.
// Returns true when `body` ran to its end.
bool run_guarded(void (*body)(), void (*finish)());
