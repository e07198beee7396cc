// The timer's triggers and the scan pass's gating: when a pass starts, which
// categories it runs, and what stops it. Watchers are replaced by counters.
#include "support/test_env.h"

#include "common/tracelog.h"
#include "ui/alert.h"
#include "common/appstate.h"
#include "monitor/mainwindow.h"
#include "common/options.h"
#include "monitor/scan_cycle.h"
#include "monitor/timer.h"
#include "monitor/watcher_table.h"
#include "startup/delayed_start.h"
#include "startup/startup_alert.h"
#include "common/text.h"
#include "ui/tray.h"

static int gPasses, gStartupRuns, gRegOptionRuns, gServiceRuns, gTaskRuns;
static int gBusyState = 5;

class ScanCycleTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        gPasses = gStartupRuns = gRegOptionRuns = gServiceRuns = gTaskRuns = 0;
        gBusyState = 5;
        saved = gScanWatchers;
        gScanWatchers = ScanWatchers();
        // The real table's order, gating and options, with counters for steps.
        rows.assign(WatcherTable, WatcherTable + WatcherTableCount);
        for (WatcherDef &row : rows) {
            if (!(row.flags & WATCH_OWN_GATING))
                row.check = nullptr;
            row.init = nullptr;
        }
        Step("PART 3 ", [](ScanPass *) { return ++gPasses; });
        Step("PART 4 ", [](ScanPass *) { return ++gStartupRuns; });
        Step("PART 5 ", [](ScanPass *) { return ++gRegOptionRuns; });
        Step("PART 14 ", [](ScanPass *) { return ++gServiceRuns; });
        Step("PART 12 ", [](ScanPass *) { return ++gTaskRuns; });
        WatcherRows = rows.data();
        WatcherRowCount = (int)rows.size();
        UserBusyStateOverride = [] { return gBusyState; };
        giVerifyTicks = 0;
        giExpressCount = 0;
        giVerifyActive = 0;
        giGameMode = 0;
        bMsgOpen = 0;
        bTaskChange = 0;
        giRIDCount = 0;
        giTaskMessages = 0;
        QuickScanFlag = 0;
        AlertCount = 0;
        giDelayToLaunch = giDelayLaunched = 0;
        gdwVerifyBaseTick = GetTickCount() - 5000;
    }
    void TearDown() override
    {
        gScanWatchers = saved;
        WatcherRows = WatcherTable;
        WatcherRowCount = WatcherTableCount;
        UserBusyStateOverride = nullptr;
        BrackmoorTest::TearDown();
    }
    // One pass as the timer would start it, long enough after the last one.
    int Pass()
    {
        gdwVerifyBaseTick = GetTickCount() - 5000;
        return VerifyData();
    }
    void Ticks(int n)
    {
        for (int i = 0; i < n; i++) {
            gdwVerifyBaseTick = GetTickCount() - 5000;
            OnTimerTick();
        }
    }
    void Step(const char *stage, int (*check)(ScanPass *))
    {
        for (WatcherDef &row : rows)
            if (row.stage && strncmp(row.stage, stage, strlen(stage)) == 0)
                row.check = check;
    }
    ScanWatchers saved;
    std::vector<WatcherDef> rows;
};

TEST_F(ScanCycleTest, FirstPassOnTheSeventeenthTickOrAfterTheExpressDelay)
{
    Ticks(16);
    EXPECT_EQ(0, gPasses);
    Ticks(1);
    EXPECT_EQ(1, gPasses);
    EXPECT_EQ(0, giVerifyTicks);
    Ticks(16);
    EXPECT_EQ(1, gPasses);
    Ticks(1);
    EXPECT_EQ(2, gPasses);

    // "-express": not before 30 ticks.
    giVerifyTicks = 0;
    giExpressCount = 30;
    gPasses = 0;
    Ticks(29);
    EXPECT_EQ(0, gPasses);
    Ticks(1);
    EXPECT_EQ(1, gPasses);
}

