// In-place editing of track titles, and the artist and album fields that
// refuse characters a file name cannot hold.
#pragma once
#include <windows.h>

// Installs the wrappers on the main window's artist, album and track list.
void install_control_wrappers(HWND main_window);

LRESULT CALLBACK track_list_proc(HWND list, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK title_editor_proc(HWND editor, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK name_filter_proc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam);
int open_title_editor(HWND list, int row, int column);

// Cells (title: column 1, track artist: column 3) that the user has
// edited since the last refresh: a lookup leaves them as typed.
bool row_typed(int row, int column);
void clear_typed_marks();
// Marks a cell as the user's own: a title applied from Disc Info stands
// as if typed, and no later automatic answer replaces it.
void mark_typed(int row, int column);
