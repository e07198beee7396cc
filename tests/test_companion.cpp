// The companion BrackmoorEx.exe driven from outside, as the monitor and a user
// reach it: started with a switch, its window found by class, its controls read
// and pressed through window messages, and the registry read back directly.
#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "companion/companion_res.h"
#include "monitor/options.h"
#include "support/test_env.h"

namespace {

const char kCompanion[] = "BrackmoorEx.exe";
const char kMonitor[] = "brackmoor.exe";
const char kClass[] = "BrackmoorExplorer";
const char kTitle[] = "Brackmoor Explorer";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// A cold Wine start of a program can take several seconds on a loaded machine.
const DWORD kStartMs = 20000;
const DWORD kExitMs = 15000;

BOOL CALLBACK CollectCompanionWindow(HWND window, LPARAM param)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof(name));
    if (lstrcmpA(name, kClass) == 0)
        reinterpret_cast<std::vector<HWND> *>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> CompanionWindows()
{
    std::vector<HWND> found;
    EnumWindows(CollectCompanionWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

int CountProcessesNamed(const char *exeName)
{
    int count = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return -1;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = Process32First(snap, &entry); ok; ok = Process32Next(snap, &entry))
        if (lstrcmpiA(entry.szExeFile, exeName) == 0)
            count++;
    CloseHandle(snap);
    return count;
}

// The full image path of the first process of that name, or "".
std::string ProcessPathNamed(const char *exeName)
{
    std::string path;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return path;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = Process32First(snap, &entry); ok && path.empty(); ok = Process32Next(snap, &entry)) {
        if (lstrcmpiA(entry.szExeFile, exeName) != 0)
            continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        char buf[MAX_PATH] = "";
        DWORD size = sizeof(buf);
        if (QueryFullProcessImageNameA(process, 0, buf, &size))
            path.assign(buf, size);
        CloseHandle(process);
    }
    CloseHandle(snap);
    return path;
}

template <typename Check>
bool WaitUntil(Check check, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (check())
            return true;
        if (GetTickCount() - start > ms)
            return false;
        Sleep(50);
    }
}

std::string TextOf(HWND window)
{
    char buf[1024] = "";
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof(buf), reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    return buf;
}

std::string ControlText(HWND page, int id)
{
    HWND control = GetDlgItem(page, id);
    EXPECT_NE(nullptr, control) << "control " << id;
    return control ? TextOf(control) : std::string();
}

bool SameText(const std::string &a, const std::string &b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// The version record of the companion's file, read without the companion.
std::string FileProductVersion(const std::string &path)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (!size)
        return std::string();
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data()))
        return std::string();
    char *value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\ProductVersion",
                        reinterpret_cast<void **>(&value), &length) || !value)
        return std::string();
    return value;
}

// Read as wide text: Wine hands LB_GETTEXT of another process's list box back
// in UTF-16 even to SendMessageA, which then shows only the first letter.
std::vector<std::string> ListLines(HWND list)
{
    std::vector<std::string> lines;
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        WCHAR wide[512] = L"";
        LRESULT length = SendMessageW(list, LB_GETTEXTLEN, (WPARAM)i, 0);
        if (length == LB_ERR || length >= (LRESULT)(sizeof(wide) / sizeof(wide[0]))) {
            lines.push_back("<unreadable>");
            continue;
        }
        SendMessageW(list, LB_GETTEXT, (WPARAM)i, reinterpret_cast<LPARAM>(wide));
        char text[1024] = "";
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
        lines.push_back(text);
    }
    return lines;
}

// The index of the line of an option ("Name = value"), or -1.
int LineOf(HWND list, const std::string &name)
{
    std::vector<std::string> lines = ListLines(list);
    for (size_t i = 0; i < lines.size(); i++)
        if (lines[i].compare(0, name.size() + 3, name + " = ") == 0)
            return (int)i;
    return -1;
}

// The whole line of an option, or "<missing>" so that a failure names it.
std::string OptionLine(HWND list, const std::string &name)
{
    int line = LineOf(list, name);
    return line < 0 ? "<missing>" : ListLines(list)[line];
}

struct ExpectedOption {
    const char *name;
    int defaultValue;
};

