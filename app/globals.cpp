#include "globals.h"

HINSTANCE g_instance;
UINT g_open_message;
HANDLE g_instance_mutex;
HANDLE g_process_heap;
HBITMAP g_fill_bitmap;
HGDIOBJ g_fill_second;
HWND g_main_window;

char* ProgramDirectory;
char* TargetPath;
char* OutputRoot;
char* OutputFolder;
char* ScratchText;
char* SettingsPath;

RipOptions g_rip_options;
