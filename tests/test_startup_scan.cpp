// The startup scan and its baselines: what each location yields, in which order,
// under which code, and what is never recorded.
#include <windows.h>

#include <objbase.h>
#include <shlguid.h>
#include <shobjidl.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/registry.h"
#include "common/text.h"
#include "monitor/options.h"
#include "startup/locations.h"
#include "startup/runlist.h"
#include "startup/startup_scan.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunKey32[] = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunServicesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kRunServicesOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";
const char kRunSetupKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Setup";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kWinlogon[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kNotify[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify";
const char kStoreBase[] = "Software\\Dunmere Works\\Brackmoor\\Disabled\\";
const char kBaseline[] = "Software\\Dunmere Works\\Brackmoor\\Run";
const char kActiveRun[] = "Software\\Dunmere Works\\Brackmoor\\ActiveRun";
const char kTestClsid[] = "{3C1B7E52-5A0D-4F6B-8E21-7D4C9A0B1E61}";
const char kAbsent[] = "\x01" "absent";

struct Record {
    std::string name, path, source;
    int code, extra;
};

std::vector<Record> Records()
{
    std::vector<Record> out;
    for (int i = 0; i < RunList.count; i++) {
        char name[RUN_NAME_MAX], path[MAX_PATH], source[MAX_PATH];
        GetRunName(i, name);
        GetRunPath(i, path);
        GetRunSourcePath(i, source);
        out.push_back({name, path, source, GetRunCode(i), GetRunExtra(i)});
    }
    return out;
}

bool SameText(const std::string &a, const std::string &b)
{
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

// Every record of the list whose path is this one (without regard to case).
std::string Describe(const std::vector<Record> &records)
{
    std::string out;
    for (const Record &r : records)
        out += "[" + r.name + " | " + r.path + " | " + std::to_string(r.code) + "] ";
    return out;
}

std::vector<Record> WithPath(const std::string &path)
{
    std::vector<Record> out;
    for (const Record &r : Records())
        if (SameText(r.path, path))
            out.push_back(r);
    return out;
}

int IndexOfPath(const std::string &path)
{
    std::vector<Record> all = Records();
    for (size_t i = 0; i < all.size(); i++)
        if (SameText(all[i].path, path))
            return (int)i;
    return -1;
}


// A registry value as it stood before a test, put back afterwards.

std::string WinIniLine(const char *key)
{
    char buf[2048];
    GetProfileStringA("windows", key, kAbsent, buf, sizeof(buf));
    return buf;
}

void RestoreWinIniLine(const char *key, const std::string &line)
{
    WriteProfileStringA("windows", key, line == kAbsent ? NULL : line.c_str());
}

bool MakeShortcut(const std::string &link, const std::string &target)
{
    HRESULT init = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    IShellLinkA *shell = NULL;
    IPersistFile *file = NULL;
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                         (void **)&shell)) &&
              SUCCEEDED(shell->SetPath(target.c_str())) &&
              SUCCEEDED(shell->QueryInterface(IID_IPersistFile, (void **)&file));
    if (ok) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
        ok = SUCCEEDED(file->Save(wide, TRUE));
    }
    if (file)
        file->Release();
    if (shell)
        shell->Release();
    if (SUCCEEDED(init))
        CoUninitialize();
    return ok;
}

// Every test that touches the system's startup places: the values it writes are
// named here and removed again, and the user's startup folder, win.ini lists and
// Winlogon values are put back as they were.
class StartupScanTest : public BrackmoorTest {
protected:
    // Keys the tests may create where Windows has none by default.
    void WatchNewKeys()
    {
        static const char *const Machine[] = {
            "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
            "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Setup",
            "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer\\Run",
            "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
            "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Setup",
            "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
            "Software\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer\\Run",
            "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify",
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler",
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks",
            "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
        };
        static const char *const User[] = {
            "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
            "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Setup",
        };
        for (const char *path : Machine)
            newKeys.Watch(HKEY_LOCAL_MACHINE, path);
        for (const char *path : User)
            newKeys.Watch(HKEY_CURRENT_USER, path);
    }
    NewKeys newKeys;

    struct Written {
        HKEY root;
        std::string path, name;
        REGSAM view;
    };
    std::vector<Written> written;
    std::vector<SavedValue> saved;
    std::vector<std::string> createdKeys;   // HKLM 64-bit view, removed whole
    std::string savedLoad, savedRun;

