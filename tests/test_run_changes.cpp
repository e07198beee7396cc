// The startup check in this process: dialogs 131 and 192, their answers and the silent
// decisions; dialogs are answered by a thread that finds them as a user would.
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "common/detection.h"
#include "common/registry.h"
#include "common/text.h"
#include "ui/alert.h"
#include "common/appstate.h"
#include "common/options.h"
#include "monitor/scan_cycle.h"
#include "monitor/timer.h"
#include "monitor/watcher_table.h"
#include "ui/tray.h"
#include "online/keel_info.h"
#include "resources/resource.h"
#include "startup/locations.h"
#include "startup/run_changes.h"
#include "startup/startup_actions.h"
#include "startup/startup_scan.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"

// The list the routines under test fill and read.
static OwnedRunList gList;

namespace {

const char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kRunServices[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kNotify[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify";
const char kDelay[] = "Software\\Dunmere Works\\Brackmoor\\Delay";

std::string Marker(const char *name) { return RegText(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY, name); }

std::vector<int> gHelpPages;

class RunChangesTest : public StartupPlacesTest {
protected:
    void SetUp() override
    {
        StartupPlacesTest::SetUp();
        giSuppressExtraAlerts = giSound = giRepeatAlertCount = RemovalQuietScans = 0;
        giShowAlerts = 0;   // its default (1) shows every alert whatever a test sets
        gszLastAlertPath[0] = '\0';
        gHelpPages.clear();
        AlertHelpOpener = [](int id) { gHelpPages.push_back(id); };
        notifyExisted_ = RegHasKey(HKEY_LOCAL_MACHINE, kNotify, k64);
        AcceptStartupEntriesPresent();
    }
    void TearDown() override
    {
        std::string notify = notifyExisted_ ? std::string(kNotify) + "\\BmNotify" : kNotify;
        RegDeleteTreeView(HKEY_LOCAL_MACHINE, notify.c_str(), k64);
        AlertHelpOpener = OpenHelpPage;
        StartupPlacesTest::TearDown();
    }
    bool HasRun(const char *key, const char *name) { return RegHasValue(HKEY_CURRENT_USER, key, name, k64); }
    std::string Baseline(const std::string &k) { return RegText(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, k.c_str()); }
    std::string Stored(const char *name) { return RegText(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY "\\Run", name); }
    // One startup check, its dialogs answered by the script.
    std::vector<SeenDialog> Check(std::vector<std::vector<int>> script = {})
    {
        DialogDriver driver(std::move(script));
        ScanPass pass = {};
        StartupCheck(&pass);
        EndScanPass(&pass);
        return driver.Stop();
    }
    bool notifyExisted_ = false;
};

TEST_F(RunChangesTest, HiddenAlertsDecideSilentlyAndLoggedAndShowAlertsAlwaysAsks)
{
    struct Row { int showAlerts, hideStartup; bool dialog, kept; } rows[] = {
        {0, 0, true, true}, {0, 1, false, true}, {0, 2, false, false}, {1, 1, true, true}, {1, 2, true, true}};
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        SCOPED_TRACE("row " + std::to_string(r));
        std::string name = "BmSilent" + std::to_string(r), path = "C:\\bm\\silent" + std::to_string(r) + ".exe";
        Put(HKCU, kRun, name, path);
        giShowAlerts = rows[r].showAlerts;
        giHideStartup = rows[r].hideStartup;
        RemovalQuietScans = 0;
        EXPECT_EQ(rows[r].dialog ? 1u : 0u, Check({{IDYES}}).size());
        EXPECT_EQ(rows[r].kept, HasRun(kRun, name.c_str()));
        EXPECT_EQ(rows[r].kept ? "11" : "", Baseline(path));
        EXPECT_EQ(rows[r].kept ? 0 : 8, RemovalQuietScans);
        EXPECT_EQ(!rows[r].kept, HistoryHas("*START_Remove\tCURRENT_RUN\t" + name));
        // Asked or not, the decision is in the history.
        EXPECT_TRUE(HistoryHas("START_Alert\tCURRENT_RUN\t" + name));
        EXPECT_EQ(0, bMsgOpen);
    }
}

TEST_F(RunChangesTest, ProductNamesAreSkippedAndHideRunOnceEndsThePass)
{
    const char *skipped[] = {"McAfee Application Installer Cleanup (0)", "MCINST loader", "my brackmoor helper"};
    giHideStartup = 1;
    for (size_t r = 0; r < 3; r++)
        Put(HKCU, kRun, skipped[r], "C:\\bm\\skipped" + std::to_string(r) + ".exe");
    Put(HKCU, kRun, "BmBefore", "C:\\bm\\before.exe");
    Put(HKCU, kRunOnce, "BmOnce", "C:\\bm\\once.exe");
    Put(HKCU, kRunServices, "BmAfter", "C:\\bm\\after.exe");
    struct Row { int hideRunOnce; const char *once, *after; } rows[] = {{1, "", ""}, {0, "12", "14"}};
    for (size_t r = 0; r < 2; r++) {
        SCOPED_TRACE("row " + std::to_string(r));
        giHideRunOnce = rows[r].hideRunOnce;
        EXPECT_TRUE(Check().empty());
        EXPECT_EQ("11", Baseline("C:\\bm\\before.exe"));
        EXPECT_EQ(rows[r].once, Baseline("C:\\bm\\once.exe"));
        EXPECT_EQ(rows[r].after, Baseline("C:\\bm\\after.exe"));
        for (size_t s = 0; s < 3; s++)
            EXPECT_EQ("", Baseline("C:\\bm\\skipped" + std::to_string(s) + ".exe")) << "skipped " << s;
    }
}

TEST_F(RunChangesTest, AMarkedNameIsTakenOutWithoutADialogAndTheRestWaits)
{
    std::string marked = UseStartupFolder() + "\\bmmarked.bat", later = TempFolder() + "\\bmlater.exe";
    WriteWholeFile(marked, "@echo off\r\n");
    WriteWholeFile(later, "MZ");
    WriteProfileStringA("windows", "load", later.c_str());
    // Disabled before: marked, and its file waits aside.
    RegPut(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY, "bmmarked", "200");
    WriteWholeFile(DataFolder() + "\\Disabled\\bmmarked.bat", "@echo older\r\n");
    giShowAlerts = 1;
    EXPECT_TRUE(Check().empty()) << "no alert for the disabled program, none for the rest";
    // Back where it was disabled from, it goes aside again and stays disabled.
    EXPECT_FALSE(PathExists(marked));
    EXPECT_EQ("@echo off\r\n", ReadWholeFile(DataFolder() + "\\Disabled\\bmmarked.bat"));
    EXPECT_EQ("200", Marker("bmmarked"));
    EXPECT_TRUE(HistoryHas("START_Disable\tGROUP_STARTUP\tbmmarked"));
    EXPECT_EQ("", Baseline(later));
    // The entry that waited comes with the next check, as a win.ini entry.
    std::vector<SeenDialog> seen = Check({{IDYES}});
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(later, seen[0].path);
    EXPECT_EQ(StartupAlertText(767), seen[0].message);
    EXPECT_EQ("100", Baseline(later));
}

// Dialog 192: a delayed program that put itself back.
TEST_F(RunChangesTest, ADelayedProgramBackInItsPlaceIsRestoredOrKeptDelayed)
{
    const char data[] = "\"C:\\bm\\delayed.exe\"", path[] = "C:\\bm\\delayed.exe";
    const std::string delayKeys[] = {kDelay, std::string(kDelay) + "\\Time", std::string(kDelay) + "\\Title"};
    struct Row { int showAlerts, hideStartup, button; bool dialog, backToNormal; } rows[] = {
        {1, 0, IDYES, true, true}, {0, 0, IDNO, true, false}, {0, 1, 0, false, true}, {0, 2, 0, false, false}};
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        SCOPED_TRACE("row " + std::to_string(r));
        RegDeleteTreeView(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\Brackmoor\\Disabled");
        Put(HKCU, kRun, "BmDelayed", data);
        RegPut(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, path, "1103");
        for (const std::string &key : delayKeys)
            RegPut(HKEY_CURRENT_USER, key.c_str(), path, "11");
        giShowAlerts = rows[r].showAlerts;
        giHideStartup = rows[r].hideStartup;
        std::vector<SeenDialog> seen = Check({{rows[r].button}});
        ASSERT_EQ(rows[r].dialog ? 1u : 0u, seen.size());
        EXPECT_TRUE(!rows[r].dialog || seen[0].caption == LangText(1023)) << seen[0].caption;
        // Yes makes it known; No keeps the delay mark, so that it is asked about
        // again under any name; both answers are in the history.
        EXPECT_EQ(rows[r].backToNormal ? "11" : "1103", Baseline(path));
        EXPECT_TRUE(HistoryHas(rows[r].backToNormal ? "START_Enable\tCURRENT_RUN\tBmDelayed" : "START_Disable\tCURRENT_RUN\tBmDelayed"));
        // Yes takes it off the delayed list; No keeps it there and stores the entry as it stood.
        EXPECT_EQ(rows[r].backToNormal, HasRun(kRun, "BmDelayed"));
        for (const std::string &key : delayKeys)
            EXPECT_EQ(!rows[r].backToNormal, RegHasValue(HKEY_CURRENT_USER, key.c_str(), path)) << key;
        EXPECT_EQ(rows[r].backToNormal ? "" : data, Stored("BmDelayed"));
        EXPECT_EQ(rows[r].backToNormal ? "" : "11", Marker("BmDelayed"));
        EXPECT_EQ(0, bMsgOpen);
    }
}

// Dialog 131: the program's product name, where it starts from, the history line.
TEST_F(RunChangesTest, TheAlertShowsTheProgramAndWhereItStartsFrom)
{
    std::string batch = UseStartupFolder() + "\\bmshown.bat", regedit = WindowsFolder() + "\\regedit.exe";
    static VersionRecord version;
    ASSERT_TRUE(GetVersionInfo(regedit.c_str(), &version) && version.ProductName[0]) << "a program with a name";
    WriteWholeFile(batch, "@echo off\r\n");
    Put(HKCU, kRun, "BmShown", regedit);
    Put(HKCU, kRunOnce, "BmShownOnce", "C:\\bm\\shownonce.exe");
    struct Row { std::string path, name; UINT sentence; const char *type; } rows[] = {
        {regedit, version.ProductName, 765, "CURRENT_RUN"}, {"C:\\bm\\shownonce.exe", "", 766, "CURRENT_RUNONCE"},
        {batch, "", 768, "GROUP_STARTUP"}};
    giShowAlerts = 1;
    std::vector<SeenDialog> seen = Check();
    ASSERT_EQ(3u, seen.size());
    for (size_t r = 0; r < 3; r++) {
        SCOPED_TRACE("row " + std::to_string(r));
        EXPECT_EQ(LangText(718) + " - " + LangText(606), seen[r].caption);
        EXPECT_EQ(rows[r].path + "|" + rows[r].name, seen[r].path + "|" + seen[r].name);
        EXPECT_EQ(StartupAlertText(rows[r].sentence), seen[r].message);
        EXPECT_FALSE(seen[r].checkVisible);
        EXPECT_TRUE(HistoryHas(std::string("START_Alert\t") + rows[r].type + "\t") && HistoryHas("\t" + rows[r].path + "\t"));
    }
}

TEST_F(RunChangesTest, TheRepeatCounterTurnsAcceptAndRejectIntoDisable)
{
    const char data[] = "\"C:\\bm\\repeat.exe\" -again", path[] = "C:\\bm\\repeat.exe -again";
    // The fourth alert in a row accepted, the third rejected, fewer; another program between.
    struct Row { int preset; bool samePath; int button; bool disabled, kept; int counterAfter; } rows[] = {
        {2, true, IDYES, true, false, 0}, {1, true, IDNO, true, false, 0}, {1, true, IDYES, false, true, 2},
        {0, true, IDNO, false, false, 1}, {5, false, IDYES, true, false, 0}};
    giShowAlerts = 1;
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        SCOPED_TRACE("row " + std::to_string(r));
        RegDeleteTreeView(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\Brackmoor\\Disabled");
        RegRemoveValue(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, path);
        gHelpPages.clear();
        Put(HKCU, kRun, "BmRepeat", data);
        giRepeatAlertCount = rows[r].preset;
        CopyText(gszLastAlertPath, sizeof(gszLastAlertPath), rows[r].samePath ? path : "C:\\bm\\other.exe");
        ASSERT_EQ(1u, Check({{rows[r].button}}).size());
        EXPECT_EQ(rows[r].counterAfter, giRepeatAlertCount);
        EXPECT_EQ(rows[r].kept, HasRun(kRun, "BmRepeat"));
        EXPECT_EQ(rows[r].disabled ? data : "", Stored("BmRepeat"));
        EXPECT_EQ(rows[r].disabled ? "11" : "", Marker("BmRepeat"));
        EXPECT_EQ(rows[r].disabled ? std::vector<int>{HELP_PAGE_HELPME} : std::vector<int>{}, gHelpPages);
        EXPECT_EQ(rows[r].disabled ? "" : path, std::string(gszLastAlertPath));
    }
}

// Disable: out now, out again whenever it comes back, restorable as it was. Row 1
// is disabled by the dialog itself (the third reject); the pass stores the whole command.
TEST_F(RunChangesTest, ADisabledEntryComesBackInVainAndIsRestoredAsItWas)
{
    const char data[] = "\"C:\\bm\\dis able.exe\" -run=1";
    const std::vector<std::vector<std::vector<int>>> rows = {{{IDC_DISABLE}}, {{IDNO}, {IDNO}, {IDNO}}};
    giShowAlerts = 1;
    for (size_t r = 0; r < rows.size(); r++) {
        SCOPED_TRACE("row " + std::to_string(r));
        giRepeatAlertCount = 0;
        gszLastAlertPath[0] = '\0';
        RegRemoveValue(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, "C:\\bm\\dis able.exe -run:1");
        for (const auto &answer : rows[r]) {
            Put(HKCU, kRun, "BmDisable", data);
            ASSERT_EQ(1u, Check({answer}).size());
            EXPECT_FALSE(HasRun(kRun, "BmDisable"));
        }
        EXPECT_EQ(8, RemovalQuietScans);
        EXPECT_EQ("11", Marker("BmDisable"));
        for (int again = 0; again < 2; again++) {
            Put(HKCU, kRun, "BmDisable", data);
            EXPECT_TRUE(Check().empty()) << "it writes itself back: taken out without asking";
            EXPECT_FALSE(HasRun(kRun, "BmDisable"));
            EXPECT_EQ(data, Stored("BmDisable"));
        }
        // Under another name it is another entry: asked about, not taken in unseen.
        Put(HKCU, kRun, "BmDisableRenamed", data);
        EXPECT_EQ(1u, Check({{IDNO}}).size());
        EXPECT_EQ(1, DisableRunProgram("BmDisable", Stored("BmDisable").c_str(), "", 11));
        EXPECT_EQ(data, RegText(HKEY_CURRENT_USER, kRun, "BmDisable", k64));
        EXPECT_EQ("", Marker("BmDisable"));
        EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY "\\Run", "BmDisable"));
        EXPECT_TRUE(Check().empty()) << "restored, it is known";
    }
    // A startup-folder file waits aside in the data folder, is no new entry there, and goes back.
    std::string file = UseStartupFolder() + "\\bmfolder.bat", aside = DataFolder() + "\\Disabled\\bmfolder.bat";
    WriteWholeFile(file, "@echo off\r\n");
    ASSERT_EQ(1u, Check({{IDC_DISABLE}}).size());
    EXPECT_FALSE(PathExists(file));
    EXPECT_EQ("@echo off\r\n", ReadWholeFile(aside));
    EXPECT_EQ("200", Marker("bmfolder"));
    EXPECT_TRUE(Check().empty()) << "the file aside is no new entry";
    WriteWholeFile(file, "@echo again\r\n");
    EXPECT_TRUE(Check().empty()) << "put back by its program, it goes aside again unasked";
    EXPECT_FALSE(PathExists(file));
    EXPECT_EQ(1, DisableRunProgram("bmfolder", file.c_str(), file.c_str(), 200));
    EXPECT_EQ("@echo again\r\n", ReadWholeFile(file));
    EXPECT_EQ("", Marker("bmfolder"));
}

