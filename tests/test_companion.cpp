// The companion BrackmoorEx.exe driven from outside as the monitor and a user reach it,
// the registry read back directly.
#include <windows.h>

#include <string>
#include <vector>

#include "companion/companion_res.h"
#include "common/options.h"
#include "support/companion_ui.h"
#include "support/e2e.h"
#include "support/test_env.h"

namespace {

const char kCompanion[] = "BrackmoorEx.exe";
const char kMonitor[] = "brackmoor.exe";
const char kClass[] = "BrackmoorExplorer";
// A cold Wine start of a program can take several seconds on a loaded machine.
const DWORD kStartMs = 20000, kExitMs = 15000;

int CompanionWindows()
{
    int n = 0;
    for (HWND w = NULL; (w = FindWindowExA(NULL, w, kClass, NULL)) != NULL;)
        n++;
    return n;
}

// Read as wide text: Wine hands LB_GETTEXT of another process's list box back
// in UTF-16 even to SendMessageA, which then shows only the first letter.
std::vector<std::string> ListLines(HWND list)
{
    std::vector<std::string> lines;
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        WCHAR wide[512] = L"";
        char text[1024] = "<unreadable>";
        LRESULT length = SendMessageW(list, LB_GETTEXTLEN, (WPARAM)i, 0);
        if (length >= 0 && length < 512 && SendMessageW(list, LB_GETTEXT, (WPARAM)i, (LPARAM)wide) != LB_ERR)
            WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
        lines.push_back(text);
    }
    return lines;
}

HWND OptionsList(HWND window) { return GetDlgItem(CompanionPage(window, IDC_PAGE_OPTIONS), IDC_OPTIONS_LIST); }

// The line of an option ("Name = value") and its index, or "<missing>" and -1.
std::string OptionLine(HWND window, const std::string &name, int *index = nullptr)
{
    std::vector<std::string> lines = ListLines(OptionsList(window));
    size_t i = 0;
    while (i < lines.size() && lines[i].compare(0, name.size() + 3, name + " = ") != 0)
        i++;
    if (index)
        *index = i < lines.size() ? (int)i : -1;
    return i < lines.size() ? lines[i] : "<missing>";
}

// The pages in the order of the window's page list.
const int kPages[] = {IDC_PAGE_STARTUP, IDC_PAGE_DELAY,   IDC_PAGE_TASKS, IDC_PAGE_HISTORY,
                      IDC_PAGE_RESET,   IDC_PAGE_OPTIONS, IDC_PAGE_ABOUT};

// Exactly this page in view, and its line the one chosen in the page list.
void ExpectPage(HWND window, int pageId, const std::string &context)
{
    for (size_t i = 0; i < sizeof(kPages) / sizeof(kPages[0]); i++) {
        bool shown = kPages[i] == pageId;
        EXPECT_EQ(shown, IsWindowVisible(CompanionPage(window, kPages[i])) != 0) << context << " page " << kPages[i];
        if (shown) {
            EXPECT_EQ((LRESULT)i, SendDlgItemMessageA(window, IDC_PAGE_LIST, LB_GETCURSEL, 0, 0)) << context;
        }
    }
}

// Chooses a page in the page list as a click does.
void ChoosePage(HWND window, int pageId)
{
    size_t i = 0;
    while (i + 1 < sizeof(kPages) / sizeof(kPages[0]) && kPages[i] != pageId)
        i++;
    SendDlgItemMessageA(window, IDC_PAGE_LIST, LB_SETCURSEL, i, 0);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_PAGE_LIST, LBN_SELCHANGE),
                 (LPARAM)GetDlgItem(window, IDC_PAGE_LIST));
}

class CompanionTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        KillProgramsNamed(kCompanion);
        BrackmoorTest::SetUp();
    }
    void TearDown() override
    {
        for (HANDLE process : started_)
            CloseHandle(process);
        KillProgramsNamed(kCompanion);
        if (monitorStarted_) {
            KillProgramsNamed(kMonitor);
            // A first run of the monitor switches its own logon entry on.
            RegRemoveValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Brackmoor");
        }
        BrackmoorTest::TearDown();
    }
    HANDLE Start(const std::string &args)
    {
        HANDLE process = StartProgram(kCompanion, args);
        EXPECT_NE(nullptr, process) << "start with " << args << ", error " << GetLastError();
        if (process)
            started_.push_back(process);
        return process;
    }
    // The window is shown only after its pages are made and filled, so a visible one can be read at once.
    HWND StartAndWait(const std::string &args, HANDLE *process = nullptr)
    {
        HANDLE started = nullptr;
        HWND window = StartCompanionWindow(args, &started, kStartMs);
        if (started)
            started_.push_back(started);
        if (process)
            *process = started;
        EXPECT_NE(nullptr, window) << "no companion window after " << args;
        return window;
    }
    // A start that only hands its switch over (or closes the running one) must end by itself, with 0.
    void HandOver(const std::string &args)
    {
        DWORD code = 99;
        EXPECT_TRUE(WaitExit(Start(args), kExitMs, &code)) << args << ": the start did not end";
        EXPECT_EQ(0u, code) << args;
    }
    std::vector<HANDLE> started_;
    bool monitorStarted_ = false;
};

TEST_F(CompanionTest, FirstSwitchChoosesThePageWithoutRegardToCase)
{
    const struct { const char *args; int page; } rows[] = {
        {"", IDC_PAGE_ABOUT},         {"-NOSUCHPAGE", IDC_PAGE_ABOUT},      {"-keel", IDC_PAGE_ABOUT},
        {"-Options", IDC_PAGE_OPTIONS}, {"  -OPTIONS  ", IDC_PAGE_OPTIONS}, {"\"-OPTIONS\"", IDC_PAGE_OPTIONS},
        {"-start", IDC_PAGE_STARTUP}, {"-DELAY", IDC_PAGE_DELAY},       {"-TASK", IDC_PAGE_TASKS},
        {"-RECENT", IDC_PAGE_HISTORY}, {"-RESET", IDC_PAGE_RESET},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string context = "row " + std::to_string(i) + " [" + rows[i].args + "]";
        HANDLE process = nullptr;
        HWND window = StartAndWait(rows[i].args, &process);
        ASSERT_NE(nullptr, window) << context;
        ExpectPage(window, rows[i].page, context);
        EXPECT_EQ("", ControlText(CompanionPage(window, IDC_PAGE_ABOUT), IDC_ABOUT_NOTICE)) << context;
        // Closing the window ends the program, not just the window.
        PostMessageA(window, WM_CLOSE, 0, 0);
        DWORD code = 99;
        EXPECT_TRUE(WaitExit(process, kExitMs, &code)) << context;
        EXPECT_EQ(0u, code) << context;
        EXPECT_EQ(0, CompanionWindows()) << context;
    }
}

