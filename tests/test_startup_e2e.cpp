// The real monitor's startup watch in one run: each scenario puts an entry in place,
// answers its alert and reads the answer back from the system.
#include <windows.h>

#include <string>
#include <vector>

#include "common/options.h"
#include "resources/resource.h"
#include "startup/locations.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

std::string AlertCaption() { return LangText(718) + " - " + LangText(606); }

class StartupEndToEnd : public StartupPlacesTest {
protected:
    void SetUp() override
    {
        StartupPlacesTest::SetUp();
        PrepareStartupAlerts();
        folder_ = UseStartupFolder();
        // Copies of this program: started with the sleeper variable they only wait.
        for (const char *name : {"bmupdater.exe", "bmdelayed.exe"})
            ASSERT_TRUE(CopyFileA(ThisProgram().c_str(), (TempFolder() + "\\" + name).c_str(), FALSE));
        for (const char *file : {"C:\\Tools\\a=b\\x.exe", "C:\\Tools\\keep.exe"})
            WriteWholeFile(file, "MZ");
    }
    void TearDown() override
    {
        StopMonitor(run_);
        KillProgramsNamed("bmupdater.exe");
        KillProgramsNamed("bmdelayed.exe");
        RemoveTree("C:\\Tools");
        StartupPlacesTest::TearDown();
    }
    bool QuickScan() { return QuickScanPass(run_, "Brackmoor"); }
    // A Quick Scan that brings up the startup alert; passes_ counts the passes before it.
    HWND QuickScanAlert() { return QuickScanOrAlert(run_, {AlertCaption()}, &passes_); }
    // Presses the button and waits for the pass of the alert to end without another one.
    bool Answer(HWND alert, int button)
    {
        return PressToClose(alert, button) && WaitQuickScanDone(passes_, kPassWait, "Brackmoor", true);
    }
    // The alert of a Quick Scan shows path and sentence; the answer ends the pass.
    // A failure is reported at the caller's line.
    ::testing::AssertionResult AlertAndAnswer(const std::string &path, UINT sentence, int button)
    {
        HWND alert = QuickScanAlert();
        if (!alert)
            return ::testing::AssertionFailure() << "no alert for " << path;
        std::string shown = ControlText(alert, IDC_PATH), message = ControlText(alert, IDC_MESSAGE);
        if (!Answer(alert, button))
            return ::testing::AssertionFailure() << "the pass did not end after the answer about " << path;
        if (shown != path || message != StartupAlertText(sentence))
            return ::testing::AssertionFailure() << "the alert showed " << shown << ": " << message;
        return ::testing::AssertionSuccess();
    }

public:
    void DelayedProgramStartsAtItsStep();
    void RejectStopsAndRemovesAcceptKeeps();
    void AShortcutIsRejectedAndADisabledOneStaysOut();
    void WinIniItemAndUserinitProgram();

protected:

    MonitorRun run_;
    std::string folder_;
    int passes_ = 0;
};

const std::string kDelayKey = std::string(BRACKMOOR_KEY) + "\\Delay";

void StartupEndToEnd::DelayedProgramStartsAtItsStep()
{
    WaitUntil([] { return CountProcessesNamed("bmdelayed.exe") > 0; }, kPassWait);
    EXPECT_EQ(1, CountProcessesNamed("bmdelayed.exe")) << "started at step 10";
    KillProgramsNamed("bmdelayed.exe");
}

void StartupEndToEnd::RejectStopsAndRemovesAcceptKeeps()
{
    std::string updater = TempFolder() + "\\bmupdater.exe";
    HANDLE sleeper = StartSleeper(updater);
    ASSERT_NE(nullptr, sleeper);
    Put(HKCU, kRun, "Updater", "\"" + updater + "\" -quiet");
    ASSERT_TRUE(AlertAndAnswer(updater + " -quiet", 765, IDNO));
    EXPECT_FALSE(RegHasValue(HKCU, kRun, "Updater", k64));
    EXPECT_TRUE(WaitExit(sleeper, 10000)) << "the running program is ended";
    CloseHandle(sleeper);
    EXPECT_EQ(1, HistoryLinesWith({"START_Alert\tCURRENT_RUN\tUpdater\t"}));
    EXPECT_EQ(1, HistoryLinesWith({"*START_Remove\tCURRENT_RUN\tUpdater\t"}));
    // The user's own removal is no vanished startup program to be told about.
    for (int pass = 0; pass < 2; pass++)
        EXPECT_TRUE(QuickScan()) << "pass " << pass << " brings no notice";

    Put(HKCU, kRun, "BmKept", "\"C:\\bm\\kept.exe\" -tray");
    ASSERT_TRUE(AlertAndAnswer("C:\\bm\\kept.exe -tray", 765, IDYES));
    EXPECT_TRUE(QuickScan()) << "no second alert";
}

