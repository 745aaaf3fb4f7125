#include "title_edit.h"

#include <commctrl.h>
#include <atomic>

#include "app/globals.h"
#include "res/resource.h"
#include "rip/rip_state.h"

namespace {

// The one TitleEditor, and the cell it edits.
HWND g_editor;
int g_editor_row;
int g_editor_column;

constexpr int kTitleColumn = 1;
constexpr int kArtistColumn = 3;  // shown for discs whose tracks name their own artists
constexpr int kMarkedRows = 100;
std::atomic<unsigned char> g_typed[kMarkedRows];  // bit (column): typed into

unsigned char column_bit(int column)
{
    return column == kTitleColumn ? 1 : column == kArtistColumn ? 2 : 0;
}

constexpr int kCellTextSize = 1023;  // a cell's text in UTF-8 and the terminator
constexpr size_t kCellChars = 254;   // what the editor shows of a longer one (it takes 100 more)
// Some list controls fill the whole buffer they are given without a
// terminator when the text is longer; one byte more, always zero, keeps
// every read bounded.
constexpr int kCellBufferSize = kCellTextSize + 1;

// Replaces a control's window procedure, keeping the previous one in its user data.
void wrap(HWND control, WNDPROC proc)
{
    LONG_PTR previous = SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
    SetWindowLongPtrA(control, GWLP_USERDATA, previous);
}

LRESULT forward(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return CallWindowProcA(previous, window, message, wparam, lparam);
}

void close_editor_without_commit()
{
    if (g_editor) {
        HWND editor = g_editor;
        g_editor = nullptr;
        DestroyWindow(editor);
    }
}

}  // namespace

void install_control_wrappers(HWND main_window)
{
    wrap(GetDlgItem(main_window, IDC_ARTIST), name_filter_proc);
    wrap(GetDlgItem(main_window, IDC_ALBUM), name_filter_proc);
    wrap(GetDlgItem(main_window, IDC_TRACKS), track_list_proc);
}

LRESULT CALLBACK track_list_proc(HWND list, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_MOUSEWHEEL:
        close_editor_without_commit();
        break;
    case WM_LBUTTONDBLCLK: {
        LVHITTESTINFO hit = {};
        hit.pt.x = LOWORD(lparam);
        hit.pt.y = HIWORD(lparam);
        if (SendMessageA(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) >= 0 && hit.iItem >= 0 &&
            (hit.iSubItem == kTitleColumn || hit.iSubItem == kArtistColumn)) {
            open_title_editor(list, hit.iItem, hit.iSubItem);
        }
        return 0;
    }
    }
    return forward(list, message, wparam, lparam);
}

int open_title_editor(HWND list, int row, int column)
{
    close_editor_without_commit();
    g_editor_row = row;
    g_editor_column = column;

    LVITEMA unselect = {};
    unselect.stateMask = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&unselect));

    char text[kCellBufferSize] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = kCellTextSize;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    text[kCellTextSize - 1] = '\0';
    text[text_prefix_bytes(text, kCellChars, text_rules())] = '\0';

    RECT cell = {};
    cell.top = column;
    cell.left = LVIR_LABEL;
    SendMessageA(list, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell));

    g_editor = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER, cell.left + 1, cell.top - 1,
                               cell.right - cell.left - 1, cell.bottom - cell.top + 1, list, nullptr, g_instance, nullptr);
    if (!g_editor) return 0;
    wrap(g_editor, title_editor_proc);
    SendMessageA(g_editor, WM_SETFONT, SendMessageA(list, WM_GETFONT, 0, 0), FALSE);
    SetWindowTextA(g_editor, text);
    SendMessageA(g_editor, EM_SETSEL, 0, -1);
    SendMessageA(g_editor, EM_LIMITTEXT, 100, 0);
    ShowWindow(g_editor, SW_SHOWNORMAL);
    UpdateWindow(g_editor);
    SetFocus(g_editor);
    return 0;
}

LRESULT CALLBACK title_editor_proc(HWND editor, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_GETDLGCODE:
        if (wparam == VK_RETURN) {
            char text[kCellBufferSize] = {};
            GetWindowTextA(editor, text, kCellTextSize);
            LVITEMA item = {};
            item.iSubItem = g_editor_column;
            item.pszText = text;
            SendMessageA(GetParent(editor), LVM_SETITEMTEXTA, g_editor_row, reinterpret_cast<LPARAM>(&item));
            mark_typed(g_editor_row, g_editor_column);
            PostMessageA(editor, WM_KILLFOCUS, 0, 0);
            return 0;
        }
        if (wparam == VK_ESCAPE) {
            PostMessageA(editor, WM_KILLFOCUS, 0, 0);
            return 0;
        }
        break;
    case WM_KILLFOCUS:
        // Giving the focus away sends this editor a second WM_KILLFOCUS while
        // the first is handled; whichever comes first destroys it.
        SetFocus(GetParent(editor));
        if (g_editor == editor) close_editor_without_commit();
        return 0;
    }
    return forward(editor, message, wparam, lparam);
}

LRESULT CALLBACK name_filter_proc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CHAR:
        switch (wparam & 0xFF) {
        case '"': case '*': case '/': case ':': case '<': case '>': case '?': case '\\': case '|':
            return 0;
        }
        break;
    case WM_PASTE:
        return 0;
    }
    return forward(edit, message, wparam, lparam);
}

void mark_typed(int row, int column)
{
    if (row >= 0 && row < kMarkedRows) g_typed[row] |= column_bit(column);
}

bool row_typed(int row, int column)
{
    return row >= 0 && row < kMarkedRows && (g_typed[row] & column_bit(column)) != 0;
}

void clear_typed_marks()
{
    for (auto& mark : g_typed) mark = 0;
}
