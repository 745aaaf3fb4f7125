#include "library_error.h"

#include <windows.h>
#include <cstdio>

#include "app/globals.h"
#include "cdlib/cdlib.h"

void show_library_error(const char* message)
{
    int code = BASS_ErrorGetCode();
    char text[200];
    snprintf(text, sizeof text, "%s\n(error code: %d)", message, code);
    MessageBoxA(g_main_window, text, nullptr, MB_OK);
}