    void SetUp() override
    {
        BrackmoorTest::SetUp();
        saved.emplace_back(HKEY_CURRENT_USER, kShellFolders, "Startup", 0);
        saved.emplace_back(HKEY_LOCAL_MACHINE, kWinlogon, "Userinit", KEY_WOW64_64KEY);
        saved.emplace_back(HKEY_LOCAL_MACHINE, kWinlogon, "Shell", KEY_WOW64_64KEY);
        savedLoad = WinIniLine("load");
        savedRun = WinIniLine("run");
        WatchNewKeys();
    }

    void TearDown() override
    {
        FreeRunList();
        for (const Written &w : written)
            RegRemoveValue(w.root, w.path.c_str(), w.name.c_str(), w.view);
        for (const std::string &k : createdKeys)
            RegDeleteTreeView(HKEY_LOCAL_MACHINE, k.c_str(), KEY_WOW64_64KEY);
        RegDeleteTreeView(HKEY_LOCAL_MACHINE, (std::string("Software\\Classes\\CLSID\\") + kTestClsid).c_str(),
                          KEY_WOW64_64KEY);
        for (SavedValue &s : saved)
            s.Restore();
        RestoreWinIniLine("load", savedLoad);
        RestoreWinIniLine("run", savedRun);
        newKeys.Remove();
        giShowAllStartup = 0;
        BrackmoorTest::TearDown();
    }

    void Put(HKEY root, const char *path, const char *name, const char *data, REGSAM view = KEY_WOW64_64KEY,
             DWORD type = REG_SZ)
    {
        RegPut(root, path, name, data, view, type);
        written.push_back({root, path, name, view});
    }

    void PutBinary(HKEY root, const char *path, const char *name, const void *data, DWORD size, DWORD type)
    {
        RegPutBinary(root, path, name, data, size, type, KEY_WOW64_64KEY);
        written.push_back({root, path, name, KEY_WOW64_64KEY});
    }

    // The user's startup folder moved to a fresh folder of this test.
    std::string UseStartupFolder()
    {
        std::string folder = TempFolder() + "\\Startup";
        CreateDirectoryA(folder.c_str(), NULL);
        RegPut(HKEY_CURRENT_USER, kShellFolders, "Startup", folder.c_str());
        return folder;
    }
};

TEST_F(StartupScanTest, RunValuesAreRecordedByTheirRules)
{
    struct Row {
        const char *name, *data;
        bool recorded;
        const char *path;      // the recorded path
        int extra;
    } rows[] = {
        {"BmPlain", "C:\\bm\\plain.exe", true, "C:\\bm\\plain.exe", 0},
        {"x", "C:\\bm\\single.exe", false, "C:\\bm\\single.exe", 0},
        {"BmFour", "a.ex", false, "a.ex", 0},
        {"BmFive", "b.exe", true, "b.exe", 0},
        {"\xE9tude", "C:\\bm\\etude.exe", false, "C:\\bm\\etude.exe", 0},
        {"BmQuoted", "\"C:\\Program Files\\Bm\\tool.exe\" /start", true, "C:\\Program Files\\Bm\\tool.exe /start", 0},
        {"BmRundll", "rundll32.exe C:\\bm\\helper.dll,Entry", true, "rundll32.exe C:\\bm\\helper.dll,Entry", 1},
        {"BmRundllCase", "C:\\Windows\\System32\\RunDll32.EXE bm.dll,Go", true,
         "C:\\Windows\\System32\\RunDll32.EXE bm.dll,Go", 1},
    };
    for (const Row &row : rows)
        Put(HKEY_CURRENT_USER, kRunKey, row.name, row.data);

    int count = StartupScan(1);
    EXPECT_EQ(RunList.count, count);
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::vector<Record> found = WithPath(rows[i].path);
        if (!rows[i].recorded) {
            EXPECT_TRUE(found.empty()) << "row " << i << ": " << rows[i].name;
            continue;
        }
        ASSERT_EQ(1u, found.size()) << "row " << i << ": " << rows[i].name;
        EXPECT_EQ(rows[i].name, found[0].name) << "row " << i;
        EXPECT_EQ(11, found[0].code) << "row " << i;
        EXPECT_EQ(rows[i].extra, found[0].extra) << "row " << i;
        EXPECT_EQ("", found[0].source) << "row " << i;
    }
}