// The options table as the monitor documents it, in its order.
const ExpectedOption kOptions[] = {
    {"SendHistory", 0}, {"ToolTips", 1}, {"HideTobble", 0}, {"HideBrackmoor", 0},
    {"NewVersionAvailable", 0}, {"NewVersionIgnore", 0}, {"SuppressExtraAlerts", 1},
    {"HideStartup", 0}, {"HideIEHelper", 0}, {"HideServices", 0}, {"HideActiveX", 0},
    {"HideTasks", 0}, {"HideFileType", 0}, {"HideHidden", 0}, {"HideSystemFiles", 0},
    {"HideHomePage", 0}, {"HideRegOptions", 0}, {"ExpandInfo", 0}, {"Netspeed", 0},
    {"HideUninstall", 0}, {"Format", 0}, {"ConfirmExit", 0}, {"Sound", 1}, {"History", 1},
    {"HideMicrosoftServices", 1}, {"ShowAllFiles", 0}, {"HideMicrosoftActiveX", 0},
    {"IncludeKillBit", 0}, {"ActiveXListAll", 0}, {"LockFileTypes", 0}, {"ShowAllStartup", 0},
    {"NoMicrosoftStartup", 0}, {"ShowAlerts", 1}, {"HideRunOnce", 0}, {"KeelFormat", 0},
    {"CloudData", 1}, {"MaxCookie", 8092}, {"Start", 2}, {"Cookies", 0}, {"Nuts", 0},
    {"Tasks", 11}, {"IEHelpers", 2}, {"FileType", 10}, {"StartPage", 2}, {"HostFile", 3},
    {"Services", 7}, {"Hidden", 0}, {"ActiveX", 4}, {"RegOptions", 5}, {"WinInit", 5},
    {"RealtimeStartup", 1}, {"RealtimeIEHelper", 1}, {"RealtimeSysFiles", 1},
    {"RealtimeFileType", 0}, {"RealtimeStartPage", 1}, {"RealtimeHidden", 0},
    {"RealtimeActiveX", 1}, {"RealtimeServices", 1}, {"RealtimeRegOptions", 1},
    {"RealtimeUninstall", 1}, {"RealtimeMissingRun", 1}, {"ViewCookies", 0},
    {"ExplorerMenu", 0}, {"WindowSettings", 1}, {"TestLog", 9999},
};

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
        started_.clear();
        KillProgramsNamed(kCompanion);
        if (monitorStarted_) {
            KillProgramsNamed(kMonitor);
            // A first run of the monitor switches its own logon entry on.
            RegRemoveValue(HKEY_CURRENT_USER, kRunKey, "Brackmoor");
        }
        BrackmoorTest::TearDown();
    }

    HANDLE Start(const std::string &args)
    {
        HANDLE process = StartProgram(kCompanion, args);
        EXPECT_NE(nullptr, process) << "start with " << args;
        if (process)
            started_.push_back(process);
        return process;
    }

    // The window is shown only after its pages are made and filled, so a
    // visible one can be read at once.
    HWND StartAndWait(const std::string &args, HANDLE *process = nullptr)
    {
        HANDLE started = Start(args);
        if (process)
            *process = started;
        HWND window = nullptr;
        WaitUntil(
            [&] {
                window = FindWindowA(kClass, nullptr);
                return window && IsWindowVisible(window);
            },
            kStartMs);
        EXPECT_TRUE(window && IsWindowVisible(window)) << "no companion window after " << args;
        return window;
    }

    // A second start that hands its switch over must end by itself, with 0.
    void HandOver(const std::string &args)
    {
        HANDLE second = Start(args);
        DWORD code = 99;
        EXPECT_TRUE(WaitExit(second, kExitMs, &code)) << args << ": the second start did not end";
        EXPECT_EQ(0u, code) << args;
    }

    std::vector<HANDLE> started_;
    bool monitorStarted_ = false;
};

HWND PageOf(HWND window, int pageId)
{
    HWND page = GetDlgItem(window, pageId);
    EXPECT_NE(nullptr, page) << "page " << pageId;
    return page;
}

