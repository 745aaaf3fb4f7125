// Stands in for a web browser in the tests: writes the command line it was
// started with to args.txt beside itself.
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    char* slash = strrchr(path, '\\');
    if (slash) snprintf(slash + 1, sizeof path - (slash + 1 - path), "args.txt");
    FILE* out = fopen(path, "wb");
    if (out) {
        fputs(command_line, out);
        fclose(out);
    }
    return 0;
}