TEST_F(StartupScanTest, EachRootGivesItsOwnCode)
{
    struct Row {
        HKEY root;
        const char *key;
        REGSAM view;
        const char *data;
        int code;
    } rows[] = {
        {HKEY_LOCAL_MACHINE, kRunKey, KEY_WOW64_64KEY, "C:\\bm\\machine.exe", 1},
        {HKEY_CURRENT_USER, kRunKey, KEY_WOW64_64KEY, "C:\\bm\\user.exe", 11},
        {HKEY_LOCAL_MACHINE, kRunKey32, KEY_WOW64_64KEY, "C:\\bm\\wow.exe", 21},
        {HKEY_LOCAL_MACHINE, kRunServicesKey, KEY_WOW64_64KEY, "C:\\bm\\service.exe", 4},
        {HKEY_CURRENT_USER, kRunSetupKey, KEY_WOW64_64KEY, "C:\\bm\\setup.exe", 16},
    };
    for (const Row &row : rows)
        Put(row.root, row.key, "BmRoot", row.data, row.view);
    StartupScan(1);
    int previous = -1;
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::vector<Record> found = WithPath(rows[i].data);
        ASSERT_EQ(1u, found.size()) << "row " << i << ": " << Describe(found);
        EXPECT_EQ(rows[i].code, found[0].code) << "row " << i;
        // Machine keys, then the user's, then the 32-bit view.
        if (i == 0 || i == 1 || i == 2) {
            int at = IndexOfPath(rows[i].data);
            EXPECT_GT(at, previous) << "row " << i;
            previous = at;
        }
    }
}

TEST_F(StartupScanTest, TheSameNameAndDataRecordedOnceInARow)
{
    struct Row {
        const char *secondData;
        size_t expected;
    } rows[] = {
        {"C:\\bm\\dup.exe", 1},
        {"C:\\bm\\DUP.EXE", 1},          // equal without regard to case
        {"C:\\bm\\other.exe", 2},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        // Two neighbouring keys of the scan order, each holding just this value.
        Put(HKEY_LOCAL_MACHINE, kRunServicesOnceKey, "BmDup", "C:\\bm\\dup.exe");
        Put(HKEY_LOCAL_MACHINE, kRunSetupKey, "BmDup", rows[i].secondData);
        StartupScan(1);
        size_t seen = 0;
        for (const Record &r : Records())
            if (r.name == "BmDup")
                seen++;
        EXPECT_EQ(rows[i].expected, seen) << "row " << i;
        std::vector<Record> first = WithPath("C:\\bm\\dup.exe");
        ASSERT_FALSE(first.empty()) << "row " << i;
        EXPECT_EQ(5, first[0].code) << "row " << i;
    }
}

TEST_F(StartupScanTest, DefaultValueIsRecordedWithoutNameAndEmptyOnesNever)
{
    Put(HKEY_CURRENT_USER, kRunKey, "", "C:\\bm\\default.exe");
    StartupScan(1);
    std::vector<Record> found = WithPath("C:\\bm\\default.exe");
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ("", found[0].name);
    EXPECT_EQ(11, found[0].code);
    EXPECT_EQ(0, found[0].extra);

    // An empty default value and an empty named value give nothing at all.
    Put(HKEY_CURRENT_USER, kRunKey, "", "");
    Put(HKEY_CURRENT_USER, kRunKey, "BmEmpty", "");
    StartupScan(1);
    for (const Record &r : Records())
        EXPECT_NE(11, r.code) << r.name << " " << r.path;
}

TEST_F(StartupScanTest, ClassIdCommandIsRecordedAsItsServer)
{
    std::string classKey = std::string("Software\\Classes\\CLSID\\") + kTestClsid + "\\InprocServer32";
    // Machine-wide: Wine's class root does not show the user's registrations.
    RegPut(HKEY_LOCAL_MACHINE, classKey.c_str(), "", "C:\\bm\\server.dll", KEY_WOW64_64KEY);
    Put(HKEY_CURRENT_USER, kRunKey, "BmClass", kTestClsid);
    StartupScan(1);
    std::vector<Record> found = WithPath("C:\\bm\\server.dll");
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ("BmClass", found[0].name);
    EXPECT_TRUE(WithPath(kTestClsid).empty());
}