TEST_F(ScanCycleTest, PassesAreRefusedWhenTooSoonBusyInGameModeOrDuringAnAlert)
{
    TraceToTempFile();
    EXPECT_EQ(1, Pass());
    EXPECT_EQ(1, gPasses);
    // A pass within 1000 ms of the last one ends at once.
    EXPECT_EQ(0, VerifyData());
    EXPECT_EQ(1, gPasses);
    EXPECT_EQ(0, giVerifyActive);
    EXPECT_EQ(1, TraceCount("Time under 1000"));

    // A user who is busy (presentation, full screen) gets no pass at all.
    for (int state : {1, 2, 3, 4}) {
        gBusyState = state;
        EXPECT_EQ(1, Pass());
        EXPECT_EQ(1, gPasses) << "state " << state;
        EXPECT_EQ(0, giVerifyActive);
    }
    gBusyState = 5;
    EXPECT_EQ(1, Pass());
    EXPECT_EQ(2, gPasses);

    // Game mode stops passes, not the timer.
    OnMainCommand(NULL, IDM_GAME_MODE, 0);
    EXPECT_EQ(1, giGameMode);
    giVerifyTicks = 0;
    Ticks(40);
    EXPECT_EQ(2, gPasses);
    EXPECT_LT(giVerifyTicks, 17) << "the timer still counts and restarts its passes";
    OnMainCommand(NULL, IDM_GAME_MODE, 0);
    EXPECT_EQ(1, Pass());
    EXPECT_EQ(3, gPasses);

    // An open alert refuses a nested pass; the timer does not even try while both flags are up.
    bMsgOpen = 1;
    EXPECT_EQ(1, Pass());
    EXPECT_EQ(3, gPasses);
    giVerifyActive = 1;
    giVerifyTicks = 16;
    Ticks(1);
    EXPECT_EQ(3, gPasses);
    EXPECT_GE(TraceCount("bMsgOpen: 1   giVerifyActive: 1"), 1);
}

TEST_F(ScanCycleTest, CountdownsDecideWhichCategoriesRun)
{
    // Real-time startup runs on every pass whatever its interval.
    PutOption("Start", "0");
    PutOption("RealtimeStartup", "1");
    ReadOptions();
    for (int i = 0; i < 4; i++)
        Pass();
    EXPECT_EQ(4, gStartupRuns);

    // Without real time, interval 3 runs on passes 3, 6 and 9 after the read.
    PutOption("Start", "3");
    PutOption("RealtimeStartup", "0");
    ReadOptions();
    std::vector<int> ranOn;
    for (int pass = 1; pass <= 9; pass++) {
        int before = gStartupRuns;
        Pass();
        if (gStartupRuns != before)
            ranOn.push_back(pass);
    }
    EXPECT_EQ((std::vector<int>{3, 6, 9}), ranOn);

    // "Start" 0 without real time switches the startup check off.
    PutOption("Start", "0");
    ReadOptions();
    int before = gStartupRuns;
    for (int i = 0; i < 3; i++)
        Pass();
    EXPECT_EQ(before, gStartupRuns);

    // Watched registry values have no off value: interval 0 runs on every pass.
    PutOption("RegOptions", "0");
    PutOption("RealtimeRegOptions", "0");
    ReadOptions();
    gRegOptionRuns = 0;
    for (int i = 0; i < 3; i++)
        Pass();
    EXPECT_EQ(3, gRegOptionRuns);

    // Tasks have no real-time option: an interval of 4 waits for the 4th pass.
    PutOption("Tasks", "4");
    ReadOptions();
    gTaskRuns = 0;
    for (int i = 0; i < 3; i++)
        Pass();
    EXPECT_EQ(0, gTaskRuns);
    Pass();
    EXPECT_EQ(1, gTaskRuns);
}

