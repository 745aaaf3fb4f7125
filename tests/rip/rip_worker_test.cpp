// The rip worker's messages, caught by a spy window standing in for the
// progress dialog; the main window is the real template with rows set up
// by the test, and the drive is a disc image beside this program.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

#include "app/globals.h"
#include "res/resource.h"
#include "rip/rip_state.h"
#include "rip/rip_worker.h"
#include "tests/support/harness.h"

namespace {

struct Post {
    UINT message;
    WPARAM value;
};
std::vector<Post> g_posts;
std::vector<std::string> g_labels;
bool g_ended = false;
std::string g_out;

LRESULT CALLBACK spy_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message >= WM_RIP_END && message <= WM_RIP_TRACK) {
        g_posts.push_back({message, wparam});
        if (message == WM_RIP_LABEL) g_labels.push_back(reinterpret_cast<const char*>(wparam));
        if (message == WM_RIP_END) g_ended = true;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

INT_PTR CALLBACK plain_proc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

// The main window with five rows; `ticked` says which carry the ticked box.
HWND make_main_window(const std::vector<bool>& ticked)
{
    HWND main = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, plain_proc, 0);
    SendDlgItemMessageA(main, IDC_DRIVES, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("D: five"));
    SendDlgItemMessageA(main, IDC_DRIVES, CB_SETCURSEL, 0, 0);
    HWND list = GetDlgItem(main, IDC_TRACKS);
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES);
    for (int c = 0; c < 3; ++c) {
        LVCOLUMNA column = {};
        column.mask = LVCF_WIDTH;
        column.cx = 50;
        SendMessageA(list, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&column));
    }
    for (int row = 0; row < static_cast<int>(ticked.size()); ++row) {
        char title[8];
        snprintf(title, sizeof title, "T%d", row);
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = row;
        item.pszText = const_cast<char*>("");
        item.lParam = row;
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        ListView_SetItemText(list, row, 1, title);
        ListView_SetItemState(list, row, INDEXTOSTATEIMAGEMASK(ticked[row] ? 2 : 1), LVIS_STATEIMAGEMASK);
    }
    return main;
}

void run_worker(HWND main)
{
    g_main_window = main;
    g_posts.clear();
    g_labels.clear();
    g_ended = false;
    HWND spy = CreateWindowA("RipSpy", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_instance, nullptr);
    g_rip_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, rip_worker, spy, 0, nullptr);
    SetEvent(g_rip_event);
    DWORD start = GetTickCount();
    while (!g_ended && GetTickCount() - start < 30000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(g_rip_event);
    DestroyWindow(spy);
}

// The overall percent the worker posts after each row it visits: the
// WM_RIP_TOTAL behind each WM_RIP_TRACK of 0 (the capture's own track
// posts never say 0 on these short tracks).
std::vector<int> row_totals()
{
    std::vector<int> totals;
    for (size_t i = 0; i + 1 < g_posts.size(); ++i) {
        if (g_posts[i].message == WM_RIP_TRACK && g_posts[i].value == 0 && g_posts[i + 1].message == WM_RIP_TOTAL)
            totals.push_back(static_cast<int>(g_posts[i + 1].value));
    }
    return totals;
}

TEST(RipWorker, FirstAndThirdOfFiveRowsTicked)
{
    HWND main = make_main_window({true, false, true, false, false});
    run_worker(main);
    ASSERT_TRUE(g_ended) << "the end message arrives";
    EXPECT_EQ(g_posts.back().message, static_cast<UINT>(WM_RIP_END));
    EXPECT_EQ(g_posts.back().value, 1u) << "not aborted";
    EXPECT_EQ(row_totals(), (std::vector<int>{50, 50, 100})) << "three rows visited; the fourth and fifth never";
    EXPECT_EQ(g_labels, (std::vector<std::string>{"1.T0", "3.T2"})) << "a label for each ticked row";
    EXPECT_TRUE(harness::file_exists(g_out + "\\1.T0.wav"));
    EXPECT_TRUE(harness::file_exists(g_out + "\\3.T2.wav"));
    EXPECT_FALSE(harness::file_exists(g_out + "\\2.T1.wav"));
    EXPECT_FALSE(harness::file_exists(g_out + "\\4.T3.wav"));
    for (size_t i = 0; i < g_posts.size(); ++i) {
        if (g_posts[i].message == WM_RIP_TRACK || g_posts[i].message == WM_RIP_TOTAL) {
            EXPECT_LE(g_posts[i].value, 100u) << "percentages stay within 0..100";
        }
    }
    DestroyWindow(main);
}

TEST(RipWorker, NoTickedRowsEndAtOnceWithOne)
{
    HWND main = make_main_window({false, false, false});
    run_worker(main);
    ASSERT_EQ(g_posts.size(), 1u) << "no row is visited, no division takes place";
    EXPECT_EQ(g_posts[0].message, static_cast<UINT>(WM_RIP_END));
    EXPECT_EQ(g_posts[0].value, 1u);
    DestroyWindow(main);
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    InitCommonControls();
    g_instance = GetModuleHandleA(nullptr);
    WNDCLASSA spy = {};
    spy.lpfnWndProc = spy_proc;
    spy.hInstance = g_instance;
    spy.lpszClassName = "RipSpy";
    RegisterClassA(&spy);

    static char buffers[6][kWorkingBufferSize];
    ProgramDirectory = buffers[0];
    TargetPath = buffers[1];
    OutputRoot = buffers[2];
    OutputFolder = buffers[3];
    ScratchText = buffers[4];
    SettingsPath = buffers[5];
    GetModuleFileNameA(nullptr, ProgramDirectory, 1024);
    *strrchr(ProgramDirectory, '\\') = '\0';
    std::string discs = std::string(ProgramDirectory) + "\\discs";
    harness::remove_tree(discs);
    CreateDirectoryA(discs.c_str(), nullptr);
    harness::write_file(discs + "\\five.bin", std::string(5 * 30 * 2352, '\x11'));
    std::string cue = "FILE five.bin BINARY\n";
    for (int t = 0; t < 5; ++t) {
        char line[64];
        snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 00:%02d:%02d\n", t + 1, t * 30 / 75, t * 30 % 75);
        cue += line;
    }
    harness::write_file(discs + "\\five.cue", cue);
    g_out = harness::make_temp_folder("worker");
    snprintf(OutputFolder, kWorkingBufferSize, "%s\\", g_out.c_str());
    g_rip_options = {0, 1, 0};
    int result = RUN_ALL_TESTS();
    harness::remove_tree(g_out);
    return result;
}