TEST_F(StartupScanTest, OverlongAndBinaryValuesStayBounded)
{
    std::string huge(2000, 'x');
    std::string mid = "C:\\bm\\" + std::string(300, 'm') + ".exe";
    std::string longName(600, 'N');
    Put(HKEY_CURRENT_USER, kRunKey, "BmHuge", huge.c_str());
    Put(HKEY_CURRENT_USER, kRunKey, "BmMid", mid.c_str());
    Put(HKEY_CURRENT_USER, kRunKey, longName.c_str(), "C:\\bm\\longname.exe");
    // Text, a NUL, then bytes of no text at all, and no NUL at the end.
    const char binary[] = "C:\\bm\\binary.exe\0\xff\xfe\x01garbage";
    PutBinary(HKEY_CURRENT_USER, kRunKey, "BmBinary", binary, sizeof(binary) - 1, REG_SZ);
    const char unterminated[] = "C:\\bm\\noend.exe";
    PutBinary(HKEY_CURRENT_USER, kRunKey, "BmNoEnd", unterminated, sizeof(unterminated) - 1, REG_SZ);
    DWORD number = 0x41414141;
    PutBinary(HKEY_CURRENT_USER, kRunKey, "BmNumber", &number, sizeof(number), REG_DWORD);

    StartupScan(1);
    for (const Record &r : Records()) {
        EXPECT_LT(r.path.size(), (size_t)MAX_PATH) << r.name;
        EXPECT_LT(r.name.size(), (size_t)RUN_NAME_MAX) << r.path;
        EXPECT_NE("BmHuge", r.name);
        EXPECT_NE("BmNumber", r.name);
        EXPECT_EQ(std::string::npos, r.path.find("longname")) << "a name too long to read is passed over";
    }
    bool sawMid = false;
    for (const Record &r : Records())
        if (r.name == "BmMid") {
            sawMid = true;
            EXPECT_EQ(mid.substr(0, MAX_PATH - 1), r.path);
        }
    EXPECT_TRUE(sawMid);
    EXPECT_EQ(1u, WithPath("C:\\bm\\binary.exe").size());
    EXPECT_EQ(1u, WithPath("C:\\bm\\noend.exe").size());
}

TEST_F(StartupScanTest, FullListStopsAt4096Records)
{
    const char key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
    bool existed = RegHasKey(HKEY_CURRENT_USER, key);
    HKEY handle;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &handle, NULL));
    for (int i = 0; i < 4100; i++) {
        char name[32], data[64];
        FormatText(name, CAP(name), "BmMany%04d", i);
        FormatText(data, CAP(data), "C:\\bm\\many%04d.exe", i);
        RegSetValueExA(handle, name, 0, REG_SZ, (const BYTE *)data, (DWORD)strlen(data) + 1);
    }
    int count = StartupScan(0);
    EXPECT_EQ(RUN_LIST_MAX, count);
    EXPECT_EQ(RUN_LIST_MAX, RunList.count);
    for (int i = 4096; i < 4100; i++) {
        char name[32];
        FormatText(name, CAP(name), "BmMany%04d", i);
        RegDeleteValueA(handle, name);
    }
    for (int i = 0; i < 4096; i++) {
        char name[32];
        FormatText(name, CAP(name), "BmMany%04d", i);
        RegDeleteValueA(handle, name);
    }
    RegCloseKey(handle);
    if (!existed)
        RegDeleteTreeView(HKEY_CURRENT_USER, key);
}

TEST_F(StartupScanTest, StartupFolderFilesByKind)
{
    std::string folder = UseStartupFolder();
    std::string targetFolder = TempFolder() + "\\target";
    CreateDirectoryA(targetFolder.c_str(), NULL);
    std::string target = targetFolder + "\\bmtarget.exe";
    WriteWholeFile(target, "MZ not much of a program");
    std::string link = folder + "\\Bm Tool.lnk";
    ASSERT_TRUE(MakeShortcut(link, target));
    WriteWholeFile(folder + "\\desktop.ini", "[.ShellClassInfo]\r\n");
    WriteWholeFile(folder + "\\direct.exe", "MZ");
    WriteWholeFile(folder + "\\notes.bat", "@echo off\r\n");
    WriteWholeFile(folder + "\\broken.lnk", std::string("\x4c\0\0\0garbage", 11));
    CreateDirectoryA((folder + "\\sub.exe").c_str(), NULL);

    StartupScan(1);
    struct Row {
        std::string path, source, name;
        int extra;
    } rows[] = {
        {target, link, "bmtarget", 1},
        {folder + "\\direct.exe", folder + "\\direct.exe", "direct", 1},
        {folder + "\\notes.bat", "", "notes", 0},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::vector<Record> found = WithPath(rows[i].path);
        ASSERT_EQ(1u, found.size()) << "row " << i << ": " << rows[i].path;
        EXPECT_EQ(200, found[0].code) << "row " << i;
        EXPECT_TRUE(SameText(rows[i].source, found[0].source)) << "row " << i << ": " << found[0].source;
        EXPECT_EQ(rows[i].name, found[0].name) << "row " << i;
        EXPECT_EQ(rows[i].extra, found[0].extra) << "row " << i;
    }
    for (const char *absent : {"\\desktop.ini", "\\broken.lnk", "\\sub.exe"})
        EXPECT_TRUE(WithPath(folder + absent).empty()) << absent;
}