// IDC_PAGE_ABOUT or IDC_PAGE_OPTIONS when exactly that page shows, else 0.
int ShownPage(HWND window)
{
    bool about = IsWindowVisible(GetDlgItem(window, IDC_PAGE_ABOUT)) != 0;
    bool options = IsWindowVisible(GetDlgItem(window, IDC_PAGE_OPTIONS)) != 0;
    if (about == options)
        return 0;
    return about ? IDC_PAGE_ABOUT : IDC_PAGE_OPTIONS;
}

// The page button pressed in the row must match the page in view.
void ExpectPage(HWND window, int pageId, const std::string &context)
{
    EXPECT_EQ(pageId, ShownPage(window)) << context;
    int tab = pageId == IDC_PAGE_ABOUT ? IDC_TAB_ABOUT : IDC_TAB_OPTIONS;
    int other = pageId == IDC_PAGE_ABOUT ? IDC_TAB_OPTIONS : IDC_TAB_ABOUT;
    EXPECT_EQ(BST_CHECKED, SendDlgItemMessageA(window, tab, BM_GETCHECK, 0, 0)) << context;
    EXPECT_EQ(BST_UNCHECKED, SendDlgItemMessageA(window, other, BM_GETCHECK, 0, 0)) << context;
}

HWND OptionsList(HWND window)
{
    HWND list = GetDlgItem(PageOf(window, IDC_PAGE_OPTIONS), IDC_OPTIONS_LIST);
    EXPECT_NE(nullptr, list);
    return list;
}

// Chooses an option's line, types a value and presses Set, as a user would.
void SetOptionThroughPage(HWND window, const char *name, const char *value)
{
    HWND page = PageOf(window, IDC_PAGE_OPTIONS);
    HWND list = GetDlgItem(page, IDC_OPTIONS_LIST);
    int line = LineOf(list, name);
    ASSERT_GE(line, 0) << name;
    SendMessageA(list, LB_SETCURSEL, (WPARAM)line, 0);
    SendMessageA(GetDlgItem(page, IDC_OPTIONS_VALUE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value));
    SendMessageA(GetDlgItem(page, IDC_OPTIONS_SET), BM_CLICK, 0, 0);
}

// ---- About page ----------------------------------------------------------

TEST_F(CompanionTest, KeelShowsVersionDataFolderAndHistoryFile)
{
    HWND window = StartAndWait("-KEEL");
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(kTitle, TextOf(window));
    ExpectPage(window, IDC_PAGE_ABOUT, "-KEEL");

    HWND about = PageOf(window, IDC_PAGE_ABOUT);
    EXPECT_EQ(BRACKMOOR_VERSION, ControlText(about, IDC_ABOUT_VERSION));
    // The number shown must be the one the file itself carries.
    EXPECT_EQ(BRACKMOOR_VERSION, FileProductVersion(BinFolder() + "\\" + kCompanion));

    std::string folder = ControlText(about, IDC_ABOUT_FOLDER);
    EXPECT_TRUE(SameText(DataFolder(), folder)) << folder;
    std::string history = ControlText(about, IDC_ABOUT_HISTORY);
    EXPECT_TRUE(SameText(DataFolder() + "\\history.txt", history)) << history;
    std::string program = ControlText(about, IDC_ABOUT_PROGRAM);
    EXPECT_TRUE(SameText(BinFolder(), program)) << program;
    EXPECT_TRUE(PathExists(DataFolder())) << "the data folder is made when missing";

    EXPECT_EQ("", ControlText(about, IDC_ABOUT_NOTICE));
    EXPECT_NE(std::string::npos, ControlText(about, IDC_ABOUT_MONITOR).find("not running"));
    // Looking must not count as a change of the options.
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, OPTIONS_KEY, "Update"));
}

