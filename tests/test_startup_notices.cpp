// The missing-startup and uninstall notices: what disappears, what the notice
// shows, what its check box does to the watcher, and that a disappearance is
// told once. Entries are made and removed "by another tool": straight through
// the registry, not through the code under test.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/registry.h"
#include "monitor/alert.h"
#include "monitor/appstate.h"
#include "monitor/options.h"
#include "monitor/scan_cycle.h"
#include "resources/resource.h"
#include "startup/locations.h"
#include "startup/missing_notices.h"
#include "startup/runlist.h"
#include "startup/startup_scan.h"
#include "support/e2e.h"
#include "support/test_env.h"

namespace {

const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kActiveRun[] = "Software\\Dunmere Works\\Brackmoor\\ActiveRun";
const REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

// Every uninstall entry and Run value the tests make; the fixture removes them
// in both views, whatever a test got to.
const char *const kEntries[] = {"BrackmoorTestApp", "BrackmoorTestApp2", "BrackmoorMsTest"};
const char *const kRunValues[] = {"NoticeToolOne", "NoticeToolTwo", "NoticeToolThree"};

std::string LangText(UINT id)
{
    char text[1024] = "";
    LoadStringA(GetModuleHandleA(NULL), id, text, sizeof(text));
    return text;
}

std::string UninstallEntry(const char *name)
{
    return std::string(kUninstall) + "\\" + name;
}

void RemoveTestEntries()
{
    for (REGSAM view : kViews) {
        for (const char *entry : kEntries) {
            RegDeleteTreeView(HKEY_CURRENT_USER, UninstallEntry(entry).c_str(), view);
            RegDeleteTreeView(HKEY_LOCAL_MACHINE, UninstallEntry(entry).c_str(), view);
        }
        for (const char *value : kRunValues)
            RegRemoveValue(HKEY_CURRENT_USER, kRun, value, view);
    }
}

// What a helper thread saw of notice 194 while the check ran on this thread.
struct NoticeSeen {
    int count = 0;
    std::string caption, text, hint, name, path, check;
    bool checkedAtStart = true;
    RECT rect = {};
};

enum NoticeAnswer { PRESS_OK, TICK_AND_OK, CLOSE_BOX };

// Runs one check; any notice 194 that opens meanwhile is read and answered.
int RunCheck(int (*check)(void), NoticeAnswer answer, NoticeSeen &seen)
{
    std::atomic<bool> done(false);
    std::thread driver([&] {
        while (!done) {
            HWND dialog = WaitForDialog("Brackmoor Notification", 0, true);
            if (!dialog) {
                Sleep(50);
                continue;
            }
            seen.count++;
            char caption[256] = "";
            GetWindowTextA(dialog, caption, sizeof(caption));
            seen.caption = caption;
            GetWindowRect(dialog, &seen.rect);
            seen.text = ControlText(dialog, IDC_NOTICE_TEXT);
            seen.hint = ControlText(dialog, IDC_NOTICE_HINT);
            seen.name = ControlText(dialog, IDC_NOTICE_NAME);
            seen.path = ControlText(dialog, IDC_NOTICE_PATH);
            seen.check = ControlText(dialog, IDC_CHECK);
            HWND box = GetDlgItem(dialog, IDC_CHECK);
            seen.checkedAtStart = SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
            if (answer == TICK_AND_OK)
                SendMessageA(box, BM_SETCHECK, BST_CHECKED, 0);
            if (answer == CLOSE_BOX)
                PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            else
                PressButton(dialog, IDOK);
            while (!done && IsWindow(dialog))
                Sleep(20);
        }
    });
    int result = check();
    done = true;
    driver.join();
    return result;
}

class StartupNoticeTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        RemoveTestEntries();
        bMsgOpen = 0;
        AlertCount = 0;
        giShowAlerts = 1;
        giRealtimeUninstall = 1;
        giRealtimeMissingRun = 1;
    }
    void TearDown() override
    {
        RemoveTestEntries();
        AlertCount = 0;
        bMsgOpen = 0;
        BrackmoorTest::TearDown();
    }
};

// ---------------------------------------------------------------------------
// Uninstall entries

struct UninstallPlace {
    HKEY root;
    REGSAM view;
    const char *baseline;
};
const UninstallPlace kPlaces[] = {
    {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "Software\\Dunmere Works\\Brackmoor\\UnInstall"},
    {HKEY_CURRENT_USER, 0, "Software\\Dunmere Works\\Brackmoor\\UnInstallUSER"},
    {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "Software\\Dunmere Works\\Brackmoor\\UnInstall64"},
};

