// The run list and the running-process list.
#include <windows.h>

#include <psapi.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/processes.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "monitor/appstate.h"
#include "startup/runlist.h"
#include "support/system_state.h"
#include "support/test_env.h"


namespace {




bool SameText(const std::string &a, const std::string &b)
{
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

std::string Name(int i)
{
    char out[RUN_NAME_MAX + kGuardLen];
    FillGuarded(out, sizeof(out));
    int len = GetRunName(i, out);
    EXPECT_TRUE(GuardIntact(out, RUN_NAME_MAX)) << "record " << i;
    EXPECT_EQ((int)strlen(out), len) << "record " << i;
    return out;
}

std::string Path(int i)
{
    char out[RUN_PATH_MAX + kGuardLen];
    FillGuarded(out, sizeof(out));
    int len = GetRunPath(i, out);
    EXPECT_TRUE(GuardIntact(out, RUN_PATH_MAX)) << "record " << i;
    EXPECT_EQ((int)strlen(out), len) << "record " << i;
    return out;
}

std::string SourcePath(int i)
{
    char out[RUN_PATH_MAX + kGuardLen];
    FillGuarded(out, sizeof(out));
    GetRunSourcePath(i, out);
    EXPECT_TRUE(GuardIntact(out, RUN_PATH_MAX)) << "record " << i;
    return out;
}

std::string Details(int i)
{
    char out[RUN_DETAILS_MAX + kGuardLen];
    FillGuarded(out, sizeof(out));
    GetRunDetails(i, out);
    EXPECT_TRUE(GuardIntact(out, RUN_DETAILS_MAX)) << "record " << i;
    return out;
}

// Test class ids, registered per test and removed again. Machine classes, not
// the user's: Wine's HKEY_CLASSES_ROOT does not take in HKCU "Software\Classes".
const char kPlainClsid[] = "{6A1F0C3E-8B7D-4E21-9C55-0D3B2A7E4F10}";
const char kWowClsid[] = "{6A1F0C3E-8B7D-4E21-9C55-0D3B2A7E4F11}";
const char kLateClsid[] = "{6A1F0C3E-8B7D-4E21-9C55-0D3B2A7E4F12}";
const char kExpandClsid[] = "{6A1F0C3E-8B7D-4E21-9C55-0D3B2A7E4F13}";

std::string ClassKey(const char *id)
{
    return std::string("Software\\Classes\\CLSID\\") + id;
}

std::string WowClassKey(const char *id)
{
    return std::string("Software\\Classes\\Wow6432Node\\CLSID\\") + id;
}

class RunListTest : public BrackmoorTest {
protected:
    void TearDown() override
    {
        for (const char *id : {kPlainClsid, kLateClsid, kExpandClsid})
            RegDeleteTreeView(HKEY_LOCAL_MACHINE, ClassKey(id).c_str(), KEY_WOW64_64KEY);
        RegDeleteTreeView(HKEY_LOCAL_MACHINE, WowClassKey(kWowClsid).c_str(), KEY_WOW64_64KEY);
        giMaxCookie = 8092;
        BrackmoorTest::TearDown();
    }

    void EnableTrace()
    {
        CreateDirectoryA(DataFolder().c_str(), NULL);
        TestLogCounter = 0;
    }
};

TEST_F(RunListTest, ListHoldsAtMost4096Records)
{
    ASSERT_EQ(0, RunList.count);
    int accepted = 0;
    for (int i = 0; i < RUN_LIST_MAX; i++)
        accepted += AddRunStruct("entry", "C:\\x\\tool.exe", "", "", 11, i);
    EXPECT_EQ(RUN_LIST_MAX, accepted);
    EXPECT_EQ(RUN_LIST_MAX, RunList.count);
    EXPECT_EQ(0, AddRunStruct("one too many", "C:\\x\\more.exe", "", "", 11, 5000));
    EXPECT_EQ(RUN_LIST_MAX, RunList.count);
    EXPECT_EQ(RUN_LIST_MAX - 1, GetRunExtra(RUN_LIST_MAX - 1));
    EXPECT_EQ("entry", Name(RUN_LIST_MAX - 1));

    FreeRunList();
    EXPECT_EQ(0, RunList.count);
    for (int i = 0; i < RUN_LIST_MAX; i++)
        ASSERT_EQ(nullptr, RunList.items[i]) << "slot " << i;
    // Indexes of the freed list read as nothing.
    EXPECT_EQ("", Name(0));
    EXPECT_EQ("", Path(0));
    EXPECT_EQ(0, GetRunCode(0));
    EXPECT_EQ(0, GetRunExtra(-1));
    EXPECT_EQ(1, AddRunStruct("again", "C:\\x\\tool.exe", "", "", 11, 0));
    EXPECT_EQ(1, RunList.count);
}

TEST_F(RunListTest, NamesFollowTheTitleDefaultAndFileRules)
{
    ASSERT_STREQ("Brackmoor", gszTitle);
    struct Row {
        const char *name, *command;
        std::string expectedName, expectedPath;
    } rows[] = {
        {"My brackMOOR helper", "C:\\x\\a.exe", gszTitle, "C:\\x\\a.exe"},
        {"(Default)", "C:\\x\\a.exe", "", "C:\\x\\a.exe"},
        {"Value (default) copy", "C:\\x\\a.exe", "", "C:\\x\\a.exe"},
        {"", "C:\\x\\tool.exe", "tool", "C:\\x\\tool.exe"},
        {NULL, "C:\\x\\tool.exe", "tool", "C:\\x\\tool.exe"},
        {"", "notepad.exe", "notepad", "notepad.exe"},
        {"", "C:\\x\\a.b", "", "C:\\x\\a.b"},
        // Quotes go, the argument stays.
        {"Updater", "\"C:\\Program Files\\Up\\up.exe\" -bg", "Updater", "C:\\Program Files\\Up\\up.exe -bg"},
        {"Short", "\"ab\"", "Short", "ab"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        ASSERT_EQ(1, AddRunStruct(rows[i].name, rows[i].command, "", "", 11, (int)i)) << "row " << i;
        int at = RunList.count - 1;
        EXPECT_EQ(rows[i].expectedName, Name(at)) << "row " << i;
        EXPECT_EQ(rows[i].expectedPath, Path(at)) << "row " << i;
        EXPECT_EQ(11, GetRunCode(at)) << "row " << i;
        EXPECT_EQ((int)i, GetRunExtra(at)) << "row " << i;
    }
}

TEST_F(RunListTest, PathsAreLengthenedAndInputsBounded)
{
    std::string file = TempFolder() + "\\a long program name.exe";
    WriteWholeFile(file, "MZ");
    char shortForm[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(file.c_str(), shortForm, MAX_PATH), 0u);
    char longForm[MAX_PATH];
    ASSERT_GT(GetLongPathNameA(shortForm, longForm, MAX_PATH), 0u);

    ASSERT_EQ(1, AddRunStruct("", (std::string("\"") + shortForm + "\"").c_str(), shortForm, "d", 200, 1));
    EXPECT_EQ(std::string(longForm), Path(0));
    EXPECT_EQ(std::string(longForm), SourcePath(0));
    EXPECT_EQ("a long program name", Name(0));
    EXPECT_EQ("d", Details(0));
    // A path of 3 characters or less is not lengthened, nor is its source.
    ASSERT_EQ(1, AddRunStruct("x", "C:\\", shortForm, "", 200, 1));
    EXPECT_EQ("C:\\", Path(1));
    EXPECT_EQ(std::string(shortForm), SourcePath(1));

    // Over-long inputs are cut in the record and left alone in the caller's hands.
    std::string name(500, 'n'), command = "C:\\" + std::string(397, 'p'), source = "D:\\" + std::string(397, 's'),
                details(2000, 'd');
    const std::string nameBefore = name, commandBefore = command, sourceBefore = source, detailsBefore = details;
    ASSERT_EQ(1, AddRunStruct(name.c_str(), command.c_str(), source.c_str(), details.c_str(), 11, 0));
    EXPECT_EQ(std::string(RUN_NAME_MAX - 1, 'n'), Name(2));
    EXPECT_EQ("C:\\" + std::string(RUN_PATH_MAX - 4, 'p'), Path(2));
    EXPECT_EQ("D:\\" + std::string(RUN_PATH_MAX - 4, 's'), SourcePath(2));
    EXPECT_EQ(std::string(RUN_DETAILS_MAX - 1, 'd'), Details(2));
    EXPECT_EQ(nameBefore, name);
    EXPECT_EQ(commandBefore, command);
    EXPECT_EQ(sourceBefore, source);
    EXPECT_EQ(detailsBefore, details);

    // An empty command is refused, whatever else the record has.
    EXPECT_EQ(0, AddRunStruct("name", "", "src", "details", 11, 0));
    EXPECT_EQ(0, AddRunStruct("name", NULL, "src", "details", 11, 0));
    EXPECT_EQ(3, RunList.count);
}

TEST_F(RunListTest, CookieRecordsObeyTheCookieLimit)
{
    EXPECT_EQ(8092, giMaxCookie);
    giMaxCookie = 3;
    int results[] = {
        AddRunStruct("c1", "C:\\cookies\\1.txt", "", "", CODE_COOKIE, 0),
        AddRunStruct("c2", "C:\\cookies\\2.txt", "", "", CODE_COOKIE, 0),
        AddRunStruct("c3", "C:\\cookies\\3.txt", "", "", CODE_COOKIE, 0),
        AddRunStruct("c4", "C:\\cookies\\4.txt", "", "", CODE_COOKIE, 0),
        AddRunStruct("run", "C:\\x\\run.exe", "", "", 11, 0),
        AddRunStruct("task", "C:\\x\\task.exe", "", "", CODE_INFO_TASK, 0),
        AddRunStruct("c5", "C:\\cookies\\5.txt", "", "", CODE_COOKIE, 0),
    };
    int expected[] = {1, 1, 1, 0, 1, 1, 0};
    for (size_t i = 0; i < sizeof(results) / sizeof(results[0]); i++)
        EXPECT_EQ(expected[i], results[i]) << "record " << i;
    EXPECT_EQ(5, RunList.count);

    // The limit is on the whole list, not on the cookie records alone.
    FreeRunList();
    EXPECT_EQ(1, AddRunStruct("run", "C:\\x\\run.exe", "", "", 11, 0));
    EXPECT_EQ(1, AddRunStruct("run2", "C:\\x\\run2.exe", "", "", 11, 0));
    EXPECT_EQ(1, AddRunStruct("c1", "C:\\cookies\\1.txt", "", "", CODE_COOKIE, 0));
    EXPECT_EQ(0, AddRunStruct("c2", "C:\\cookies\\2.txt", "", "", CODE_COOKIE, 0));
}

TEST_F(RunListTest, ClassIdsResolveToTheirServerFile)
{
    RegPut(HKEY_LOCAL_MACHINE, (ClassKey(kPlainClsid) + "\\InprocServer32").c_str(), "", "C:\\Test\\server.dll",
           KEY_WOW64_64KEY);
    RegPut(HKEY_LOCAL_MACHINE, (WowClassKey(kWowClsid) + "\\InprocServer32").c_str(), "", "C:\\Test\\wow32.dll",
           KEY_WOW64_64KEY);
    RegPut(HKEY_LOCAL_MACHINE, (ClassKey(kExpandClsid) + "\\InprocServer32").c_str(), "",
           "%SystemRoot%\\system32\\expanded.dll", KEY_WOW64_64KEY, REG_EXPAND_SZ);
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);

    struct Row {
        std::string id;
        int result;
        std::string server;
    } rows[] = {
        {kPlainClsid, 1, "C:\\Test\\server.dll"},
        {std::string(kPlainClsid) + " trailing words", 1, "C:\\Test\\server.dll"},
        {kWowClsid, 1, "C:\\Test\\wow32.dll"},
        {kExpandClsid, 1, std::string(windows) + "\\system32\\expanded.dll"},
        {kLateClsid, 0, ""},
        {"not a class id", 0, ""},
        {"{" + std::string(300, '0') + "}", 0, ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[MAX_PATH + kGuardLen];
        FillGuarded(out, sizeof(out));
        EXPECT_EQ(rows[i].result, ResolveClsid(rows[i].id.c_str(), out)) << "row " << i;
        EXPECT_EQ(rows[i].server, std::string(out)) << "row " << i;
        EXPECT_TRUE(GuardIntact(out, MAX_PATH)) << "row " << i;
    }

    EnableTrace();
    ASSERT_EQ(1, AddRunStruct("Helper", kPlainClsid, "", "", 252, 0));
    EXPECT_EQ("C:\\Test\\server.dll", Path(0));
    EXPECT_TRUE(TraceHas(std::string("AddRunStruct GUID: ") + kPlainClsid));

    // A class registered after the scan still compares by its server.
    ASSERT_EQ(1, AddRunStruct("Late", kLateClsid, "", "", 252, 0));
    char raw[RUN_PATH_MAX];
    EXPECT_EQ(std::string(kLateClsid), std::string(Path(1)));
    RegPut(HKEY_LOCAL_MACHINE, (ClassKey(kLateClsid) + "\\InprocServer32").c_str(), "", "C:\\Test\\late.dll",
           KEY_WOW64_64KEY);
    EXPECT_EQ((int)strlen("C:\\Test\\late.dll"), GetRunPath(1, raw));
    EXPECT_STREQ("C:\\Test\\late.dll", raw);
    EXPECT_TRUE(TraceHas(std::string("GetRunPath GUID: ") + kLateClsid));
}

// ---------------------------------------------------------------------------

std::string ImageOf(DWORD pid)
{
    std::string image;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process)
        return image;
    HMODULE first;
    DWORD needed;
    char path[MAX_PATH];
    if (EnumProcessModules(process, &first, sizeof(first), &needed) &&
        GetModuleFileNameExA(process, first, path, MAX_PATH))
        image = path;
    CloseHandle(process);
    return image;
}

struct ProcessSeen {
    std::vector<DWORD> pids;
    std::vector<std::string> images;
    int reservedNonZero;
};

int RecordProcess(DWORD pid, int reserved, const char *imagePath, void *context)
{
    ProcessSeen *seen = (ProcessSeen *)context;
    seen->pids.push_back(pid);
    seen->images.push_back(imagePath);
    seen->reservedNonZero += reserved != 0;
    return 0;
}

class ProcessList : public BrackmoorTest {
protected:
    std::vector<PROCESS_INFORMATION> sleepers;
    char self[MAX_PATH];

    void SetUp() override
    {
        BrackmoorTest::SetUp();
        GetModuleFileNameA(NULL, self, MAX_PATH);
    }

    void StartSleepers(int n)
    {
        SetEnvironmentVariableA(kSleeperVariable, "1");
        for (int i = 0; i < n; i++) {
            STARTUPINFOA si = {};
            si.cb = sizeof(si);
            PROCESS_INFORMATION pi = {};
            char line[MAX_PATH + 64];
            FormatText(line, CAP(line), "\"%s\" --gtest_filter=NoSuchTest", self);
            if (CreateProcessA(self, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
                sleepers.push_back(pi);
        }
        SetEnvironmentVariableA(kSleeperVariable, NULL);
        // Until its loader has run, a new process has no module list to read.
        DWORD start = GetTickCount();
        for (const PROCESS_INFORMATION &pi : sleepers)
            while (ImageOf(pi.dwProcessId).empty() && GetTickCount() - start < 15000)
                Sleep(50);
    }

    void TearDown() override
    {
        for (const PROCESS_INFORMATION &pi : sleepers) {
            TerminateProcess(pi.hProcess, 0);
            WaitForSingleObject(pi.hProcess, 5000);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
        sleepers.clear();
        BrackmoorTest::TearDown();
    }
};

TEST_F(ProcessList, ForEachProcessHandsOverEveryOpenableProcess)
{
    StartSleepers(1);
    ASSERT_EQ(1u, sleepers.size());
    ProcessSeen seen{{}, {}, 0};
    EXPECT_EQ(0, ForEachProcess(RecordProcess, &seen));
    EXPECT_EQ(0, seen.reservedNonZero);
    std::set<DWORD> unique(seen.pids.begin(), seen.pids.end());
    EXPECT_EQ(seen.pids.size(), unique.size());
    struct Expected {
        DWORD pid;
        const char *what;
    } rows[] = {{GetCurrentProcessId(), "this test"}, {sleepers[0].dwProcessId, "the sleeper"}};
    for (size_t r = 0; r < sizeof(rows) / sizeof(rows[0]); r++) {
        bool found = false;
        for (size_t i = 0; i < seen.pids.size(); i++) {
            if (seen.pids[i] == rows[r].pid) {
                found = true;
                EXPECT_TRUE(SameText(self, seen.images[i])) << rows[r].what << ": " << seen.images[i];
            }
        }
        EXPECT_TRUE(found) << rows[r].what;
    }
}

TEST_F(ProcessList, OneRecordPerProgramHoweverManyProcessesRunIt)
{
    AddRunStruct("stale", "C:\\x\\stale.exe", "", "", 11, 0);
    StartSleepers(2);
    ASSERT_EQ(2u, sleepers.size());
    for (const PROCESS_INFORMATION &pi : sleepers)
        ASSERT_TRUE(SameText(self, ImageOf(pi.dwProcessId))) << pi.dwProcessId;

    int n = ListRunningTasks();
    EXPECT_EQ(RunList.count, n);
    ASSERT_GE(n, 1);

    std::set<DWORD> ours = {GetCurrentProcessId(), sleepers[0].dwProcessId, sleepers[1].dwProcessId};
    int mine = 0;
    std::set<std::string> paths;
    for (int i = 0; i < n; i++) {
        std::string path = Path(i);
        EXPECT_EQ(CODE_INFO_TASK, GetRunCode(i)) << "record " << i << ": " << path;
        EXPECT_NE("", Name(i)) << "record " << i << ": " << path;
        EXPECT_NE("C:\\X\\STALE.EXE", path) << "record " << i;
        std::string upper = path;
        CharUpperBuffA(&upper[0], (DWORD)upper.size());
        EXPECT_TRUE(paths.insert(upper).second) << "record " << i << " repeats " << path;
        if (SameText(path, self)) {
            mine++;
            EXPECT_EQ(1u, ours.count((DWORD)GetRunExtra(i))) << "record " << i;
        }
    }
    EXPECT_EQ(1, mine);
}

uintptr_t NextHandleSlot()
{
    HANDLE h = CreateEventA(NULL, FALSE, FALSE, NULL);
    CloseHandle(h);
    return (uintptr_t)h;
}

// The process list is taken on every pass for months: not one handle may stay open.
TEST_F(ProcessList, RepeatedListsLeaveNoHandleOpen)
{
    StartSleepers(1);
    ListRunningTasks();
    uintptr_t before = NextHandleSlot();
    for (int k = 0; k < 10; k++)
        ListRunningTasks();
    EXPECT_EQ(before, NextHandleSlot());

    char out[MAX_PATH];
    ResolveClsid("{6A1F0C3E-8B7D-4E21-9C55-0D3B2A7E4F1F}", out);
    before = NextHandleSlot();
    for (int k = 0; k < 10; k++) {
        ResolveClsid("{6A1F0C3E-8B7D-4E21-9C55-0D3B2A7E4F1F}", out);
        AddRunStruct("", "{6A1F0C3E-8B7D-4E21-9C55-0D3B2A7E4F1F}", "", "", 252, 0);
        GetRunPath(0, out);
    }
    EXPECT_EQ(before, NextHandleSlot());
}

}   // namespace