TEST_F(CompanionTest, FirstSwitchChoosesThePageWithoutRegardToCase)
{
    struct Case {
        const char *args;
        int page;
        const char *notice;     // part of the About page's notice, "" for none
    };
    const Case cases[] = {
        {"", IDC_PAGE_ABOUT, ""},
        {"-NOSUCHPAGE", IDC_PAGE_ABOUT, ""},
        {"-keel", IDC_PAGE_ABOUT, ""},
        {"-Options", IDC_PAGE_OPTIONS, ""},
        {"  -OPTIONS  ", IDC_PAGE_OPTIONS, ""},
        {"\"-START\"", IDC_PAGE_ABOUT, "Startup Programs"},
        {"-auoption", IDC_PAGE_ABOUT, "Windows Update"},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); i++) {
        const Case &c = cases[i];
        std::string context = "case " + std::to_string(i) + " [" + c.args + "]";
        HANDLE process = nullptr;
        HWND window = StartAndWait(c.args, &process);
        ASSERT_NE(nullptr, window) << context;
        ExpectPage(window, c.page, context);
        std::string notice = ControlText(PageOf(window, IDC_PAGE_ABOUT), IDC_ABOUT_NOTICE);
        if (*c.notice)
            EXPECT_NE(std::string::npos, notice.find(c.notice)) << context << ": " << notice;
        else
            EXPECT_EQ("", notice) << context;

        // WM_CLOSE ends the program, not just the window.
        PostMessageA(window, WM_CLOSE, 0, 0);
        DWORD code = 99;
        EXPECT_TRUE(WaitExit(process, kExitMs, &code)) << context;
        EXPECT_EQ(0u, code) << context;
        EXPECT_TRUE(CompanionWindows().empty()) << context;
    }
}

TEST_F(CompanionTest, PagesNotYetBuiltOpenAboutWithTheirName)
{
    struct Case {
        const char *args;
        const char *name;
    };
    const Case cases[] = {
        {"-START", "Startup Programs"},  {"-NUTS", "Cookie Filters"},
        {"-TASK", "Active Tasks"},       {"-RESET", "Reset"},
        {"-SERVICE", "Services"},        {"-SCHEDULE", "Scheduled Tasks"},
        {"-BHO", "IE Helpers"},          {"-FILETYPES", "File Types"},
        {"-HIDDEN", "Hidden Files"},     {"-DELAY", "Delayed Start"},
        {"-ACTIVEX", "ActiveX"},         {"-RECENT", "Recent"},
        {"-REGOPTIONS", "Registry"},     {"-COOKIES", "Cookies"},
        {"-AUOption", "Windows Update"},
    };
    HWND window = StartAndWait("-OPTIONS");
    ASSERT_NE(nullptr, window);
    HWND about = PageOf(window, IDC_PAGE_ABOUT);
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); i++) {
        std::string context = "case " + std::to_string(i) + " [" + cases[i].args + "]";
        // Away from About first, so each switch has to bring it back.
        SendDlgItemMessageA(window, IDC_TAB_OPTIONS, BM_CLICK, 0, 0);
        ExpectPage(window, IDC_PAGE_OPTIONS, context + " before");
        HandOver(cases[i].args);
        ExpectPage(window, IDC_PAGE_ABOUT, context);
        std::string notice = ControlText(about, IDC_ABOUT_NOTICE);
        EXPECT_NE(std::string::npos, notice.find(cases[i].name)) << context << ": " << notice;
        EXPECT_NE(std::string::npos, notice.find("later version")) << context << ": " << notice;
    }
    // The About page proper has no such line.
    HandOver("-KEEL");
    EXPECT_EQ("", ControlText(about, IDC_ABOUT_NOTICE));
    EXPECT_EQ(1u, CompanionWindows().size());
}

TEST_F(CompanionTest, PageButtonsSwitchPages)
{
    HWND window = StartAndWait("-KEEL");
    ASSERT_NE(nullptr, window);
    SendDlgItemMessageA(window, IDC_TAB_OPTIONS, BM_CLICK, 0, 0);
    ExpectPage(window, IDC_PAGE_OPTIONS, "after Options");
    SendDlgItemMessageA(window, IDC_TAB_ABOUT, BM_CLICK, 0, 0);
    ExpectPage(window, IDC_PAGE_ABOUT, "after About");
    // The Close button ends the program as the caption's close box does.
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    ASSERT_NE(nullptr, process);
    SendDlgItemMessageA(window, IDCANCEL, BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitExit(process, kExitMs));
    CloseHandle(process);
}

// ---- One companion at a time ---------------------------------------------