TEST_F(StartupNoticeTest, AVanishedUninstallEntryOfEachListGetsOneNotice)
{
    for (size_t r = 0; r < sizeof(kPlaces) / sizeof(kPlaces[0]); r++) {
        const UninstallPlace &p = kPlaces[r];
        std::string display = "Test App " + std::to_string(r);
        RegPut(p.root, UninstallEntry("BrackmoorTestApp").c_str(), "DisplayName", display.c_str(), p.view);
        // An entry without a display name is not the user's program to tell about.
        RegPut(p.root, UninstallEntry("BrackmoorTestApp2").c_str(), "UninstallString", "x.exe", p.view);
        InitUninstallPrograms();
        EXPECT_EQ(display, RegText(HKEY_CURRENT_USER, p.baseline, "BrackmoorTestApp")) << "row " << r;
        EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, p.baseline, "BrackmoorTestApp2")) << "row " << r;

        // Nothing gone: no notice.
        NoticeSeen quiet;
        EXPECT_EQ(0, RunCheck(VerifyUninstallPrograms, PRESS_OK, quiet)) << "row " << r;
        EXPECT_EQ(0, quiet.count) << "row " << r;

        RegDeleteTreeView(p.root, UninstallEntry("BrackmoorTestApp").c_str(), p.view);
        NoticeSeen seen;
        EXPECT_EQ(ANSWER_ACCEPT, RunCheck(VerifyUninstallPrograms, PRESS_OK, seen)) << "row " << r;
        EXPECT_EQ(1, seen.count) << "row " << r;
        EXPECT_EQ(LangText(1404), seen.caption) << "row " << r;
        EXPECT_EQ(LangText(1405), seen.text) << "row " << r;
        EXPECT_EQ(LangText(1406), seen.hint) << "row " << r;
        EXPECT_EQ(LangText(1407), seen.check) << "row " << r;
        EXPECT_EQ(display, seen.name) << "row " << r;
        EXPECT_EQ("", seen.path) << "row " << r;
        EXPECT_FALSE(seen.checkedAtStart) << "row " << r;
        EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "RealtimeUninstall")) << "row " << r;
        EXPECT_EQ(0, bMsgOpen) << "row " << r;
        EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, p.baseline, "BrackmoorTestApp")) << "row " << r;

        // Told once: the baseline has been taken again.
        NoticeSeen again;
        EXPECT_EQ(0, RunCheck(VerifyUninstallPrograms, PRESS_OK, again)) << "row " << r;
        EXPECT_EQ(0, again.count) << "row " << r;
        RemoveTestEntries();
    }
    // The notices' own position family.
    EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "xDefaultWarning"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "xPosAlert"));
}

TEST_F(StartupNoticeTest, TheNoticeOpensWhereTheLastNoticeWasLeft)
{
    // The alerts' position is somewhere else: the notices keep their own.
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "xPosAlert", "300");
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "yPosAlert", "310");
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "xDefaultWarning", "37");
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "yDefaultWarning", "41");
    RegPut(HKEY_CURRENT_USER, UninstallEntry("BrackmoorTestApp").c_str(), "DisplayName", "Test App");
    InitUninstallPrograms();
    RegDeleteTreeView(HKEY_CURRENT_USER, UninstallEntry("BrackmoorTestApp").c_str());
    NoticeSeen seen;
    EXPECT_EQ(ANSWER_ACCEPT, RunCheck(VerifyUninstallPrograms, PRESS_OK, seen));
    ASSERT_EQ(1, seen.count);
    EXPECT_EQ(37, seen.rect.left);
    EXPECT_EQ(41, seen.rect.top);
    EXPECT_EQ("300", RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, "xPosAlert"));
}

TEST_F(StartupNoticeTest, TheCheckBoxTurnsTheUninstallWatcherOff)
{
    struct Row {
        NoticeAnswer answer;
        const char *option;
        int value;
    } rows[] = {
        {TICK_AND_OK, "0", 0},
        {PRESS_OK, "1", 1},
        {CLOSE_BOX, "1", 1},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        giRealtimeUninstall = 1 - rows[r].value;
        RegPut(HKEY_CURRENT_USER, UninstallEntry("BrackmoorTestApp").c_str(), "DisplayName", "Test App");
        InitUninstallPrograms();
        RegDeleteTreeView(HKEY_CURRENT_USER, UninstallEntry("BrackmoorTestApp").c_str());
        PutOption("Update", "0");
        NoticeSeen seen;
        EXPECT_EQ(ANSWER_ACCEPT, RunCheck(VerifyUninstallPrograms, rows[r].answer, seen)) << "row " << r;
        EXPECT_EQ(1, seen.count) << "row " << r;
        EXPECT_EQ(rows[r].option, RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "RealtimeUninstall")) << "row " << r;
        EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Update")) << "row " << r;
        EXPECT_EQ(rows[r].value, giRealtimeUninstall) << "row " << r;
        EXPECT_EQ("", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "RealtimeMissingRun")) << "row " << r;
    }
}

