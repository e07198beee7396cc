// The real monitor's startup alert as a user meets it: a new Run value or startup-folder
// shortcut, a Quick Scan, the answer read back from registry, files, processes and history.
#include <windows.h>

#include <objbase.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "common/options.h"
#include "resources/resource.h"
#include "startup/locations.h"
#include "common/runlist.h"
#include "startup/startup_scan.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const REGSAM k64 = KEY_WOW64_64KEY;
const DWORD kPassWait = 90000;     // a pass, or the alert it brings, under a busy Wine

std::string Lang(UINT id)
{
    char text[1024] = "";
    LoadStringA(GetModuleHandleA(NULL), id, text, sizeof(text));
    return text;
}

std::string AlertMessage(UINT sentence)
{
    std::string text = Lang(7);
    return text.replace(text.find("%s"), 2, Lang(sentence));
}

std::string AlertCaption()
{
    return Lang(718) + " - " + Lang(606);
}

// Waits for the Quick Scan pass that started after `before` passes to end; false
// when an alert holds it up instead, or when it takes too long.
bool WaitPassDone(int before)
{
    return WaitQuickScanDone(before, kPassWait, AlertCaption().c_str());
}

class StartupEndToEnd : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        savedStartup_ = RegText(HKEY_CURRENT_USER, kShellFolders, "Startup");
        // Not a first start, which would open the companion program.
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "", "01/01/2015  12:00 PM");
        // The startup check on every pass, one alert at a time, nothing decided silently.
        for (const char *off : {"SuppressExtraAlerts", "ShowAlerts", "HideStartup", "Sound"})
            PutOption(off, "0");
        PutOption("RealtimeStartup", "1");
        PutOption("Start", "1");
        char self[MAX_PATH];
        GetModuleFileNameA(NULL, self, sizeof(self));
        updater_ = TempFolder() + "\\bmupdater.exe";
        ASSERT_TRUE(CopyFileA(self, updater_.c_str(), FALSE));
        data_ = "\"" + updater_ + "\" -quiet";
    }
    void TearDown() override
    {
        StopMonitor(run_);
        if (sleeper_) {
            TerminateProcess(sleeper_, 0);
            WaitForSingleObject(sleeper_, 5000);
            CloseHandle(sleeper_);
        }
        for (const std::string &name : names_)
            RegRemoveValue(HKEY_CURRENT_USER, kRun, name.c_str(), k64);
        RegPut(HKEY_CURRENT_USER, kShellFolders, "Startup", savedStartup_.c_str());
        BrackmoorTest::TearDown();
    }
    void Start()
    {
        AcceptStartupEntriesPresent();
        ASSERT_TRUE(StartMonitor(run_));
        ASSERT_TRUE(QuickScan()) << "the first pass sees nothing new";
    }
    void PutRun(const std::string &name, const std::string &data)
    {
        RegPut(HKEY_CURRENT_USER, kRun, name.c_str(), data.c_str(), k64);
        names_.push_back(name);
    }
    bool QuickScan()
    {
        int before = QuickScansDone();
        SendMonitorCommand(run_, 6074);
        return WaitPassDone(before);
    }
    // A Quick Scan that brings up the startup alert; passes_ counts the passes before it.
    HWND QuickScanAlert()
    {
        passes_ = QuickScansDone();
        SendMonitorCommand(run_, 6074);
        return WaitForDialog(AlertCaption().c_str(), kPassWait);
    }
    bool Answer(HWND alert, int button)
    {
        PressButton(alert, button);
        for (DWORD start = GetTickCount(); IsWindow(alert) && GetTickCount() - start < kPassWait;)
            Sleep(100);
        return WaitPassDone(passes_);
    }
    MonitorRun run_;
    HANDLE sleeper_ = nullptr;
    std::string savedStartup_, updater_, data_;
    std::vector<std::string> names_;
    int passes_ = 0;
};

