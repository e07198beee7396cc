// The real monitor as a user meets it: hidden window and icon, Quick Scan, the companion
// from a command, the exit question, and no process left behind.
#include "support/e2e.h"
#include "support/test_env.h"

class MonitorEndToEnd : public BrackmoorTest {
protected:
    void TearDown() override
    {
        StopMonitor(run);
        KillProgramsNamed("brackmoor.exe");
        KillProgramsNamed("BrackmoorEx.exe");
        BrackmoorTest::TearDown();
    }
    MonitorRun run;
};

TEST_F(MonitorEndToEnd, StartsScansOpensTheCompanionAndExitsOnRequest)
{
    ASSERT_TRUE(StartMonitor(run));
    EXPECT_FALSE(IsWindowVisible(run.window));
    EXPECT_TRUE(WaitForTrace("Timer set to 2000", 15000));
    EXPECT_TRUE(TraceHas("NIM_ADD"));
    EXPECT_FALSE(TraceHas("Failure when calling this function")) << "the tray icon was added";

    SendMonitorCommand(run, 6074);
    EXPECT_TRUE(WaitForTrace("QUICK SCAN", 10000));
    EXPECT_TRUE(WaitForTrace("QUICKSCAN DONE", 20000)) << "Quick Scan leads to a pass on the next tick";
    EXPECT_TRUE(TraceHas("PART 21 DONE"));

    SendMonitorCommand(run, 6027);   // About: the companion's "-KEEL" page
    EXPECT_NE(nullptr, WaitForWindow("BrackmoorExplorer", NULL, 20000));
    EXPECT_TRUE(WaitForTrace("-KEEL", 5000));

    DWORD pid = run.pid;
    EXPECT_TRUE(StopMonitor(run));
    EXPECT_FALSE(ProcessRunning(pid));
    EXPECT_EQ(0, CountProcessesNamed("brackmoor.exe"));
    EXPECT_TRUE(TraceHas("Application Exit"));
}

TEST_F(MonitorEndToEnd, ConfirmExitNoKeepsTheMonitorAndRestartsTheCompanion)
{
    PutOption("ConfirmExit", "1");
    ASSERT_TRUE(StartMonitor(run));
    SendMonitorCommand(run, 6030);
    HWND box = WaitForDialog("Brackmoor", 15000);
    ASSERT_NE(nullptr, box) << "the exit question";
    EXPECT_NE(std::string::npos, DialogTexts(box).find(LangText(17)));
    PressButton(box, IDNO);
    EXPECT_NE(nullptr, WaitForWindow("BrackmoorExplorer", NULL, 20000)) << "companion started with -RESTART";
    Sleep(1500);
    EXPECT_TRUE(ProcessRunning(run.pid)) << "No keeps the monitor running";
    EXPECT_EQ(run.window, FindWindowA("Brackmoor", NULL));

    // Closing the window asks too; No leaves window, timer and single instance as they were.
    PostMessageA(run.window, WM_CLOSE, 0, 0);
    box = WaitForDialog("Brackmoor", 15000);
    ASSERT_NE(nullptr, box) << "the exit question on closing";
    ASSERT_TRUE(PressToClose(box, IDNO));
    EXPECT_EQ(run.window, FindWindowA("Brackmoor", NULL));
    EXPECT_TRUE(QuickScanPass(run, "Brackmoor")) << "the timer still drives passes";
    EXPECT_EQ(0u, RunProgramWait("brackmoor.exe", "", 20000)) << "a second start still finds the first";
    EXPECT_TRUE(ProcessRunning(run.pid));

    // Yes lets it go.
    RunProgramWait("brackmoor.exe", "-Q", 20000);
    box = WaitForDialog("Brackmoor", 15000);
    ASSERT_NE(nullptr, box);
    PressButton(box, IDYES);
    EXPECT_TRUE(WaitExit(run.process, 20000));
}