TEST_F(RunChangesTest, RejectingANotifyEntryDisablesItsDll)
{
    std::string key = std::string(kNotify) + "\\BmNotify";
    RegPut(HKEY_LOCAL_MACHINE, key.c_str(), "DllName", "bmnotify.dll", k64);
    giShowAlerts = 1;
    TraceToTempFile();
    std::vector<SeenDialog> seen = Check({{IDNO}});
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("bmnotify.dll", seen[0].path);
    int kills = 0;
    for (const std::string &line : TraceEntries())
        kills += line.find("KillStartupTask: ") != std::string::npos;
    EXPECT_EQ(1, kills) << "the program is ended once per answer";
    EXPECT_EQ("", RegText(HKEY_LOCAL_MACHINE, key.c_str(), "DllName", k64)) << "Winlogon no longer loads it";
    EXPECT_EQ("bmnotify.dll", RegText(HKEY_LOCAL_MACHINE, key.c_str(), "OldName", k64));
    EXPECT_EQ("256", Marker("BmNotify"));
}

// A value name longer than the list keeps is acted on whole; one that the ANSI
// calls cannot spell is left as it is (nothing logged or marked in a false name)
// and is asked about again.
TEST_F(RunChangesTest, LongAndUnspellableValueNamesAreActedOnWholeOrNotAtAll)
{
    const std::string longName(300, 'L'), data = "C:\\bm\\longname.exe";
    giShowAlerts = 1;
    Put(HKCU, kRun, longName, data);
    ASSERT_EQ(1u, Check({{IDC_DISABLE}}).size());
    EXPECT_FALSE(HasRun(kRun, longName.c_str()));
    EXPECT_EQ(data + "|11", Stored(longName.c_str()) + "|" + Marker(longName.c_str()));
    Put(HKCU, kRun, longName, data);
    EXPECT_TRUE(Check().empty()) << "back under its whole name, it is taken out";
    EXPECT_FALSE(HasRun(kRun, longName.c_str()));

    const wchar_t wide[] = L"Bm\x4E00Wide";
    HKEY run;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kRun, 0, KEY_ALL_ACCESS | k64, &run));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(run, wide, 0, REG_SZ, (const BYTE *)L"C:\\bm\\wide.exe", 30));
    for (int answer : {IDNO, IDC_DISABLE}) {
        EXPECT_EQ(1u, Check({{answer}}).size()) << "answer " << answer;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(run, wide, NULL, NULL, NULL, NULL)) << "answer " << answer;
    }
    RegDeleteValueW(run, wide);
    RegCloseKey(run);
    EXPECT_FALSE(HistoryHas("*START_Remove\tCURRENT_RUN\tBm?Wide") || HistoryHas("START_Disable\tCURRENT_RUN\tBm?Wide"));
    EXPECT_EQ("", Marker("Bm?Wide"));
}

