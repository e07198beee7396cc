// The settings watchers in process, with real dialogs answered by a thread timer and
// the results read back from the registry and the files.
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"

#include <vector>

#include "common/appstate.h"
#include "common/files.h"
#include "common/options.h"
#include "common/registry.h"
#include "monitor/scan_cycle.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "ui/shared_ui.h"
#include "watchers/pages.h"
#include "watchers/regoptions.h"
#include "watchers/sysfiles.h"

namespace {

const char kWatchKey[] = "Software\\BmTest\\Watch";
const char kIEMain[] = "Software\\Microsoft\\Internet Explorer\\Main";
const char kDesktop[] = "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\0";

// What a dialog of the thread showed, and the answer for it.
struct Seen {
    std::string caption, texts, path;
    bool topRight = false;
};
struct Answer {
    int id;
    bool tick;
    const char *when;   // the answer for the dialog whose texts hold this; NULL: the next one
};

// Runs work with the dialogs it opens answered in order; returns what they showed.
template <typename Work> std::vector<Seen> Answering(std::vector<Answer> answers, Work work)
{
    std::vector<Seen> shown;
    DialogDriver driver([&](HWND dialog) {
        Seen seen;
        RECT r;
        BYTE alpha = 0;
        DWORD flags = 0;
        GetWindowRect(dialog, &r);
        seen.topRight = r.right == GetSystemMetrics(SM_CXSCREEN) && r.top == 0 &&
                        GetLayeredWindowAttributes(dialog, NULL, &alpha, &flags) && alpha == 234;
        seen.caption = WindowText(dialog);
        seen.texts = DialogTexts(dialog);
        seen.path = ControlText(dialog, IDC_SYSFILE_PATH) + ControlText(dialog, IDC_RESTART_TEXT);
        shown.push_back(seen);
        for (auto it = answers.begin(); it != answers.end(); ++it) {
            if (!it->when || seen.texts.find(it->when) != std::string::npos) {
                if (it->tick)
                    CheckDlgButton(dialog, IDC_CHECK, BST_CHECKED);
                int id = it->id;
                answers.erase(it);
                return id;
            }
        }
        return IDCANCEL;   // not expected: closed without an answer
    });
    work();
    driver.Stop();
    EXPECT_TRUE(answers.empty()) << answers.size() << " answers not asked for";
    return shown;
}

class SettingsTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        CreateSharedUi();
        ghMainWnd = NULL;
        giSound = 0;
        giSuppressExtraAlerts = 0;
    }
    void TearDown() override
    {
        kept_.Restore();
        FreeSharedUi();
        BrackmoorTest::TearDown();
    }
    void Keep(HKEY root, const char *path, const char *name) { kept_.Keep(root, path, name); }
    KeptValues kept_;
};

// A file's last-write time set to 2015-03-07 10:00 UTC plus some minutes.
void SetWriteMinute(const std::string &path, int minutes)
{
    SetWriteTime(path, 130701960000000000ULL + (ULONGLONG)minutes * 600000000ULL);
}

const char kHosts[] = "127.0.0.1 localhost\r\n";
const std::string kRecord = BRACKMOOR_KEY "\\Sysfiles\\HOSTS";