void StartupEndToEnd::AShortcutIsRejectedAndADisabledOneStaysOut()
{
    // Not a copy of this program: its version record names the product, which is never alerted.
    std::string target = TempFolder() + "\\bmlinked.exe", link = folder_ + "\\BmLinked.lnk";
    WriteWholeFile(target, "MZ");
    ASSERT_TRUE(MakeShortcut(link, target));
    ASSERT_TRUE(AlertAndAnswer(target, 768, IDNO));
    EXPECT_FALSE(PathExists(link));
    EXPECT_TRUE(PathExists(target)) << "the program itself is not the entry";

    // Disabled, the shortcut waits aside; put back by its program, it goes aside again.
    std::string parked = folder_ + "\\BmParked.lnk", aside = DataFolder() + "\\Disabled\\BmParked.lnk";
    ASSERT_TRUE(MakeShortcut(parked, target));
    ASSERT_TRUE(AlertAndAnswer(target, 768, IDC_DISABLE));
    EXPECT_TRUE(!PathExists(parked) && PathExists(aside));
    ASSERT_TRUE(MakeShortcut(parked, target));
    EXPECT_TRUE(QuickScan()) << "no alert for a disabled shortcut";
    EXPECT_TRUE(!PathExists(parked) && PathExists(aside));
}

void StartupEndToEnd::WinIniItemAndUserinitProgram()
{
    RegPut(HKCU, STARTUP_BASELINE_KEY, "C:\\Tools\\keep.exe", "100");
    WriteProfileStringA("windows", "load", "C:\\Tools\\a=b\\x.exe;C:\\Tools\\keep.exe");
    ASSERT_TRUE(AlertAndAnswer("C:\\Tools\\a=b\\x.exe", 767, IDNO));
    EXPECT_EQ(std::vector<std::string>{"C:\\Tools\\keep.exe"}, WinIniItems("load"));

    // A program added after Userinit's comma is asked about before its file exists.
    RegPut(HKLM, kWinlogon, "Userinit", (SystemFolder() + "\\userinit.exe,C:\\bm\\notyet.exe").c_str(), k64);
    ASSERT_TRUE(AlertAndAnswer("C:\\bm\\notyet.exe", 765, IDYES));
}

TEST_F(StartupEndToEnd, AlertsAndTheirAnswersInOneMonitorRun)
{
    std::string delayed = TempFolder() + "\\bmdelayed.exe";
    RegPut(HKCU, kDelayKey.c_str(), delayed.c_str(), "11");
    RegPut(HKCU, (kDelayKey + "\\Time").c_str(), delayed.c_str(), "10");
    AcceptStartupEntriesPresent();
    SetEnvironmentVariableA(kSleeperVariable, "1");   // what the monitor starts only waits
    ASSERT_TRUE(StartMonitor(run_));
    SetEnvironmentVariableA(kSleeperVariable, NULL);
    ASSERT_TRUE(QuickScan()) << "the first pass sees nothing new";

    for (auto scenario : {&StartupEndToEnd::DelayedProgramStartsAtItsStep,
                          &StartupEndToEnd::RejectStopsAndRemovesAcceptKeeps,
                          &StartupEndToEnd::AShortcutIsRejectedAndADisabledOneStaysOut,
                          &StartupEndToEnd::WinIniItemAndUserinitProgram}) {
        (this->*scenario)();
        if (HasFatalFailure())
            return;
    }

    // What was accepted stays known across a restart.
    ASSERT_TRUE(StopMonitor(run_));
    ASSERT_TRUE(StartMonitor(run_));
    EXPECT_TRUE(QuickScan()) << "no alert after a restart";
    EXPECT_EQ("\"C:\\bm\\kept.exe\" -tray", RegText(HKCU, kRun, "BmKept", k64));
}

} // namespace
