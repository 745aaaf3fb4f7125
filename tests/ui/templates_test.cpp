// The five dialog templates as the program ships them: every control in
// creation order with its id, class, text, rectangle and key styles.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "res/resource.h"

namespace {

struct Control {
    int id;
    const char* cls;
    const char* text;
    int x, y, w, h;
    DWORD styles;  // bits that must be set
};

INT_PTR CALLBACK plain_proc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

std::string class_of(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

void check_template(int template_id, const char* caption, DWORD dialog_styles, const Control* controls, int count)
{
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(template_id), nullptr, plain_proc, 0);
    ASSERT_TRUE(dialog != nullptr) << "template " << template_id;
    char text[256];
    GetWindowTextA(dialog, text, sizeof text);
    EXPECT_STREQ(text, caption);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)) & dialog_styles, dialog_styles)
        << "styles of template " << template_id;

    HWND child = GetWindow(dialog, GW_CHILD);
    for (int i = 0; i < count; ++i, child = GetWindow(child, GW_HWNDNEXT)) {
        const Control& c = controls[i];
        ASSERT_TRUE(child != nullptr) << "template " << template_id << " has control " << i;
        EXPECT_EQ(static_cast<int>(static_cast<short>(GetDlgCtrlID(child))), c.id) << "control " << i;
        EXPECT_STRCASEEQ(class_of(child).c_str(), c.cls) << "control " << i;
        GetWindowTextA(child, text, sizeof text);
        EXPECT_STREQ(text, c.text) << "control " << i;
        // The dialog manager maps position and size separately.
        RECT expected = {c.x, c.y, c.w, c.h};
        MapDialogRect(dialog, &expected);
        expected.right += expected.left;
        expected.bottom += expected.top;
        RECT actual;
        GetWindowRect(child, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        bool is_combo = class_of(child) == "ComboBox";  // a closed combo box is shorter than its template
        EXPECT_EQ(actual.left, expected.left) << "control " << i << " of " << template_id;
        EXPECT_EQ(actual.top, expected.top) << "control " << i << " of " << template_id;
        EXPECT_EQ(actual.right, expected.right) << "control " << i << " of " << template_id;
        if (!is_combo) EXPECT_EQ(actual.bottom, expected.bottom) << "control " << i << " of " << template_id;

        DWORD style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
        DWORD wanted = c.styles;
        // Dialogs draw an edit's border as a client edge, and a combo box
        // hands its scroll bar to its list.
        if (GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) style |= WS_BORDER;
        if (is_combo) wanted &= ~static_cast<DWORD>(WS_VSCROLL);
        EXPECT_EQ(style & wanted, wanted) << "styles of control " << i << " of " << template_id;
    }
    EXPECT_TRUE(child == nullptr) << "no further controls in template " << template_id;
    DestroyWindow(dialog);
}

const DWORD kModal = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

TEST(Templates, MainWindow)
{
    const Control controls[] = {
        {IDC_RIP, "Button", "Rip CD", 8, 8, 48, 40, WS_TABSTOP},
        {IDC_REFRESH, "Button", "Refresh", 60, 8, 48, 40, WS_TABSTOP},
        {IDC_DISC_INFO, "Button", "Disc Info", 112, 8, 48, 40, WS_TABSTOP},
        {IDC_ABOUT, "Button", "About", 216, 8, 48, 40, WS_TABSTOP},
        {IDOK, "Button", "Exit", -50, 8, 48, 40, WS_TABSTOP},
        {-1, "Button", "CD Drive", 8, 56, 256, 210, BS_GROUPBOX},
        {IDC_DRIVES, "ComboBox", "", 16, 70, 240, 69, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP},
        {-1, "Static", "Artist", 16, 90, 24, 12, SS_RIGHT},
        {-1, "Static", "Album", 16, 106, 24, 12, SS_RIGHT},
        {IDC_ARTIST, "Edit", "", 42, 88, 214, 12, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP},
        {IDC_ALBUM, "Edit", "", 42, 104, 142, 12, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP},
        {-1, "Static", "Year", 190, 106, 24, 12, SS_RIGHT},
        {IDC_YEAR, "Edit", "", 216, 104, 40, 12, WS_BORDER | ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP},
        {IDC_TRACKS, "SysListView32", "", 16, 124, 240, 132, LVS_REPORT | WS_BORDER},
        {IDC_STATUS, "Static", "Done", 8, 269, 128, 11, 0},
        {-1, "Static", "Orvo CD Ripper 1.2", 136, 269, 128, 12, SS_RIGHT | WS_DISABLED},
    };
    check_template(IDD_MAIN, "Orvo CD Ripper", kModal | WS_MINIMIZEBOX, controls, sizeof controls / sizeof *controls);
}