TEST_F(StartupNoticeTest, VanishedEntriesAreAbsorbedWithoutANotice)
{
    struct Row {
        const char *display;
        int alertCount;
        int result;
    } rows[] = {
        // Windows' own entries come and go with every update.
        {"Microsoft Test", 0, ANSWER_ACCEPT},
        {"Update for microsoft office", 0, ANSWER_ACCEPT},
        // While one answer stands for the next alerts, nothing is shown.
        {"Test App", 2, ANSWER_REJECT},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        RegPut(HKEY_CURRENT_USER, UninstallEntry("BrackmoorMsTest").c_str(), "DisplayName", rows[r].display);
        InitUninstallPrograms();
        RegDeleteTreeView(HKEY_CURRENT_USER, UninstallEntry("BrackmoorMsTest").c_str());
        AlertCount = rows[r].alertCount;
        NoticeSeen seen;
        EXPECT_EQ(rows[r].result, RunCheck(VerifyUninstallPrograms, PRESS_OK, seen)) << "row " << r;
        EXPECT_EQ(0, seen.count) << "row " << r;
        EXPECT_EQ(0, bMsgOpen) << "row " << r;
        // Absorbed: with the suppression over, the next check is quiet too.
        AlertCount = 0;
        NoticeSeen later;
        EXPECT_EQ(0, RunCheck(VerifyUninstallPrograms, PRESS_OK, later)) << "row " << r;
        EXPECT_EQ(0, later.count) << "row " << r;
    }
}

TEST_F(StartupNoticeTest, AnEntryThatIsStillThereIsNeverReported)
{
    struct Row {
        size_t length;   // of the display name
    } rows[] = {{1}, {255}, {256}, {300}, {511}};
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        std::string display(rows[r].length, 'n');
        RegPut(HKEY_CURRENT_USER, UninstallEntry("BrackmoorTestApp").c_str(), "DisplayName", display.c_str());
        InitUninstallPrograms();
        EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, "Software\\Dunmere Works\\Brackmoor\\UnInstallUSER",
                                "BrackmoorTestApp"))
            << "row " << r;
        for (int check = 0; check < 2; check++) {
            NoticeSeen seen;
            EXPECT_EQ(0, RunCheck(VerifyUninstallPrograms, PRESS_OK, seen)) << "row " << r << " check " << check;
            EXPECT_EQ(0, seen.count) << "row " << r << " check " << check;
        }
    }
}

TEST_F(StartupNoticeTest, BaselineValuesThatAreEmptyOrOddAreNeverLookedUp)
{
    const char *userBaseline = "Software\\Dunmere Works\\Brackmoor\\UnInstallUSER";
    InitUninstallPrograms();
    // Values no uninstall entry matches; only the one with a name to tell about
    // is a disappearance.
    RegPut(HKEY_CURRENT_USER, userBaseline, "BrackmoorTestApp", "");
    RegPutDword(HKEY_CURRENT_USER, userBaseline, "BrackmoorTestApp2", 7);
    std::string longName(600, 'x');
    RegPut(HKEY_CURRENT_USER, userBaseline, longName.c_str(), "Long Gone");
    NoticeSeen seen;
    EXPECT_EQ(0, RunCheck(VerifyUninstallPrograms, PRESS_OK, seen));
    EXPECT_EQ(0, seen.count);

    // Binary data without a terminator is a name up to where it ends.
    const char raw[] = {'T', 'e', 's', 't', ' ', 'R', 'a', 'w'};
    RegPutBinary(HKEY_CURRENT_USER, userBaseline, "BrackmoorMsTest", raw, sizeof(raw), REG_SZ);
    NoticeSeen rawSeen;
    EXPECT_EQ(ANSWER_ACCEPT, RunCheck(VerifyUninstallPrograms, PRESS_OK, rawSeen));
    EXPECT_EQ(1, rawSeen.count);
    EXPECT_EQ("Test Raw", rawSeen.name);
}

// ---------------------------------------------------------------------------
// Missing startup programs

