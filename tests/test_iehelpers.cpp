// Browser add-ons and ActiveX controls in process: class ids, listings, removal and
// decisions taken without the dialog.
#include <windows.h>

#include <string>
#include <vector>

#include "common/file_facts.h"
#include "common/options.h"
#include "common/registry.h"
#include "startup/locations.h"
#include "support/addon_keys.h"
#include "support/system_state.h"
#include "support/test_env.h"
#include "watchers/ie_helpers.h"

namespace {

// Test class ids; the last two digits tell them apart.
std::string Id(int n)
{
    char id[40];
    snprintf(id, sizeof(id), "{7B3E91C4-2D5A-4F08-9A61-C0FFEE0000%02d}", n);
    return id;
}
const int kIds = 20;

// The records whose path or source holds a test class id.
std::vector<RunRecord> Ours(const RunList *list)
{
    std::vector<RunRecord> out;
    for (const RunRecord &r : RunRecords(list))
        if ((r.path + r.source).find("C0FFEE") != std::string::npos)
            out.push_back(r);
    return out;
}

class AddonTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        FreeFileFacts();
        WatchAddonAreas(created_);
        addon_ = TempFolder() + "\\bmaddon.dll";
        ASSERT_TRUE(CopyFileA((BinFolder() + "\\bmaddon.dll").c_str(), addon_.c_str(), FALSE));
    }
    void TearDown() override
    {
        for (int n = 0; n < kIds; n++)
            RemoveAddonKeys({Id(n)});
        RegDeleteTreeView(HKEY_CURRENT_USER, "Software\\Brackmoor Tests");
        created_.Remove();
        FreeFileFacts();
        BrackmoorTest::TearDown();
    }
    NewKeys created_;
    std::string addon_;
};