TEST_F(StartupScanTest, WinIniListGivesOnlyExistingFiles)
{
    std::string real = TempFolder() + "\\bmini.exe";
    WriteWholeFile(real, "MZ");
    struct Row {
        const char *key;
        std::string line;
        int code;
    } rows[] = {
        {"run", "bm-missing-a.exe;;" + real, 101},
        {"load", real + ";C:\\bm\\missing.exe;", 100},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        WriteProfileStringA("windows", "run", NULL);
        WriteProfileStringA("windows", "load", NULL);
        WriteProfileStringA("windows", rows[i].key, rows[i].line.c_str());
        StartupScan(1);
        int seen = 0;
        for (const Record &r : Records()) {
            if (r.code != 100 && r.code != 101)
                continue;
            seen++;
            EXPECT_TRUE(SameText(real, r.path)) << "row " << i << ": " << r.path;
            EXPECT_EQ(rows[i].code, r.code) << "row " << i;
            EXPECT_EQ(rows[i].key, r.name) << "row " << i << ": no version information, the key names it";
        }
        EXPECT_EQ(1, seen) << "row " << i;
    }
}

TEST_F(StartupScanTest, DisabledStoreEntriesCarryTheCodeOfTheirOrigin)
{
    struct Row {
        const char *store, *name, *data, *marker;
        int code;       // 0: not listed
    } rows[] = {
        {"Run", "BmStoredUser", "C:\\bm\\stored-user.exe", "11", 11},
        {"Run", "BmStoredWow", "C:\\bm\\stored-wow.exe", "21", 21},
        {"RunOnce", "BmStoredOnce", "C:\\bm\\stored-once.exe", "2", 2},
        {"RunSetup", "BmStoredSetup", "C:\\bm\\stored-setup.exe", "16", 16},
        {"WinLoad", "BmStoredLoad", "C:\\bm\\stored-load.exe", "100", 100},
        {"WinRun", "BmStoredRun", "C:\\bm\\stored-run.exe", "101", 101},
        {"Run", "BmNoMarker", "C:\\bm\\no-marker.exe", nullptr, 0},
        {"Run", "BmZeroMarker", "C:\\bm\\zero-marker.exe", "0", 0},
        {"WinNotify", "BmStoredNotify", "C:\\bm\\stored-notify.dll", "256", 0},
    };
    for (const Row &row : rows) {
        RegPut(HKEY_LOCAL_MACHINE, (std::string(kStoreBase) + row.store).c_str(), row.name, row.data);
        if (row.marker)
            RegPut(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\Brackmoor\\Disabled", row.name, row.marker);
    }
    std::string parked = DataFolder() + "\\Disabled";
    CreateDirectoryA(DataFolder().c_str(), NULL);
    CreateDirectoryA(parked.c_str(), NULL);
    WriteWholeFile(parked + "\\parked.bat", "@echo off\r\n");

    StartupScan(1);
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::vector<Record> found = WithPath(rows[i].data);
        if (!rows[i].code) {
            EXPECT_TRUE(found.empty()) << "row " << i;
            continue;
        }
        ASSERT_EQ(1u, found.size()) << "row " << i;
        EXPECT_EQ(rows[i].code, found[0].code) << "row " << i;
        EXPECT_EQ(rows[i].name, found[0].name) << "row " << i;
    }
    std::vector<Record> file = WithPath(parked + "\\parked.bat");
    ASSERT_EQ(1u, file.size());
    EXPECT_EQ(200, file[0].code);
    EXPECT_EQ(0, file[0].extra);
}

