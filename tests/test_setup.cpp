// The setup program in a fresh Wine prefix: silent install, update over the running
// monitor, and an uninstall that puts back the held programs and nothing else.
#include <windows.h>

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/options.h"
#include "common/registry.h"
#include "monitor/mainwindow.h"
#include "resources/resource.h"
#include "startup/locations.h"
#include "startup/startup_actions.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brackmoor";
const DWORD kWait = 120000;     // a start, a pass or an uninstall under a busy Wine

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(NULL, path, csidl, TRUE);
    return path;
}

// Runs it to its end: its exit code, (DWORD)-1 when it did not start or end.
DWORD RunWait(const std::string &commandLine, DWORD *pid = nullptr)
{
    HANDLE process = StartCommand(commandLine, "", pid);
    DWORD code = (DWORD)-1;
    WaitExit(process, kWait, &code);
    if (process)
        CloseHandle(process);
    return code;
}

// The process that owns the window of a class, once it has one.
DWORD WindowProcess(const char *className, DWORD ms = kWait)
{
    HWND window = WaitForWindow(className, NULL, ms);
    DWORD pid = 0;
    if (window)
        GetWindowThreadProcessId(window, &pid);
    return pid;
}

// The processes a process started (the uninstaller runs on as a copy it starts).
std::vector<DWORD> ChildProcesses(DWORD parent)
{
    std::vector<DWORD> children;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 pe = {};
    pe.dwSize = sizeof(pe);
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        if (pe.th32ParentProcessID == parent)
            children.push_back(pe.th32ProcessID);
    CloseHandle(snap);
    return children;
}

std::string ProductVersion(const std::string &path)
{
    VersionRecord record = {};
    GetVersionInfo(path.c_str(), &record);
    return record.ProductVersion;
}

::testing::AssertionResult SameFile(const std::string &a, const std::string &b)
{
    std::string left = ReadWholeFile(a), right = ReadWholeFile(b);
    if (!left.empty() && left == right)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a << " (" << left.size() << " bytes) differs from " << b << " ("
                                         << right.size() << " bytes)";
}

// The registry areas an install or uninstall may touch: the user's whole hive and
// the machine's software (both views: the 32-bit one lies under Wow6432Node).
RegistryTree ReadRegistry()
{
    RegistryTree tree;
    for (const auto &entry : ReadRegistryTree(HKEY_CURRENT_USER, "", k64))
        tree["HKCU\\" + entry.first] = entry.second;
    for (const auto &entry : ReadRegistryTree(HKEY_LOCAL_MACHINE, "Software", k64))
        tree["HKLM\\" + entry.first] = entry.second;
    return tree;
}

// What the uninstall may change: its own Run value and uninstall entry go, the held
// program's value comes back, the Disabled store loses what it held, and the
// startup baseline takes in the programs put back.
bool IsUninstallChange(const std::string &change, const std::string &heldName)
{
    for (const std::string &part : {std::string(kRun) + "\\[Brackmoor]", std::string(kRun) + "\\[" + heldName + "]",
                                    std::string(kUninstall)})
        if (change.find(Upper(part)) != std::string::npos)
            return true;
    bool added = change.compare(0, 2, "+ ") == 0, removed = change.compare(0, 2, "- ") == 0;
    return (removed && change.find(Upper(DISABLED_MARKER_KEY "\\")) != std::string::npos) ||
           (added && change.find(Upper(STARTUP_BASELINE_KEY "\\[")) != std::string::npos);
}

struct SetupRun {
    std::string setup, programs, menu, startup, linkName = "BmSetupLinked.lnk", linkTarget;
    std::string command = "\"C:\\bm\\setupheld.exe\" -tray";
    ~SetupRun()
    {
        KillProgramsNamed("brackmoor.exe");
        KillProgramsNamed("BrackmoorEx.exe");
    }
    std::string Program(const char *file) const { return programs + "\\" + file; }
};