TEST_F(CompanionTest, OneCompanionShowsAboutTakesLaterSwitchesAndExits)
{
    HANDLE first = nullptr;
    HWND window = StartAndWait("-KEEL", &first);
    ASSERT_NE(nullptr, window);
    ExpectPage(window, IDC_PAGE_ABOUT, "-KEEL");
    HWND about = CompanionPage(window, IDC_PAGE_ABOUT);
    EXPECT_EQ(BRACKMOOR_VERSION, ControlText(about, IDC_ABOUT_VERSION));
    EXPECT_TRUE(SameText(DataFolder(), ControlText(about, IDC_ABOUT_FOLDER))) << ControlText(about, IDC_ABOUT_FOLDER);
    EXPECT_TRUE(SameText(DataFolder() + "\\history.txt", ControlText(about, IDC_ABOUT_HISTORY)))
        << ControlText(about, IDC_ABOUT_HISTORY);
    EXPECT_TRUE(SameText(BinFolder(), ControlText(about, IDC_ABOUT_PROGRAM))) << ControlText(about, IDC_ABOUT_PROGRAM);
    EXPECT_TRUE(PathExists(DataFolder())) << "the data folder is made when missing";
    EXPECT_NE(std::string::npos, ControlText(about, IDC_ABOUT_MONITOR).find("not running"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, OPTIONS_KEY, "Update")) << "looking is no change";

    // Pages this build does not have open About with a line naming them.
    const struct { const char *args, *name; } rows[] = {
        {"-SERVICE", "Windows Services"}, {"-nuts", "Cookie Filters"}, {"-AUOption", "Windows Update"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string context = "row " + std::to_string(i) + " [" + rows[i].args + "]";
        ChoosePage(window, IDC_PAGE_OPTIONS);     // away from About first
        ExpectPage(window, IDC_PAGE_OPTIONS, context + " before");
        HandOver(rows[i].args);
        ExpectPage(window, IDC_PAGE_ABOUT, context);
        std::string notice = ControlText(about, IDC_ABOUT_NOTICE);
        EXPECT_NE(std::string::npos, notice.find(rows[i].name)) << context << ": " << notice;
        EXPECT_NE(std::string::npos, notice.find("later version")) << context << ": " << notice;
    }
    // Changed behind the running companion's back: the page it opens must show it.
    PutOption("Sound", "0");
    HandOver("-OPTIONS");
    ExpectPage(window, IDC_PAGE_OPTIONS, "handed -OPTIONS");
    EXPECT_EQ("Sound = 0", OptionLine(window, "Sound"));
    HandOver("-KEEL");
    EXPECT_EQ("", ControlText(about, IDC_ABOUT_NOTICE));
    EXPECT_EQ(1, CompanionWindows());
    EXPECT_EQ(1, CountProcessesNamed(kCompanion));
    EXPECT_FALSE(WaitExit(first, 0)) << "the first companion must stay";

    HandOver("-EXIT");
    // The closing start waits for the first to end, so it is gone already.
    EXPECT_TRUE(WaitExit(first, 3000));
    HandOver("-exit");      // none running: ends without a window
    EXPECT_EQ(0, CompanionWindows());

    // A killed companion leaves its mutex abandoned: the next start takes it over.
    ASSERT_NE(nullptr, StartAndWait("-KEEL", &first));
    TerminateProcess(first, 1);
    ASSERT_TRUE(WaitExit(first, kExitMs));
    window = StartAndWait("-OPTIONS");
    ASSERT_NE(nullptr, window);
    ExpectPage(window, IDC_PAGE_OPTIONS, "after a killed companion");
    EXPECT_EQ(1, CompanionWindows());
}

TEST_F(CompanionTest, OptionsShowAsTheMonitorReadsThemAndSetWritesWholeNumbers)
{
    const struct { const char *name, *stored, *shown; } shown[] = {
        {"ToolTips", nullptr, nullptr}, {"MaxCookie", nullptr, nullptr}, {"TestLog", nullptr, nullptr},  // defaults
        {"Start", "5", "Start = 5"}, {"FileType", "12x", "FileType = 12"},
        {"HideTobble", "-3", "HideTobble = -3"}, {"Tasks", "abc", "Tasks = 0"},   // no digits: 0, not the default
        {"Services", "", nullptr},      // empty: the default
    };
    auto defaultLine = [](const char *name) {
        for (int i = 0; i < OptionTableCount; i++)
            if (!strcmp(OptionTable[i].name, name))
                return std::string(name) + " = " + std::to_string(OptionTable[i].defaultValue);
        return std::string("no option ") + name;
    };
    for (const auto &row : shown)
        if (row.stored)
            PutOption(row.name, row.stored);
    HWND window = StartAndWait("-OPTIONS");
    ASSERT_NE(nullptr, window);
    EXPECT_EQ((size_t)OptionTableCount, ListLines(OptionsList(window)).size());
    for (size_t i = 0; i < sizeof(shown) / sizeof(shown[0]); i++)
        EXPECT_EQ(shown[i].shown ? shown[i].shown : defaultLine(shown[i].name), OptionLine(window, shown[i].name))
            << "row " << i;
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, OPTIONS_KEY, "Update")) << "showing is no change";

    // Set as a user would: choose the line (none for ""), type, press Set.
    const struct { const char *name, *typed, *stored; } rows[] = {
        {"Sound", "", nullptr},     {"Sound", "abc", nullptr},        {"Sound", "1x", nullptr},
        {"Sound", "1 2", nullptr},  {"Sound", "--1", nullptr},        {"Sound", "2147483648", nullptr},
        {"Sound", "99999999999", nullptr}, {"", "5", nullptr},     {"Sound", "0", "0"},
        {"Start", " -12 ", "-12"},  {"MaxCookie", "2147483647", "2147483647"},
    };
    HWND page = CompanionPage(window, IDC_PAGE_OPTIONS);
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        // The monitor clears "Update" once it has read; every Set raises it again.
        PutOption("Update", "0");
        SendMessageA(GetDlgItem(page, IDC_OPTIONS_STATUS), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
        int line = -1;
        OptionLine(window, rows[i].name, &line);
        ASSERT_TRUE(line >= 0 || !*rows[i].name) << "row " << i;
        SendMessageA(OptionsList(window), LB_SETCURSEL, (WPARAM)line, 0);
        SendMessageA(GetDlgItem(page, IDC_OPTIONS_VALUE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(rows[i].typed));
        SendMessageA(GetDlgItem(page, IDC_OPTIONS_SET), BM_CLICK, 0, 0);
        EXPECT_NE("", ControlText(page, IDC_OPTIONS_STATUS)) << "row " << i;
        EXPECT_EQ(rows[i].stored ? "1" : "0", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Update")) << "row " << i;
        if (rows[i].stored) {
            EXPECT_EQ(std::string(rows[i].name) + " = " + rows[i].stored, OptionLine(window, rows[i].name))
                << "row " << i;
        }
        EXPECT_EQ(rows[i].stored ? rows[i].stored : "", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, rows[i].name))
            << "row " << i;
    }
    // Only the chosen options were written.
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, OPTIONS_KEY, "ToolTips"));
}

