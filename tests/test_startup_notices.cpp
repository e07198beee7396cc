// The missing-startup and uninstall notices: what notice 194 shows, what its check box does, and that a
// disappearance is told once. Entries come and go "by another tool": straight through the registry.
#include <windows.h>

#include <string>
#include <vector>

#include "ui/alert.h"
#include "common/options.h"
#include "monitor/watcher_table.h"
#include "resources/resource.h"
#include "startup/locations.h"
#include "startup/missing_notices.h"
#include "startup/startup_scan.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"

// The missing-startup check as one pass runs it, on the pass's own startup scan.
static int MissingRunCheck()
{
    ScanPass pass = {};
    int result = VerifyMissingRunPrograms(&pass);
    EndScanPass(&pass);
    return result;
}

namespace {

const char kUninstallEntry[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BrackmoorTestApp";
const char kUserBaseline[] = "Software\\Dunmere Works\\Brackmoor\\UnInstallUSER";
// Three startup values, and their paths as the missing-startup baseline holds them.
const char *const kRunValues[][3] = {
    {"NoticeToolOne", "\"C:\\Tools\\notice one.exe\" -tray", "C:\\TOOLS\\NOTICE ONE.EXE"},
    {"NoticeToolTwo", "C:\\Tools\\noticetwo.exe", "C:\\TOOLS\\NOTICETWO.EXE"},
    {"NoticeToolThree", "C:\\Tools\\noticethree.exe /s", "C:\\TOOLS\\NOTICETHREE.EXE"},
};

// One check run on this thread while a helper answers any notice 194: the check's
// result, how many notices opened; of the last, its caption, texts, check box
// text, name and path, whether the box started ticked, and where it stood.
struct NoticeSeen {
    int result = -1, count = 0;
    std::vector<std::string> texts;
};
enum NoticeAnswer { PRESS_OK, TICK_AND_OK, CLOSE_BOX };

NoticeSeen Check(int (*check)(void), NoticeAnswer answer = PRESS_OK)
{
    NoticeSeen seen;
    DialogDriver driver([&](HWND dialog) {
        seen.count++;
        RECT rect = {};
        GetWindowRect(dialog, &rect);
        seen.texts = {WindowText(dialog)};
        for (int id : {IDC_NOTICE_TEXT, IDC_NOTICE_HINT, IDC_CHECK, IDC_NOTICE_NAME, IDC_NOTICE_PATH})
            seen.texts.push_back(ControlText(dialog, id));
        seen.texts.push_back(IsDlgButtonChecked(dialog, IDC_CHECK) == BST_CHECKED ? "ticked" : "not ticked");
        seen.texts.push_back(std::to_string(rect.left) + "," + std::to_string(rect.top));
        if (answer == TICK_AND_OK)
            SendDlgItemMessageA(dialog, IDC_CHECK, BM_SETCHECK, BST_CHECKED, 0);
        if (answer != CLOSE_BOX)
            return IDOK;
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;   // no button: the close box alone answers
    });
    seen.result = check();
    driver.Stop();
    return seen;
}

class StartupNoticeTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        RemoveTestEntries();
        giShowAlerts = giRealtimeUninstall = giRealtimeMissingRun = 1;
    }
    void TearDown() override
    {
        RemoveTestEntries();
        BrackmoorTest::TearDown();
    }
    // The notices keep their own place; the alerts' is somewhere else.
    void PutPlaces()
    {
        RegDeleteTreeView(HKCU, BRACKMOOR_KEY);
        RegPut(HKCU, BRACKMOOR_KEY, "xPosAlert", "300");
        RegPut(HKCU, BRACKMOOR_KEY, "xDefaultWarning", "37");
        RegPut(HKCU, BRACKMOOR_KEY, "yDefaultWarning", "41");
    }
    // Every uninstall entry and Run value the tests make, in both views.
    void RemoveTestEntries()
    {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
            for (HKEY root : {HKCU, HKLM})
                RegDeleteTreeView(root, kUninstallEntry, view);
        for (const auto &value : kRunValues)
            RegRemoveValue(HKCU, kRun, value[0]);
        RegRemoveValue(HKCU, kRun, "BmTwinName");
    }
};

