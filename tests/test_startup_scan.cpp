// The startup scan and its baselines: what each location yields, under which
// code and in which order, and what is never recorded.
#include <windows.h>

#include <objbase.h>
#include <shlguid.h>
#include <shobjidl.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/options.h"
#include "startup/locations.h"
#include "common/runlist.h"
#include "startup/startup_scan.h"
#include "monitor/watcher_table.h"
#include "support/system_state.h"
#include "support/test_env.h"

// The list the routines under test fill and read.
static OwnedRunList gList;

namespace {

const char kRunServices[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kRunServicesOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";
const char kRunSetup[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Setup";
const char kRunServicesOnce32[] = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";
const char kRunSetup32[] = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Setup";
const char kNotifyKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\BmNotifyScan";
const char kClsid[] = "{3C1B7E52-5A0D-4F6B-8E21-7D4C9A0B1E61}";
const char kClassKey[] = "Software\\Classes\\CLSID\\{3C1B7E52-5A0D-4F6B-8E21-7D4C9A0B1E61}";

// The records of the run list; with a path, only those of that path (without
// regard to case), and first: the index of the first of them.
std::vector<RunRecord> Records(const std::string &path = "", int *first = nullptr)
{
    std::vector<RunRecord> all = RunRecords(gList), out;
    if (first)
        *first = -1;
    for (size_t i = 0; i < all.size(); i++)
        if (path.empty() || SameText(all[i].path, path)) {
            if (first && out.empty())
                *first = (int)i;
            out.push_back(all[i]);
        }
    return out;
}

// The classes, Notify entries and other Run-family keys a test makes go with it.
class StartupScanTest : public StartupPlacesTest {
protected:
    void SetUp() override
    {
        StartupPlacesTest::SetUp();
        for (const char *key : {kRunServicesOnce, kRunSetup, kRunServicesOnce32, kRunSetup32, kNotifyKey})
            Watch(HKLM, key);
        Watch(HKCU, kRunServices);
    }
    void TearDown() override
    {
        FreeRunList(gList);
        RegDeleteTreeView(HKLM, kClassKey, k64);
        RegDeleteTreeView(HKLM, kNotifyKey, k64);
        giShowAllStartup = 0;
        StartupPlacesTest::TearDown();
    }
};

TEST_F(StartupScanTest, RunValuesAreRecordedByTheirRules)
{
    RegPut(HKLM, (std::string(kClassKey) + "\\InprocServer32").c_str(), "", "C:\\bm\\server.dll", k64);
    struct Row {
        HKEY root;
        const char *key, *name, *data, *path;   // path: as recorded, nullptr for the data itself
        int code, extra;                        // code 0: not recorded
    } rows[] = {
        {HKLM, kRun, "BmMachine", "C:\\bm\\machine.exe", nullptr, 1, 0},
        {HKCU, kRun, "BmUser", "C:\\bm\\user.exe", nullptr, 11, 0},
        {HKLM, kRun32, "BmWow", "C:\\bm\\wow.exe", nullptr, 21, 0},
        {HKCU, kRun, "x", "C:\\bm\\single.exe", nullptr, 0, 0},
        {HKCU, kRun, "BmFour", "a.ex", nullptr, 0, 0},
        {HKCU, kRun, "BmFive", "b.exe", nullptr, 11, 0},
        {HKCU, kRun, "\x80tude", "C:\\bm\\etude.exe", nullptr, 0, 0},
        {HKCU, kRun, "BmQuoted", "\"C:\\Program Files\\Bm\\tool.exe\" /start", "C:\\Program Files\\Bm\\tool.exe /start",
         11, 0},
        {HKCU, kRun, "BmRundll", "C:\\Windows\\System32\\RunDll32.EXE bm.dll,Go", nullptr, 11, 1},
        {HKCU, kRun, "BmClass", kClsid, "C:\\bm\\server.dll", 11, 0},
        {HKCU, kRun, "", "C:\\bm\\default.exe", nullptr, 11, 0},
        // The same name and data right after each other (case aside) once; other data again.
        {HKLM, kRunServicesOnce, "BmDup", "C:\\bm\\dup.exe", nullptr, 5, 0},
        {HKLM, kRunSetup, "BmDup", "C:\\BM\\DUP.EXE", nullptr, 5, 0},
        {HKLM, kRunServicesOnce32, "BmDup", "C:\\bm\\other1.exe", nullptr, 25, 0},
        {HKLM, kRunSetup32, "BmDup", "C:\\bm\\other2.exe", nullptr, 26, 0},
    };
    for (const Row &row : rows) {
        Put(row.root, row.key, row.name, row.data);
        ASSERT_TRUE(RegHasValue(row.root, row.key, row.name, k64)) << row.name;
    }
    Put(HKLM, kRunServicesOnce, "", "");
    Put(HKCU, kRun, "BmEmpty", "");
    EXPECT_EQ(gList->count, StartupScan(gList, 1));
    int previous = -1;
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        int at;
        std::vector<RunRecord> found = Records(rows[i].path ? rows[i].path : rows[i].data, &at);
        ASSERT_EQ(rows[i].code ? 1u : 0u, found.size()) << "row " << i;
        if (!found.empty()) {
            EXPECT_EQ(rows[i].name, found[0].name) << "row " << i;
            EXPECT_EQ(rows[i].code, found[0].code) << "row " << i;
            EXPECT_EQ(rows[i].extra, found[0].extra) << "row " << i;
            EXPECT_EQ("", found[0].source) << "row " << i;
        }
        if (i < 3) {   // the machine's keys, the user's, then the 32-bit view
            EXPECT_GT(at, previous) << "row " << i;
            previous = at;
        }
    }
    for (const RunRecord &r : Records())   // an empty value is never an entry
        EXPECT_TRUE(r.name != "BmEmpty" && (r.code == 11 || !r.name.empty())) << r.name << " " << r.path;
}

TEST_F(StartupScanTest, OverlongBinaryAndTooManyValuesStayBounded)
{
    std::string mid = "C:\\bm\\" + std::string(300, 'm') + ".exe";
    Put(HKCU, kRun, "BmHuge", std::string(2000, 'x'));
    Put(HKCU, kRun, "BmMid", mid.c_str());
    Put(HKCU, kRun, std::string(600, 'N'), "C:\\bm\\longname.exe");
    // Text, a NUL and bytes of no text; text without a NUL; a number.
    const char binary[] = "C:\\bm\\binary.exe\0\xff\xfe\x01garbage", noEnd[] = "C:\\bm\\noend.exe";
    Put(HKCU, kRun, "BmBinary", std::string(binary, sizeof(binary) - 1), sizeof(binary) - 1);
    Put(HKCU, kRun, "BmNoEnd", noEnd, sizeof(noEnd) - 1);
    Put(HKCU, kRun, "BmNumber", "AAAA", 4, REG_DWORD);
    HKEY many;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKCU, kRunServices, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &many, NULL));
    for (int i = 0; i < 4100; i++) {
        std::string name = "BmMany" + std::to_string(i), data = "C:\\bm\\" + name + ".exe";
        RegSetValueExA(many, name.c_str(), 0, REG_SZ, (const BYTE *)data.c_str(), (DWORD)data.size() + 1);
    }

