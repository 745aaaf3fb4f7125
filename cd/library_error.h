#pragma once

// Shows "<message>\n(error code: N)" with the audio library's last error
// code, in a box owned by the main window with the system's default caption.
void show_library_error(const char* message);