// The extra-alert suppression answers the next findings as the user answered.
TEST_F(RunChangesTest, FurtherFindingsAreAnsweredTheWayTheFirstWas)
{
    giSuppressExtraAlerts = 1;
    for (int button : {IDYES, IDNO}) {
        SCOPED_TRACE("button " + std::to_string(button));
        std::string first = "BmFirst" + std::to_string(button), second = "BmSecond" + std::to_string(button);
        Put(HKCU, kRun, first, "C:\\bm\\" + first + ".exe");
        Put(HKCU, kRun, second, "C:\\bm\\" + second + ".exe");
        giShowAlerts = giHideStartup = AlertCount = 0;
        EXPECT_EQ(1u, Check({{button}}).size());
        for (const std::string &name : {first, second}) {
            EXPECT_EQ(button == IDYES, HasRun(kRun, name.c_str())) << name;
            EXPECT_TRUE(HistoryHas("START_Alert\tCURRENT_RUN\t" + name)) << name;
            EXPECT_EQ(button == IDNO, HistoryHas("*START_Remove\tCURRENT_RUN\t" + name)) << name;
        }
        SetHideExtraState(HIDEEXTRA_RESTORE);
    }
}

// The Info button asks under the startup category, so the request carries the
// date the program was first seen.
TEST_F(RunChangesTest, TheInfoButtonAsksWithTheStartupDetectionDate)
{
    static std::string asked;
    std::string program = TempFolder() + "\\bminfo.exe";
    WriteWholeFile(program, "MZ");
    Put(HKCU, kRun, "BmInfo", program);
    PutOption("KeelFormat", "1");
    KeelOpener = [](const char *target, int shortcut) -> INT_PTR {
        asked = shortcut ? ReadWholeFile(target) : target;
        return 33;
    };
    giShowAlerts = 1;
    Check({{IDC_INFO, IDYES}});
    KeelOpener = KeelOpenWithShell;
    std::string date = RegText(HKEY_CURRENT_USER, DETECTED_STARTUP_KEY, Upper(program).c_str());
    for (size_t p; (p = date.find(' ')) != std::string::npos;)
        date.replace(p, 1, "%20");
    ASSERT_FALSE(date.empty());
    EXPECT_NE(std::string::npos, asked.find("&Type=1070&")) << asked;
    EXPECT_NE(std::string::npos, asked.find("&detected=" + date + "&")) << asked;
}

} // namespace