TEST_F(StartupScanTest, DisabledProgramThatCameBackIsTakenOutAgain)
{
    RegPut(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\Brackmoor\\Disabled", "BmBack", "11");
    RegPut(HKEY_LOCAL_MACHINE, (std::string(kStoreBase) + "Run").c_str(), "BmBack", "C:\\bm\\old.exe");
    Put(HKEY_CURRENT_USER, kRunKey, "BmBack", "C:\\bm\\new.exe");
    Put(HKEY_CURRENT_USER, kRunKey, "BmStays", "C:\\bm\\stays.exe");

    StartupScan(1);
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRunKey, "BmBack"));
    EXPECT_EQ("C:\\bm\\new.exe", RegText(HKEY_LOCAL_MACHINE, (std::string(kStoreBase) + "Run").c_str(), "BmBack"));
    EXPECT_EQ("11", RegText(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\Brackmoor\\Disabled", "BmBack"));
    // It is listed once, from the store; its neighbour in the key is not skipped.
    std::vector<Record> back = WithPath("C:\\bm\\new.exe");
    ASSERT_EQ(1u, back.size());
    EXPECT_EQ(11, back[0].code);
    EXPECT_EQ(1u, WithPath("C:\\bm\\stays.exe").size());
}

TEST_F(StartupScanTest, LocationsAreListedInScanOrder)
{
    std::string folder = UseStartupFolder();
    std::string ini = TempFolder() + "\\bmorder.exe";
    WriteWholeFile(ini, "MZ");
    WriteWholeFile(folder + "\\bmorder.bat", "@echo off\r\n");
    Put(HKEY_CURRENT_USER, kRunKey, "BmOrder", "C:\\bm\\order-run.exe");
    WriteProfileStringA("windows", "run", ini.c_str());
    RegPut(HKEY_LOCAL_MACHINE, (std::string(kStoreBase) + "Run").c_str(), "BmOrderStored", "C:\\bm\\order-store.exe");
    RegPut(HKEY_LOCAL_MACHINE, "Software\\Dunmere Works\\Brackmoor\\Disabled", "BmOrderStored", "1");
    RegPut(HKEY_LOCAL_MACHINE, kWinlogon, "Shell", "explorer.exe C:\\bm\\order-shell.exe", KEY_WOW64_64KEY);
    std::string notify = std::string(kNotify) + "\\BmOrderNotify";
    createdKeys.push_back(notify);
    RegPut(HKEY_LOCAL_MACHINE, notify.c_str(), "DllName", "C:\\bm\\order-notify.dll", KEY_WOW64_64KEY);

    StartupScan(0);
    const std::string inOrder[] = {"C:\\bm\\order-run.exe", folder + "\\bmorder.bat", ini,
                                   "C:\\bm\\order-store.exe", "C:\\bm\\order-shell.exe",
                                   "C:\\bm\\order-notify.dll"};
    int previous = -1;
    for (size_t i = 0; i < sizeof(inOrder) / sizeof(inOrder[0]); i++) {
        int at = IndexOfPath(inOrder[i]);
        EXPECT_GT(at, previous) << "location " << i << ": " << inOrder[i];
        previous = at;
    }
}

TEST_F(StartupScanTest, CleanupRebuildsTheBaselinesFromNothing)
{
    const char *keys[] = {kBaseline, "Software\\Dunmere Works\\Brackmoor\\IEHelpers",
                          "Software\\Dunmere Works\\Brackmoor\\Tasks"};
    for (const char *key : keys)
        RegPut(HKEY_CURRENT_USER, key, "C:\\bm\\stale.exe", "11");
    Put(HKEY_CURRENT_USER, kRunKey, "BmFresh", "C:\\bm\\fresh.exe");

    CleanupAndInitializeRegistry();
    for (const char *key : keys) {
        EXPECT_TRUE(RegHasKey(HKEY_CURRENT_USER, key)) << key;
        EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, key, "C:\\bm\\stale.exe")) << key;
    }
    EXPECT_EQ("11", RegText(HKEY_CURRENT_USER, kBaseline, "C:\\bm\\fresh.exe"));
    EXPECT_EQ(0, RunList.count);
}