    EXPECT_EQ(RUN_LIST_MAX, StartupScan(gList, 0));
    for (int i = 0; i < 4100; i++)
        RegDeleteValueA(many, ("BmMany" + std::to_string(i)).c_str());
    RegCloseKey(many);
    for (const RunRecord &r : Records()) {
        EXPECT_NE("BmHuge", r.name);
        EXPECT_NE("BmNumber", r.name);
        EXPECT_EQ(std::string::npos, r.path.find("longname")) << "a name too long to read is passed over";
    }
    std::vector<RunRecord> cut = Records(mid.substr(0, MAX_PATH - 1));
    ASSERT_EQ(1u, cut.size());
    EXPECT_EQ("BmMid", cut[0].name);
    EXPECT_EQ(1u, Records("C:\\bm\\binary.exe").size());
    EXPECT_EQ(1u, Records("C:\\bm\\noend.exe").size());
}

// Every other location in one full scan: what each gives, under which code and
// name, in the order of locations; the quick scan leaves out Winlogon and hooks.
TEST_F(StartupScanTest, FullScanOfEveryLocationAndTheQuickScan)
{
    std::string folder = UseStartupFolder(), parked = DataFolder() + "\\Disabled";
    std::string link = folder + "\\Bm Tool.lnk";
    std::string target = TempFolder() + "\\bmtarget.exe", ini = TempFolder() + "\\bmini.exe";
    std::string load = TempFolder() + "\\bmload.exe";
    CreateDirectoryA((folder + "\\sub.exe").c_str(), NULL);   // a folder, though named like a program
    for (const std::string &file : {target, ini, load, folder + "\\desktop.ini", folder + "\\direct.exe",
                                    folder + "\\notes.bat", parked + "\\parked.bat"})
        WriteWholeFile(file, "MZ");
    WriteWholeFile(folder + "\\broken.lnk", std::string("\x4c\0\0\0garbage", 11));
    ASSERT_TRUE(MakeShortcut(link, target));
    WriteProfileStringA("windows", "run", ("bm-missing-a.exe;;" + ini).c_str());
    WriteProfileStringA("windows", "load", (load + ";C:\\bm\\missing.exe;").c_str());
    // Disabled entries: the marker tells where they came from; Notify ones stay unlisted.
    struct Stored {
        const char *store, *name, *marker;
    } stored[] = {{"Run", "BmStoredWow", "21"}, {"WinRun", "BmStoredRun", "101"}, {"Run", "BmNoMarker", nullptr},
                  {"RunSetup", "BmStoredSetup", "16"}, {"WinNotify", "BmStoredNotify", "256"}};
    for (const Stored &s : stored) {
        RegPut(HKLM, (std::string(DISABLED_MARKER_KEY) + "\\" + s.store).c_str(), s.name,
               (std::string("C:\\bm\\") + s.name).c_str());
        if (s.marker)
            RegPut(HKLM, DISABLED_MARKER_KEY, s.name, s.marker);
    }
    // A disabled program that put itself back is taken out again; its neighbour stays.
    RegPut(HKLM, DISABLED_MARKER_KEY, "BmBack", "11");
    RegPut(HKLM, (std::string(DISABLED_MARKER_KEY) + "\\Run").c_str(), "BmBack", "C:\\bm\\old.exe");
    Put(HKCU, kRun, "BmBack", "C:\\bm\\new.exe");
    Put(HKCU, kRun, "BmStays", "C:\\bm\\stays.exe");
    RegPut(HKLM, kWinlogon, "Userinit", (SystemFolder() + "\\userinit.exe,  C:\\bm\\evil.exe").c_str(), k64);
    RegPut(HKLM, kWinlogon, "Shell", "Explorer.exe C:\\bm\\shell.exe", k64);
    RegPut(HKLM, kNotifyKey, "DllName", "C:\\bm\\notify-scan.dll", k64);

    for (int showAll = 0; showAll < 2; showAll++) {
        giShowAllStartup = showAll;
        StartupScan(gList, 1);
        size_t special = 0;
        for (const RunRecord &r : Records())
            EXPECT_TRUE(showAll || r.code < 250) << r.path;
        for (const char *path : {"C:\\bm\\evil.exe", "C:\\bm\\shell.exe", "C:\\bm\\notify-scan.dll"})
            special += Records(path).size();
        EXPECT_EQ(showAll ? 3u : 0u, special) << "ShowAllStartup " << showAll;
    }
    giShowAllStartup = 0;
    StartupScan(gList, 0);
    struct Row {
        std::string path, name, source;
        int code, extra;     // code 0: not listed
        bool ordered;        // the first of its location: after the one before
    } rows[] = {
        {"C:\\bm\\stays.exe", "BmStays", "", 11, 0, true},
        {target, "bmtarget", link, 200, 1, true},
        {folder + "\\direct.exe", "direct", folder + "\\direct.exe", 200, 1, false},
        {folder + "\\notes.bat", "notes", "", 200, 0, false},
        {folder + "\\desktop.ini", "", "", 0, 0, false},
        {folder + "\\broken.lnk", "", "", 0, 0, false},
        {folder + "\\sub.exe", "", "", 0, 0, false},
        {ini, "run", "", 101, 0, true},
        {load, "load", "", 100, 0, false},
        {"C:\\bm\\missing.exe", "", "", 0, 0, false},
        {"C:\\bm\\new.exe", "BmBack", "", 11, STORED_COPY_EXTRA, true},
        {"C:\\bm\\BmStoredWow", "BmStoredWow", "", 21, STORED_COPY_EXTRA, false},
        {"C:\\bm\\BmStoredSetup", "BmStoredSetup", "", 16, STORED_COPY_EXTRA, false},
        {"C:\\bm\\BmStoredRun", "BmStoredRun", "", 101, STORED_COPY_EXTRA, false},
        {"C:\\bm\\BmNoMarker", "", "", 0, 0, false},
        {"C:\\bm\\BmStoredNotify", "", "", 0, 0, false},
        {parked + "\\parked.bat", "parked", "", 200, STORED_COPY_EXTRA, true},
        {"C:\\bm\\evil.exe", "Winlogon Userinit", "", 250, 0, true},
        {"C:\\bm\\shell.exe", "Winlogon Shell", "", 251, 0, true},
        {"C:\\bm\\notify-scan.dll", "BmNotifyScan", "", 256, 0, true},
    };
    int previous = -1;
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        int at;
        std::vector<RunRecord> found = Records(rows[i].path, &at);
        ASSERT_EQ(rows[i].code ? 1u : 0u, found.size()) << "row " << i << ": " << rows[i].path;
        if (!rows[i].code)
            continue;
        EXPECT_EQ(rows[i].code, found[0].code) << "row " << i;
        EXPECT_EQ(rows[i].name, found[0].name) << "row " << i;
        EXPECT_EQ(0, lstrcmpiA(rows[i].source.c_str(), found[0].source.c_str()))
            << "row " << i << ": " << found[0].source;
        EXPECT_EQ(rows[i].extra, found[0].extra) << "row " << i;
        if (rows[i].ordered) {
            EXPECT_GT(at, previous) << "row " << i;
            previous = at;
        }
    }
    EXPECT_FALSE(RegHasValue(HKCU, kRun, "BmBack", k64));
    EXPECT_EQ("C:\\bm\\new.exe", RegText(HKLM, (std::string(DISABLED_MARKER_KEY) + "\\Run").c_str(), "BmBack"));
    EXPECT_EQ("11", RegText(HKLM, DISABLED_MARKER_KEY, "BmBack"));
}