// Timer ticks arrive while an alert of the pass is open. A task change and the
// idle clean-up that fall due then wait for the pass: neither replaces the list it
// walks (a running program would be alerted as a startup entry) nor rebuilds the
// baseline under it (the second new entry would be taken in unasked).
static std::vector<std::string> gNestedPaths;
static HWND gLastAnswered;
// Runs in the alert's own message loop: the first time an alert is open it
// delivers three ticks with the task change and the idle clean-up due, then it
// notes each alert's path and accepts it.
static void CALLBACK TickDuringAlert(HWND, UINT, UINT_PTR, DWORD)
{
    HWND d = FindThreadDialog(GetCurrentThreadId());
    if (!bMsgOpen || !d || d == gLastAnswered)
        return;
    if (gNestedPaths.empty()) {
        for (int i = 0; i < 3; i++) {
            bTaskChange = 1;
            giRIDCount = 0;
            giVerifyTicks = 0;
            giIdleTicks = 1500;   // the idle check's tick
            OnTimerTick();
        }
    }
    gNestedPaths.push_back(ControlText(d, IDC_PATH));
    gLastAnswered = d;
    PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), (LPARAM)GetDlgItem(d, IDYES));
}

TEST_F(RunChangesTest, TicksDuringAnAlertLeaveThePassItsEntries)
{
    Put(HKCU, kRun, "BmNestFirst", "C:\\bm\\nestfirst.exe");
    Put(HKCU, kRun, "BmNestSecond", "C:\\bm\\nestsecond.exe");
    giShowAlerts = 1;
    giRealtimeStartup = 1;
    UserBusyStateOverride = [] { return 5; };
    // The pass with the startup row alone, so that only its alerts open.
    std::vector<WatcherDef> rows;
    for (int i = 0; i < WatcherTableCount; i++)
        if (WatcherTable[i].check == StartupCheck)
            rows.push_back(WatcherTable[i]);
    WatcherRows = rows.data();
    WatcherRowCount = (int)rows.size();
    gNestedPaths.clear();
    gLastAnswered = NULL;
    UINT_PTR timer = SetTimer(NULL, 0, 50, TickDuringAlert);
    gdwVerifyBaseTick = GetTickCount() - 5000;
    VerifyData();
    KillTimer(NULL, timer);
    WatcherRows = WatcherTable;
    WatcherRowCount = WatcherTableCount;
    UserBusyStateOverride = nullptr;

    EXPECT_EQ((std::vector<std::string>{"C:\\bm\\nestfirst.exe", "C:\\bm\\nestsecond.exe"}), gNestedPaths);
    EXPECT_EQ(1, bTaskChange) << "the task change waits for the pass";
    EXPECT_EQ(1500, giIdleTicks) << "the idle clean-up waits at its tick";
    OnTimerTick();
    EXPECT_EQ(1501, giIdleTicks) << "and runs on the first tick after the pass";
}
