#include "release_dialog.h"

#include <commctrl.h>
#include <cstdio>
#include <string>

#include "app/globals.h"
#include "lookup/mb_lookup.h"
#include "res/resource.h"
#include "ui/skinned.h"

namespace {

enum Column { kTitle, kArtist, kDate, kCountry, kLabel, kCatalogNumber, kBarcode, kFormat, kDisc, kColumns };
const char* const kColumnTitles[kColumns] = {"Title", "Artist", "Date", "Country", "Label", "Catalogue number",
                                             "Barcode", "Format", "Disc"};
// Room around a cell's text, and around a header's with its sort arrow.
constexpr int kCellMargin = 14, kHeaderMargin = 28;

// What the dialog keeps between its messages (DWLP_USER).
struct Chooser {
    const std::vector<MbRelease>* releases;
    int first_row;           // the row selected at the start
    int sorted_by = -1;      // -1: the service's order
    bool descending = false;
};

Chooser& chooser_of(HWND dialog) { return *reinterpret_cast<Chooser*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

// A cell's text as the service gave it (UTF-8).
std::string cell_text(const MbRelease& release, int column)
{
    char disc[32];
    switch (column) {
    case kTitle: return release.title;
    case kArtist: return release.artist;
    case kDate: return release.date;
    case kCountry: return release.country;
    case kLabel: return release.label;
    case kCatalogNumber: return release.catalog_number;
    case kBarcode: return release.barcode;
    case kFormat: return release.format;
    case kDisc: snprintf(disc, sizeof disc, "%d of %d", release.disc, release.discs); return disc;
    }
    return "";
}

int text_width(HWND list, const std::string& text)
{
    return static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

// Narrows the widest columns, all to the same width, as little as lets the
// columns fit `room`; what is left over widens the title.
void fit_widths(int* widths, int room)
{
    auto total = [&](int cap) {
        int sum = 0;
        for (int i = 0; i < kColumns; ++i) sum += widths[i] < cap ? widths[i] : cap;
        return sum;
    };
    int cap = 0;
    for (int i = 0; i < kColumns; ++i) cap = widths[i] > cap ? widths[i] : cap;
    while (cap > 0 && total(cap) > room) --cap;
    for (int i = 0; i < kColumns; ++i) widths[i] = widths[i] < cap ? widths[i] : cap;
    widths[kTitle] += room - total(cap);
}

// The columns, each as wide as its longest text while they all fit the
// list without scrolling sideways (also once a vertical scroll bar comes).
void add_columns(HWND list, const std::vector<MbRelease>& releases)
{
    int widths[kColumns];
    for (int column = 0; column < kColumns; ++column) {
        widths[column] = text_width(list, kColumnTitles[column]) + kHeaderMargin;
        for (const MbRelease& release : releases) {
            int width = text_width(list, mb_to_ansi(cell_text(release, column))) + kCellMargin;
            widths[column] = width > widths[column] ? width : widths[column];
        }
    }
    RECT client;
    GetClientRect(list, &client);
    int rows_shown = static_cast<int>(SendMessageA(list, LVM_GETCOUNTPERPAGE, 0, 0));
    bool scrolls = static_cast<int>(releases.size()) > rows_shown;
    fit_widths(widths, client.right - (scrolls ? GetSystemMetrics(SM_CXVSCROLL) : 0));
    for (int column = 0; column < kColumns; ++column) {
        LVCOLUMNA item = {};
        item.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        item.fmt = LVCFMT_LEFT;
        item.cx = widths[column];
        item.pszText = const_cast<char*>(kColumnTitles[column]);
        item.iSubItem = column;
        SendMessageA(list, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&item));
    }
}

// One row a release, in the service's order; its lParam is the release's index.
void add_rows(HWND list, const std::vector<MbRelease>& releases)
{
    for (size_t i = 0; i < releases.size(); ++i) {
        std::string text = mb_to_ansi(cell_text(releases[i], kTitle));
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<char*>(text.c_str());
        item.lParam = static_cast<LPARAM>(i);
        int row = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        for (int column = 1; column < kColumns; ++column) {
            text = mb_to_ansi(cell_text(releases[i], column));
            item.iSubItem = column;
            item.pszText = const_cast<char*>(text.c_str());
            SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        }
    }
}

void select_row(HWND list, int row)
{
    LVITEMA item = {};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    SendMessageA(list, LVM_ENSUREVISIBLE, row, FALSE);
}

// The index of the release whose row is selected; -1 when none is.
int selected_release(HWND list)
{
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (item.iItem < 0) return -1;
    SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return static_cast<int>(item.lParam);
}

// Orders two rows by their releases' indices: by the sorted column, texts
// as the user's locale orders them, discs by number; equal ones keep the
// service's order.
int CALLBACK compare_rows(LPARAM first, LPARAM second, LPARAM chooser_address)
{
    const Chooser& chooser = *reinterpret_cast<const Chooser*>(chooser_address);
    const MbRelease& a = (*chooser.releases)[first];
    const MbRelease& b = (*chooser.releases)[second];
    int order;
    if (chooser.sorted_by == kDisc) {
        order = a.disc != b.disc ? a.disc - b.disc : a.discs - b.discs;
    } else {
        std::string text_a = mb_to_ansi(cell_text(a, chooser.sorted_by));
        std::string text_b = mb_to_ansi(cell_text(b, chooser.sorted_by));
        order = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, text_a.c_str(), -1,
                               text_b.c_str(), -1) - CSTR_EQUAL;
    }
    if (order == 0) return static_cast<int>(first - second);
    return chooser.descending ? -order : order;
}

// The sorted column's header shows the order's arrow; the others none.
void mark_sorted_column(HWND list, const Chooser& chooser)
{
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    for (int column = 0; column < kColumns; ++column) {
        HDITEMA item = {};
        item.mask = HDI_FORMAT;
        SendMessageA(header, HDM_GETITEMA, column, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == chooser.sorted_by) item.fmt |= chooser.descending ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageA(header, HDM_SETITEMA, column, reinterpret_cast<LPARAM>(&item));
    }
}

// A click on a column's header sorts by it; on the sorted one, the other way.
void sort_by_column(HWND dialog, int column)
{
    Chooser& chooser = chooser_of(dialog);
    chooser.descending = column == chooser.sorted_by && !chooser.descending;
    chooser.sorted_by = column;
    HWND list = GetDlgItem(dialog, IDC_RELEASES);
    SendMessageA(list, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&chooser), reinterpret_cast<LPARAM>(compare_rows));
    mark_sorted_column(list, chooser);
    int row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row >= 0) SendMessageA(list, LVM_ENSUREVISIBLE, row, FALSE);
}