TEST_F(ScanCycleTest, ChangedOptionsAreReadAgainAndTheSignalCleared)
{
    Pass();
    EXPECT_EQ(1, gServiceRuns);
    PutOption("RealtimeServices", "0");
    PutOption("Services", "0");
    PutOption("Update", "1");
    Pass();
    EXPECT_EQ("0", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Update"));
    EXPECT_EQ(0, giRealtimeServices);
    int runs = gServiceRuns;
    for (int i = 0; i < 3; i++)
        Pass();
    EXPECT_EQ(runs, gServiceRuns) << "services are off after the re-read";
    // Without the signal the stored options are not looked at.
    PutOption("RealtimeServices", "1");
    Pass();
    EXPECT_EQ(0, giRealtimeServices);
}

TEST_F(ScanCycleTest, TaskChangeMessagesAndTheirChecks)
{
    OnTaskChangeMessage();
    OnTaskChangeMessage();
    EXPECT_EQ(0, bTaskChange);
    OnTaskChangeMessage();
    EXPECT_EQ(1, bTaskChange);
    EXPECT_EQ(0, giTaskMessages);

    TraceToTempFile();
    giVerifyTicks = 0;
    // Four ticks in a row that see a change: the check runs on three of them.
    for (int i = 0; i < 4; i++) {
        bTaskChange = 1;
        Ticks(1);
        EXPECT_EQ(0, bTaskChange);
    }
    EXPECT_EQ(3, TraceCount("Active Task Files:"));
    EXPECT_EQ(0, giRIDCount);
    // A tick without a change resets the run of checks.
    bTaskChange = 1;
    Ticks(1);
    EXPECT_EQ(1, giRIDCount);
    Ticks(1);
    EXPECT_EQ(0, giRIDCount);
    EXPECT_EQ(0, gPasses);

    // A changed number of running programs forces the real-time categories.
    giLastTaskCount = -1;
    giVerifyTicks = 0;
    CheckTaskChanges();
    EXPECT_EQ(16, giVerifyTicks);
    EXPECT_GT(giLastTaskCount, 0);
}

TEST_F(ScanCycleTest, SuppressionRunsDownOverThreePasses)
{
    PutOption("HideStartup", "0");
    ReadOptions();
    StartExtraAlertSuppression(ANSWER_REJECT);
    EXPECT_EQ(3, AlertCount);
    EXPECT_EQ(0, giShowAlerts);
    Pass();
    Pass();
    EXPECT_EQ(1, AlertCount);
    EXPECT_EQ(0, giShowAlerts);
    EXPECT_EQ(2, giHideStartup) << "the findings meanwhile are rejected like the first";
    Pass();
    EXPECT_EQ(0, AlertCount);
    EXPECT_EQ(1, giShowAlerts) << "the user's flags are back";
    EXPECT_EQ(0, giHideStartup);
}

TEST_F(ScanCycleTest, TrayIconAndMenu)
{
    ghMainWnd = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    giHideTobble = 1;
    EXPECT_EQ(0, TrayIconUpdate(TRAY_ICON_NORMAL, TRAY_TIP_IDLE, TRAY_ADD));
    bIconShown = 0;
    SetTrayStatus(TRAY_ICON_BUSY, 821);   // nothing to change, nothing breaks
    EXPECT_EQ(1, Pass());
    EXPECT_EQ(0, bIconShown) << "with HideTobble there is never an icon";
    giHideTobble = 0;
    EXPECT_NE(0, TrayIconUpdate(TRAY_ICON_NORMAL, TRAY_TIP_IDLE, TRAY_ADD));
    bIconShown = 1;
    EXPECT_NE(0, TrayIconUpdate(0, 0, TRAY_DELETE));
    bIconShown = 0;
    EXPECT_EQ(0, TrayIconUpdate(0, 0, TRAY_DELETE)) << "nothing to delete";

    // Commands carry their labels, separators none; the game-mode item offers the other state.
    HMENU menu = BuildTrayMenu();
    ASSERT_NE(nullptr, menu);
    int gameItem = -1;
    for (int i = 0; i < GetMenuItemCount(menu); i++) {
        char got[128] = "";
        GetMenuStringA(menu, i, got, sizeof(got), MF_BYPOSITION);
        UINT id = GetMenuItemID(menu, i);
        EXPECT_EQ(id != 0, got[0] != '\0') << "item " << i;
        if (id == IDM_GAME_MODE) {
            gameItem = i;
            EXPECT_EQ(LangText(1420), got);
        }
    }
    DestroyMenu(menu);
    giGameMode = 1;
    menu = BuildTrayMenu();
    char got[128] = "";
    GetMenuStringA(menu, gameItem, got, sizeof(got), MF_BYPOSITION);
    EXPECT_EQ(LangText(1419), got) << "game mode on offers to turn it off";
    DestroyMenu(menu);
    giGameMode = 0;
    DestroyWindow(ghMainWnd);
    ghMainWnd = NULL;
}

// The pass's own statuses reach the shell only when the pass lasts: a quick pass
// with nothing to ask sends no icon at all, a slow one shows the busy icon from the
// next stage on and ends with the normal one.
TEST_F(ScanCycleTest, OnlyALastingPassShowsItsBusyIcon)
{
    ghMainWnd = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    bIconShown = TrayIconUpdate(TRAY_ICON_NORMAL, TRAY_TIP_IDLE, TRAY_ADD);
    ASSERT_EQ(1, bIconShown);
    int sends = giTraySends;
    EXPECT_EQ(1, Pass());
    EXPECT_EQ(sends, giTraySends);
    Step("PART 5 ", [](ScanPass *) {
        Sleep(TRAY_PROGRESS_DELAY_MS + 50);
        return ++gRegOptionRuns;
    });
    EXPECT_EQ(1, Pass());
    EXPECT_EQ(sends + 2, giTraySends) << "busy once, normal at the end";
    TrayIconUpdate(0, 0, TRAY_DELETE);
    bIconShown = 0;
    DestroyWindow(ghMainWnd);
    ghMainWnd = NULL;
}

// The icon option falls back to the normal icon; command 6053 keeps the shown flag
// true to the icon; the start-up command starts the repeat count afresh.
TEST_F(ScanCycleTest, TrayIconStateFollowsTheIconAndStartUpForgetsTheLastAlert)
{
    for (const char *option : {"abc", "4711", "302"}) {
        PutOption("TrayIcon", option);
        EXPECT_EQ(option[0] == '3' ? 302 : TRAY_ICON_NORMAL, TrayIconOption()) << option;
    }
    ghMainWnd = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    bIconShown = 0;
    OnMainCommand(ghMainWnd, IDM_TRAY_ICON, 0);
    EXPECT_EQ(1, bIconShown) << "added again: shown";
    OnMainCommand(ghMainWnd, IDM_TRAY_ICON, 1);
    EXPECT_EQ(0, bIconShown) << "removed: not shown";
    giRepeatAlertCount = 2;
    CopyText(gszLastAlertPath, sizeof(gszLastAlertPath), "C:\\bm\\again.exe");
    OnMainCommand(ghMainWnd, IDM_STARTUP_COMMAND, 0);
    EXPECT_EQ(0, giRepeatAlertCount);
    EXPECT_STREQ("", gszLastAlertPath);
    KillTimer(ghMainWnd, MAIN_TIMER_ID);
    TrayIconUpdate(0, 0, TRAY_DELETE);
    DestroyWindow(ghMainWnd);
    ghMainWnd = NULL;
}

TEST_F(ScanCycleTest, HelpPagesByCommandAndLanguage)
{
    char page[MAX_PATH];
    const struct { int id; const char *name; } rows[] = {
        {6026, "startup.html"}, {6062, "defaultpage.html#start"}, {6067, "alert.html"}, {0, "features.html"},
        {6030, "features.html"}, {6051, "helpme.html"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        HelpPageName(rows[i].id, page, sizeof(page));
        EXPECT_STREQ(rows[i].name, page) << "row " << i;
    }
    // Not installed beside the program: the configured help site.
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "HelpSite", "http://127.0.0.1/help/");
    HelpPageTarget(6039, page, sizeof(page));
    EXPECT_STREQ("http://127.0.0.1/help/scheduler.html", page);
    // Installed beside the program: the local file wins.
    std::string local = BinFolder() + "\\reset.html";
    WriteWholeFile(local, "<html></html>");
    HelpPageTarget(6034, page, sizeof(page));
    EXPECT_EQ(local, std::string(page));
    DeleteFileA(local.c_str());
}