void CheckInstalled(const SetupRun &run)
{
    for (const char *file : {"brackmoor.exe", "BrackmoorEx.exe", "tallowpro.dll"})
        EXPECT_TRUE(SameFile(run.Program(file), BinFolder() + "\\" + file));
    EXPECT_TRUE(PathExists(run.Program("uninst.exe")));
    EXPECT_EQ(run.Program("brackmoor.exe") + "|", ShortcutOf(run.menu + "\\Brackmoor.lnk"));
    EXPECT_EQ(run.Program("BrackmoorEx.exe") + "|-START", ShortcutOf(run.menu + "\\Brackmoor Explorer.lnk"));
    EXPECT_EQ(run.Program("uninst.exe") + "|", ShortcutOf(run.menu + "\\Uninstall Brackmoor.lnk"));

    EXPECT_EQ("Brackmoor", RegText(HKEY_LOCAL_MACHINE, kUninstall, "DisplayName", k64));
    EXPECT_EQ(ProductVersion(run.Program("brackmoor.exe")), RegText(HKEY_LOCAL_MACHINE, kUninstall, "DisplayVersion", k64));
    EXPECT_EQ("Dunmere Works", RegText(HKEY_LOCAL_MACHINE, kUninstall, "Publisher", k64));
    EXPECT_EQ(run.Program("brackmoor.exe") + ",0", RegText(HKEY_LOCAL_MACHINE, kUninstall, "DisplayIcon", k64));
    EXPECT_EQ(run.programs, RegText(HKEY_LOCAL_MACHINE, kUninstall, "InstallLocation", k64));
    std::string uninstall = "\"" + run.Program("uninst.exe") + "\"";
    EXPECT_EQ(uninstall, RegText(HKEY_LOCAL_MACHINE, kUninstall, "UninstallString", k64));
    EXPECT_EQ(uninstall + " /S", RegText(HKEY_LOCAL_MACHINE, kUninstall, "QuietUninstallString", k64));
    // The size in KiB of what lies in the program folder.
    size_t bytes = 0;
    for (const char *file : {"brackmoor.exe", "BrackmoorEx.exe", "tallowpro.dll", "uninst.exe"})
        bytes += ReadWholeFile(run.Program(file)).size();
    DWORD size = 0, type = 0, len = sizeof(size);
    RegGetValueA(HKEY_LOCAL_MACHINE, kUninstall, "EstimatedSize", RRF_RT_REG_DWORD, &type, &size, &len);
    EXPECT_NEAR(bytes / 1024.0, size, 4.0);
}

// A Quick Scan brings the startup alert for each new entry; each is disabled.
void DisableNewEntries(DWORD monitorPid, int count)
{
    HWND monitor = WaitForWindow("Brackmoor", NULL, kWait);
    ASSERT_NE(nullptr, monitor);
    PostMessageA(monitor, WM_COMMAND, IDM_QUICK_SCAN, 0);
    std::string caption = LangText(718) + " - " + LangText(606);
    for (int i = 0; i < count; i++) {
        HWND alert = WaitForDialog(caption.c_str(), kWait);
        ASSERT_NE(nullptr, alert) << "alert " << i << " of monitor " << monitorPid;
        PressButton(alert, IDC_DISABLE);
        WaitUntil([&] { return !IsWindow(alert); });
    }
}

} // namespace