// OK, Enter or a double-click on a row: the selected row's release.
void end_with_selected(HWND dialog)
{
    int chosen = selected_release(GetDlgItem(dialog, IDC_RELEASES));
    if (chosen >= 0) EndDialog(dialog, chosen);
}

void on_init_dialog(HWND dialog, Chooser* chooser)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(chooser));
    HWND list = GetDlgItem(dialog, IDC_RELEASES);
    DWORD styles = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    add_columns(list, *chooser->releases);
    add_rows(list, *chooser->releases);
    select_row(list, chooser->first_row);
    SetFocus(list);
}

void on_notify(HWND dialog, const NMHDR& note)
{
    if (note.idFrom != IDC_RELEASES) return;
    if (note.code == LVN_COLUMNCLICK)
        sort_by_column(dialog, reinterpret_cast<const NMLISTVIEW&>(note).iSubItem);
    else if (note.code == NM_DBLCLK && reinterpret_cast<const NMITEMACTIVATE&>(note).iItem >= 0)
        end_with_selected(dialog);
}

INT_PTR CALLBACK release_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        on_init_dialog(dialog, reinterpret_cast<Chooser*>(lparam));
        return 0;
    case WM_NOTIFY:
        on_notify(dialog, *reinterpret_cast<const NMHDR*>(lparam));
        return 0;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) end_with_selected(dialog);
        else if (LOWORD(wparam) == IDCANCEL) EndDialog(dialog, -1);
        return 1;
    case WM_CLOSE:
        EndDialog(dialog, -1);
        return 1;
    case WM_ERASEBKGND:
        return paint_dialog_background(dialog, reinterpret_cast<HDC>(wparam));
    case WM_CTLCOLORSTATIC:
        return make_static_transparent(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam), nullptr, 0);
    }
    return 0;
}

}  // namespace

int choose_release(HWND owner, const std::vector<MbRelease>& releases, const std::string& disc_catalog)
{
    int barcode_row = mb_release_with_barcode(releases, disc_catalog);
    Chooser chooser = {&releases, barcode_row >= 0 ? barcode_row : 0};
    INT_PTR chosen = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_RELEASES), owner, release_dialog_proc,
                                     reinterpret_cast<LPARAM>(&chooser));
    return chosen >= 0 && chosen < static_cast<INT_PTR>(releases.size()) ? static_cast<int>(chosen) : -1;
}