TEST_F(SettingsTest, HostsChangeIsASizeChangeOrNewContentsOrANewDateWithANonZeroType)
{
    const std::string hosts = TempFolder() + "\\hosts";
    const struct {
        const char *type, *contents;
        int minutes;
        int change;
    } rows[] = {
        {"0", kHosts, 0, 0},                          // untouched
        {"0", kHosts, 2, 0},                          // saved again unchanged
        {"1", kHosts, 2, 1},                          // any new date counts for a non-zero type
        {"0", "127.0.0.1 localhosT\r\n", 2, 1},       // same size, other contents
        {"0", "127.0.0.1 localhost\r\n10.0.0.1 bank.example\r\n", 2, 1},
        {"0", "0.0.0.0 x\r\n", 0, 1},                 // another size within the same minute
    };
    giShowAlerts = 0;
    giHideSystemFiles = 1;      // a change is held back: no dialog, the record stays
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        WriteWholeFile(hosts, kHosts);
        SetWriteMinute(hosts, 0);
        ASSERT_TRUE(RecordHostsFile(hosts.c_str()));
        RegPut(HKEY_LOCAL_MACHINE, kRecord.c_str(), "Type", rows[i].type);
        WriteWholeFile(hosts, rows[i].contents);
        SetWriteMinute(hosts, rows[i].minutes);
        std::string date = RegText(HKEY_LOCAL_MACHINE, kRecord.c_str(), "Date");
        EXPECT_EQ(rows[i].change, CompareSysfiles(hosts.c_str(), HOSTS_RECORD)) << "row " << i;
        // Only an unchanged rewrite takes the new date in (so it is not read again).
        EXPECT_EQ(i == 1, date != RegText(HKEY_LOCAL_MACHINE, kRecord.c_str(), "Date")) << "row " << i;
        EXPECT_EQ(std::to_string(strlen(kHosts)), RegText(HKEY_LOCAL_MACHINE, kRecord.c_str(), "Size")) << "row " << i;
    }
    EXPECT_EQ(hosts, RegText(HKEY_LOCAL_MACHINE, kRecord.c_str(), "Location"));
    EXPECT_EQ(kHosts, ReadWholeFile(DataFolder() + "\\HOSTS"));
    // An unchanged file is not even opened: held open with no sharing, it still compares.
    WriteWholeFile(hosts, kHosts);
    ASSERT_TRUE(RecordHostsFile(hosts.c_str()));
    HANDLE held = CreateFileA(hosts.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(0, CompareSysfiles(hosts.c_str(), HOSTS_RECORD));
    CloseHandle(held);
    EXPECT_EQ(0, CompareSysfiles((hosts + ".gone").c_str(), HOSTS_RECORD)) << "a missing file is skipped";

    // The first start writes the marker with a record of the real HOSTS file only.
    InitSysfiles();
    char real[MAX_PATH];
    ASSERT_GT(GetHostsPath(real), 0);
    EXPECT_EQ(real, RegText(HKEY_LOCAL_MACHINE, kRecord.c_str(), "Location"));
    EXPECT_FALSE(RegText(HKEY_LOCAL_MACHINE, BRACKMOOR_KEY "\\Sysfiles", "").empty());
    EXPECT_EQ(ReadWholeFile(real), ReadWholeFile(DataFolder() + "\\HOSTS"));
}