TEST_F(StartupNoticeTest, AVanishedUninstallEntryGetsOneNoticeOnceAndItsAnswer)
{
    const std::string kLongName(511, 'n');   // with its terminator: the whole 512-byte buffer
    struct Row {
        HKEY root;
        REGSAM view;
        const char *baseline, *display;
        int alertCount;   // while the suppression runs, the check answers 7, else 6
        NoticeAnswer answer;
        const char *option;   // "RealtimeUninstall" afterwards; "": no notice
    } rows[] = {
        // Each list: the machine's in the monitor's own view, the user's, the machine's native one.
        {HKLM, KEY_WOW64_32KEY, "Software\\Dunmere Works\\Brackmoor\\UnInstall", "Test App 0", 0, PRESS_OK, "1"},
        {HKCU, 0, kUserBaseline, "Test App 1", 0, PRESS_OK, "1"},
        {HKLM, KEY_WOW64_64KEY, "Software\\Dunmere Works\\Brackmoor\\UnInstall64", "Test App 2", 0, PRESS_OK, "1"},
        // A name that fills the baseline's buffer is read whole, and found again while it is there.
        {HKCU, 0, kUserBaseline, kLongName.c_str(), 0, PRESS_OK, "1"},
        {HKCU, 0, kUserBaseline, "Test App", 0, TICK_AND_OK, "0"},
        {HKCU, 0, kUserBaseline, "Test App", 0, CLOSE_BOX, "1"},
        // Windows' own entries come and go with every update.
        {HKCU, 0, kUserBaseline, "Update for microsoft office", 0, PRESS_OK, ""},
        // While one answer stands for the next alerts, nothing is shown.
        {HKCU, 0, kUserBaseline, "Test App", 2, PRESS_OK, ""},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        const Row &row = rows[r];
        giRealtimeUninstall = row.option[0] == '1' ? 0 : 1;
        PutPlaces();
        RegPut(row.root, kUninstallEntry, "DisplayName", row.display, row.view);
        InitUninstallPrograms();
        EXPECT_EQ(row.display, RegText(HKCU, row.baseline, "BrackmoorTestApp")) << "row " << r;

        NoticeSeen quiet = Check(VerifyUninstallPrograms);
        RegDeleteTreeView(row.root, kUninstallEntry, row.view);
        AlertCount = row.alertCount;
        NoticeSeen seen = Check(VerifyUninstallPrograms, row.answer);
        AlertCount = 0;
        NoticeSeen again = Check(VerifyUninstallPrograms);   // told or absorbed: once
        EXPECT_TRUE(quiet.result == 0 && again.result == 0 && quiet.count + again.count == 0) << "row " << r;
        EXPECT_EQ(row.alertCount ? ANSWER_REJECT : ANSWER_ACCEPT, seen.result) << "row " << r;
        EXPECT_EQ(row.option[0] ? 1 : 0, seen.count) << "row " << r;
        EXPECT_EQ(0, bMsgOpen) << "row " << r;
        EXPECT_EQ(row.option, RegText(HKCU, OPTIONS_KEY, "RealtimeUninstall")) << "row " << r;
        if (!seen.count)
            continue;
        EXPECT_EQ(row.option[0] - '0', giRealtimeUninstall) << "row " << r;
        EXPECT_EQ("1", RegText(HKCU, OPTIONS_KEY, "Update")) << "row " << r;
        EXPECT_EQ((std::vector<std::string>{LangText(1404), LangText(1405), LangText(1406), LangText(1407),
                                            row.display, "", "not ticked", "37,41"}), seen.texts) << "row " << r;
        EXPECT_EQ("300", RegText(HKCU, BRACKMOOR_KEY, "xPosAlert")) << "row " << r;
    }
}

TEST_F(StartupNoticeTest, OddUninstallBaselineValues)
{
    InitUninstallPrograms();
    // Only a value with a name to tell about is a disappearance, up to where its data ends.
    RegPut(HKCU, kUserBaseline, "BrackmoorGoneEmpty", "");
    RegPutDword(HKCU, kUserBaseline, "BrackmoorGoneNumber", 7);
    RegPutBinary(HKCU, kUserBaseline, "BrackmoorGoneRaw", "Test Raw", 8, REG_SZ);
    NoticeSeen raw = Check(VerifyUninstallPrograms);
    EXPECT_EQ(ANSWER_ACCEPT, raw.result);
    ASSERT_EQ(1, raw.count) << "only the named one";
    EXPECT_EQ("Test Raw", raw.texts[4]);
}