TEST(Setup, InstallUpdateOverTheRunningMonitorAndUninstallPutsBackDisabledPrograms)
{
    SetupRun run;
    run.setup = BinFolder() + "\\..\\installer\\" BRACKMOOR_SETUP_NAME;
    run.programs = ShellFolder(CSIDL_PROGRAM_FILES) + "\\Brackmoor";
    run.menu = ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\Brackmoor";
    run.startup = ShellFolder(CSIDL_STARTUP);
    ASSERT_TRUE(PathExists(run.setup)) << run.setup;
    ASSERT_FALSE(PathExists(run.programs)) << "the prefix is not fresh";

    // A silent install: files, shortcuts, uninstall entry, and the monitor started.
    ASSERT_EQ(0u, RunWait("\"" + run.setup + "\" /S"));
    CheckInstalled(run);
    DWORD first = WindowProcess("Brackmoor");
    ASSERT_NE(0u, first) << "the monitor did not start";
    EXPECT_EQ(first, FindProcessOfProgram(run.Program("brackmoor.exe").c_str()));
    EXPECT_TRUE(WaitForWindow("BrackmoorExplorer", NULL, kWait)) << "a first start opens the companion";
    std::string own = run.Program("brackmoor.exe") + " -expressboot";
    EXPECT_TRUE(WaitUntil([&] { return RegText(HKEY_CURRENT_USER, kRun, "Brackmoor", k64) == own; }))
        << "the first start turns the own Run value on";

    // The monitor and the companion run from files that differ from the build's: the
    // update must stop both to replace their locked files, and the monitor it starts
    // again takes the update-install path of an older version.
    ASSERT_EQ(0u, RunWait("\"" + run.Program("brackmoor.exe") + "\" -Q"));
    ASSERT_TRUE(WaitUntil([&] { return !ProcessRunning(first); }));
    PostMessageA(FindWindowA("BrackmoorExplorer", NULL), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([] { return !FindWindowA("BrackmoorExplorer", NULL); }));
    for (const char *file : {"brackmoor.exe", "BrackmoorEx.exe", "tallowpro.dll"})   // one byte more each
        WriteWholeFile(run.Program(file), ReadWholeFile(run.Program(file)) + "x");
    PutOption("Orvalen", "1");
    PutOption("TestLog", "0");
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "NewVersion", "33.0.2014.0");
    HANDLE companion = StartCommand("\"" + run.Program("BrackmoorEx.exe") + "\" -KEEL");
    HANDLE monitor = StartCommand("\"" + run.Program("brackmoor.exe") + "\"");
    ASSERT_TRUE(companion && monitor);
    DWORD second = WindowProcess("Brackmoor");
    ASSERT_NE(0u, second);
    ASSERT_TRUE(WaitForWindow("BrackmoorExplorer", NULL, kWait));
    ASSERT_EQ(0u, RunWait("\"" + run.setup + "\" /S"));
    EXPECT_TRUE(WaitExit(monitor, 0)) << "the running monitor was stopped";
    EXPECT_TRUE(WaitExit(companion, 0)) << "the running companion was stopped";
    CloseHandle(monitor);
    CloseHandle(companion);
    CheckInstalled(run);
    DWORD third = WindowProcess("Brackmoor");
    ASSERT_NE(0u, third);
    EXPECT_NE(second, third);
    EXPECT_EQ(third, FindProcessOfProgram(run.Program("brackmoor.exe").c_str()));
    EXPECT_TRUE(WaitUntil([&] {
        return ReadWholeFile(DataFolder() + "\\send2vorn.txt").find("Update Install") != std::string::npos;
    })) << "the update-install path";
    EXPECT_EQ(ProductVersion(run.Program("brackmoor.exe")), RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, "NewVersion"));

    // Two programs disabled through the monitor's alert: a Run value, which goes into
    // the Disabled store, and a startup-folder shortcut, which goes into the Disabled folder.
    for (const char *off : {"SuppressExtraAlerts", "ShowAlerts", "HideStartup", "Sound"})
        PutOption(off, "0");
    PutOption("RealtimeStartup", "1");
    PutOption("Start", "1");
    PutOption("Update", "1");
    run.linkTarget = WindowsFolder() + "\\notepad.exe";
    RegPut(HKEY_CURRENT_USER, kRun, "BmSetupHeld", run.command.c_str(), k64);
    ASSERT_TRUE(MakeShortcut(run.startup + "\\" + run.linkName, run.linkTarget));
    DisableNewEntries(third, 2);
    std::string heldLink = DataFolder() + "\\Disabled\\" + run.linkName;
    WaitUntil([&] { return PathExists(heldLink); });
    ASSERT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRun, "BmSetupHeld", k64));
    ASSERT_EQ(run.command, RegText(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY "\\Run", "BmSetupHeld"));
    ASSERT_TRUE(PathExists(heldLink));
    ASSERT_FALSE(PathExists(run.startup + "\\" + run.linkName));

    // The quiet uninstall string, run as a user's tool would; the uninstaller goes on
    // as a copy of itself, which is waited for.
    RegistryTree before = ReadRegistry();
    DWORD uninstaller = 0;
    ASSERT_EQ(0u, RunWait(RegText(HKEY_LOCAL_MACHINE, kUninstall, "QuietUninstallString", k64), &uninstaller));
    for (DWORD child : ChildProcesses(uninstaller))
        EXPECT_TRUE(WaitUntil([&] { return !ProcessRunning(child); }));
    EXPECT_FALSE(ProcessRunning(third)) << "the monitor was stopped";

    EXPECT_EQ(run.command, RegText(HKEY_CURRENT_USER, kRun, "BmSetupHeld", k64)) << "put back as it was";
    EXPECT_TRUE(PathExists(run.startup + "\\" + run.linkName));
    EXPECT_EQ(run.linkTarget + "|", ShortcutOf(run.startup + "\\" + run.linkName));
    EXPECT_FALSE(PathExists(heldLink));
    EXPECT_FALSE(PathExists(run.programs));
    EXPECT_FALSE(PathExists(run.menu));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRun, "Brackmoor", k64));
    EXPECT_FALSE(RegHasKey(HKEY_LOCAL_MACHINE, kUninstall, k64));
    // Silent mode keeps the settings and the history.
    EXPECT_TRUE(RegHasKey(HKEY_CURRENT_USER, OPTIONS_KEY));
    EXPECT_TRUE(PathExists(DataFolder() + "\\history.txt"));

    // Nothing else in the registry changed: the own Run value and the uninstall entry
    // are gone, the held program is back and its marker and stored copy are gone.
    std::vector<std::string> changes = RegistryChanges(before, ReadRegistry()), unexpected;
    for (const std::string &change : changes)
        if (!IsUninstallChange(change, "BmSetupHeld"))
            unexpected.push_back(change);
    EXPECT_TRUE(unexpected.empty()) << ::testing::PrintToString(unexpected);
    EXPECT_NE(changes.end(), std::find(changes.begin(), changes.end(), "- HKLM\\KEY\\" + Upper(kUninstall)));
}