TEST_F(CompanionTest, SecondStartHandsItsPageToTheRunningOne)
{
    HANDLE first = nullptr;
    HWND window = StartAndWait("-KEEL", &first);
    ASSERT_NE(nullptr, window);
    // Changed behind the running companion's back: the page it opens must show it.
    PutOption("Sound", "0");

    HandOver("-OPTIONS");
    std::vector<HWND> windows = CompanionWindows();
    ASSERT_EQ(1u, windows.size());
    EXPECT_EQ(window, windows[0]);
    EXPECT_FALSE(WaitExit(first, 0)) << "the first companion must stay";
    ExpectPage(window, IDC_PAGE_OPTIONS, "handed -OPTIONS");
    EXPECT_EQ("Sound = 0", OptionLine(OptionsList(window), "Sound"));
    EXPECT_EQ(1, CountProcessesNamed(kCompanion));
}

TEST_F(CompanionTest, ExitClosesTheRunningCompanion)
{
    HANDLE first = nullptr;
    HWND window = StartAndWait("-OPTIONS", &first);
    ASSERT_NE(nullptr, window);
    HandOver("-EXIT");
    // The closing start waits for the first to end, so it is gone already.
    EXPECT_TRUE(WaitExit(first, 3000));
    EXPECT_TRUE(CompanionWindows().empty());
    EXPECT_EQ(0, CountProcessesNamed(kCompanion));
}

TEST_F(CompanionTest, ExitWithNoCompanionEndsWithoutAWindow)
{
    HANDLE process = Start("-exit");
    DWORD code = 99;
    ASSERT_TRUE(WaitExit(process, kExitMs, &code));
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(CompanionWindows().empty());
    // And it left nothing behind that would stop the next companion.
    HWND window = StartAndWait("-KEEL");
    EXPECT_NE(nullptr, window);
}

TEST_F(CompanionTest, KilledCompanionDoesNotBlockTheNext)
{
    HANDLE first = nullptr;
    ASSERT_NE(nullptr, StartAndWait("-KEEL", &first));
    TerminateProcess(first, 1);
    ASSERT_TRUE(WaitExit(first, kExitMs));
    HWND window = StartAndWait("-OPTIONS");
    ASSERT_NE(nullptr, window);
    ExpectPage(window, IDC_PAGE_OPTIONS, "after a killed companion");
    EXPECT_EQ(1u, CompanionWindows().size());
}

// ---- Options page --------------------------------------------------------

TEST_F(CompanionTest, OptionsListShowsEveryOptionWithItsDefault)
{
    HWND window = StartAndWait("-OPTIONS");
    ASSERT_NE(nullptr, window);
    std::vector<std::string> lines = ListLines(OptionsList(window));
    const size_t count = sizeof(kOptions) / sizeof(kOptions[0]);
    ASSERT_EQ(count, lines.size());
    for (size_t i = 0; i < count; i++)
        EXPECT_EQ(std::string(kOptions[i].name) + " = " + std::to_string(kOptions[i].defaultValue), lines[i])
            << "row " << i;
    // Showing the defaults writes none of them.
    EXPECT_FALSE(RegHasKey(HKEY_CURRENT_USER, OPTIONS_KEY));
}

TEST_F(CompanionTest, OptionsListShowsStoredValuesAsTheMonitorReadsThem)
{
    struct Case {
        const char *name;
        const char *stored;
        const char *shown;
    };
    const Case cases[] = {
        {"Start", "5", "Start = 5"},
        {"Tasks", "abc", "Tasks = 0"},          // no digits: 0, not the default
        {"Services", "", "Services = 7"},       // empty: the default
        {"MaxCookie", "12x", "MaxCookie = 12"},
        {"HideTobble", "-3", "HideTobble = -3"},
    };
    for (const Case &c : cases)
        PutOption(c.name, c.stored);
    HWND window = StartAndWait("-OPTIONS");
    ASSERT_NE(nullptr, window);
    HWND list = OptionsList(window);
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); i++)
        EXPECT_EQ(cases[i].shown, OptionLine(list, cases[i].name)) << "case " << i;
}