TEST_F(StartupNoticeTest, AStartupValueDeletedByAnotherToolGetsOneNoticeOnce)
{
    struct Row {
        int removed, showAlerts, msgOpen, alertCount;
        NoticeAnswer answer;
        int result, count;
        bool absorbed;        // the disappearance left the baseline
        const char *option;   // "RealtimeMissingRun" afterwards
    } rows[] = {
        {0, 1, 0, 0, PRESS_OK, ANSWER_REJECT, 0, false, ""},   // nothing gone
        {1, 0, 0, 0, PRESS_OK, 0, 0, false, ""},               // alerts off: no check at all
        {1, 1, 1, 0, PRESS_OK, 0, 0, false, ""},               // an alert is open: no check now
        {1, 1, 0, 2, PRESS_OK, ANSWER_REJECT, 0, true, ""},    // the suppression absorbs it
        {1, 1, 0, 0, PRESS_OK, ANSWER_ACCEPT, 1, true, "1"},
        {2, 1, 0, 0, PRESS_OK, ANSWER_ACCEPT, 1, true, "1"},   // two gone at once: one notice
        {1, 1, 0, 0, TICK_AND_OK, ANSWER_ACCEPT, 1, true, "0"},
    };
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        const Row &row = rows[r];
        PutPlaces();
        for (const auto &value : kRunValues)
            RegPut(HKCU, kRun, value[0], value[1]);
        InitMissingRunPrograms();
        for (int k = 0; k < row.removed; k++)
            RegRemoveValue(HKCU, kRun, kRunValues[k][0]);
        giShowAlerts = row.showAlerts;
        bMsgOpen = row.msgOpen;
        AlertCount = row.alertCount;
        NoticeSeen seen = Check(MissingRunCheck, row.answer);
        EXPECT_EQ(row.result, seen.result) << "row " << r;
        EXPECT_EQ(row.count, seen.count) << "row " << r;
        EXPECT_EQ(row.msgOpen, bMsgOpen) << "row " << r << ": the open alert's flag is not ours";
        for (int k = 0; k < 3; k++)
            EXPECT_EQ(k >= row.removed || !row.absorbed, RegHasValue(HKCU, ACTIVE_RUN_KEY, kRunValues[k][2]))
                << "row " << r << " value " << k;
        EXPECT_EQ(row.option, RegText(HKCU, OPTIONS_KEY, "RealtimeMissingRun")) << "row " << r;
        EXPECT_EQ(row.option[0] != '0', giRealtimeMissingRun == 1) << "row " << r;
        if (row.count) {   // of two, the first of the baseline
            EXPECT_EQ((std::vector<std::string>{LangText(1408), LangText(1409), LangText(1410), LangText(1411),
                                                kRunValues[0][0], kRunValues[0][2], "not ticked", "37,41"}),
                      seen.texts) << "row " << r;
        }
        if (row.absorbed) {   // told or absorbed: once
            NoticeSeen again = Check(MissingRunCheck);
            EXPECT_TRUE(again.result == ANSWER_REJECT && again.count == 0) << "row " << r << ": " << again.result;
        }
    }
}

TEST_F(StartupNoticeTest, TheScanCycleCallsTheChecksAndStartUpTakesTheBaselinesOncePerVersion)
{
    bool uninstallRow = false, missingRow = false;
    for (int i = 0; i < WatcherTableCount; i++) {
        uninstallRow |= WatcherTable[i].realtime == &giRealtimeUninstall && WatcherTable[i].check;
        missingRow |= WatcherTable[i].realtime == &giRealtimeMissingRun &&
                      WatcherTable[i].check == VerifyMissingRunPrograms;
    }
    EXPECT_TRUE(uninstallRow && missingRow);
    for (int on = 0; on < 3; on++) {   // neither watcher on, the uninstall one, the missing-startup one
        RegDeleteTreeView(HKCU, BRACKMOOR_KEY);
        giRealtimeUninstall = on == 1;
        giRealtimeMissingRun = on == 2;
        InitStartupNoticeBaselines();
        EXPECT_EQ(on == 1, RegHasKey(HKCU, kUserBaseline)) << on;
        EXPECT_EQ(on == 2, RegHasKey(HKCU, ACTIVE_RUN_KEY)) << on;
        EXPECT_EQ(on == 1 ? BRACKMOOR_VERSION : "", RegText(HKCU, OPTIONS_KEY, "MissingUninstall")) << on;
        EXPECT_EQ(on == 2 ? BRACKMOOR_VERSION : "", RegText(HKCU, OPTIONS_KEY, "MissingRun")) << on;
    }
    // Once per version: an entry made since is not taken in by the next start.
    giRealtimeUninstall = 1;
    InitStartupNoticeBaselines();
    RegPut(HKCU, kUninstallEntry, "DisplayName", "Test App");
    InitStartupNoticeBaselines();
    EXPECT_FALSE(RegHasValue(HKCU, kUserBaseline, "BrackmoorTestApp"));
}

}  // namespace

