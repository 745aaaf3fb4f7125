// Disc information lookup with the real simulation build and a local CDDB
// server that the program reaches as its HTTP proxy; the cases are the
// paragraphs of lookups.txt.
#include <windows.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>

#include "tests/support/harness.h"
#include "tests/support/sim.h"

namespace {

std::string g_sim, g_server, g_cases;
using Case = std::map<std::string, std::string>;

// \r and \n become CR and LF, {N*c} N times c.
std::string unescape(std::string text)
{
    for (size_t at; (at = text.find('\\')) != std::string::npos;) text.replace(at, 2, text[at + 1] == 'r' ? "\r" : "\n");
    for (size_t at; (at = text.find('{')) != std::string::npos;)
        text.replace(at, text.find('}', at) + 1 - at, std::stoul(text.substr(at + 1)), text[text.find('*', at) + 1]);
    return text;
}

std::vector<Case> read_cases()
{
    std::vector<Case> cases(1);
    std::istringstream lines(harness::read_file(g_cases));
    for (std::string line; std::getline(lines, line);) {
        size_t colon = line.find(": ");
        if (line.empty() && !cases.back().empty()) cases.emplace_back();
        if (!line.empty() && line[0] != '#') cases.back()[line.substr(0, colon)] = unescape(line.substr(colon + 2));
    }
    return cases;
}

std::string requests() { return harness::read_file(g_server + "\\requests.txt"); }

// The main window's artist, album, year and titles, as a case's fields.
std::string fields(harness::Sim& sim)
{
    std::string text;
    for (int id : {IDC_ARTIST, IDC_ALBUM, IDC_YEAR}) text += harness::window_text(GetDlgItem(sim.main, id)) + "|";
    for (int row = 0; row < harness::list_count(sim.list); ++row) text += sim.text(row, 1) + "|";
    return text.substr(0, text.size() - 1);
}

// A new program with the case's disc and the artist typed, Disc Info open.
HWND open_disc_info(std::unique_ptr<harness::Sim>& sim, Case& c)
{
    sim.reset(new harness::Sim(g_sim));
    sim->file("d.bin", harness::sectors(atoi(c["sectors"].c_str())));
    sim->file("d.cue", c["cue"]);
    if (!c["email"].empty()) sim->settings("[Settings]\r\nEmail=" + c["email"] + "\r\n");
    std::string port = c["server"] == "none" ? "1" : harness::cddb_port(g_server);
    SetEnvironmentVariableA("http_proxy", ("http://127.0.0.1:" + port).c_str());
    if (!sim->start()) return nullptr;
    sim->set_field(IDC_ARTIST, "Typed");
    harness::click(sim->main, IDC_DISC_INFO);
    HWND dialog = harness::wait_for_window(sim->program.process.dwProcessId, "Retrive Disc Info");
    GUITHREADINFO gui = {sizeof gui};
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui);
    EXPECT_EQ(gui.hwndFocus, GetDlgItem(dialog, IDOK)) << "the focus is on Retrieve";
    return dialog;
}

void close_program(std::unique_ptr<harness::Sim>& sim, HWND dialog)
{
    harness::click(dialog, IDCANCEL);
    EXPECT_TRUE(!sim || (harness::wait_gone(dialog) && sim->close() == 0)) << "the program runs on and ends normally";
}

TEST(Lookup, EveryCaseOfTheTable)
{
    std::unique_ptr<harness::Sim> sim;
    HWND dialog = nullptr;
    for (Case& c : read_cases()) {
        SCOPED_TRACE(c["case"]);
        if (c["again"] != "yes") close_program(sim, dialog), dialog = open_disc_info(sim, c);
        ASSERT_TRUE(dialog != nullptr);
        int delay = atoi(c["server"].c_str());
        bool cancel = c["cancel"] == "yes";
        harness::write_file(g_server + "\\reply.bin", c["reply"]);
        harness::write_file(g_server + "\\delay.txt", std::to_string(delay));
        if (c["genre"] != "0") SendDlgItemMessageA(dialog, IDC_GENRE, CB_SETCURSEL, atoi(c["genre"].c_str()), 0);
        size_t before = requests().size();
        harness::click(dialog, IDOK);
        for (int i = 0; delay && i < 250 && requests().size() == before; ++i) Sleep(20);
        DWORD_PTR answer = 0;
        EXPECT_TRUE(!delay || (SendMessageTimeoutA(sim->main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer) &&
                               !IsWindowEnabled(dialog))) << "the main window answers, the dialog waits disabled";
        if (cancel) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(!cancel || harness::wait_gone(dialog, 1000)) << "the dialog goes at once";
        Sleep(cancel ? delay * 1000 + 2000 : 0);  // the late reply has come
        HWND box = nullptr;  // the lookup is over once a message shows or the dialog has gone
        for (DWORD start = GetTickCount(); !box && GetTickCount() - start < 45000; Sleep(20))
            if (!(box = harness::wait_for_message_box(sim->program.process.dwProcessId, "Orvo CD Ripper", 0)) &&
                !IsWindow(dialog))
                break;
        EXPECT_EQ(harness::message_box_text(box), c["box"]);
        harness::click(box, IDOK);
        for (int i = 0; i < 100 && IsWindow(dialog) && !IsWindowEnabled(dialog); ++i) Sleep(20);
        EXPECT_EQ(!IsWindow(dialog) ? "yes" : IsWindowEnabled(dialog) ? "no" : "no, but disabled", c["ends"]);
        EXPECT_EQ(fields(*sim), c["fields"]);
        EXPECT_TRUE(c["request"].empty() || requests().substr(before) == c["request"] + "\n") << requests().substr(before);
        if (!c["row"].empty())
            harness::fault_row(c["row"].c_str(), c["fault"].c_str(), c["sees"].c_str(), c["disk"].c_str(), c["lost"].c_str());
    }
    close_program(sim, dialog);
}

}  // namespace

int main(int argc, char** argv)
{
    return harness::run_tests(argc, argv, {&g_sim, &g_server, &g_cases}, "SIMULATION_PROGRAM SERVER_FOLDER CASES");
}
