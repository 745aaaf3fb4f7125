#include "release_dialog.h"

#include <string>

#include "app/globals.h"
#include "lookup/mb_lookup.h"
#include "res/resource.h"
#include "ui/skinned.h"

namespace {

// One line of the list: the texts that tell the releases apart, those
// the service gave.
std::string describe(const MbRelease& release)
{
    std::string line;
    auto add = [&](const std::string& text) {
        if (!text.empty()) line += (line.empty() ? "" : " | ") + text;
    };
    add(release.title);
    add(release.artist);
    add(release.date);
    add(release.country);
    add(release.label + (release.label.empty() || release.catalog_number.empty() ? "" : " ") + release.catalog_number);
    add(release.barcode);
    add(release.format);
    add("disc " + std::to_string(release.disc) + " of " + std::to_string(release.discs));
    return mb_to_ansi(line);
}

INT_PTR CALLBACK release_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG: {
        const auto& releases = *reinterpret_cast<const std::vector<MbRelease>*>(lparam);
        HWND list = GetDlgItem(dialog, IDC_RELEASES);
        for (const MbRelease& release : releases)
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(describe(release).c_str()));
        SendMessageA(list, LB_SETHORIZONTALEXTENT, 1600, 0);
        SendMessageA(list, LB_SETCURSEL, 0, 0);
        SetFocus(list);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK || (LOWORD(wparam) == IDC_RELEASES && HIWORD(wparam) == LBN_DBLCLK))
            EndDialog(dialog, SendDlgItemMessageA(dialog, IDC_RELEASES, LB_GETCURSEL, 0, 0));
        else if (LOWORD(wparam) == IDCANCEL)
            EndDialog(dialog, -1);
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

int choose_release(HWND owner, const std::vector<MbRelease>& releases)
{
    INT_PTR chosen = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_RELEASES), owner, release_dialog_proc,
                                     reinterpret_cast<LPARAM>(&releases));
    return chosen >= 0 && chosen < static_cast<INT_PTR>(releases.size()) ? static_cast<int>(chosen) : -1;
}
