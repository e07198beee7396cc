// The run list and the running-process list.
#include <windows.h>

#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "common/processes.h"
#include "common/runlist.h"
#include "support/system_state.h"
#include "support/test_env.h"

// The list the routines under test fill and read.
static OwnedRunList gList;

namespace {

// One text field of record i, read into a guarded buffer of the field's size.
std::string Field(int (*get)(const RunList *, int, char *), int i, size_t cap)
{
    std::vector<char> out(cap + kGuardLen);
    FillGuarded(out.data(), out.size());
    int len = get(gList, i, out.data());
    EXPECT_TRUE(GuardIntact(out.data(), cap)) << "record " << i;
    EXPECT_EQ((int)strlen(out.data()), len) << "record " << i;
    return out.data();
}
std::string Name(int i) { return Field(GetRunName, i, RUN_NAME_MAX); }
std::string Path(int i) { return Field(GetRunPath, i, RUN_PATH_MAX); }

// Test class ids, registered per test and removed again. Machine classes, not
// the user's: Wine's HKEY_CLASSES_ROOT does not take in HKCU "Software\Classes".
const char kPlainClsid[] = "{6A1F0C3E-8B7D-4E21-9C55-0D3B2A7E4F10}";
const char kWowClsid[] = "{6A1F0C3E-8B7D-4E21-9C55-0D3B2A7E4F11}";
const char kLateClsid[] = "{6A1F0C3E-8B7D-4E21-9C55-0D3B2A7E4F12}";
const std::string kClasses = "Software\\Classes\\CLSID\\", kWowClasses = "Software\\Classes\\Wow6432Node\\CLSID\\";

class RunListTest : public BrackmoorTest {
protected:
    void TearDown() override
    {
        for (const std::string &key : {kClasses + kPlainClsid, kClasses + kLateClsid, kWowClasses + kWowClsid})
            RegDeleteTreeView(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY);
        BrackmoorTest::TearDown();
    }
};

TEST_F(RunListTest, ListHoldsAtMost4096RecordsAndFreesThemAll)
{
    for (int i = 0; i < RUN_LIST_MAX; i++)
        ASSERT_EQ(1, AddRunStruct(gList, "entry", "C:\\x\\tool.exe", "", "", 11, i)) << "record " << i;
    EXPECT_EQ(0, AddRunStruct(gList, "one too many", "C:\\x\\more.exe", "", "", 11, 5000));
    EXPECT_EQ(RUN_LIST_MAX - 1, GetRunExtra(gList, RUN_LIST_MAX - 1));

    FreeRunList(gList);
    EXPECT_EQ(0, gList->count);
    for (int i = 0; i < RUN_LIST_MAX; i++)
        ASSERT_EQ(nullptr, gList->items[i]) << "slot " << i;
    // Indexes of the freed list read as nothing.
    EXPECT_EQ("", Name(0));
    EXPECT_EQ(0, GetRunExtra(gList, -1));
}

TEST_F(RunListTest, NamesPathsAndBounds)
{
    const std::string file = TempFolder() + "\\a long program name.exe";
    WriteWholeFile(file, "MZ");
    char shortForm[MAX_PATH], longForm[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(file.c_str(), shortForm, MAX_PATH), 0u);
    ASSERT_GT(GetLongPathNameA(shortForm, longForm, MAX_PATH), 0u);
    struct Row { const char *name; std::string command, name2, path; } rows[] = {
        {"My brackMOOR helper", "C:\\x\\a.exe", "Brackmoor", "C:\\x\\a.exe"},
        {"(Default)", "C:\\x\\a.exe", "", "C:\\x\\a.exe"},
        {NULL, "C:\\x\\tool.exe", "tool", "C:\\x\\tool.exe"},
        {"", "notepad.exe", "notepad", "notepad.exe"},
        {"", "C:\\x\\a.b", "", "C:\\x\\a.b"},
        {"Updater", "\"C:\\Program Files\\Up\\up.exe\" -bg", "Updater", "C:\\Program Files\\Up\\up.exe -bg"},
        {"", std::string("\"") + shortForm + "\"", "a long program name", longForm},   // lengthened
        {"Short", "\"C:\\\"", "Short", "C:\\"},
    };
    for (int i = 0; i < (int)(sizeof(rows) / sizeof(rows[0])); i++) {
        ASSERT_EQ(1, AddRunStruct(gList, rows[i].name, rows[i].command.c_str(), shortForm, "d", 11 + i, 7)) << "row " << i;
        EXPECT_EQ(rows[i].name2, Name(i)) << "row " << i;
        EXPECT_EQ(rows[i].path, Path(i)) << "row " << i;
        // A path of 3 characters or less is not lengthened, nor is its source.
        std::string source = rows[i].path.size() > 3 ? longForm : shortForm;
        EXPECT_EQ(source, Field(GetRunSourcePath, i, RUN_PATH_MAX)) << "row " << i;
        EXPECT_EQ(11 + i, GetRunCode(gList, i)) << "row " << i;
    }

    // Over-long inputs are cut in the record.
    ASSERT_EQ(1, AddRunStruct(gList, std::string(500, 'n').c_str(), ("C:\\" + std::string(397, 'p')).c_str(),
                              ("D:\\" + std::string(397, 's')).c_str(), std::string(2000, 'd').c_str(), 11, 0));
    const int at = gList->count - 1;
    EXPECT_EQ(std::string(RUN_NAME_MAX - 1, 'n'), Name(at));
    EXPECT_EQ("C:\\" + std::string(RUN_PATH_MAX - 4, 'p'), Path(at));
    EXPECT_EQ("D:\\" + std::string(RUN_PATH_MAX - 4, 's'), Field(GetRunSourcePath, at, RUN_PATH_MAX));
    EXPECT_EQ(std::string(RUN_DETAILS_MAX - 1, 'd'), Field(GetRunDetails, at, RUN_DETAILS_MAX));

    // An empty command is refused, whatever else the record has.
    EXPECT_EQ(0, AddRunStruct(gList, "name", "", "src", "details", 11, 0));
    EXPECT_EQ(0, AddRunStruct(gList, "name", NULL, "src", "details", 11, 0));
}

TEST_F(RunListTest, CookieRecordsObeyTheLimitOnTheWholeList)
{
    giMaxCookie = 3;
    const struct { const char *command; int code, result; } rows[] = {
        {"C:\\x\\run.exe", 11, 1}, {"C:\\cookies\\1.txt", CODE_COOKIE, 1}, {"C:\\cookies\\2.txt", CODE_COOKIE, 1},
        {"C:\\cookies\\3.txt", CODE_COOKIE, 0}, {"C:\\x\\task.exe", CODE_INFO_TASK, 1}, {"C:\\c\\4.txt", CODE_COOKIE, 0},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++)
        EXPECT_EQ(rows[i].result, AddRunStruct(gList, "c", rows[i].command, "", "", rows[i].code, 0)) << "row " << i;
}

TEST_F(RunListTest, ClassIdsResolveToTheirServerFile)
{
    const std::string plain = kClasses + kPlainClsid, wow = kWowClasses + kWowClsid;
    RegPut(HKEY_LOCAL_MACHINE, (plain + "\\InprocServer32").c_str(), "", "C:\\Test\\server.dll", KEY_WOW64_64KEY);
    RegPut(HKEY_LOCAL_MACHINE, (wow + "\\InprocServer32").c_str(), "", "C:\\Test\\wow32.dll", KEY_WOW64_64KEY);
    const std::string rows[][2] = {
        {std::string(kPlainClsid) + " trailing words", "C:\\Test\\server.dll"},
        {kWowClsid, "C:\\Test\\wow32.dll"},
        {kLateClsid, kLateClsid},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        ASSERT_EQ(1, AddRunStruct(gList, "Helper", rows[i][0].c_str(), "", "", 252, 0)) << "row " << i;
        EXPECT_EQ(rows[i][1], Path((int)i)) << "row " << i;
    }
    // A class registered after the scan still compares by its server.
    RegPut(HKEY_LOCAL_MACHINE, (kClasses + kLateClsid + "\\InprocServer32").c_str(), "", "C:\\Test\\late.dll",
           KEY_WOW64_64KEY);
    EXPECT_EQ("C:\\Test\\late.dll", Path(2));
}

using Seen = std::vector<std::pair<DWORD, std::string>>;
int RecordProcess(DWORD pid, int reserved, const char *imagePath, void *seen)
{
    EXPECT_EQ(0, reserved) << pid;
    ((Seen *)seen)->emplace_back(pid, imagePath);
    return 0;
}

// Two copies of this test program that only wait (the shared sleeper): three
// processes of one image.
class ProcessList : public BrackmoorTest {
protected:
    std::string self = ThisProgram();
    DWORD sleeperPids[2] = {};
    std::vector<HANDLE> sleepers;

