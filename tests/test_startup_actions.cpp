// What reject and disable really do to the system: values gone and back, files moved, list items removed,
// hooks asked about and processes ended; all read back without the code under test.
#include <windows.h>

#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "common/appstate.h"
#include "common/options.h"
#include "common/runlist.h"
#include "startup/locations.h"
#include "startup/startup_actions.h"
#include "startup/startup_scan.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"
#include "monitor/restore_disabled.h"

// The list the routines under test fill and read.
static OwnedRunList gList;

namespace {

const char kNotify[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify";
const std::string kStore = std::string(DISABLED_MARKER_KEY) + "\\";   // + the store of the location
const char *const kHookKeys[] = {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
                                 "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler",
                                 "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks"};
const char *const kHookClsids[] = {"{8E0C5D21-4B7A-4C3E-9F12-6A5B0D1E2F31}", "{8E0C5D21-4B7A-4C3E-9F12-6A5B0D1E2F32}",
                                   "{8E0C5D21-4B7A-4C3E-9F12-6A5B0D1E2F33}", "{8E0C5D21-4B7A-4C3E-9F12-6A5B0D1E2F34}"};

// The Notify entry and the hook classes a test makes go with the test.
class StartupActionsTest : public StartupPlacesTest {
protected:
    const std::string notify = std::string(kNotify) + "\\BmToggle";

    void SetUp() override
    {
        StartupPlacesTest::SetUp();
        for (const char *key : {kNotify, kHookKeys[0], kHookKeys[1], kHookKeys[2]})
            Watch(HKLM, key);
        giHideStartup = 1;
    }
    void TearDown() override
    {
        RegDeleteTreeView(HKLM, notify.c_str(), k64);
        for (const char *id : kHookClsids)
            RegDeleteTreeView(HKLM, (std::string("Software\\Classes\\CLSID\\") + id).c_str(), k64);
        giHideStartup = 0;
        StartupPlacesTest::TearDown();
    }
};

TEST_F(StartupActionsTest, DisableTwiceRestoresEachKindExactlyAndLogsBoth)
{
    const std::string cmd = "\"C:\\Program Files\\Bm\\toggle.exe\" -run=1", ini = "C:\\bm\\ini.exe";
    std::string folder = UseStartupFolder(), parked = DataFolder() + "\\Disabled";
    std::string link = folder + "\\Bm Park.lnk", bat = folder + "\\bmpark.bat";
    Put(HKLM, kRun, "BmToggle", cmd);
    Put(HKCU, kRun, "BmToggle", cmd);
    Put(HKLM, kRun32, "BmToggle", "C:\\bm\\wow.exe");
    WriteProfileStringA("windows", "load", ("C:\\bm\\first.exe;" + ini).c_str());
    WriteWholeFile(link, "shortcut");
    WriteWholeFile(bat, "@echo off");
    RegPut(HKLM, notify.c_str(), "DLLName", "bmnotify.dll", k64);
    RegPut(HKLM, notify.c_str(), "Impersonate", "1", k64);
    // Everything a toggle might touch, read straight from the system; "-": not there.
    auto Val = [](HKEY root, const std::string &key, const char *name) {
        return RegHasValue(root, key.c_str(), name, k64) ? RegText(root, key.c_str(), name, k64) : "-";
    };
    auto FileState = [](const std::string &path) { return PathExists(path) ? ReadWholeFile(path) : "-"; };
    auto state = [&] {
        std::string load;
        for (const std::string &item : WinIniItems("load"))
            load += item + ";";
        return std::vector<std::string>{
            Val(HKLM, kRun, "BmToggle"), Val(HKCU, kRun, "BmToggle"), Val(HKLM, kRun32, "BmToggle"), load,
            FileState(link), FileState(bat), FileState(parked + "\\Bm Park.lnk"), FileState(parked + "\\bmpark.bat"),
            Val(HKLM, notify, "DLLName"), Val(HKLM, notify, "OldName"), Val(HKLM, notify, "Impersonate"),
            Val(HKLM, kStore + "Run", "BmToggle"), Val(HKLM, kStore + "WinLoad", "BmToggle"),
            Val(HKLM, kStore + "WinNotify", "BmToggle"), Val(HKLM, DISABLED_MARKER_KEY, "BmToggle")};
    };
    struct Row {
        int code;
        std::string data, path, again;   // again: where the scan sees the entry once it is disabled
        std::vector<std::pair<int, std::string>> disabled;   // the parts of the state that change, and to what
    } rows[] = {
        {1, cmd, "", "", {{0, "-"}, {11, cmd}, {14, "1"}}},
        {11, cmd, "", "", {{1, "-"}, {11, cmd}, {14, "11"}}},
        {21, "C:\\bm\\wow.exe", "", "", {{2, "-"}, {11, "C:\\bm\\wow.exe"}, {14, "21"}}},
        {100, ini, "", "", {{3, "C:\\bm\\first.exe;"}, {12, ini}, {14, "100"}}},
        {200, link, link, parked + "\\Bm Park.lnk", {{4, "-"}, {6, "shortcut"}, {14, "200"}}},
        {200, bat, "", parked + "\\bmpark.bat", {{5, "-"}, {7, "@echo off"}, {14, "200"}}},
        {256, "bmnotify.dll", "", "", {{8, ""}, {9, "bmnotify.dll"}, {13, "bmnotify.dll"}, {14, "256"}}},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        const Row &row = rows[i];
        std::vector<std::string> before = state(), expected = before;
        for (const auto &change : row.disabled)
            expected[change.first] = change.second;
        EXPECT_EQ(1, DisableRunProgram("BmToggle", row.data.c_str(), row.path.c_str(), row.code)) << "row " << i;
        EXPECT_EQ(expected, state()) << "row " << i;
        std::string again = row.again.empty() ? row.data : row.again;
        EXPECT_EQ(1, DisableRunProgram("BmToggle", again.c_str(), row.path.empty() ? "" : again.c_str(), row.code))
            << "row " << i;
        EXPECT_EQ(before, state()) << "row " << i;
        for (const char *action : {"\tSTART_Disable\t", "\tSTART_Restore\t"})
            EXPECT_EQ((int)i + 1, HistoryLinesWith({action, "\tBmToggle\t"})) << "row " << i << action;
    }
    EXPECT_EQ("256", RegText(HKCU, STARTUP_BASELINE_KEY, "bmnotify.dll"));
    // A Notify name that would reach another key, or a subkey that is not there, is never created.
    DisableRunProgram("BmToggle\\..\\Evil", "evil.dll", "", 256);
    DisableRunProgram("BmNoSuchNotify", "none.dll", "", 256);
    EXPECT_FALSE(RegHasKey(HKLM, (std::string(kNotify) + "\\Evil").c_str(), k64));
    EXPECT_FALSE(RegHasKey(HKLM, (std::string(kNotify) + "\\BmNoSuchNotify").c_str(), k64));
    // Codes of no place and nameless entries are left alone.
    for (int code : {0, 8, 31, 250, 255, 600})
        EXPECT_EQ(0, DisableRunProgram("BmNowhere", "C:\\bm\\nowhere.exe", "", code)) << "code " << code;
    EXPECT_EQ(0, DisableRunProgram("", cmd.c_str(), "", 11));
    EXPECT_FALSE(RegHasValue(HKLM, DISABLED_MARKER_KEY, "BmNowhere"));
}

TEST_F(StartupActionsTest, FilesOutsideTheStartupFoldersAreNeverMovedOrDeleted)
{
    std::string folder = UseStartupFolder(), elsewhere = TempFolder() + "\\elsewhere";
    std::string program = elsewhere + "\\program.exe", sneaky = folder + "\\..\\elsewhere\\program.exe";
    WriteWholeFile(program, "MZ");
    DisableRunProgram("BmOutside", program.c_str(), program.c_str(), 200);
    EXPECT_FALSE(PathExists(DataFolder() + "\\Disabled\\program.exe"));
    // A shortcut that vanished: its data is the program it started, which stays;
    // so does a file that a path reaches only by climbing out of the folder.
    EXPECT_EQ(0, DeleteRunProgram(200, "BmOutside", program.c_str(), (elsewhere + "\\gone.lnk").c_str()));
    ASSERT_TRUE(PathExists(sneaky));
    DeleteRunProgram(200, "BmOutside", sneaky.c_str(), "");
    EXPECT_TRUE(PathExists(program));
}

TEST_F(StartupActionsTest, DeleteRunProgramRemovesEachKindLogsItAndRefreshesTheBaselines)
{
    std::string folder = UseStartupFolder(), link = folder + "\\Bm Remove.lnk", leftover = folder + "\\bmleftover.bat";
    std::string parked = DataFolder() + "\\Disabled", parkedFile = parked + "\\bmparked.bat";
    const std::string ini = "C:\\bm\\ini program.exe";
    Put(HKLM, kRun32, "BmTwin", "C:\\bm\\wow.exe");
    Put(HKLM, kRun, "BmTwin", "C:\\bm\\machine.exe");
    Put(HKCU, kRun, "BmRemove", "\"C:\\bm\\remove.exe\" -x");
    Put(HKCU, kRun, "BmOwn", "C:\\Program Files\\Brackmoor\\brackmoor.exe -expressboot");
    Put(HKCU, kRun, "BmStaying", "C:\\bm\\staying.exe");
    Put(HKCU, kRun, "", "C:\\bm\\a=b.exe");
    WriteProfileStringA("windows", "load", ("C:\\bm\\keep.exe;" + ini).c_str());
    WriteProfileStringA("windows", "run", ini.c_str());
    for (const std::string &file : {link, leftover, parkedFile})
        WriteWholeFile(file, "@echo off");
    // Disabled entries go from the store and the Disabled folder, with their markers.
    RegPut(HKLM, (kStore + "RunOnceEx").c_str(), "BmMarked", "C:\\bm\\marked.exe");
    RegPut(HKLM, DISABLED_MARKER_KEY, "BmMarked", "23");
    RegPut(HKLM, DISABLED_MARKER_KEY, "bmparked", "200");
    RegPut(HKCU, ACTIVE_RUN_KEY, "C:\\BM\\GONE.EXE", "gone");
    InitMissingRunPrograms();
    ASSERT_EQ("BmRemove", RegText(HKCU, ACTIVE_RUN_KEY, "C:\\BM\\REMOVE.EXE"));
    EXPECT_FALSE(RegHasValue(HKCU, ACTIVE_RUN_KEY, "C:\\BM\\GONE.EXE"));
    ASSERT_EQ(1, AddRunStruct(gList, "pass entry", "C:\\bm\\pass.exe", "", "", 3000, 7));

    auto has = [](HKEY r, const std::string &key, const char *name) { return RegHasValue(r, key.c_str(), name, k64); };
    struct Row {
        int code;
        const char *name, *type;
        std::string data, path;
        std::function<bool()> present;
        int lines;   // of the history; -1: not looked at
    } rows[] = {
        {21, "BmTwin", "WOW64_RUN", "C:\\bm\\wow.exe", "", [&] { return has(HKLM, kRun32, "BmTwin"); }, 1},
        {1, "BmTwin", "MACHINE_RUN", "C:\\bm\\machine.exe", "", [&] { return has(HKLM, kRun, "BmTwin"); }, 1},
        {11, "BmRemove", "CURRENT_RUN", "\"C:\\bm\\remove.exe\" -x", "", [&] { return has(HKCU, kRun, "BmRemove"); },
         1},
        {11, "BmOwn", "CURRENT_RUN", "C:\\Program Files\\brackMOOR\\brackmoor.exe -expressboot", "",
         [&] { return has(HKCU, kRun, "BmOwn"); }, 0},
        // The default value goes while it holds the entry's command, by its baseline name too.
        {11, "", "CURRENT_RUN", "C:\\bm\\a:b.exe", "", [&] { return has(HKCU, kRun, ""); }, 1},
        {100, "BmLoad", "WIN_LOAD", ini, "", [&] { return WinIniItems("load").size() == 2; }, 1},
        {101, "BmRunIni", "WIN_RUN", ini, "", [&] { return WinIniItems("run").size() == 1; }, 1},
        {200, "BmLink", "GROUP_STARTUP", "C:\\bm\\target.exe", link, [&] { return PathExists(link); }, 1},
        // The shortcut is gone: the data names the file.
        {200, "BmGone", "GROUP_STARTUP", leftover, folder + "\\vanished.lnk", [&] { return PathExists(leftover); }, 1},
        {23, "BmMarked", "WOW64_RUNONCEEX", "C:\\bm\\marked.exe", "",
         [&] { return has(HKLM, kStore + "RunOnceEx", "BmMarked") || has(HKLM, DISABLED_MARKER_KEY, "BmMarked"); }, 1},
        // Its path in the data folder holds the product's name, which silences the history.
        {200, "bmparked", "GROUP_STARTUP", parkedFile, "",
         [&] { return PathExists(parkedFile) || has(HKLM, DISABLED_MARKER_KEY, "bmparked"); }, -1},
    };
    const size_t count = sizeof(rows) / sizeof(rows[0]);
    for (size_t i = 0; i < count; i++) {
        const Row &row = rows[i];
        RegPut(HKCU, STARTUP_BASELINE_KEY, row.data.c_str(), std::to_string(row.code).c_str());
        if (row.name[0])   // a nameless entry has no baseline value of its name
            RegPut(HKCU, STARTUP_BASELINE_KEY, row.name, std::to_string(row.code).c_str());
        EXPECT_EQ(1, DeleteRunProgram(row.code, row.name, row.data.c_str(), row.path.c_str())) << "row " << i;
        for (size_t k = i; k < count; k++)
            EXPECT_EQ(k > i, rows[k].present()) << "row " << i << ", entry of row " << k;
        std::string type = std::string("\t") + row.type + "\t";
        EXPECT_EQ(row.lines, row.lines < 0 ? -1 : HistoryLinesWith({"*START_Remove", type, row.name, row.data}))
            << "row " << i;
        EXPECT_FALSE(RegHasValue(HKCU, STARTUP_BASELINE_KEY, row.data.c_str())) << "row " << i;
        EXPECT_FALSE(RegHasValue(HKCU, STARTUP_BASELINE_KEY, row.name)) << "row " << i;
    }
    EXPECT_EQ(std::vector<std::string>{"C:\\bm\\keep.exe"}, WinIniItems("load"));
    // The user's own removal does not come back as a missing-startup notice, and the
    // alert pass that removes entries goes on with its own list.
    EXPECT_FALSE(RegHasValue(HKCU, ACTIVE_RUN_KEY, "C:\\BM\\REMOVE.EXE"));
    EXPECT_EQ("BmStaying", RegText(HKCU, ACTIVE_RUN_KEY, "C:\\BM\\STAYING.EXE"));
    std::vector<RunRecord> pass = RunRecords(gList);
    EXPECT_TRUE(pass.size() == 1 && pass[0].name == "pass entry" && pass[0].code == 3000 && pass[0].extra == 7);
    // A default value that holds another command is not the entry.
    Put(HKCU, kRun, "", "C:\\bm\\other.exe");
    EXPECT_EQ(0, DeleteRunProgram(11, "", "C:\\bm\\a:b.exe", ""));
    EXPECT_TRUE(RegHasValue(HKCU, kRun, "", k64));
}

TEST_F(StartupActionsTest, WinlogonEntriesAreResetToWindowsDefaults)
{
    std::string folder = SystemFolder();
    RegPut(HKLM, kWinlogon, "Userinit", (folder + "\\userinit.exe,C:\\bm\\evil.exe").c_str(), k64);
    RegPut(HKLM, kWinlogon, "Shell", "explorer.exe C:\\bm\\shell.exe", k64);
    // Shown in every scan, the reset programs are in the missing-startup baseline;
    // the user's own reset takes them out of it, so it is no vanished program.
    giShowAllStartup = 1;
    InitMissingRunPrograms();
    ASSERT_TRUE(RegHasValue(HKCU, ACTIVE_RUN_KEY, "C:\\BM\\EVIL.EXE"));
    EXPECT_EQ(1, DeleteRunProgram(250, "Winlogon Userinit", "C:\\bm\\evil.exe", ""));
    EXPECT_FALSE(RegHasValue(HKCU, ACTIVE_RUN_KEY, "C:\\BM\\EVIL.EXE"));
    EXPECT_EQ(folder + "\\Userinit.exe,", RegText(HKLM, kWinlogon, "Userinit", k64));
    EXPECT_EQ("250", RegText(HKCU, STARTUP_BASELINE_KEY, (folder + "\\userinit.exe").c_str()));
    EXPECT_EQ(1, HistoryLinesWith({"RESET_USERINIT", "WINLOGON_Userinit", "C:\\bm\\evil.exe"}));
    EXPECT_EQ(1, DeleteRunProgram(251, "Winlogon Shell", "C:\\bm\\shell.exe", ""));
    EXPECT_EQ("Explorer.exe", RegText(HKLM, kWinlogon, "Shell", k64));
    EXPECT_EQ("251", RegText(HKCU, STARTUP_BASELINE_KEY, "Explorer.exe"));
    EXPECT_EQ(1, HistoryLinesWith({"RESET_SHELL", "WINLOGON_Shell"}));
    EXPECT_EQ(0, HistoryLinesWith({"*START_Remove"}));
    giShowAllStartup = 0;
}

// Disabling the 64-bit value leaves its 32-bit twin of the same name alone: the
// twin is neither restored over nor disabled under the name, the scan leaves it
// where it is, and a number under the disabled name is no command to store.
TEST_F(StartupActionsTest, ASameNamedEntryElsewhereIsAnotherProgram)
{
    const std::string cmd = "\"C:\\bm\\twin64.exe\" -a", store = kStore + "Run";
    Put(HKLM, kRun, "BmTwin", cmd);
    Put(HKLM, kRun32, "BmTwin", "C:\\bm\\twin32.exe");
    ASSERT_EQ(1, DisableRunProgram("BmTwin", cmd.c_str(), "", 1));
    EXPECT_EQ(0, DisableRunProgram("BmTwin", "C:\\bm\\twin32.exe", "", 21));
    EXPECT_FALSE(IsDisabledEntry("BmTwin", 21) || IsDisabledEntry("BmTwin", 200));
    RegPutDword(HKLM, kRun, "BmTwin", 7, k64);
    for (int pass = 0; pass < 2; pass++)
        StartupScan(gList, 0);
    EXPECT_EQ("C:\\bm\\twin32.exe", RegText(HKLM, kRun32, "BmTwin", k64));
    EXPECT_TRUE(RegHasValue(HKLM, kRun, "BmTwin", k64)) << "the number stays";
    EXPECT_EQ(cmd, RegText(HKLM, store.c_str(), "BmTwin"));
    // The program writes itself back: out again, the copy follows what it wrote.
    Put(HKLM, kRun, "BmTwin", cmd + " -b");
    StartupScan(gList, 0);
    EXPECT_FALSE(RegHasValue(HKLM, kRun, "BmTwin", k64));
    EXPECT_EQ(cmd + " -b", RegText(HKLM, store.c_str(), "BmTwin"));
    EXPECT_EQ(2, HistoryLinesWith({"\tSTART_Disable\tMACHINE_RUN\tBmTwin\t"}));
}

// The copy is made before the original goes, and dropped only once the original
// is back: a step that fails leaves the entry where it was, marker and all.
TEST_F(StartupActionsTest, DisableAndRestoreKeepTheEntryWhereverAStepFails)
{
    std::string folder = UseStartupFolder(), parked = DataFolder() + "\\Disabled";
    std::string bat = folder + "\\bmkeep.bat", aside = parked + "\\bmkeep.bat";
    WriteWholeFile(bat, "one");
    WriteWholeFile(aside, "older");   // the place aside is taken
    EXPECT_EQ(0, DisableRunProgram("bmkeep", bat.c_str(), "", 200));
    EXPECT_EQ("one|older|", ReadWholeFile(bat) + "|" + ReadWholeFile(aside) + "|" + RegText(HKLM, DISABLED_MARKER_KEY, "bmkeep"));
    RemoveTree(aside);
    ASSERT_EQ(1, DisableRunProgram("bmkeep", bat.c_str(), "", 200));
    WriteWholeFile(bat, "new");        // the way back is taken
    EXPECT_EQ(0, DisableRunProgram("bmkeep", bat.c_str(), "", 200));
    EXPECT_EQ("new|one|200", ReadWholeFile(bat) + "|" + ReadWholeFile(aside) + "|" + RegText(HKLM, DISABLED_MARKER_KEY, "bmkeep"));
    // Nothing stored and nothing to write back: it stays disabled.
    RegPut(HKLM, DISABLED_MARKER_KEY, "BmLost", "11");
    EXPECT_EQ(0, DisableRunProgram("BmLost", "", "", 11));
    EXPECT_EQ("11", RegText(HKLM, DISABLED_MARKER_KEY, "BmLost"));
    EXPECT_EQ(0, HistoryLinesWith({"START_Restore"}));

    // A win.ini list longer than one read of 512 characters goes and comes back whole.
    std::string list;
    for (int i = 0; i < 60; i++)
        list += "C:\\bm\\filler" + std::to_string(i) + ".exe;";
    WriteProfileStringA("windows", "load", (list + "C:\\bm\\last.exe").c_str());
    std::vector<std::string> items = WinIniItems("load");
    ASSERT_EQ(1, DisableRunProgram("BmLast", "C:\\bm\\last.exe", "", 100));
    EXPECT_EQ(std::vector<std::string>(items.begin(), items.end() - 1), WinIniItems("load"));
    ASSERT_EQ(1, DisableRunProgram("BmLast", "C:\\bm\\last.exe", "", 100));
    EXPECT_EQ(items, WinIniItems("load"));
}

// Only a removal that happened is logged and forgotten: a startup-folder file held
// open by another program, or a value that is gone already, leave history and
// baseline as they were.
TEST_F(StartupActionsTest, ARemovalThatFailsIsNeitherLoggedNorForgotten)
{
    std::string bat = UseStartupFolder() + "\\bmheld.bat";
    WriteWholeFile(bat, "@echo off");
    RegPut(HKCU, STARTUP_BASELINE_KEY, "bmheld", "200");
    HANDLE held = CreateFileA(bat.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(0, DeleteRunProgram(200, "bmheld", bat.c_str(), ""));
    CloseHandle(held);
    EXPECT_TRUE(PathExists(bat));
    EXPECT_EQ(0, DeleteRunProgram(11, "BmNoSuchValue", "C:\\bm\\none.exe", ""));
    EXPECT_EQ("200", RegText(HKCU, STARTUP_BASELINE_KEY, "bmheld"));
    EXPECT_EQ(0, HistoryLinesWith({"*START_Remove"}));
}

TEST_F(StartupActionsTest, HookRemovalAsksFirstUnlessStartupAlertsAreHidden)
{
    const char *files[] = {"C:\\bm\\delay.dll", "C:\\bm\\task.dll", "C:\\bm\\hook.dll", "C:\\bm\\neighbour.dll"};
    for (int k = 0; k < 4; k++) {   // hooks are machine-wide, and so are their classes
        std::string key = std::string("Software\\Classes\\CLSID\\") + kHookClsids[k];
        RegPut(HKLM, key.c_str(), "", k == 2 ? "Bm Hook Class" : "", k64);
        RegPut(HKLM, (key + "\\InprocServer32").c_str(), "", files[k], k64);
    }
    struct Row {
        int code;
        const char *valueName, *valueData, *entryName, *action;
    } rows[] = {
        {252, "BmDelay", kHookClsids[0], "BmDelay", "REMOVE_DELAYLOAD"},
        {253, kHookClsids[1], "Bm Task Hook", "Bm Task Hook", "REMOVE_TaskScheduler"},
        {254, kHookClsids[2], "", "Bm Hook Class", "REMOVE_SHELLEXECUTEHOOK"},
    };
    for (int i = 0; i < 3; i++) {
        const Row &row = rows[i];
        const char *key = kHookKeys[i], *neighbour = i == 0 ? "BmNeighbour" : kHookClsids[3];
        Put(HKLM, key, row.valueName, row.valueData);
        Put(HKLM, key, neighbour, i == 0 ? kHookClsids[3] : "Bm Neighbour");
        RegPut(HKCU, STARTUP_BASELINE_KEY, files[i], std::to_string(row.code).c_str());
        for (int hide = 0; hide < 2; hide++) {   // asked and answered No, then not asked at all
            giHideStartup = hide;
            DialogDriver driver(std::vector<std::vector<int>>{{IDNO}});
            EXPECT_EQ(hide, DeleteRunProgram(row.code, row.entryName, files[i], "")) << "row " << i;
            std::vector<SeenDialog> asked = driver.Stop();
            EXPECT_EQ(!hide, asked.size() == 1 && asked[0].texts.find(LangText(1013).substr(0, 40)) != std::string::npos)
                << "row " << i;
            EXPECT_EQ(!hide, RegHasValue(HKLM, key, row.valueName, k64)) << "row " << i << " hide " << hide;
            EXPECT_EQ(!hide, RegHasValue(HKCU, STARTUP_BASELINE_KEY, files[i])) << "row " << i << " hide " << hide;
            EXPECT_TRUE(RegHasValue(HKLM, key, neighbour, k64)) << "row " << i << " hide " << hide;
            EXPECT_EQ(hide, HistoryLinesWith({row.action, row.entryName, files[i]})) << "row " << i;
        }
    }
}

// A second copy of this program, which only waits, stands for the running program.
TEST_F(StartupActionsTest, FindAndKillTheProcessOfAProgram)
{
    std::string image = ThisProgram(), file = image.substr(image.rfind('\\') + 1);
    EXPECT_EQ(0u, FindProcessOfProgram(image.c_str())) << "the monitor never finds itself";
    HANDLE sleeper = StartSleeper(image);
    ASSERT_TRUE(sleeper);
    DWORD pid = GetProcessId(sleeper);
    // Until its loader has run, a new process has no module to name it by.
    for (int wait = 0; wait < 300 && FindProcessOfProgram(image.c_str()) != pid; wait++)
        Sleep(50);
    std::string upper = Upper(image);
    // By full path in any case and with arguments, or by file name alone.
    std::string upperFile = upper.substr(upper.rfind('\\') + 1);
    for (const std::string &program : {image, upper, "\"" + image + "\" -arg", file, upperFile})
        EXPECT_EQ(pid, FindProcessOfProgram(program.c_str())) << program;
    for (const std::string &program : {"C:\\elsewhere\\" + file, file.substr(1), std::string()})
        EXPECT_EQ(0u, FindProcessOfProgram(program.c_str())) << program;

    KillStartupTask("Bm Sleeper", ("\"" + image + "\" -background").c_str());
    EXPECT_TRUE(WaitExit(sleeper, 5000));
    TerminateProcess(sleeper, 0);
    CloseHandle(sleeper);
    // No handle is left to keep the ended process: its id goes.
    HANDLE kept = NULL;
    for (int wait = 0; wait < 60 && (kept = OpenProcess(SYNCHRONIZE, FALSE, pid)) && CloseHandle(kept); wait++)
        Sleep(50);
    EXPECT_EQ(nullptr, kept);
    EXPECT_EQ(1, HistoryLinesWith({"TASK_Kill", "INFO_TASK"}));
    // Nothing runs any more: nothing is ended and nothing is logged.
    KillStartupTask("Bm Sleeper", image.c_str());
    EXPECT_EQ(1, HistoryLinesWith({"TASK_Kill"}));
}

}  // namespace

// The uninstaller's job: every held entry of every kind goes back exactly where it
// came from; a marker without its stored copy stays held and is counted, and markers
// the monitor never writes are not counted at all.
TEST_F(StartupActionsTest, RestoreAllPutsEveryHeldEntryBackAndCountsWhatStays)
{
    const std::string cmd = "\"C:\\Program Files\\Bm\\held.exe\" -tray";
    std::string folder = UseStartupFolder(), link = folder + "\\Bm Held.lnk";
    Put(HKCU, kRun, "BmHeld", cmd);
    Put(HKLM, kRun32, "BmHeld32", "C:\\bm\\held32.exe");
    WriteProfileStringA("windows", "load", "C:\\bm\\first.exe;C:\\bm\\held.exe");
    ASSERT_TRUE(MakeShortcut(link, WindowsFolder() + "\\notepad.exe"));
    RegPut(HKLM, notify.c_str(), "DLLName", "bmheld.dll", k64);
    auto state = [&] {
        std::string load;
        for (const std::string &item : WinIniItems("load"))
            load += item + ";";
        return std::vector<std::string>{RegText(HKCU, kRun, "BmHeld", k64), RegText(HKLM, kRun32, "BmHeld32", k64), load,
                                        ShortcutOf(link), RegText(HKLM, notify.c_str(), "DLLName", k64),
                                        RegHasValue(HKLM, notify.c_str(), "OldName", k64) ? "OldName" : ""};
    };
    std::vector<std::string> before = state();

    // Disabled as the alert does it: the folder entry under the name the scan gives it.
    FreeRunList(gList);
    ReadStartupFolder(gList, folder.c_str(), 1);
    ASSERT_EQ(1, gList->count);
    const RunRecord entry = RunRecords(gList)[0];
    ASSERT_EQ(1, DisableRunProgram(entry.name.c_str(), entry.path.c_str(), entry.source.c_str(), 200));
    ASSERT_EQ(1, DisableRunProgram("BmHeld", cmd.c_str(), "", 11));
    ASSERT_EQ(1, DisableRunProgram("BmHeld32", "C:\\bm\\held32.exe", "", 21));
    ASSERT_EQ(1, DisableRunProgram("BmHeldIni", "C:\\bm\\held.exe", "", 100));
    ASSERT_EQ(1, DisableRunProgram("BmToggle", "bmheld.dll", "", 256));
    ASSERT_NE(before, state());
    RegPut(HKLM, DISABLED_MARKER_KEY, "BmLost", "11");                        // its stored copy is gone
    RegPut(HKLM, DISABLED_MARKER_KEY, std::string(300, 'x').c_str(), "11");   // longer than any marker
    RegPut(HKLM, DISABLED_MARKER_KEY, "BmJunk", "abc");                       // no location's code

    EXPECT_EQ(6, CountDisabledStartup());
    EXPECT_EQ(1, RestoreAllDisabledStartup());
    EXPECT_EQ(before, state());
    for (const char *held : {"BmHeld", "BmHeld32", "BmHeldIni", "BmToggle", entry.name.c_str()})
        EXPECT_FALSE(RegHasValue(HKLM, DISABLED_MARKER_KEY, held)) << held;
    for (const char *store : {"Run", "WinLoad", "WinNotify"})
        EXPECT_EQ(0u, ReadRegistryTree(HKLM, (kStore + store).c_str(), 0).size() - 1) << store;
    EXPECT_TRUE(RegHasValue(HKLM, DISABLED_MARKER_KEY, "BmLost"));
    EXPECT_FALSE(PathExists(DataFolder() + "\\Disabled\\Bm Held.lnk"));
}