TEST_F(CompanionTest, SetWritesTheOptionAndSignalsTheMonitor)
{
    HWND window = StartAndWait("-OPTIONS");
    ASSERT_NE(nullptr, window);
    HWND list = OptionsList(window);

    SetOptionThroughPage(window, "Sound", "0");
    EXPECT_EQ("0", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Sound"));
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Update"));
    EXPECT_EQ("Sound = 0", OptionLine(list, "Sound"));
    // Only the chosen option was written.
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, OPTIONS_KEY, "ToolTips"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, OPTIONS_KEY, "History"));

    // The monitor clears "Update" once it has read; the next Set raises it again.
    RegPut(HKEY_CURRENT_USER, OPTIONS_KEY, "Update", "0");
    SetOptionThroughPage(window, "Start", " -12 ");
    EXPECT_EQ("-12", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Start"));
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Update"));
    EXPECT_EQ("Start = -12", OptionLine(list, "Start"));
    EXPECT_EQ("0", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Sound"));

    SetOptionThroughPage(window, "TestLog", "9999");
    EXPECT_EQ("9999", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "TestLog"));
}

TEST_F(CompanionTest, SetRefusesWhatIsNotAWholeNumber)
{
    HWND window = StartAndWait("-OPTIONS");
    ASSERT_NE(nullptr, window);
    HWND page = PageOf(window, IDC_PAGE_OPTIONS);
    const char *refused[] = {"", "abc", "1x", "1 2", "--1", "2147483648", "99999999999"};
    for (size_t i = 0; i < sizeof(refused) / sizeof(refused[0]); i++) {
        SetOptionThroughPage(window, "Sound", refused[i]);
        EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, OPTIONS_KEY, "Sound")) << "case " << i;
        EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, OPTIONS_KEY, "Update")) << "case " << i;
        EXPECT_NE("", ControlText(page, IDC_OPTIONS_STATUS)) << "case " << i;
    }
    // Nothing chosen: nothing written either.
    HWND list = OptionsList(window);
    SendMessageA(list, LB_SETCURSEL, (WPARAM)-1, 0);
    SendMessageA(GetDlgItem(page, IDC_OPTIONS_VALUE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("5"));
    SendMessageA(GetDlgItem(page, IDC_OPTIONS_SET), BM_CLICK, 0, 0);
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, OPTIONS_KEY, "Update"));
    // The largest number the monitor can hold is still taken.
    SetOptionThroughPage(window, "MaxCookie", "2147483647");
    EXPECT_EQ("2147483647", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "MaxCookie"));
}

// ---- -RESTART --------------------------------------------------------------

TEST_F(CompanionTest, RestartLeavesARunningMonitorAlone)
{
    // A window of the monitor's class stands in for a running monitor.
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Brackmoor";
    ASSERT_NE(0, RegisterClassA(&wc));
    HWND monitor = CreateWindowExA(0, "Brackmoor", "Brackmoor", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                   wc.hInstance, nullptr);
    ASSERT_NE(nullptr, monitor);

    HWND window = StartAndWait("-RESTART");
    EXPECT_NE(nullptr, window);
    if (window) {
        ExpectPage(window, IDC_PAGE_ABOUT, "-RESTART");
        HWND about = PageOf(window, IDC_PAGE_ABOUT);
        EXPECT_NE(std::string::npos, ControlText(about, IDC_ABOUT_MONITOR).find("is running"));
        EXPECT_EQ("", ControlText(about, IDC_ABOUT_NOTICE));
    }
    Sleep(1500);
    EXPECT_EQ(0, CountProcessesNamed(kMonitor));

    DestroyWindow(monitor);
    UnregisterClassA("Brackmoor", wc.hInstance);
}

TEST_F(CompanionTest, RestartStartsTheMonitorFromItsOwnFolder)
{
    monitorStarted_ = true;
    ASSERT_EQ(0, CountProcessesNamed(kMonitor));
    HWND window = StartAndWait("-RESTART");
    ASSERT_NE(nullptr, window);
    ExpectPage(window, IDC_PAGE_ABOUT, "-RESTART");
    ASSERT_TRUE(WaitUntil([] { return CountProcessesNamed(kMonitor) > 0; }, kStartMs));
    std::string path = ProcessPathNamed(kMonitor);
    EXPECT_TRUE(SameText(BinFolder() + "\\" + kMonitor, path)) << path;
    // Whatever the monitor's first run starts on its side, one companion remains.
    EXPECT_TRUE(WaitUntil([] { return FindWindowA("Brackmoor", nullptr) != nullptr; }, kStartMs));
    EXPECT_EQ(1u, CompanionWindows().size());
}

}  // namespace
