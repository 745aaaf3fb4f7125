#pragma once
#include <cstddef>

// Cuts a full executable path at its last backslash, in place:
// C:\Apps\Rip\ripper.exe gives C:\Apps\Rip and C:\ripper.exe gives C:.
// `length` is the path length the system reported; a path without any
// backslash becomes "." (the current folder).
void cut_to_program_directory(char* path, size_t length);