TEST_F(SettingsTest, FileChangeAlertRejectPutsThePreviousFileBackAcceptMakesTheNewOneApproved)
{
    const std::string hosts = TempFolder() + "\\hosts", edited = "10.6.6.6 bank.example\r\n";
    WriteWholeFile(hosts, kHosts);
    ASSERT_TRUE(RecordHostsFile(hosts.c_str()));
    SetFileAttributesA(hosts.c_str(), FILE_ATTRIBUTE_READONLY);
    std::string date = RegText(HKEY_LOCAL_MACHINE, kRecord.c_str(), "Date");
    const auto edit = [&] {
        SetFileAttributesA(hosts.c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteWholeFile(hosts, edited);
        SetFileAttributesA(hosts.c_str(), FILE_ATTRIBUTE_READONLY);
    };
    edit();
    auto seen = Answering({{IDC_SYSFILE_REJECT, false, NULL}}, [] { EXPECT_EQ(1, CheckSysfiles(nullptr)); });
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(LangText(1000), seen[0].caption);
    EXPECT_NE(std::string::npos, seen[0].texts.find("HOSTS\n"));
    EXPECT_EQ(hosts, seen[0].path);
    EXPECT_EQ(kHosts, ReadWholeFile(hosts)) << "the previous file is back";
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, GetFileAttributesA(hosts.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(date, RegText(HKEY_LOCAL_MACHINE, kRecord.c_str(), "Date")) << "a reject keeps the record";
    EXPECT_EQ(1, HistoryLinesWith({"*SETTING_Restore\tTYPE_SYSFILE\tHOSTS\t" + hosts}));
    EXPECT_EQ(0u, Answering({}, [] { EXPECT_EQ(0, CheckSysfiles(nullptr)); }).size()) << "the restored file is known";

    edit();
    EXPECT_EQ(1u, Answering({{IDC_SYSFILE_ACCEPT, false, NULL}}, [] { CheckSysfiles(nullptr); }).size());
    EXPECT_EQ(edited, ReadWholeFile(DataFolder() + "\\HOSTS"));
    EXPECT_EQ(std::to_string(edited.size()), RegText(HKEY_LOCAL_MACHINE, kRecord.c_str(), "Size"));
    EXPECT_EQ(0u, Answering({}, [] { CheckSysfiles(nullptr); }).size()) << "the same contents are not asked again";

    // Notepad on a file that is not there: the system's reason in a message box.
    seen = Answering({{IDOK, false, NULL}}, [&] { EXPECT_EQ(0, ViewsysFile((hosts + ".gone").c_str())); });
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(0u, seen[0].texts.find("2  ")) << seen[0].texts;

    // Accepting with the box ticked ends the monitoring: the record keeps a date and
    // a size, but no location to compare.
    SetFileAttributesA(hosts.c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteWholeFile(hosts, kHosts);
    EXPECT_EQ(1u, Answering({{IDC_SYSFILE_ACCEPT, true, NULL}}, [] { CheckSysfiles(nullptr); }).size());
    EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, kRecord.c_str(), "Location"));
    EXPECT_EQ(std::to_string(strlen(kHosts)), RegText(HKEY_LOCAL_MACHINE, kRecord.c_str(), "Size"));
    WriteWholeFile(hosts, edited + edited);
    EXPECT_EQ(0u, Answering({}, [] { EXPECT_EQ(0, CheckSysfiles(nullptr)); }).size());
}

TEST_F(SettingsTest, RestartCommandsAreFoundOnlyBesideWininitAndTheWindowDeletesThem)
{
    const std::string exe = WindowsFolder() + "\\wininit.exe", ini = WindowsFolder() + "\\wininit.ini";
    ASSERT_FALSE(PathExists(exe) || PathExists(ini)) << "the prefix has its own restart commands";
    struct Remove {
        std::string a, b;
        ~Remove() { DeleteFileA(a.c_str()), DeleteFileA(b.c_str()); }
    } remove{exe, ini};
    const std::string commands = "[rename]\r\nNUL=C:\\bm-no-such-file.tmp\r\n";
    WriteWholeFile(ini, commands);
    EXPECT_EQ(0, RestartFile(1)) << "no wininit.exe to carry them out";
    WriteWholeFile(exe, "");
    WriteWholeFile(ini, "");
    EXPECT_EQ(0, RestartFile(1)) << "empty";
    WriteWholeFile(ini, commands);
    EXPECT_EQ(1, RestartFile(1));
    // Windows NT never runs the commands: the stage does not look.
    giWinInitCount = 1;
    EXPECT_EQ(0u, Answering({}, [] { EXPECT_EQ(0, RestartCommandsStage(nullptr)); }).size());

    auto seen = Answering({{IDC_RESTART_DELETE, false, NULL}}, [] { EXPECT_EQ(1, RestartFile(0)); });
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(LangText(30), seen[0].caption);
    EXPECT_EQ(commands, seen[0].path);
    EXPECT_FALSE(PathExists(ini));
    EXPECT_EQ(1, HistoryLinesWith({"*WININIT_Delete\tRESTART_DELETE\twininit.ini\t" + ini}));
    seen = Answering({{IDOK, false, NULL}}, [] { EXPECT_EQ(0, RestartFile(0)); });
    ASSERT_EQ(1u, seen.size());
    EXPECT_NE(std::string::npos, seen[0].texts.find(LangText(59)));
}

TEST_F(SettingsTest, WatchedValuesAreAskedAboutLockedOnesPutBackVanishedOnesLeftAlone)
{
    kept_.newKeys.Watch(HKEY_CURRENT_USER, "Software\\BmTest");
    kept_.newKeys.Watch(HKEY_LOCAL_MACHINE, "Software\\BmTest");
    const std::string w = std::string("HKEY_CURRENT_USER\\") + kWatchKey + "\\";
    const struct {
        std::string entry;
        bool dword;
        const char *approved, *current;
        DWORD lock;
    } rows[] = {
        {w + "Level", true, "1", "16", 0},              // asked; No puts 1 back
        {w + "Accepted", false, "a", "b", 0},           // asked; Yes keeps b
        {w + "Name", false, "Hello", "HELLO", 0},       // letter case only: no change
        {w + "Locked", false, "keep", "changed", 1},    // put back without a word
        {std::string("hkey_nowhere\\") + kWatchKey + "\\Root", false, "x", "y", 1},  // unknown root: the user's
        {std::string("Hkey_Local_Machine\\") + kWatchKey + "\\Machine", true, "7", "8", 1},
        {w + "Gone", false, "g", nullptr, 0},            // the value vanished: skipped
        {std::string("HKEY_CURRENT_USER\\Software\\BmTest\\Vanished\\Gone"), false, "g", nullptr, 1},
    };
    for (const auto &row : rows) {
        if (row.dword)
            RegPutDword(HKEY_CURRENT_USER, REGOPTIONS_KEY, row.entry.c_str(), atoi(row.approved));
        else
            RegPut(HKEY_CURRENT_USER, REGOPTIONS_KEY, row.entry.c_str(), row.approved);
        if (row.lock)
            RegPutDword(HKEY_CURRENT_USER, REGLOCK_KEY, row.entry.c_str(), row.lock);
        if (!row.current)
            continue;
        HKEY root = RegOptionsRoot(row.entry.substr(0, row.entry.find('\\')).c_str(), NULL);
        std::string name = row.entry.substr(row.entry.rfind('\\') + 1);
        if (row.dword)
            RegPutDword(root, kWatchKey, name.c_str(), atoi(row.current), k64);
        else
            RegPut(root, kWatchKey, name.c_str(), row.current, k64);
    }
    RegPut(HKEY_CURRENT_USER, kWatchKey, "Bystander", "same", k64);
    KeyValueMap user = RegKeyValues(HKEY_CURRENT_USER, kWatchKey), machine = RegKeyValues(HKEY_LOCAL_MACHINE, kWatchKey);

    // The watch list's order is the registry's: each question is answered by its text.
    const std::string level = std::string(kWatchKey) + "  Level: 16 ";
    auto seen = Answering({{IDNO, false, level.c_str()}, {IDYES, false, "  Accepted: b "}},
                          [] { EXPECT_EQ(5, VerifyRegOptions(nullptr)); });
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(gszTitle, seen[0].caption);
    EXPECT_NE(std::string::npos, seen[0].texts.find(LangText(1401)));
    // Nothing but the answered and locked values changed.
    user["Level"] = DwordData(1);
    user["Locked"] = SzData("keep");
    user["Root"] = SzData("x");
    machine["Machine"] = DwordData(7);
    EXPECT_EQ(user, RegKeyValues(HKEY_CURRENT_USER, kWatchKey));
    EXPECT_EQ(machine, RegKeyValues(HKEY_LOCAL_MACHINE, kWatchKey));
    EXPECT_FALSE(RegHasKey(HKEY_CURRENT_USER, "Software\\BmTest\\Vanished"));
    EXPECT_EQ("b", RegText(HKEY_CURRENT_USER, REGOPTIONS_KEY, (w + "Accepted").c_str()));
    EXPECT_EQ(1, HistoryLinesWith({"*SETTING_Restore\tTYPE_REGVALUE\tLevel\tHKEY_CURRENT_USER\\Software\\BmTest\\Watch\t1"}));
    EXPECT_EQ(1, HistoryLinesWith({"*SETTING_Restore\tTYPE_REGVALUE\tMachine\tHKEY_LOCAL_MACHINE\\"}));
    EXPECT_EQ(0u, Answering({}, [] { EXPECT_EQ(0, VerifyRegOptions(nullptr)); }).size()) << "all settled";

    const struct {
        const char *name;
        HKEY root;
    } roots[] = {{"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}, {"hkey_current_user", HKEY_CURRENT_USER},
                 {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_USERS", HKEY_USERS},
                 {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}, {"HKLM", HKEY_CURRENT_USER}};
    for (const auto &row : roots)
        EXPECT_EQ(row.root, RegOptionsRoot(row.name, NULL)) << row.name;
}

int gHelpOpened;

TEST_F(SettingsTest, PageRulesAdoptTrailingSlashHideHomePageAndHelp)
{
    Keep(HKEY_CURRENT_USER, kIEMain, "Start Page");
    Keep(HKEY_CURRENT_USER, kIEMain, "Search Page");
    Keep(HKEY_CURRENT_USER, kDesktop, "Source");
    PageHelpOpener = [](int id) { gHelpOpened = id; };
    gHelpOpened = 0;
    const auto page = [](const char *value) { return RegText(HKEY_CURRENT_USER, kIEMain, value); };
    const auto copy = [](const char *value) { return RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, value); };
    RegPut(HKEY_CURRENT_USER, kIEMain, "Start Page", "http://home.example/");
    RegPut(HKEY_CURRENT_USER, kIEMain, "Search Page", "http://find.example/");
    RegPut(HKEY_CURRENT_USER, kDesktop, "Source", "about:home");
    RecordOriginalPages();
    EXPECT_EQ("http://home.example/", copy("OriginalStartPage"));
    EXPECT_EQ(0u, Answering({}, [] { EXPECT_EQ(0, VerifyStartPages(nullptr)); }).size()) << "first run adopts";
    EXPECT_EQ("http://find.example/", copy("SearchPage"));

    RegPut(HKEY_CURRENT_USER, kIEMain, "Start Page", "HTTP://HOME.EXAMPLE");
    EXPECT_EQ(0u, Answering({}, [] { EXPECT_EQ(0, VerifyStartPages(nullptr)); }).size()) << "case and trailing /";

    // Alerts on: asked whatever "HideHomePage" says. Help changes nothing and asks again.
    giHideHomePage = 2;
    RegPut(HKEY_CURRENT_USER, kIEMain, "Start Page", "http://bad.example/");
    auto seen = Answering({{IDC_SETTING_HELP, false, NULL}}, [] { EXPECT_EQ(1, VerifyStartPages(nullptr)); });
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(LangText(624), seen[0].caption);
    EXPECT_EQ(LangFilled(625, "http://bad.example/", "http://home.example/") + "\n", seen[0].texts);
    EXPECT_TRUE(seen[0].topRight);
    EXPECT_EQ(6062, gHelpOpened);
    EXPECT_EQ("http://bad.example/", page("Start Page"));
    EXPECT_EQ(1u, Answering({{IDNO, false, NULL}}, [] { VerifyStartPages(nullptr); }).size());
    EXPECT_EQ("http://home.example/", page("Start Page")) << "Reject writes the approved page back";
    EXPECT_EQ(1, HistoryLinesWith({"*SETTING_Restore\tTYPE_BROWSERPAGE\tStart Page\thttp://home.example/"}));

    // Alerts off: "HideHomePage" 2 rejects and 1 accepts without a dialog.
    giShowAlerts = 0;
    RegPut(HKEY_CURRENT_USER, kIEMain, "Search Page", "http://bad.example/");
    EXPECT_EQ(0u, Answering({}, [] { EXPECT_EQ(1, VerifyStartPages(nullptr)); }).size());
    EXPECT_EQ("http://find.example/", page("Search Page"));
    giHideHomePage = 1;
    RegPut(HKEY_CURRENT_USER, kDesktop, "Source", "http://desk.example/");
    EXPECT_EQ(0u, Answering({}, [] { EXPECT_EQ(1, VerifyStartPages(nullptr)); }).size());
    EXPECT_EQ("http://desk.example/", copy("SourcePage"));
    EXPECT_EQ("http://home.example/", copy("StartPage"));
    PageHelpOpener = OpenHelpPage;
}

TEST_F(SettingsTest, WindowsUpdateModeAskedAcceptedOrReplacedWhenNoApprovedMode)
{
    Keep(HKEY_LOCAL_MACHINE, AUTO_UPDATE_KEY, "AUOptions");
    const auto setBoth = [](DWORD mine, DWORD system) {
        RegPutDword(HKEY_CURRENT_USER, BRACKMOOR_KEY, "AUOptions", mine);
        RegPutDword(HKEY_LOCAL_MACHINE, AUTO_UPDATE_KEY, "AUOptions", system, k64);
    };
    setBoth(4, 1);
    auto seen = Answering({{IDYES, false, NULL}}, [] { EXPECT_EQ(1, VerifyAutomaticUpdates(nullptr)); });
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(std::string(gszTitle) + " - " + LangText(1050), seen[0].caption);
    EXPECT_EQ(LangFilled(1055, LangText(1054), LangText(1051)) + "\n", seen[0].texts);
    EXPECT_EQ(DwordData(1), RegKeyValues(HKEY_CURRENT_USER, BRACKMOOR_KEY)["AUOptions"]);
    EXPECT_EQ(1, HistoryLinesWith({"SETTING_Accept\tTYPE_AUTOUPDATE\tAUOptions\t"}));

    // No approved mode (0, or the policy-only 5): the system's mode is taken silently.
    for (DWORD mine : {0u, 5u}) {
        setBoth(mine, 3);
        EXPECT_EQ(0u, Answering({}, [] { EXPECT_EQ(0, VerifyAutomaticUpdates(nullptr)); }).size()) << mine;
        EXPECT_EQ(DwordData(3), RegKeyValues(HKEY_CURRENT_USER, BRACKMOOR_KEY)["AUOptions"]) << mine;
    }
    RegRemoveValue(HKEY_LOCAL_MACHINE, AUTO_UPDATE_KEY, "AUOptions", k64);
    RegPutDword(HKEY_CURRENT_USER, BRACKMOOR_KEY, "AUOptions", 5);
    VerifyAutomaticUpdates(nullptr);
    EXPECT_EQ(DwordData(5), RegKeyValues(HKEY_CURRENT_USER, BRACKMOOR_KEY)["AUOptions"]) << "no system mode to take";

    // A busy user (full screen, presenting) is not asked: the check waits for its next run.
    setBoth(2, 3);
    UserBusyStateOverride = [] { return 2; };
    EXPECT_EQ(0u, Answering({}, [] { EXPECT_EQ(0, VerifyAutomaticUpdates(nullptr)); }).size());
    UserBusyStateOverride = nullptr;
    EXPECT_EQ(DwordData(2), RegKeyValues(HKEY_CURRENT_USER, BRACKMOOR_KEY)["AUOptions"]);

    // Alerts off: "HideSystemFiles" 1 accepts without a dialog.
    giShowAlerts = 0;
    giHideSystemFiles = 1;
    EXPECT_EQ(0u, Answering({}, [] { EXPECT_EQ(1, VerifyAutomaticUpdates(nullptr)); }).size());
    EXPECT_EQ(DwordData(3), RegKeyValues(HKEY_CURRENT_USER, BRACKMOOR_KEY)["AUOptions"]);
}

}  // namespace
