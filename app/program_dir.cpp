#include "program_dir.h"

#include <cstring>

void cut_to_program_directory(char* path, size_t length)
{
    size_t n = strnlen(path, length);
    while (n > 0) {
        --n;
        if (path[n] == '\\') {
            path[n] = '\0';
            return;
        }
    }
    path[0] = '.';
    path[1] = '\0';
}