TEST(Templates, RipOptions)
{
    const Control controls[] = {
        {-1, "Static", "Output Format:", 8, 10, 48, 12, WS_GROUP},
        {-1, "Static", "Output Folder", 8, 27, 48, 12, WS_GROUP},
        {IDC_MP3, "Button", "MP3", 60, 8, 32, 12, BS_AUTORADIOBUTTON},
        {IDC_WMA, "Button", "WMA", 96, 8, 32, 12, BS_AUTORADIOBUTTON},
        {IDC_WAV, "Button", "WAV", 132, 8, 32, 12, BS_AUTORADIOBUTTON},
        {IDC_BROWSE, "Button", "...", 8, 38, 14, 12, WS_TABSTOP},
        {IDC_FOLDER, "Edit", "", 26, 38, 166, 12, WS_BORDER | ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP},
        {-1, "Static", "Create subfolders:", 8, 56, 128, 12, WS_GROUP},
        {IDC_OPT_ARTIST, "Button", "Artist", 18, 68, 64, 12, BS_AUTOCHECKBOX | WS_TABSTOP},
        {IDC_OPT_ALBUM, "Button", "Album", 18, 80, 64, 12, BS_AUTOCHECKBOX | WS_TABSTOP},
        {IDCANCEL, "Button", "Cancel", 67, 96, 60, 22, WS_TABSTOP},
        {IDOK, "Button", "Start", 132, 96, 60, 22, WS_TABSTOP},
    };
    check_template(IDD_RIP_OPTIONS, "Settings", kModal, controls, sizeof controls / sizeof *controls);
}

TEST(Templates, Progress)
{
    const Control controls[] = {
        {IDC_TRACK_LABEL, "Static", "Track", 8, 8, 180, 12, WS_GROUP},
        {IDC_PROGRESS_TEXT, "Static", "Progress", 8, 36, 180, 12, WS_GROUP},
        {IDC_TRACK_BAR, "msctls_progress32", "", 10, 20, 180, 12, 0},
        {IDC_TOTAL_BAR, "msctls_progress32", "", 10, 48, 180, 12, 0},
        {IDCANCEL, "Button", "Abort", 60, 64, 80, 22, WS_TABSTOP},
    };
    check_template(IDD_PROGRESS, "CD Ripping...", kModal, controls, sizeof controls / sizeof *controls);
}

TEST(Templates, DiscInfo)
{
    const Control controls[] = {
        {-1, "Static", "FreeDB Server", 8, 10, 160, 12, 0},
        {IDC_SERVER, "Edit", "", 8, 22, 186, 12, WS_BORDER | ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP},
        {-1, "Static", "Genre", 8, 44, 24, 12, 0},
        {IDC_GENRE, "ComboBox", "", 32, 42, 160, 69, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP},
        {IDC_CONNECTING, "Static", "Connecting to FreeDB server. Please wait.....", 8, 60, 192, 12, 0},
        {IDCANCEL, "Button", "Cancel", 70, 72, 60, 22, WS_TABSTOP},
        {IDOK, "Button", "Retrieve", 135, 72, 60, 22, WS_TABSTOP},
    };
    check_template(IDD_DISC_INFO, "Retrive Disc Info", kModal, controls, sizeof controls / sizeof *controls);
}

TEST(Templates, About)
{
    const Control controls[] = {
        {-1, "Static",
         "Orvo CD Ripper v1.2\n\nFree software: rips audio CDs to MP3, WMA and WAV.\n\n"
         "https://orvo-cd-ripper.example/\n\nMP3 Encoder: LAME v3.97\nhttps://lame.sourceforge.io/",
         5, 7, 205, 67, SS_CENTER | WS_GROUP},
        {IDC_HOME_PAGE, "Button", "Visit Home Page...", 7, 94, 134, 22, WS_TABSTOP},
        {IDOK, "Button", "OK", 147, 94, 64, 22, WS_TABSTOP},
    };
    check_template(IDD_ABOUT, "Orvo CD Ripper :: About", kModal, controls, sizeof controls / sizeof *controls);
}

TEST(Templates, EveryIconLoadsAtBothSizes)
{
    const int icons[] = {101, 202, 203, 204, 205, 209, 211, 212, 215, 216, 217, 218};
    for (int id : icons) {
        for (int size : {16, 32}) {
            HANDLE icon = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0);
            EXPECT_TRUE(icon != nullptr) << "icon " << id << " at " << size;
            if (icon) DestroyIcon(static_cast<HICON>(icon));
        }
    }
}

TEST(Templates, ManifestAsksForCommonControlsSix)
{
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_TRUE(found != nullptr);
    std::string manifest(static_cast<const char*>(LockResource(LoadResource(nullptr, found))),
                         SizeofResource(nullptr, found));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
}

}  // namespace

int main(int argc, char** argv)
{
    InitCommonControls();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