TEST_F(CompanionTest, RestartStartsTheMonitorOnlyWhenNoneRuns)
{
    // A window of the monitor's class stands in for a running monitor.
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Brackmoor";
    ASSERT_NE(0, RegisterClassA(&wc));
    HWND standIn = CreateWindowExA(0, "Brackmoor", "Brackmoor", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                   wc.hInstance, nullptr);
    ASSERT_NE(nullptr, standIn);
    HWND window = StartAndWait("-RESTART");
    ASSERT_NE(nullptr, window);
    EXPECT_NE(std::string::npos, ControlText(CompanionPage(window, IDC_PAGE_ABOUT), IDC_ABOUT_MONITOR).find("is running"));
    Sleep(1500);
    EXPECT_EQ(0, CountProcessesNamed(kMonitor));
    DestroyWindow(standIn);
    UnregisterClassA("Brackmoor", wc.hInstance);
    HandOver("-EXIT");

    monitorStarted_ = true;
    window = StartAndWait("-RESTART");
    ASSERT_NE(nullptr, window);
    ExpectPage(window, IDC_PAGE_ABOUT, "-RESTART");
    HWND monitor = WaitForWindow("Brackmoor", nullptr, kStartMs);
    ASSERT_NE(nullptr, monitor);
    // Started from the companion's own folder.
    DWORD pid = 0, size = MAX_PATH;
    GetWindowThreadProcessId(monitor, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    char path[MAX_PATH] = "";
    EXPECT_TRUE(process && QueryFullProcessImageNameA(process, 0, path, &size));
    EXPECT_TRUE(SameText(BinFolder() + "\\" + kMonitor, path)) << path;
    CloseHandle(process);
    // Whatever the monitor's first run starts on its side, one companion remains.
    EXPECT_EQ(1, CompanionWindows());
}

}  // namespace