TEST_F(AddonTest, ClassIdsResolveInTheirViewAndAreReadOncePerChange)
{
    RegisterClass(Id(1), k64, "Sixty Four", "C:\\x\\64.dll");
    RegisterClass(Id(2), k32, "Thirty Two", "C:\\x\\32.dll");
    RegisterClass(Id(3), k64, "No Server", "");
    RegisterClass(Id(4), k64, "Quoted", "\"C:\\Program Files\\x\\q.dll\"");
    RegisterClass(Id(5), k64, "Both 64", "C:\\x\\both64.dll");
    RegisterClass(Id(5), k32, "Both 32", "C:\\x\\both32.dll");
    RegisterClass(Id(6), k64, NULL, "C:\\x\\nameless.dll");
    const struct { std::string clsid; int result; const char *name, *path; } rows[] = {
        {Id(1), 1, "Sixty Four", "C:\\x\\64.dll"},
        {Id(1).substr(1, 36), 1, "Sixty Four", "C:\\x\\64.dll"},          // without braces
        {Id(1) + " and more", 1, "Sixty Four", "C:\\x\\64.dll"},
        {Id(2), 1, "Thirty Two", "C:\\x\\32.dll"},                        // Wow6432Node only
        {Id(3), 0, "", ""},
        {Id(4), 1, "Quoted", "C:\\Program Files\\x\\q.dll"},
        {Id(5), 1, "Both 64", "C:\\x\\both64.dll"},
        {Id(6), 1, "", "C:\\x\\nameless.dll"},
        {Id(7), 0, "", ""},                                               // not registered
        {"", 0, "", ""}, {"{", 0, "", ""}, {"{a\\b}", 0, "", ""}, {std::string(300, '7'), 0, "", ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char name[CLSID_NAME_MAX] = "sentinel", path[MAX_PATH] = "sentinel";
        EXPECT_EQ(rows[i].result, ResolveClsid(rows[i].clsid.c_str(), name, path)) << "row " << i;
        EXPECT_STREQ(rows[i].name, name) << "row " << i;
        EXPECT_STREQ(rows[i].path, path) << "row " << i;
    }
    // A reader of the 32-bit view gets the 32-bit registration first.
    char name[CLSID_NAME_MAX], path[MAX_PATH];
    RegAccessModes saved = UseRegistryView(k32);
    EXPECT_EQ(1, ResolveClsid(Id(5).c_str(), name, path));
    PutRegistryAccessBack(saved);
    EXPECT_STREQ("C:\\x\\both32.dll", path);

    // Unchanged registrations are not read again; a new server or name is.
    int reads = giClsidReads;
    for (int round = 0; round < 3; round++)
        ResolveClsid(Id(1).c_str(), name, path);
    EXPECT_EQ(reads, giClsidReads);
    RegisterClass(Id(1), k64, NULL, "C:\\x\\moved.dll");
    ResolveClsid(Id(1).c_str(), name, path);
    EXPECT_STREQ("C:\\x\\moved.dll", path);
    RegisterClass(Id(1), k64, "Renamed", "");
    ResolveClsid(Id(1).c_str(), name, path);
    EXPECT_STREQ("Renamed", name);
    EXPECT_EQ(reads + 2, giClsidReads);
}

TEST_F(AddonTest, ListingsNameSkipAndKeepTheirViews)
{
    const std::string bho = std::string(BHO_KEY) + "\\", ext = std::string(EXTENSIONS_KEY) + "\\";
    RegisterClass(Id(1), k32, "Bm Helper", "C:\\x\\helper32.dll");
    RegisterClass(Id(1), k64, "Bm Helper", "C:\\x\\helper64.dll");
    RegisterClass(Id(2), k32, "BM HELPER", "C:\\x\\same name.dll");
    RegisterClass(Id(3), k64, NULL, "C:\\x\\nameless.dll");
    for (int n : {1, 2})
        RegPut(HKLM, (bho + Id(n)).c_str(), "NoExplorer", "1", k32);
    for (int n : {1, 3})
        RegPut(HKLM, (bho + Id(n)).c_str(), "NoExplorer", "1", k64);
    RegisterClass(Id(4), k64, "Toolbar", addon_);
    RegisterClass(Id(5), k64, "Toolbar", "C:\\x\\tb.dll");
    for (int n : {4, 5})
        RegPut(HKLM, TOOLBAR_KEY, Id(n).c_str(), "", k64);
    RegPut(HKLM, (ext + Id(6)).c_str(), "ButtonText", "Bm Button", k64);
    RegPut(HKLM, (ext + Id(6)).c_str(), "Exec", addon_.c_str(), k64);
    RegPut(HKLM, (ext + Id(7)).c_str(), "ButtonText", "@C:\\Windows\\SHDOCLC.DLL,-864", k64);
    RegPut(HKLM, (ext + Id(7)).c_str(), "script", "C:\\x\\related.htm", k64);
    RegPut(HKLM, (ext + Id(7)).c_str(), "HotIcon", "C:\\x\\hot.ico", k64);
    RegPut(HKLM, (ext + Id(8)).c_str(), "Exec", addon_.c_str(), k64);   // no ButtonText

    OwnedRunList list;
    ListIEHelpers(list);
    std::vector<RunRecord> got = Ours(list);
    const RunRecord want[] = {
        {"Bm Helper", "C:\\x\\helper32.dll", Id(1), "", CODE_BHO, (int)k32},
        {"Bm Helper (x64)", "C:\\x\\helper64.dll", Id(1), "", CODE_BHO, (int)k64},
        {"Bm Toolbar Suite", addon_, Id(4), "2.5.0.1", CODE_TOOLBAR, (int)k64},
        {"tb.dll", "C:\\x\\tb.dll", Id(5), "", CODE_TOOLBAR, (int)k64},
        {"Bm Toolbar Suite", Id(6), addon_, addon_, CODE_EXTENSION, 0},
        {"Related", Id(7), "C:\\x\\related.htm", "C:\\x\\hot.ico", CODE_EXTENSION, 0},
    };
    ASSERT_EQ(sizeof(want) / sizeof(want[0]), got.size());
    for (size_t i = 0; i < got.size(); i++) {
        EXPECT_EQ(want[i].name, got[i].name) << "record " << i;
        EXPECT_EQ(want[i].path, got[i].path) << "record " << i;
        EXPECT_EQ(want[i].source, got[i].source) << "record " << i;
        EXPECT_EQ(want[i].details, got[i].details) << "record " << i;
        EXPECT_EQ(want[i].code, got[i].code) << "record " << i;
        EXPECT_EQ(want[i].extra, got[i].extra) << "record " << i;
    }
}

TEST_F(AddonTest, HostileEntriesAreBoundedSkippedAndTraced)
{
    TraceToTempFile();
    const std::string bho = std::string(BHO_KEY) + "\\";
    RegisterClass(Id(1), k64, std::string(3000, 'N').c_str(), "C:\\x\\long name.dll");   // named by its id
    RegisterClass(Id(2), k64, "Long Server", "C:\\" + std::string(600, 'p') + ".dll");   // skipped
    for (int n : {1, 2})
        RegPut(HKLM, (bho + Id(n)).c_str(), "NoExplorer", "1", k64);
    RegPut(HKLM, TOOLBAR_KEY, ("{" + std::string(400, 'T') + "}").c_str(), "", k64);
    const std::string ext = std::string(EXTENSIONS_KEY) + "\\" + Id(3);
    const char button[] = {'B', 'i', 'n', (char)0xE9, 'r', 'y'};   // no NUL, a high byte
    RegPutBinary(HKLM, ext.c_str(), "ButtonText", button, sizeof(button), REG_BINARY, k64);
    RegisterClass(Id(4), k64, "Dword Server", "");
    RegPutDword(HKLM, (ClassKey(Id(4), k64) + "\\InprocServer32").c_str(), "", 7, k64);
    RegPut(HKEY_CURRENT_USER, (std::string(EXT_STATS_KEY) + "\\" + Id(4)).c_str(), "Count", "1");

    OwnedRunList list;
    ListIEHelpers(list);
    std::vector<RunRecord> got = Ours(list);
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(Id(1) + " (x64)", got[0].name);
    EXPECT_EQ(std::string(button, sizeof(button)), got[1].name);
    EXPECT_TRUE(TraceHas("ResolveClsid name too long"));
    EXPECT_TRUE(TraceHas("ResolveClsid server unreadable"));
    EXPECT_TRUE(TraceHas("ListIEHelpers RegEnumValue"));
    RegRemoveValue(HKLM, TOOLBAR_KEY, ("{" + std::string(400, 'T') + "}").c_str(), k64);
    ListActiveX(list);
    EXPECT_TRUE(Ours(list).empty());
}

TEST_F(AddonTest, ControlsListedOncePerProgramAndOnlyWhenTheBrowserLoadedThem)
{
    const std::string stats = std::string(EXT_STATS_KEY) + "\\";
    std::string second = TempFolder() + "\\second.ocx";
    ASSERT_TRUE(CopyFileA(addon_.c_str(), second.c_str(), FALSE));
    const std::string systemDll = SystemFolder() + "\\kernel32.dll";
    // n, class name, program, iexplore Type (-1: no such subkey, -2: subkey without Type)
    const struct { int n; const char *name; std::string program; int type; bool listed; } rows[] = {
        {1, "Bm Control", addon_, -1, true},
        {2, "", second, 0, true},                   // no class name: the description
        {3, "Typed One", "C:\\x\\three.ocx", 1, true},
        {4, "Typed Two", "C:\\x\\four.ocx", 2, false},
        {5, "Untyped", "C:\\x\\five.ocx", -2, false},
        {6, "Same Program", addon_, -1, false},     // one record per program
        {7, "System", systemDll, -1, true},
    };
    for (const auto &row : rows) {
        RegisterClass(Id(row.n), k64, row.name, row.program);
        RegPut(HKEY_CURRENT_USER, (stats + Id(row.n)).c_str(), "Count", "1");
        if (row.type == -2)
            RegPut(HKEY_CURRENT_USER, (stats + Id(row.n) + "\\iexplore").c_str(), "Blocked", "0");
        if (row.type >= 0)
            RegPutDword(HKEY_CURRENT_USER, (stats + Id(row.n) + "\\iexplore").c_str(), "Type", (DWORD)row.type);
    }
    RegPut(HKEY_CURRENT_USER, (stats + Id(8)).c_str(), "Count", "1");   // not registered
    RegPutDword(HKLM, (std::string(ACTIVEX_COMPAT_KEY) + "\\" + Id(1)).c_str(), "Compatibility Flags", 0x401, k64);

    OwnedRunList list;
    ListActiveX(list);
    std::vector<RunRecord> got = Ours(list);
    size_t at = 0;
    for (const auto &row : rows) {
        if (!row.listed)
            continue;
        ASSERT_LT(at, got.size()) << "control " << row.n;
        EXPECT_EQ(Id(row.n), got[at].source) << "control " << row.n;
        EXPECT_EQ(row.program, got[at].path) << "control " << row.n;
        EXPECT_EQ(row.name[0] ? row.name : "Toolbar helper", got[at].name) << "control " << row.n;
        EXPECT_EQ(CODE_ACTIVEX, got[at].code);
        EXPECT_EQ(row.n == 1 ? 0x401 : 0, got[at].extra) << "flags travel in the record";
        at++;
    }
    EXPECT_EQ(at, got.size());
    // The system's own controls can be left out by their maker.
    static VersionRecord version;
    GetVersionInfo(systemDll.c_str(), &version);
    ASSERT_NE(nullptr, strstr(version.CompanyName, "Microsoft")) << version.CompanyName;
    giHideMicrosoftActiveX = 1;
    ListActiveX(list);
    EXPECT_EQ(got.size() - 1, Ours(list).size());
}

// Each kind of removal (helper key, toolbar value, extension key) is proved against the
// whole add-on areas by the end-to-end test; here what is already gone or cannot go.
TEST_F(AddonTest, RemovalTakesExactlyItsKeyAndLogsOnlyWhatWentAway)
{
    const std::string helper = std::string(BHO_KEY) + "\\" + Id(1);
    RegisterClass(Id(1), k32, "Bm Helper", "C:\\x\\helper32.dll");
    RegisterClass(Id(1), k64, "Bm Helper", "C:\\x\\helper64.dll");
    for (REGSAM view : {k32, k64})
        RegPut(HKLM, helper.c_str(), "NoExplorer", "1", view);
    OwnedRunList list;
    ListIEHelpers(list);
    auto index = [&](const char *name) {
        int i = 0;
        while (i < list->count && RunRecords(list)[i].name != name)
            i++;
        return i;
    };
    int i = index("Bm Helper");
    ASSERT_LT(i, list->count);
    std::string expected = AddonAreasWithout(helper, k32);   // the x64 twin is another helper
    ASSERT_NE(AddonAreas(), expected) << "the item is there";
    EXPECT_EQ(1, RemoveIEHelper(list, RunRecords(list)[i].path.c_str(), i));
    EXPECT_EQ(expected, AddonAreas());
    EXPECT_EQ(0, RemoveIEHelper(list, RunRecords(list)[i].path.c_str(), i)) << "gone already: not removed again";
    EXPECT_EQ(1, HistoryLinesWith({"IEHELPER_Remove", "TYPE_BHO"}));

    // A key that cannot go (it has a subkey) stays, and no removal line is written.
    RegPut(HKLM, (helper + "\\Held").c_str(), "x", "1", k64);
    i = index("Bm Helper (x64)");
    ASSERT_LT(i, list->count);
    EXPECT_EQ(0, RemoveIEHelper(list, "C:\\x\\helper64.dll", i));
    EXPECT_TRUE(RegHasKey(HKLM, helper.c_str(), k64));
    EXPECT_EQ(1, HistoryLinesWith({"IEHELPER_Remove"}));
}

TEST_F(AddonTest, DecisionsWithoutTheDialogAreCarriedOutAndLogged)
{
    InitIEHelpers();
    InitActiveX();
    giShowAlerts = giSuppressExtraAlerts = 0;
    const std::string bho = std::string(BHO_KEY) + "\\" + Id(1);
    RegisterClass(Id(1), k64, "Silent Helper", "C:\\x\\silent.dll");
    RegisterClass(Id(2), k64, "Silent Control", addon_);
    RegPut(HKEY_CURRENT_USER, (std::string(EXT_STATS_KEY) + "\\" + Id(2)).c_str(), "Count", "1");
    for (int hide : {2, 1}) {
        SCOPED_TRACE(hide);
        giHideIEHelper = giHideActiveX = hide;
        RegPut(HKLM, bho.c_str(), "NoExplorer", "1", k64);
        EXPECT_EQ(1, VerifyIEHelpers(NULL));
        EXPECT_EQ(hide == 2 ? 1 : 0, VerifyActiveX(NULL));
        EXPECT_EQ(hide == 1, RegHasKey(HKLM, bho.c_str(), k64));
        EXPECT_EQ(hide == 1 ? "900" : "", RegText(HKEY_CURRENT_USER, IEHELPERS_BASELINE_KEY, "Silent Helper (x64)"));
        EXPECT_EQ(hide == 2 ? 1 : 2, HistoryLinesWith({"IEHELPER_Alert", "TYPE_BHO", "C:\\x\\silent.dll"}));
        EXPECT_EQ(1, HistoryLinesWith({"IEHELPER_Remove", "silent.dll"}));
        EXPECT_EQ(0, VerifyIEHelpers(NULL)) << "decided once";
    }
    // The control, rejected once, stays known and blocked.
    EXPECT_EQ(0x400u, GetCompatibilityFlags(Id(2).c_str()));
    EXPECT_EQ("1200", RegText(HKEY_CURRENT_USER, ACTIVEX_KEY, Id(2).c_str()));
    EXPECT_EQ(1, HistoryLinesWith({"LOG_ALERT_ACTIVEX", "TYPE_ACTIVEX", "Silent Control"}));
    EXPECT_EQ("P", RegText(HKEY_CURRENT_USER, ACTIVEX_KEY, ""));
}

}  // namespace
