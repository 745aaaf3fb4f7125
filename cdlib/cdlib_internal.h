// Shared by the library's own sources only.
#pragma once

// Sets the calling thread's error code and returns 0 (the usual failure value).
int cdlib_fail(int code);
// Clears the calling thread's error code.
void cdlib_ok();
bool cdlib_initialised();
