// Process entry: single-instance guard, process-wide state, the main
// window's run and the orderly end of the process.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <cstdio>

#include "app/globals.h"
#include "app/guard.h"
#include "app/log.h"
#include "app/program_dir.h"
#include "app/settings.h"
#include "cdlib/cdlib.h"
#include "res/resource.h"
#include "rip/rip_state.h"
#include "skin/skin.h"
#include "ui/main_window.h"

namespace {

constexpr DWORD kRequiredLibraryVersion = 0x0203;

char* allocate_working_buffer()
{
    return static_cast<char*>(HeapAlloc(g_process_heap, HEAP_ZERO_MEMORY, kWorkingBufferSize));
}

void derive_program_directory()
{
    GetModuleFileNameA(nullptr, ScratchText, 1024);
    DWORD length = GetFullPathNameA(ScratchText, 4096, ProgramDirectory, nullptr);
    cut_to_program_directory(ProgramDirectory, length);
}

// What the audio library has to say goes into the log as it is.
void log_library_line(const char* line)
{
    g_log.print("%s", line);
}

// The guarded region: the main window's run and the save that follows it.
void run_main_window()
{
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, main_window_proc, 0);
    save_settings();
}

// The last step of every run that got as far as the main window.
[[noreturn]] void finish_process()
{
    g_log.leave();
    g_log.print("End CDRipper\n");
    ExitProcess(0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_instance = instance;
    g_open_message = RegisterWindowMessageA("open cdripper");
    g_instance_mutex = CreateMutexA(nullptr, TRUE, "cdripper - mutex");
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // Posted, not sent: a sent broadcast waits for every top-level
        // window of the session, and one hung window would hang this copy.
        // The first copy may take the foreground that this one was given.
        AllowSetForegroundWindow(ASFW_ANY);
        PostMessageA(HWND_BROADCAST, g_open_message, 0, 0);
        return 0;
    }

    InitCommonControls();
    g_process_heap = GetProcessHeap();
    ProgramDirectory = allocate_working_buffer();
    TargetPath = allocate_working_buffer();
    OutputRoot = allocate_working_buffer();
    OutputFolder = allocate_working_buffer();
    ScratchText = allocate_working_buffer();
    SettingsPath = allocate_working_buffer();
    if (!ProgramDirectory || !TargetPath || !OutputRoot || !OutputFolder || !ScratchText || !SettingsPath) {
        MessageBoxA(nullptr, "Not enough memory to start.", kAppCaption, MB_ICONERROR);
        return 0;
    }
    CoInitialize(nullptr);

    derive_program_directory();
    SetCurrentDirectoryA(ProgramDirectory);
    snprintf(ScratchText, kWorkingBufferSize, "%s\\log.txt", ProgramDirectory);
    g_log.open(ScratchText);

    g_log.print("Start CDRipper");
    g_log.enter();
    g_log.print("msgMutex = 0x%x", g_open_message);
    g_log.print("hMutex = 0x%x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(g_instance_mutex)));
    g_log.print("Heap = 0x%x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(g_process_heap)));
    g_log.print("Full Path Name = %s", ProgramDirectory);
    g_log.print("Current Directory = %s", ProgramDirectory);

    CDLIB_SetLogProc(log_library_line);
    CDLIB_SetStopProc([] { return rip_stopping() ? 1 : 0; });  // an abort or a fault cuts a read's retries short
    snprintf(SettingsPath, kWorkingBufferSize, "%s\\settings.ini", ProgramDirectory);

    RECT tile = {0, 0, 128, 128};
    CreateFillBmp(1, &tile, 30, 15, 0, 0, &g_fill_bitmap, &g_fill_second);

    if ((BASS_GetVersion() >> 16) != kRequiredLibraryVersion) {
        MessageBoxA(nullptr, "An incorrect version of BASS.DLL was loaded", nullptr, MB_ICONERROR);
        return 0;
    }

    load_settings();
    run_guarded(run_main_window, finish_process);
    finish_process();
}