TEST(StartupWinlogonText, UserinitAndShellRules)
{
    struct Row {
        bool shell;
        const char *value, *expected;
    } rows[] = {
        {false, "C:\\Windows\\system32\\userinit.exe,", "C:\\Windows\\system32\\userinit.exe"},
        {false, "C:\\Windows\\system32\\userinit.exe,  C:\\evil.exe", "C:\\evil.exe"},
        {false, "C:\\Windows\\system32\\userinit.exe,C:\\evil.exe,", "C:\\evil.exe,"},
        {false, "C:\\Windows\\system32\\userinit.exe,   ", "C:\\Windows\\system32\\userinit.exe,   "},
        {false, ", ", ", "},
        {false, ",", ""},
        {false, "C:\\Windows\\system32\\userinit.exe", ""},
        {false, "", ""},
        {true, "Explorer.exe", "Explorer.exe"},
        {true, "Explorer.exe other.exe", "other.exe"},
        {true, "Explorer.exe    other.exe", "other.exe"},
        {true, "Explorer.exe ", "Explorer.exe"},
        {true, "Explorer.exe   ", "Explorer.exe   "},
        {true, "", ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[MAX_PATH + 16];
        memset(out, 0x5A, sizeof(out));
        int len = rows[i].shell ? ParseShellText(rows[i].value, out) : ParseUserinitText(rows[i].value, out);
        EXPECT_STREQ(rows[i].expected, out) << "row " << i;
        EXPECT_EQ((int)strlen(rows[i].expected), len) << "row " << i;
        EXPECT_EQ(0x5A, (unsigned char)out[MAX_PATH]) << "row " << i;
    }
    std::string longValue = "C:\\Windows\\system32\\userinit.exe," + std::string(1000, 'e');
    char out[MAX_PATH + 16];
    memset(out, 0x5A, sizeof(out));
    EXPECT_EQ(MAX_PATH - 1, ParseUserinitText(longValue.c_str(), out));
    EXPECT_EQ(0x5A, (unsigned char)out[MAX_PATH]);
}

TEST_F(StartupScanTest, WinlogonValuesAreReadInTheMachineView)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    std::string userinit = std::string(system) + "\\userinit.exe,  C:\\bm\\evil.exe";
    RegPut(HKEY_LOCAL_MACHINE, kWinlogon, "Userinit", userinit.c_str(), KEY_WOW64_64KEY);
    RegPut(HKEY_LOCAL_MACHINE, kWinlogon, "Shell", "Explorer.exe C:\\bm\\shell.exe", KEY_WOW64_64KEY);
    char out[MAX_PATH];
    EXPECT_EQ((int)strlen("C:\\bm\\evil.exe"), ReadWinlogonUserinit(out));
    EXPECT_STREQ("C:\\bm\\evil.exe", out);
    EXPECT_GT(ReadWinlogonShell(out), 0);
    EXPECT_STREQ("C:\\bm\\shell.exe", out);

    StartupScan(0);
    std::vector<Record> user = WithPath("C:\\bm\\evil.exe");
    ASSERT_EQ(1u, user.size());
    EXPECT_EQ(250, user[0].code);
    EXPECT_EQ("Winlogon Userinit", user[0].name);
    std::vector<Record> shell = WithPath("C:\\bm\\shell.exe");
    ASSERT_EQ(1u, shell.size());
    EXPECT_EQ(251, shell[0].code);
    EXPECT_EQ("Winlogon Shell", shell[0].name);
}

TEST_F(StartupScanTest, QuickScanLeavesOutLogonAndHooksUnlessShowAll)
{
    std::string notify = std::string(kNotify) + "\\BmNotifyScan";
    createdKeys.push_back(notify);
    RegPut(HKEY_LOCAL_MACHINE, notify.c_str(), "DllName", "C:\\bm\\notify-scan.dll", KEY_WOW64_64KEY);
    RegPut(HKEY_LOCAL_MACHINE, kWinlogon, "Shell", "explorer.exe", KEY_WOW64_64KEY);
    struct Row {
        int quick, showAll;
        bool special;
    } rows[] = {{1, 0, false}, {1, 1, true}, {1, 3, true}, {0, 0, true}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        giShowAllStartup = rows[i].showAll;
        StartupScan(rows[i].quick);
        bool shell = false, hook = false;
        for (const Record &r : Records()) {
            if (r.code == 251)
                shell = true;
            if (r.code == 256 && SameText(r.path, "C:\\bm\\notify-scan.dll")) {
                hook = true;
                EXPECT_EQ("BmNotifyScan", r.name) << "row " << i;
            }
            if (!rows[i].special) {
                EXPECT_LT(r.code, 250) << "row " << i << ": " << r.path;
            }
        }
        EXPECT_EQ(rows[i].special, shell) << "row " << i;
        EXPECT_EQ(rows[i].special, hook) << "row " << i;
    }
}