    ProcessList()
    {
        for (DWORD &pid : sleeperPids)
            if (HANDLE h = StartSleeper(self, &pid))
                sleepers.push_back(h);
    }
    ~ProcessList() override
    {
        for (HANDLE h : sleepers) {
            TerminateProcess(h, 0);
            WaitForSingleObject(h, 5000);
            CloseHandle(h);
        }
    }
};

TEST_F(ProcessList, OneRecordPerProgramHoweverManyProcessesRunIt)
{
    ASSERT_EQ(2u, sleepers.size());
    const std::set<DWORD> ours = {GetCurrentProcessId(), sleeperPids[0], sleeperPids[1]};
    // Ours are handed over with this program's image (a new process has no
    // module list to read until its loader has run).
    std::set<DWORD> pids;
    for (DWORD start = GetTickCount(); pids.size() < 3 && GetTickCount() - start < 15000; Sleep(50)) {
        Seen seen;
        EXPECT_EQ(0, ForEachProcess(RecordProcess, &seen));
        for (const auto &process : seen)
            if (ours.count(process.first) && !lstrcmpiA(self.c_str(), process.second.c_str()))
                pids.insert(process.first);
    }
    EXPECT_EQ(3u, pids.size());

    AddRunStruct(gList, "stale", "C:\\x\\stale.exe", "", "", 11, 0);
    int n = ListRunningTasks(gList);
    EXPECT_EQ(gList->count, n);
    int mine = 0;
    std::set<std::string> paths;
    for (int i = 0; i < n; i++) {
        std::string path = Path(i);
        EXPECT_EQ(CODE_INFO_TASK, GetRunCode(gList, i)) << "record " << i << ": " << path;
        EXPECT_TRUE(paths.insert(path).second) << "record " << i << " repeats " << path;
        if (!lstrcmpiA(path.c_str(), self.c_str()) && ++mine) {
            EXPECT_EQ(1u, ours.count((DWORD)GetRunExtra(gList, i))) << "record " << i;
        }
    }
    EXPECT_EQ(1, mine);

    // The process list is taken on every pass for months: not one handle may stay open.
    uintptr_t before = NextHandleSlot();
    for (int k = 0; k < 10; k++)
        ListRunningTasks(gList);
    EXPECT_EQ(before, NextHandleSlot());
}

}   // namespace