static unsigned long long KeyWriteTime(const char *path)
{
    FILETIME written = {};
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &written);
        RegCloseKey(key);
    }
    return ((unsigned long long)written.dwHighDateTime << 32) | written.dwLowDateTime;
}

// A check that finds nothing changed leaves both baselines untouched (they are
// not written anew on every pass), and one that finds something new takes it in.
TEST_F(StartupNoticeTest, BaselinesAreWrittenOnlyWhenTheSystemChanged)
{
    RegPut(HKCU, kRun, kRunValues[0][0], kRunValues[0][1]);
    // One program under two names is one baseline value, not a change on every pass.
    RegPut(HKCU, kRun, "BmTwinName", kRunValues[0][1]);
    InitMissingRunPrograms();
    InitUninstallPrograms();
    unsigned long long activeRun = KeyWriteTime(ACTIVE_RUN_KEY), userList = KeyWriteTime(kUserBaseline);
    ASSERT_NE(0ull, activeRun);
    Sleep(50);
    EXPECT_EQ(0, Check(MissingRunCheck).count);
    EXPECT_EQ(0, Check(VerifyUninstallPrograms).count);
    EXPECT_EQ(activeRun, KeyWriteTime(ACTIVE_RUN_KEY)) << "nothing changed: the startup baseline stays";
    EXPECT_EQ(userList, KeyWriteTime(kUserBaseline)) << "nothing changed: the uninstall baseline stays";

    // New entries of either kind are taken in by the next check, without a notice.
    RegPut(HKCU, kRun, kRunValues[1][0], kRunValues[1][1]);
    RegPut(HKCU, kUninstallEntry, "DisplayName", "Test App New");
    EXPECT_EQ(0, Check(MissingRunCheck).count);
    EXPECT_EQ(0, Check(VerifyUninstallPrograms).count);
    EXPECT_TRUE(RegHasValue(HKCU, ACTIVE_RUN_KEY, kRunValues[1][2]));
    EXPECT_EQ("Test App New", RegText(HKCU, kUserBaseline, "BrackmoorTestApp"));
    // And their later disappearance is told.
    RegRemoveValue(HKCU, kRun, kRunValues[1][0]);
    EXPECT_EQ(1, Check(MissingRunCheck).count);
}

// Many entries (more than the list first makes room for), a baseline written in
// another order and letter case than the registry lists them: nothing is gone and
// nothing is written; then one from the middle goes and is told by its name.
TEST_F(StartupNoticeTest, UninstallCheckMatchesEntriesInAnyOrderAndCase)
{
    const std::string list = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BmMany";
    auto name = [](int i) { return "Many Tool " + std::to_string(i); };
    for (int i = 0; i < 70; i++)
        RegPut(HKCU, (list + std::to_string(100 + i)).c_str(), "DisplayName", name(i).c_str());
    InitUninstallPrograms();
    for (int i = 69; i >= 0; i--) {
        std::string value = "BmMany" + std::to_string(100 + i);
        RegRemoveValue(HKCU, kUserBaseline, value.c_str());
        RegPut(HKCU, kUserBaseline, ("bMmANY" + value.substr(6)).c_str(), name(i).c_str());
    }
    unsigned long long written = KeyWriteTime(kUserBaseline);
    Sleep(50);
    EXPECT_EQ(0, Check(VerifyUninstallPrograms).count);
    EXPECT_EQ(written, KeyWriteTime(kUserBaseline)) << "a current baseline is not written anew";

    RegDeleteTreeView(HKCU, (list + "135").c_str());
    NoticeSeen gone = Check(VerifyUninstallPrograms);
    for (int i = 0; i < 70; i++)
        RegDeleteTreeView(HKCU, (list + std::to_string(100 + i)).c_str());
    ASSERT_EQ(1, gone.count);
    EXPECT_EQ(name(35), gone.texts[4]);
}