TEST(StartupScanText, UserinitShellAndBaselineNameRules)
{
    enum { USERINIT, SHELL, BASELINE };
    int (*const rules[])(const char *, char *) = {ParseUserinitText, ParseShellText, BaselineValueName};
    const std::string longUserinit = "C:\\Windows\\system32\\userinit.exe," + std::string(1000, 'e');
    struct Row {
        int rule;
        std::string value, expected;
    } rows[] = {
        {USERINIT, "C:\\Windows\\system32\\userinit.exe,", "C:\\Windows\\system32\\userinit.exe"},
        {USERINIT, "C:\\Windows\\system32\\userinit.exe,  C:\\evil.exe", "C:\\evil.exe"},
        {USERINIT, "C:\\Windows\\system32\\userinit.exe,C:\\evil.exe,", "C:\\evil.exe,"},
        {USERINIT, "C:\\Windows\\system32\\userinit.exe,   ", "C:\\Windows\\system32\\userinit.exe,   "},
        {USERINIT, "C:\\Windows\\system32\\userinit.exe", ""},
        {USERINIT, longUserinit, longUserinit.substr(longUserinit.find(',') + 1, MAX_PATH - 1)},
        {SHELL, "Explorer.exe", "Explorer.exe"},
        {SHELL, "Explorer.exe    other.exe", "other.exe"},
        {SHELL, "Explorer.exe ", "Explorer.exe"},
        {SHELL, "Explorer.exe   ", "Explorer.exe   "},
        {BASELINE, "C:\\bm\\a=b.exe", "C:\\bm\\a:b.exe"},
        {BASELINE, std::string(400, '='), std::string(MAX_PATH - 1, ':')},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[MAX_PATH + kGuardLen];
        FillGuarded(out, sizeof(out));
        int len = rules[rows[i].rule](rows[i].value.c_str(), out);
        EXPECT_EQ(rows[i].expected, out) << "row " << i;
        EXPECT_EQ((int)rows[i].expected.size(), len) << "row " << i;
        EXPECT_TRUE(GuardIntact(out, MAX_PATH)) << "row " << i;
    }
}