// The missing-startup baseline's value whose data is this entry name: the path
// as the baseline holds it.
std::string ActiveRunPathOf(const char *name)
{
    HKEY key;
    std::string found;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kActiveRun, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return found;
    for (DWORD i = 0;; i++) {
        char value[1024], data[1024];
        DWORD valueLen = sizeof(value), dataLen = sizeof(data) - 1;
        if (RegEnumValueA(key, i, value, &valueLen, NULL, NULL, (BYTE *)data, &dataLen) != ERROR_SUCCESS)
            break;
        data[dataLen] = '\0';
        if (strcmp(data, name) == 0)
            found = value;
    }
    RegCloseKey(key);
    return found;
}

class MissingRunTest : public StartupNoticeTest {
protected:
    void SetUp() override
    {
        StartupNoticeTest::SetUp();
        RegPut(HKEY_CURRENT_USER, kRun, "NoticeToolOne", "\"C:\\Tools\\notice one.exe\" -tray");
        RegPut(HKEY_CURRENT_USER, kRun, "NoticeToolTwo", "C:\\Tools\\noticetwo.exe");
        RegPut(HKEY_CURRENT_USER, kRun, "NoticeToolThree", "C:\\Tools\\noticethree.exe /s");
        InitMissingRunPrograms();
        onePath = ActiveRunPathOf("NoticeToolOne");
        twoPath = ActiveRunPathOf("NoticeToolTwo");
        ASSERT_FALSE(onePath.empty());
        ASSERT_FALSE(twoPath.empty());
        ASSERT_FALSE(ActiveRunPathOf("NoticeToolThree").empty());
    }
    std::string onePath, twoPath;
};

TEST_F(MissingRunTest, NothingGoneNoNotice)
{
    NoticeSeen seen;
    EXPECT_EQ(ANSWER_REJECT, RunCheck(VerifyMissingRunPrograms, PRESS_OK, seen));
    EXPECT_EQ(0, seen.count);
    EXPECT_EQ(0, bMsgOpen);
}

TEST_F(MissingRunTest, ARemovedRunValueGetsOneNoticeWithItsNameAndPath)
{
    RegRemoveValue(HKEY_CURRENT_USER, kRun, "NoticeToolOne");
    NoticeSeen seen;
    EXPECT_EQ(ANSWER_ACCEPT, RunCheck(VerifyMissingRunPrograms, PRESS_OK, seen));
    EXPECT_EQ(1, seen.count);
    EXPECT_EQ(LangText(1408), seen.caption);
    EXPECT_EQ(LangText(1409), seen.text);
    EXPECT_EQ(LangText(1410), seen.hint);
    EXPECT_EQ(LangText(1411), seen.check);
    EXPECT_EQ("NoticeToolOne", seen.name);
    EXPECT_EQ(onePath, seen.path);
    EXPECT_FALSE(seen.checkedAtStart);
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "RealtimeMissingRun"));
    EXPECT_EQ(0, bMsgOpen);
    // Taken again: the gone program left the baseline, the others stayed.
    EXPECT_TRUE(ActiveRunPathOf("NoticeToolOne").empty());
    EXPECT_EQ(twoPath, ActiveRunPathOf("NoticeToolTwo"));
    EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "xDefaultWarning"));

    NoticeSeen again;
    EXPECT_EQ(ANSWER_REJECT, RunCheck(VerifyMissingRunPrograms, PRESS_OK, again));
    EXPECT_EQ(0, again.count);
}

TEST_F(MissingRunTest, TwoRemovedAtOnceGiveOneNoticeAndTheNextCheckNone)
{
    RegRemoveValue(HKEY_CURRENT_USER, kRun, "NoticeToolOne");
    RegRemoveValue(HKEY_CURRENT_USER, kRun, "NoticeToolTwo");
    NoticeSeen seen;
    EXPECT_EQ(ANSWER_ACCEPT, RunCheck(VerifyMissingRunPrograms, PRESS_OK, seen));
    EXPECT_EQ(1, seen.count);
    EXPECT_TRUE(seen.name == "NoticeToolOne" || seen.name == "NoticeToolTwo") << seen.name;
    NoticeSeen again;
    EXPECT_EQ(ANSWER_REJECT, RunCheck(VerifyMissingRunPrograms, PRESS_OK, again));
    EXPECT_EQ(0, again.count);
    EXPECT_TRUE(ActiveRunPathOf("NoticeToolOne").empty());
    EXPECT_TRUE(ActiveRunPathOf("NoticeToolTwo").empty());
}