TEST(StartupBaselineNames, EqualsSignsBecomeColonsWithinAPath)
{
    struct Row {
        std::string path, expected;
    } rows[] = {
        {"C:\\bm\\a=b.exe", "C:\\bm\\a:b.exe"},
        {"==", "::"},
        {"", ""},
        {std::string(400, '='), std::string(MAX_PATH - 1, ':')},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[MAX_PATH + 16];
        memset(out, 0x5A, sizeof(out));
        EXPECT_EQ((int)rows[i].expected.size(), BaselineValueName(rows[i].path.c_str(), out)) << "row " << i;
        EXPECT_EQ(rows[i].expected, out) << "row " << i;
        EXPECT_EQ(0x5A, (unsigned char)out[MAX_PATH]) << "row " << i;
    }
}

TEST_F(StartupScanTest, InitRegStartupsStoresEveryEntryByPath)
{
    Put(HKEY_CURRENT_USER, kRunKey, "BmBase", "C:\\bm\\base.exe");
    Put(HKEY_LOCAL_MACHINE, kRunKey, "BmEquals", "C:\\bm\\a=b.exe -x=1");
    RegPut(HKEY_CURRENT_USER, kBaseline, "C:\\bm\\stale.exe", "11");

    InitRegStartups();
    EXPECT_EQ(0, RunList.count);
    EXPECT_EQ("11", RegText(HKEY_CURRENT_USER, kBaseline, "C:\\bm\\base.exe"));
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, kBaseline, "C:\\bm\\a:b.exe -x:1"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kBaseline, "C:\\bm\\a=b.exe -x=1"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kBaseline, "C:\\bm\\stale.exe")) << "the baseline starts afresh";

    // Every entry of a fresh full scan is known now, under the code it has.
    StartupScan(0);
    for (int i = 0; i < RunList.count; i++)
        EXPECT_EQ(GetRunCode(i), LookupStartupBaseline(i)) << "entry " << i;
}

TEST_F(StartupScanTest, BaselineLookupByPathThenByName)
{
    struct Row {
        const char *byPath, *byName;
        int expected;
    } rows[] = {
        {"11", nullptr, 11},
        {nullptr, "11", 11},
        {"1103", nullptr, 1103},
        {"0", nullptr, 0},
        {"0", "14", 14},
        {"junk", nullptr, 0},
        {"123456789012345678901234567890123", nullptr, 0},   // 33 characters: not ours
        {nullptr, nullptr, 0},
    };
    Put(HKEY_CURRENT_USER, kRunKey, "BmLookup", "C:\\bm\\lookup.exe");
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegDeleteTreeView(HKEY_CURRENT_USER, kBaseline);
        if (rows[i].byPath)
            RegPut(HKEY_CURRENT_USER, kBaseline, "C:\\bm\\lookup.exe", rows[i].byPath);
        if (rows[i].byName)
            RegPut(HKEY_CURRENT_USER, kBaseline, "BmLookup", rows[i].byName);
        StartupScan(1);
        int at = IndexOfPath("C:\\bm\\lookup.exe");
        ASSERT_GE(at, 0) << "row " << i;
        EXPECT_EQ(rows[i].expected, LookupStartupBaseline(at)) << "row " << i;
    }
}

TEST_F(StartupScanTest, MissingStartupBaselineHoldsNormalisedPathsAndKeepsTheCallersList)
{
    Put(HKEY_CURRENT_USER, kRunKey, "BmActive", "\"C:\\bm\\active.exe\" -x");
    RegPut(HKEY_CURRENT_USER, kActiveRun, "C:\\BM\\GONE.EXE", "gone");
    ASSERT_EQ(1, AddRunStruct("keep", "C:\\bm\\keep.exe", "", "", 3000, 7));

    InitMissingRunPrograms();
    EXPECT_EQ("BmActive", RegText(HKEY_CURRENT_USER, kActiveRun, "C:\\BM\\ACTIVE.EXE"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kActiveRun, "C:\\BM\\GONE.EXE"));
    ASSERT_EQ(1, RunList.count);
    std::vector<Record> kept = Records();
    EXPECT_EQ("keep", kept[0].name);
    EXPECT_EQ(3000, kept[0].code);
    EXPECT_EQ(7, kept[0].extra);
}

}  // namespace