TEST_F(StartupScanTest, BaselinesAreRebuiltByPathFromNothingAndLookedUp)
{
    const char *keys[] = {STARTUP_BASELINE_KEY, "Software\\Dunmere Works\\Brackmoor\\IEHelpers",
                          "Software\\Dunmere Works\\Brackmoor\\Tasks"};
    Put(HKCU, kRun, "BmBase", "C:\\bm\\base.exe");
    Put(HKLM, kRun, "BmEquals", "C:\\bm\\a=b.exe -x=1");
    for (int pass = 0; pass < 2; pass++) {
        for (const char *key : keys)
            RegPut(HKCU, key, "C:\\bm\\stale.exe", "11");
        if (pass == 0)
            InitRegStartups();
        else
            CleanupAndInitializeRegistry();
        for (int k = 0; k < (pass == 0 ? 1 : 3); k++) {
            EXPECT_TRUE(RegHasKey(HKCU, keys[k])) << "pass " << pass << " " << keys[k];
            EXPECT_FALSE(RegHasValue(HKCU, keys[k], "C:\\bm\\stale.exe")) << "pass " << pass << " " << keys[k];
        }
        EXPECT_EQ("11", RegText(HKCU, STARTUP_BASELINE_KEY, "C:\\bm\\base.exe")) << "pass " << pass;
        EXPECT_EQ("1", RegText(HKCU, STARTUP_BASELINE_KEY, "C:\\bm\\a:b.exe -x:1")) << "pass " << pass;
        EXPECT_FALSE(RegHasValue(HKCU, STARTUP_BASELINE_KEY, "C:\\bm\\a=b.exe -x=1")) << "pass " << pass;
    }
    // Every entry of a fresh full scan is known now, under the code it has.
    StartupScan(gList, 0);
    for (int i = 0; i < gList->count; i++)
        EXPECT_EQ(GetRunCode(gList, i), LookupStartupBaseline(gList, i)) << "entry " << i;

    // The lookup: by path, else by name; a value that is no code of ours counts as none.
    struct Row {
        const char *byPath, *byName;
        int expected;
    } rows[] = {
        {"11", nullptr, 11}, {nullptr, "11", 11}, {"1103", nullptr, 1103}, {"0", "14", 14}, {"0", nullptr, 0}, {"junk", nullptr, 0},
        {"123456789012345678901234567890123", nullptr, 0},   // 33 characters
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegDeleteTreeView(HKCU, STARTUP_BASELINE_KEY);
        if (rows[i].byPath)
            RegPut(HKCU, STARTUP_BASELINE_KEY, "C:\\bm\\base.exe", rows[i].byPath);
        if (rows[i].byName)
            RegPut(HKCU, STARTUP_BASELINE_KEY, "BmBase", rows[i].byName);
        StartupScan(gList, 1);
        int at;
        Records("C:\\bm\\base.exe", &at);
        ASSERT_GE(at, 0) << "row " << i;
        EXPECT_EQ(rows[i].expected, LookupStartupBaseline(gList, at)) << "row " << i;
    }
}

}  // namespace