TEST_F(MissingRunTest, NoCheckWhileAlertsAreOffOrAnAlertIsOpen)
{
    RegRemoveValue(HKEY_CURRENT_USER, kRun, "NoticeToolOne");
    struct Row {
        int showAlerts, msgOpen;
    } rows[] = {{0, 0}, {1, 1}};
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        giShowAlerts = rows[r].showAlerts;
        bMsgOpen = rows[r].msgOpen;
        NoticeSeen seen;
        EXPECT_EQ(0, RunCheck(VerifyMissingRunPrograms, PRESS_OK, seen)) << "row " << r;
        EXPECT_EQ(0, seen.count) << "row " << r;
        EXPECT_EQ(rows[r].msgOpen, bMsgOpen) << "row " << r << ": the open alert's flag is not ours";
        // Not checked means not absorbed either.
        EXPECT_EQ(onePath, ActiveRunPathOf("NoticeToolOne")) << "row " << r;
    }
    giShowAlerts = 1;
    bMsgOpen = 0;
    NoticeSeen seen;
    EXPECT_EQ(ANSWER_ACCEPT, RunCheck(VerifyMissingRunPrograms, PRESS_OK, seen));
    EXPECT_EQ(1, seen.count);
    EXPECT_EQ("NoticeToolOne", seen.name);
}

TEST_F(MissingRunTest, DuringTheSuppressionADisappearanceIsAbsorbed)
{
    RegRemoveValue(HKEY_CURRENT_USER, kRun, "NoticeToolTwo");
    AlertCount = 2;
    NoticeSeen seen;
    EXPECT_EQ(ANSWER_REJECT, RunCheck(VerifyMissingRunPrograms, PRESS_OK, seen));
    EXPECT_EQ(0, seen.count);
    AlertCount = 0;
    NoticeSeen later;
    EXPECT_EQ(ANSWER_REJECT, RunCheck(VerifyMissingRunPrograms, PRESS_OK, later));
    EXPECT_EQ(0, later.count);
}

TEST_F(MissingRunTest, TheCheckBoxTurnsTheMissingStartupWatcherOff)
{
    RegRemoveValue(HKEY_CURRENT_USER, kRun, "NoticeToolThree");
    NoticeSeen seen;
    EXPECT_EQ(ANSWER_ACCEPT, RunCheck(VerifyMissingRunPrograms, TICK_AND_OK, seen));
    EXPECT_EQ(1, seen.count);
    EXPECT_EQ("0", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "RealtimeMissingRun"));
    EXPECT_EQ(0, giRealtimeMissingRun);
    EXPECT_EQ("", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "RealtimeUninstall"));
}

// ---------------------------------------------------------------------------
// Wiring

TEST_F(StartupNoticeTest, TheScanCycleCallsTheChecksAndStartUpTakesTheBaselinesOnce)
{
    ScanWatchers saved = gScanWatchers;
    RegisterStartupNoticeWatchers();
    EXPECT_TRUE(gScanWatchers.uninstall == VerifyUninstallPrograms);
    EXPECT_TRUE(gScanWatchers.missingRun == VerifyMissingRunPrograms);
    gScanWatchers = saved;

    struct Row {
        int uninstallOn, missingOn;
        bool uninstallTaken, activeRunTaken;
    } rows[] = {
        {0, 0, false, false},
        {1, 0, true, false},
        {0, 1, false, true},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        RegDeleteTreeView(HKEY_CURRENT_USER, BRACKMOOR_KEY);
        giRealtimeUninstall = rows[r].uninstallOn;
        giRealtimeMissingRun = rows[r].missingOn;
        InitStartupNoticeBaselines();
        EXPECT_EQ(rows[r].uninstallTaken, RegHasKey(HKEY_CURRENT_USER, "Software\\Dunmere Works\\Brackmoor\\UnInstallUSER"))
            << "row " << r;
        EXPECT_EQ(rows[r].activeRunTaken, RegHasKey(HKEY_CURRENT_USER, kActiveRun)) << "row " << r;
        EXPECT_EQ(rows[r].uninstallTaken ? BRACKMOOR_VERSION : "",
                  RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "MissingUninstall")) << "row " << r;
        EXPECT_EQ(rows[r].activeRunTaken ? BRACKMOOR_VERSION : "", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "MissingRun"))
            << "row " << r;
    }
    // Once per version: an entry made after the first baseline is not taken in
    // by a later start of the same version.
    giRealtimeUninstall = 1;
    InitStartupNoticeBaselines();
    ASSERT_EQ(BRACKMOOR_VERSION, RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "MissingUninstall"));
    RegPut(HKEY_CURRENT_USER, UninstallEntry("BrackmoorTestApp").c_str(), "DisplayName", "Test App");
    InitStartupNoticeBaselines();
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, "Software\\Dunmere Works\\Brackmoor\\UnInstallUSER", "BrackmoorTestApp"));
}

} // namespace
