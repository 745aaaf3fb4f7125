// Process-wide state made at start-up and read across the program.
#pragma once
#include <windows.h>
#include <cstdint>

constexpr size_t kWorkingBufferSize = 65536;

extern HINSTANCE g_instance;      // templates and icons come from here
extern UINT g_open_message;       // "open cdripper"
extern HANDLE g_instance_mutex;   // "cdripper - mutex"
extern HANDLE g_process_heap;
extern HBITMAP g_fill_bitmap;     // dialog background tile
extern HGDIOBJ g_fill_second;     // made together with the tile
extern HWND g_main_window;

// The six working buffers (kWorkingBufferSize bytes each, one text each).
extern char* ProgramDirectory;
extern char* TargetPath;
extern char* OutputRoot;
extern char* OutputFolder;
extern char* ScratchText;
extern char* SettingsPath;

// Output format chosen for the rip; the rest of the RipOptions is OutputRoot.
struct RipOptions {
    int32_t mp3;
    int32_t wav;
    int32_t wma;
    int32_t flac;  // non-zero: FLAC, whatever the other three say
};
extern RipOptions g_rip_options;

constexpr char kAppCaption[] = "Orvo CD Ripper";
