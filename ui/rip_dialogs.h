// The Rip CD command, the rip options dialog and the progress dialog.
#pragma once
#include <windows.h>

void rip_cd_command(HWND main_window);

INT_PTR CALLBACK rip_options_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK progress_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
int CALLBACK browse_callback(HWND browser, UINT event, LPARAM parameter, LPARAM data);

// Builds OutputFolder from OutputRoot (given a trailing backslash) and the
// dialog's subfolder boxes, with the main window's artist, album and year.
void compose_output_folder(HWND dialog, char* output, char* root);
// Creates every folder along `folder`, from the drive on.
void create_output_folders(const char* folder);