// Reject on the first alert, Accept on the second, in one monitor run and a restart.
TEST_F(StartupEndToEnd, RejectRemovesAndStopsTheProgramAcceptKeepsItKnownAcrossRestarts)
{
    Start();
    // A copy of this program started with the sleeper variable only waits to be ended.
    std::string line = "\"" + updater_ + "\"";
    std::vector<char> command(line.begin(), line.end());
    command.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    SetEnvironmentVariableA(kSleeperVariable, "1");
    ASSERT_TRUE(CreateProcessA(updater_.c_str(), command.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi));
    SetEnvironmentVariableA(kSleeperVariable, NULL);
    CloseHandle(pi.hThread);
    sleeper_ = pi.hProcess;
    EXPECT_EQ(1, CountProcessesNamed("bmupdater.exe"));

    PutRun("Updater", data_);
    HWND alert = QuickScanAlert();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ(updater_ + " -quiet", ControlText(alert, IDC_PATH));
    EXPECT_EQ(AlertMessage(765), ControlText(alert, IDC_MESSAGE));
    ASSERT_TRUE(Answer(alert, IDNO));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRun, "Updater", k64));
    EXPECT_TRUE(WaitExit(sleeper_, 10000)) << "the running program is ended";
    EXPECT_EQ(0, CountProcessesNamed("bmupdater.exe"));
    std::string history = ReadWholeFile(DataFolder() + "\\history.txt");
    EXPECT_NE(std::string::npos, history.find("START_Alert\tCURRENT_RUN\tUpdater\t"));
    EXPECT_NE(std::string::npos, history.find("*START_Remove\tCURRENT_RUN\tUpdater\t"));
    // The user's own removal is no vanished startup program to be told about.
    for (int pass = 0; pass < 2; pass++)
        EXPECT_TRUE(QuickScan()) << "pass " << pass << " brings no notice";
    EXPECT_EQ(nullptr, WaitForDialog(Lang(1408).c_str(), 0));

    const std::string kept = "\"C:\\bm\\kept.exe\" -tray";
    PutRun("BmKept", kept);
    ASSERT_NE(nullptr, alert = QuickScanAlert());
    ASSERT_TRUE(Answer(alert, IDYES));
    EXPECT_TRUE(QuickScan()) << "no second alert";
    ASSERT_TRUE(StopMonitor(run_));
    ASSERT_TRUE(StartMonitor(run_));
    EXPECT_TRUE(QuickScan()) << "none after a restart either";
    EXPECT_EQ(kept, RegText(HKEY_CURRENT_USER, kRun, "BmKept", k64));
}

TEST_F(StartupEndToEnd, AShortcutInTheStartupFolderIsAlertedAndRejectDeletesIt)
{
    std::string folder = TempFolder() + "\\Startup", link = folder + "\\BmLinked.lnk";
    // Not a copy of this program: its version record names the product, which is never alerted.
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof(windows));
    std::string target = TempFolder() + "\\bmlinked.exe";
    ASSERT_TRUE(CopyFileA((std::string(windows) + "\\notepad.exe").c_str(), target.c_str(), FALSE));
    CreateDirectoryA(folder.c_str(), NULL);
    RegPut(HKEY_CURRENT_USER, kShellFolders, "Startup", folder.c_str());
    Start();
    ASSERT_TRUE(MakeShortcut(link, target));
    HWND alert = QuickScanAlert();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ(target, ControlText(alert, IDC_PATH));
    EXPECT_EQ(AlertMessage(768), ControlText(alert, IDC_MESSAGE));
    ASSERT_TRUE(Answer(alert, IDNO));
    EXPECT_FALSE(PathExists(link));
    EXPECT_TRUE(PathExists(target)) << "the program itself is not the entry";
}

} // namespace

// Disable keeps rejecting a program that writes itself back; a startup value and an
// uninstall entry removed by another tool are each told once.
TEST_F(StartupEndToEnd, DisableKeepsRejectingAndVanishedEntriesAreToldOnce)
{
    const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BmVanishing";
    RegPut(HKEY_CURRENT_USER, kUninstall, "DisplayName", "Vanishing Tool");
    PutOption("ShowAlerts", "1");   // the notices speak only while alerts are on
    Start();

    const std::string data = "\"C:\\bm\\comeback.exe\" -autostart";
    PutRun("BmComeback", data);
    HWND alert = QuickScanAlert();
    ASSERT_NE(nullptr, alert);
    ASSERT_TRUE(Answer(alert, IDC_DISABLE));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRun, "BmComeback", k64));
    EXPECT_EQ(data, RegText(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY "\\Run", "BmComeback"));
    EXPECT_EQ("11", RegText(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY, "BmComeback"));
    // The program puts itself back: the next pass takes it out again, without asking.
    PutRun("BmComeback", data);
    EXPECT_TRUE(QuickScan()) << "no alert for a disabled program";
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRun, "BmComeback", k64));
    EXPECT_EQ(data, RegText(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY "\\Run", "BmComeback"));

    // An accepted startup value that another tool deletes: one notice, then none.
    PutRun("BmVanishing", "C:\\bm\\vanishing.exe");
    ASSERT_NE(nullptr, alert = QuickScanAlert());
    ASSERT_TRUE(Answer(alert, IDYES));
    EXPECT_TRUE(QuickScan());
    RegRemoveValue(HKEY_CURRENT_USER, kRun, "BmVanishing", k64);
    SendMonitorCommand(run_, 6074);
    HWND notice = WaitForDialog(Lang(1408).c_str(), kPassWait);
    ASSERT_NE(nullptr, notice) << "missing-startup notice";
    EXPECT_EQ("C:\\BM\\VANISHING.EXE", ControlText(notice, IDC_NOTICE_PATH));
    PressButton(notice, IDOK);
    EXPECT_TRUE(QuickScan()) << "told once";
    EXPECT_EQ(nullptr, WaitForDialog(Lang(1408).c_str(), 0));

    // An uninstall entry that disappears: one notice naming it.
    RegDeleteTreeView(HKEY_CURRENT_USER, kUninstall);
    SendMonitorCommand(run_, 6074);
    notice = WaitForDialog(Lang(1404).c_str(), kPassWait);
    ASSERT_NE(nullptr, notice) << "uninstall notice";
    EXPECT_EQ("Vanishing Tool", ControlText(notice, IDC_NOTICE_NAME));
    PressButton(notice, IDOK);
    EXPECT_TRUE(QuickScan()) << "told once";
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "RealtimeUninstall"));

}

// A program on the delayed-start list is started at its step; when it puts itself
// back into the Run key, dialog 192 asks: Yes makes it a normal startup program
// again, No keeps it delayed and takes it out of the Run key.
TEST_F(StartupEndToEnd, DelayedProgramStartsAtItsStepAndItsComebackIsAsked)
{
    const std::string delay = std::string(BRACKMOOR_KEY) + "\\Delay";
    std::string delayed = TempFolder() + "\\bmdelayed.exe";
    ASSERT_TRUE(CopyFileA(updater_.c_str(), delayed.c_str(), FALSE));
    auto listDelayed = [&] {
        RegPut(HKEY_CURRENT_USER, delay.c_str(), delayed.c_str(), "11");
        RegPut(HKEY_CURRENT_USER, (delay + "\\Time").c_str(), delayed.c_str(), "10");
    };
    listDelayed();
    SetEnvironmentVariableA(kSleeperVariable, "1");   // what the monitor starts only waits
    Start();
    SetEnvironmentVariableA(kSleeperVariable, NULL);
    DWORD start = GetTickCount();
    while (CountProcessesNamed("bmdelayed.exe") == 0 && GetTickCount() - start < kPassWait)
        Sleep(250);
    EXPECT_EQ(1, CountProcessesNamed("bmdelayed.exe")) << "started at step 10";

    char key[MAX_PATH];
    BaselineValueName(delayed.c_str(), key);
    for (int button : {IDYES, IDNO}) {
        // The companion marks a delayed program with 1103; the program writes itself back.
        if (button == IDNO)
            listDelayed();
        RegPut(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, "1103");
        PutRun("BmDelayed", delayed);
        SendMonitorCommand(run_, 6074);
        HWND ask = WaitForDialog(Lang(1023).c_str(), kPassWait);
        ASSERT_NE(nullptr, ask) << "button " << button;
        PressButton(ask, button);
        EXPECT_TRUE(QuickScan()) << "button " << button;
        EXPECT_EQ("11", RegText(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key)) << "button " << button;
        EXPECT_EQ(button == IDNO, RegHasValue(HKEY_CURRENT_USER, delay.c_str(), delayed.c_str()))
            << "Yes takes it off the list, No keeps it";
        EXPECT_EQ(button == IDYES, RegHasValue(HKEY_CURRENT_USER, kRun, "BmDelayed", k64))
            << "Yes keeps it in the Run key, No takes it out";
    }
    EXPECT_EQ(delayed, RegText(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY "\\Run", "BmDelayed"));
    KillProgramsNamed("bmdelayed.exe");
}
