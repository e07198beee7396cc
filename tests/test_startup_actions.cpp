// What reject and disable really do to the system: values gone from their keys
// and back, files moved, list items removed, processes ended, services stopped
// and disabled; all read back without the code under test.
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "common/registry.h"
#include "common/text.h"
#include "monitor/appstate.h"
#include "monitor/options.h"
#include "startup/locations.h"
#include "startup/runlist.h"
#include "startup/startup_actions.h"
#include "startup/startup_scan.h"
#include "support/system_state.h"
#include "support/test_env.h"
#include "watchers/service_control.h"

// Besides running the tests (and sleeping, see support/system_state.h), this
// program started by the service manager with the switch is a service that runs
// until it is told to stop.
static const char kServiceSwitch[] = "--bm-test-service";
static SERVICE_STATUS_HANDLE gServiceHandle;
static HANDLE gServiceStop;

static void ReportServiceState(DWORD state)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(gServiceHandle, &status);
}

static DWORD WINAPI TestServiceControl(DWORD control, DWORD, LPVOID, LPVOID)
{
    if (control == SERVICE_CONTROL_STOP) {
        ReportServiceState(SERVICE_STOP_PENDING);
        SetEvent(gServiceStop);
    }
    return NO_ERROR;
}

static void WINAPI TestServiceMain(DWORD, LPSTR *)
{
    gServiceHandle = RegisterServiceCtrlHandlerExA("BmTestSvc", TestServiceControl, NULL);
    ReportServiceState(SERVICE_RUNNING);
    WaitForSingleObject(gServiceStop, 120000);
    ReportServiceState(SERVICE_STOPPED);
}

int gHelperRole = [] {
    if (strstr(GetCommandLineA(), kServiceSwitch)) {
        gServiceStop = CreateEventA(NULL, TRUE, FALSE, NULL);
        SERVICE_TABLE_ENTRYA table[] = {{(LPSTR) "BmTestSvc", TestServiceMain}, {NULL, NULL}};
        StartServiceCtrlDispatcherA(table);
        ExitProcess(0);
    }
    return 0;
}();

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunKey32[] = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kWinlogon[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kNotify[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify";
const char kDelayLoad[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad";
const char kTaskScheduler[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler";
const char kExecuteHooks[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks";
const char kAppInitKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const char kMarker[] = "Software\\Dunmere Works\\Brackmoor\\Disabled";
const char kStoreBase[] = "Software\\Dunmere Works\\Brackmoor\\Disabled\\";
const char kBaseline[] = "Software\\Dunmere Works\\Brackmoor\\Run";
const char kActiveRun[] = "Software\\Dunmere Works\\Brackmoor\\ActiveRun";
const char kServices[] = "SYSTEM\\CurrentControlSet\\Services";
const char kAbsent[] = "\x01" "absent";
const char *const kHookClsids[] = {
    "{8E0C5D21-4B7A-4C3E-9F12-6A5B0D1E2F31}",
    "{8E0C5D21-4B7A-4C3E-9F12-6A5B0D1E2F32}",
    "{8E0C5D21-4B7A-4C3E-9F12-6A5B0D1E2F33}",
    "{8E0C5D21-4B7A-4C3E-9F12-6A5B0D1E2F34}",
};

std::string Store(const char *which)
{
    return std::string(kStoreBase) + which;
}




std::string WinIniLine(const char *key)
{
    char buf[2048];
    GetProfileStringA("windows", key, kAbsent, buf, sizeof(buf));
    return buf;
}



// Each test may write into the system's startup places; what it wrote is removed
// and what it changed is put back, whatever the outcome.
class StartupActionsTest : public BrackmoorTest {
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
    std::vector<std::string> createdKeys;     // HKLM, 64-bit view, removed whole
    std::string savedLoad, savedRun;

    void SetUp() override
    {
        BrackmoorTest::SetUp();
        saved.emplace_back(HKEY_CURRENT_USER, kShellFolders, "Startup", 0);
        saved.emplace_back(HKEY_LOCAL_MACHINE, kWinlogon, "Userinit", KEY_WOW64_64KEY);
        saved.emplace_back(HKEY_LOCAL_MACHINE, kWinlogon, "Shell", KEY_WOW64_64KEY);
        saved.emplace_back(HKEY_LOCAL_MACHINE, kAppInitKey, "AppInit_Dlls", KEY_WOW64_64KEY);
        savedLoad = WinIniLine("load");
        savedRun = WinIniLine("run");
        giHideStartup = 1;
        WatchNewKeys();
    }

    void TearDown() override
    {
        for (const Written &w : written)
            RegRemoveValue(w.root, w.path.c_str(), w.name.c_str(), w.view);
        for (const std::string &k : createdKeys)
            RegDeleteTreeView(HKEY_LOCAL_MACHINE, k.c_str(), KEY_WOW64_64KEY);
        for (const char *id : kHookClsids)
            RegDeleteTreeView(HKEY_LOCAL_MACHINE, (std::string("Software\\Classes\\CLSID\\") + id).c_str(),
                              KEY_WOW64_64KEY);
        if (!startupFolder.empty())
            RemoveTree(startupFolder);
        for (SavedValue &s : saved)
            s.Restore();
        WriteProfileStringA("windows", "load", savedLoad == kAbsent ? NULL : savedLoad.c_str());
        WriteProfileStringA("windows", "run", savedRun == kAbsent ? NULL : savedRun.c_str());
        newKeys.Remove();
        giHideStartup = 0;
        BrackmoorTest::TearDown();
    }

    void Put(HKEY root, const char *path, const char *name, const char *data, REGSAM view = KEY_WOW64_64KEY)
    {
        RegPut(root, path, name, data, view);
        written.push_back({root, path, name, view});
    }

    // The user's startup folder moved to a fresh folder for this test; its path
    // must not contain the product name, which would silence the history.
    std::string startupFolder;
    std::string UseStartupFolder()
    {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        startupFolder = std::string(base) + "bmstartup-" + std::to_string(GetCurrentProcessId());
        RemoveTree(startupFolder);
        CreateDirectoryA(startupFolder.c_str(), NULL);
        RegPut(HKEY_CURRENT_USER, kShellFolders, "Startup", startupFolder.c_str());
        return startupFolder;
    }

    // Hooks are machine-wide, and so are their classes.
    void RegisterClass(const char *clsid, const char *server, const char *className = "")
    {
        std::string key = std::string("Software\\Classes\\CLSID\\") + clsid;
        RegPut(HKEY_LOCAL_MACHINE, key.c_str(), "", className, KEY_WOW64_64KEY);
        RegPut(HKEY_LOCAL_MACHINE, (key + "\\InprocServer32").c_str(), "", server, KEY_WOW64_64KEY);
    }
};

struct RunPlace {
    int code;
    HKEY root;
    const char *key;
};

const RunPlace kRunPlaces[] = {
    {1, HKEY_LOCAL_MACHINE, kRunKey},
    {11, HKEY_CURRENT_USER, kRunKey},
    {21, HKEY_LOCAL_MACHINE, kRunKey32},
    {26, HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Setup"},
    {7, HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer\\Run"},
};
const char *const kRunStores[] = {"", "Run", "RunOnce", "RunOnceEx", "RunServices", "RunServicesOnce", "RunSetup", "Policy"};

TEST_F(StartupActionsTest, DisableTwiceRestoresRunValuesExactly)
{
    const char data[] = "\"C:\\Program Files\\Bm\\toggle.exe\" -run=1";
    for (size_t i = 0; i < sizeof(kRunPlaces) / sizeof(kRunPlaces[0]); i++) {
        const RunPlace &place = kRunPlaces[i];
        std::string store = Store(kRunStores[place.code % 10]);
        Put(place.root, place.key, "BmToggle", data);

        EXPECT_EQ(1, DisableRunProgram("BmToggle", data, "", place.code)) << "row " << i;
        EXPECT_FALSE(RegHasValue(place.root, place.key, "BmToggle", KEY_WOW64_64KEY)) << "row " << i;
        EXPECT_EQ(data, RegText(HKEY_LOCAL_MACHINE, store.c_str(), "BmToggle")) << "row " << i;
        EXPECT_EQ(std::to_string(place.code), RegText(HKEY_LOCAL_MACHINE, kMarker, "BmToggle")) << "row " << i;

        EXPECT_EQ(1, DisableRunProgram("BmToggle", data, "", place.code)) << "row " << i;
        EXPECT_EQ(data, RegText(place.root, place.key, "BmToggle", KEY_WOW64_64KEY)) << "row " << i;
        EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, store.c_str(), "BmToggle")) << "row " << i;
        EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, kMarker, "BmToggle")) << "row " << i;
    }
}

TEST_F(StartupActionsTest, DisablingOneViewLeavesTheOtherViewsTwin)
{
    Put(HKEY_LOCAL_MACHINE, kRunKey, "BmTwin", "C:\\bm\\machine.exe");
    Put(HKEY_LOCAL_MACHINE, kRunKey32, "BmTwin", "C:\\bm\\wow.exe");
    ASSERT_EQ(1, DisableRunProgram("BmTwin", "C:\\bm\\machine.exe", "", 1));
    EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, kRunKey, "BmTwin", KEY_WOW64_64KEY));
    EXPECT_EQ("C:\\bm\\wow.exe", RegText(HKEY_LOCAL_MACHINE, kRunKey32, "BmTwin", KEY_WOW64_64KEY));
    DisableRunProgram("BmTwin", "C:\\bm\\machine.exe", "", 1);

    // The removal goes by view too.
    EXPECT_EQ(1, DeleteRunProgram(21, "BmTwin", "C:\\bm\\wow.exe", ""));
    EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, kRunKey32, "BmTwin", KEY_WOW64_64KEY));
    EXPECT_EQ("C:\\bm\\machine.exe", RegText(HKEY_LOCAL_MACHINE, kRunKey, "BmTwin", KEY_WOW64_64KEY));
}

TEST_F(StartupActionsTest, DisableTwiceRestoresWinIniItems)
{
    std::string real = TempFolder() + "\\bmload.exe";
    WriteWholeFile(real, "MZ");
    struct Row {
        int code;
        const char *key, *store, *other;
    } rows[] = {
        {100, "load", "WinLoad", "C:\\bm\\first.exe"},
        {101, "run", "WinRun", ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string line = rows[i].other[0] ? std::string(rows[i].other) + ";" + real : real;
        WriteProfileStringA("windows", rows[i].key, line.c_str());
        std::vector<std::string> before = WinIniItems(rows[i].key);

        EXPECT_EQ(1, DisableRunProgram("BmIni", real.c_str(), "", rows[i].code)) << "row " << i;
        for (const std::string &item : WinIniItems(rows[i].key))
            EXPECT_NE(real, item) << "row " << i;
        EXPECT_EQ(real, RegText(HKEY_LOCAL_MACHINE, Store(rows[i].store).c_str(), "BmIni")) << "row " << i;
        EXPECT_EQ(std::to_string(rows[i].code), RegText(HKEY_LOCAL_MACHINE, kMarker, "BmIni")) << "row " << i;

        EXPECT_EQ(1, DisableRunProgram("BmIni", real.c_str(), "", rows[i].code)) << "row " << i;
        EXPECT_EQ(before, WinIniItems(rows[i].key)) << "row " << i;
        EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, Store(rows[i].store).c_str(), "BmIni")) << "row " << i;
        EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, kMarker, "BmIni")) << "row " << i;
    }
}

TEST_F(StartupActionsTest, DisableTwiceMovesAStartupFileOutAndBack)
{
    std::string folder = UseStartupFolder();
    std::string parked = DataFolder() + "\\Disabled";
    struct Row {
        const char *file;
        bool sourceGiven;       // a shortcut or program has its own source path
    } rows[] = {{"Bm Park.lnk", true}, {"bmpark.bat", false}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        std::string file = folder + "\\" + rows[i].file;
        std::string content = "content of row " + std::to_string(i);
        WriteWholeFile(file, content);
        const char *path = rows[i].sourceGiven ? file.c_str() : "";

        EXPECT_EQ(1, DisableRunProgram("BmPark", file.c_str(), path, 200)) << "row " << i;
        EXPECT_FALSE(PathExists(file)) << "row " << i;
        EXPECT_EQ(content, ReadWholeFile(parked + "\\" + rows[i].file)) << "row " << i;
        EXPECT_EQ("200", RegText(HKEY_LOCAL_MACHINE, kMarker, "BmPark")) << "row " << i;

        // Restored from wherever the scan saw it: the parked copy.
        std::string parkedFile = parked + "\\" + rows[i].file;
        EXPECT_EQ(1, DisableRunProgram("BmPark", parkedFile.c_str(), rows[i].sourceGiven ? parkedFile.c_str() : "",
                                       200))
            << "row " << i;
        EXPECT_EQ(content, ReadWholeFile(file)) << "row " << i;
        EXPECT_FALSE(PathExists(parkedFile)) << "row " << i;
        EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, kMarker, "BmPark")) << "row " << i;
    }
}

TEST_F(StartupActionsTest, FilesOutsideTheStartupFoldersAreNeverMovedOrDeleted)
{
    std::string folder = UseStartupFolder();
    std::string elsewhere = TempFolder() + "\\elsewhere";
    CreateDirectoryA(elsewhere.c_str(), NULL);
    std::string program = elsewhere + "\\program.exe";
    WriteWholeFile(program, "MZ");

    DisableRunProgram("BmOutside", program.c_str(), program.c_str(), 200);
    EXPECT_TRUE(PathExists(program));
    EXPECT_FALSE(PathExists(DataFolder() + "\\Disabled\\program.exe"));
    // A shortcut that vanished: its data is the program it started, which stays.
    EXPECT_EQ(1, DeleteRunProgram(200, "BmOutside", program.c_str(), (elsewhere + "\\gone.lnk").c_str()));
    EXPECT_TRUE(PathExists(program));
    // Both folders lie in the temporary folder: one step up from the startup folder.
    std::string tempName = TempFolder().substr(TempFolder().rfind('\\') + 1);
    std::string sneaky = folder + "\\..\\" + tempName + "\\elsewhere\\program.exe";
    ASSERT_TRUE(PathExists(sneaky));
    DeleteRunProgram(200, "BmOutside", sneaky.c_str(), "");
    EXPECT_TRUE(PathExists(program));
}

TEST_F(StartupActionsTest, DisableTwiceSwapsNotifyDllNameWithOldName)
{
    std::string key = std::string(kNotify) + "\\BmNotify";
    createdKeys.push_back(key);
    RegPut(HKEY_LOCAL_MACHINE, key.c_str(), "DLLName", "bmnotify.dll", KEY_WOW64_64KEY);
    RegPut(HKEY_LOCAL_MACHINE, key.c_str(), "Impersonate", "1", KEY_WOW64_64KEY);

    EXPECT_EQ(1, DisableRunProgram("BmNotify", "bmnotify.dll", "", 256));
    EXPECT_EQ("", RegText(HKEY_LOCAL_MACHINE, key.c_str(), "DLLName", KEY_WOW64_64KEY));
    EXPECT_TRUE(RegHasValue(HKEY_LOCAL_MACHINE, key.c_str(), "DLLName", KEY_WOW64_64KEY));
    EXPECT_EQ("bmnotify.dll", RegText(HKEY_LOCAL_MACHINE, key.c_str(), "OldName", KEY_WOW64_64KEY));
    EXPECT_EQ("bmnotify.dll", RegText(HKEY_LOCAL_MACHINE, Store("WinNotify").c_str(), "BmNotify"));
    EXPECT_EQ("256", RegText(HKEY_LOCAL_MACHINE, kMarker, "BmNotify"));
    EXPECT_EQ("256", RegText(HKEY_CURRENT_USER, kBaseline, "bmnotify.dll"));

    EXPECT_EQ(1, DisableRunProgram("BmNotify", "bmnotify.dll", "", 256));
    EXPECT_EQ("bmnotify.dll", RegText(HKEY_LOCAL_MACHINE, key.c_str(), "DLLName", KEY_WOW64_64KEY));
    EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, key.c_str(), "OldName", KEY_WOW64_64KEY));
    EXPECT_EQ("1", RegText(HKEY_LOCAL_MACHINE, key.c_str(), "Impersonate", KEY_WOW64_64KEY));
    EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, Store("WinNotify").c_str(), "BmNotify"));
    EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, kMarker, "BmNotify"));

    // A name that would reach another key, or a subkey that is not there, is never created.
    DisableRunProgram("BmNotify\\..\\Evil", "evil.dll", "", 256);
    DisableRunProgram("BmNoSuchNotify", "none.dll", "", 256);
    EXPECT_FALSE(RegHasKey(HKEY_LOCAL_MACHINE, (std::string(kNotify) + "\\Evil").c_str(), KEY_WOW64_64KEY));
    EXPECT_FALSE(RegHasKey(HKEY_LOCAL_MACHINE, (std::string(kNotify) + "\\BmNoSuchNotify").c_str(), KEY_WOW64_64KEY));
}

TEST_F(StartupActionsTest, DisableIgnoresCodesWithoutAPlaceAndNamelessEntries)
{
    for (int code : {0, 8, 31, 250, 255, 600, 3000}) {
        EXPECT_EQ(0, DisableRunProgram("BmNowhere", "C:\\bm\\nowhere.exe", "", code)) << "code " << code;
        EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, kMarker, "BmNowhere")) << "code " << code;
    }
    Put(HKEY_CURRENT_USER, kRunKey, "", "C:\\bm\\default.exe");
    EXPECT_EQ(0, DisableRunProgram("", "C:\\bm\\default.exe", "", 11));
    EXPECT_EQ("C:\\bm\\default.exe", RegText(HKEY_CURRENT_USER, kRunKey, ""));
}

TEST_F(StartupActionsTest, DeleteRunProgramRemovesEachKindAndLogsIt)
{
    std::string folder = UseStartupFolder();
    std::string shortcut = folder + "\\Bm Remove.lnk";
    std::string leftover = folder + "\\bmleftover.bat";
    std::string iniProgram = "C:\\bm\\ini program.exe";
    struct Row {
        int code;
        const char *name;
        std::string data, path;
        const char *typeName;
    } rows[] = {
        {1, "BmRemove1", "C:\\bm\\remove1.exe", "", "MACHINE_RUN"},
        {11, "BmRemove11", "C:\\bm\\remove11.exe -x", "", "CURRENT_RUN"},
        {21, "BmRemove21", "C:\\bm\\remove21.exe", "", "WOW64_RUN"},
        {27, "BmRemove27", "C:\\bm\\remove27.exe", "", "TYPE_UNKNOWN"},
        {100, "BmRemoveLoad", iniProgram, "", "WIN_LOAD"},
        {101, "BmRemoveRun", iniProgram, "", "WIN_RUN"},
        {200, "BmRemoveLink", "C:\\bm\\target.exe", shortcut, "GROUP_STARTUP"},
        {200, "BmRemoveGone", leftover, folder + "\\vanished.lnk", "GROUP_STARTUP"},
    };
    const char *places[] = {kRunKey, kRunKey, kRunKey32,
                            "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer\\Run"};
    HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_LOCAL_MACHINE};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        const Row &row = rows[i];
        if (i < 4)
            Put(roots[i], places[i], row.name, row.data.c_str());
        else if (row.code == 100)
            WriteProfileStringA("windows", "load", ("C:\\bm\\keep.exe;" + iniProgram).c_str());
        else if (row.code == 101)
            WriteProfileStringA("windows", "run", iniProgram.c_str());
        else if (!row.path.empty() && row.path.find("vanished") == std::string::npos)
            WriteWholeFile(row.path, "shortcut");
        else
            WriteWholeFile(leftover, "@echo off");
        RegPut(HKEY_CURRENT_USER, kBaseline, row.data.c_str(), std::to_string(row.code).c_str());
        RegPut(HKEY_CURRENT_USER, kBaseline, row.name, std::to_string(row.code).c_str());

        int result = DeleteRunProgram(row.code, row.name, row.data.c_str(), row.path.c_str());
        EXPECT_EQ(1, result) << "row " << i;
        if (i < 4)
            EXPECT_FALSE(RegHasValue(roots[i], places[i], row.name, KEY_WOW64_64KEY)) << "row " << i;
        else if (row.code == 100)
            EXPECT_EQ(std::vector<std::string>{"C:\\bm\\keep.exe"}, WinIniItems("load")) << "row " << i;
        else if (row.code == 101)
            EXPECT_TRUE(WinIniItems("run").empty()) << "row " << i;
        else if (row.path.find("vanished") == std::string::npos)
            EXPECT_FALSE(PathExists(row.path)) << "row " << i;
        else
            EXPECT_FALSE(PathExists(leftover)) << "row " << i << ": the data names the file when the shortcut is gone";
        EXPECT_EQ(1, HistoryLinesWith({"*START_Remove", std::string("\t") + row.typeName + "\t", row.name, row.data}))
            << "row " << i;
        EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kBaseline, row.data.c_str())) << "row " << i;
        EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kBaseline, row.name)) << "row " << i;
    }
}

TEST_F(StartupActionsTest, TheDefaultValueGoesOnlyWhileItHoldsTheEntry)
{
    struct Row {
        const char *current, *data;
        bool removed;
    } rows[] = {
        {"\"C:\\bm\\default.exe\" -x", "C:\\bm\\default.exe -x", true},
        {"C:\\bm\\a=b.exe", "C:\\bm\\a:b.exe", true},
        {"C:\\bm\\default.exe", "C:\\bm\\default.exe", true},
        {"C:\\bm\\other.exe", "C:\\bm\\default.exe", false},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        Put(HKEY_CURRENT_USER, kRunKey, "", rows[i].current);
        EXPECT_EQ(rows[i].removed ? 1 : 0, DeleteRunProgram(11, "", rows[i].data, "")) << "row " << i;
        EXPECT_EQ(!rows[i].removed, RegHasValue(HKEY_CURRENT_USER, kRunKey, "")) << "row " << i;
    }
}

TEST_F(StartupActionsTest, DeleteRunProgramOfAMarkedEntryEmptiesStoreAndMarker)
{
    struct Row {
        int code;
        const char *store;
    } rows[] = {{11, "Run"}, {2, "RunOnce"}, {23, "RunOnceEx"}, {100, "WinLoad"}, {101, "WinRun"}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegPut(HKEY_LOCAL_MACHINE, Store(rows[i].store).c_str(), "BmMarked", "C:\\bm\\marked.exe");
        RegPut(HKEY_LOCAL_MACHINE, kMarker, "BmMarked", std::to_string(rows[i].code).c_str());
        DeleteRunProgram(rows[i].code, "BmMarked", "C:\\bm\\marked.exe", "");
        EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, Store(rows[i].store).c_str(), "BmMarked")) << "row " << i;
        EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, kMarker, "BmMarked")) << "row " << i;
    }
    // A marked startup-folder file in the Disabled folder goes with its marker.
    std::string parked = DataFolder() + "\\Disabled";
    CreateDirectoryA(DataFolder().c_str(), NULL);
    CreateDirectoryA(parked.c_str(), NULL);
    WriteWholeFile(parked + "\\bmparked.bat", "@echo off");
    RegPut(HKEY_LOCAL_MACHINE, kMarker, "bmparked", "200");
    DeleteRunProgram(200, "bmparked", (parked + "\\bmparked.bat").c_str(), "");
    EXPECT_FALSE(PathExists(parked + "\\bmparked.bat"));
    EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, kMarker, "bmparked"));
}

TEST_F(StartupActionsTest, RemovingOurOwnEntryWritesNoHistory)
{
    Put(HKEY_CURRENT_USER, kRunKey, "BmOwn", "C:\\Program Files\\Brackmoor\\brackmoor.exe -expressboot");
    EXPECT_EQ(1, DeleteRunProgram(11, "BmOwn", "C:\\Program Files\\brackMOOR\\brackmoor.exe -expressboot", ""));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRunKey, "BmOwn"));
    EXPECT_EQ(0, HistoryLinesWith({"*START_Remove"}));
}

TEST_F(StartupActionsTest, RemovalRefreshesTheMissingStartupBaseline)
{
    Put(HKEY_CURRENT_USER, kRunKey, "BmGoing", "C:\\bm\\going.exe");
    Put(HKEY_CURRENT_USER, kRunKey, "BmStaying", "C:\\bm\\staying.exe");
    InitMissingRunPrograms();
    ASSERT_EQ("BmGoing", RegText(HKEY_CURRENT_USER, kActiveRun, "C:\\BM\\GOING.EXE"));
    ASSERT_EQ(1, AddRunStruct("pass entry", "C:\\bm\\pass.exe", "", "", 11, 0));

    DeleteRunProgram(11, "BmGoing", "C:\\bm\\going.exe", "");
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kActiveRun, "C:\\BM\\GOING.EXE"));
    EXPECT_EQ("BmStaying", RegText(HKEY_CURRENT_USER, kActiveRun, "C:\\BM\\STAYING.EXE"));
    // The alert pass that called the removal goes on with its own list.
    ASSERT_EQ(1, RunList.count);
    char name[RUN_NAME_MAX];
    GetRunName(0, name);
    EXPECT_STREQ("pass entry", name);
}

TEST_F(StartupActionsTest, WinlogonEntriesAreResetToWindowsDefaults)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    RegPut(HKEY_LOCAL_MACHINE, kWinlogon, "Userinit", (std::string(system) + "\\userinit.exe,C:\\bm\\evil.exe").c_str(),
           KEY_WOW64_64KEY);
    RegPut(HKEY_LOCAL_MACHINE, kWinlogon, "Shell", "explorer.exe C:\\bm\\shell.exe", KEY_WOW64_64KEY);

    EXPECT_EQ(1, DeleteRunProgram(250, "Winlogon Userinit", "C:\\bm\\evil.exe", ""));
    EXPECT_EQ(std::string(system) + "\\Userinit.exe,", RegText(HKEY_LOCAL_MACHINE, kWinlogon, "Userinit", KEY_WOW64_64KEY));
    EXPECT_EQ("250", RegText(HKEY_CURRENT_USER, kBaseline, (std::string(system) + "\\userinit.exe").c_str()));
    EXPECT_EQ(1, HistoryLinesWith({"RESET_USERINIT", "WINLOGON_Userinit", "C:\\bm\\evil.exe"}));

    EXPECT_EQ(1, DeleteRunProgram(251, "Winlogon Shell", "C:\\bm\\shell.exe", ""));
    EXPECT_EQ("Explorer.exe", RegText(HKEY_LOCAL_MACHINE, kWinlogon, "Shell", KEY_WOW64_64KEY));
    EXPECT_EQ("251", RegText(HKEY_CURRENT_USER, kBaseline, "Explorer.exe"));
    EXPECT_EQ(1, HistoryLinesWith({"RESET_SHELL", "WINLOGON_Shell"}));
    EXPECT_EQ(0, HistoryLinesWith({"*START_Remove"}));

    // The next full scan finds both defaults known.
    StartupScan(0);
    int seen = 0;
    for (int i = 0; i < RunList.count; i++) {
        int code = GetRunCode(i);
        if (code == 250 || code == 251) {
            seen++;
            EXPECT_EQ(code, LookupStartupBaseline(i)) << "entry " << i;
        }
    }
    EXPECT_EQ(2, seen);
}

TEST_F(StartupActionsTest, HooksAreRemovedWithoutQuestionWhileAlertsAreHidden)
{
    RegisterClass(kHookClsids[0], "C:\\bm\\delay.dll");
    RegisterClass(kHookClsids[1], "C:\\bm\\task.dll");
    RegisterClass(kHookClsids[2], "C:\\bm\\hook.dll", "Bm Hook Class");
    RegisterClass(kHookClsids[3], "C:\\bm\\neighbour.dll");
    struct Row {
        int code;
        const char *key, *valueName, *valueData, *entryName, *file, *action;
    } rows[] = {
        {252, kDelayLoad, "BmDelay", kHookClsids[0], "BmDelay", "C:\\bm\\delay.dll", "REMOVE_DELAYLOAD"},
        {253, kTaskScheduler, kHookClsids[1], "Bm Task Hook", "Bm Task Hook", "C:\\bm\\task.dll", "REMOVE_TaskScheduler"},
        {254, kExecuteHooks, kHookClsids[2], "", "Bm Hook Class", "C:\\bm\\hook.dll", "REMOVE_SHELLEXECUTEHOOK"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        const Row &row = rows[i];
        Put(HKEY_LOCAL_MACHINE, row.key, row.valueName, row.valueData);
        // A neighbour in the same key stays.
        Put(HKEY_LOCAL_MACHINE, row.key, row.code == 252 ? "BmNeighbour" : kHookClsids[3],
            row.code == 252 ? kHookClsids[3] : "Bm Neighbour");
        RegPut(HKEY_CURRENT_USER, kBaseline, row.file, std::to_string(row.code).c_str());

        // The scan lists the hook under the name the removal is given.
        StartupScan(0);
        bool listed = false;
        for (int k = 0; k < RunList.count; k++) {
            char name[RUN_NAME_MAX], path[MAX_PATH];
            GetRunName(k, name);
            GetRunPath(k, path);
            if (GetRunCode(k) == row.code && lstrcmpiA(path, row.file) == 0) {
                listed = true;
                EXPECT_STREQ(row.entryName, name) << "row " << i;
            }
        }
        EXPECT_TRUE(listed) << "row " << i;

        EXPECT_EQ(1, DeleteRunProgram(row.code, row.entryName, row.file, "")) << "row " << i;
        EXPECT_FALSE(RegHasValue(HKEY_LOCAL_MACHINE, row.key, row.valueName, KEY_WOW64_64KEY)) << "row " << i;
        EXPECT_TRUE(RegHasValue(HKEY_LOCAL_MACHINE, row.key, row.code == 252 ? "BmNeighbour" : kHookClsids[3],
                                KEY_WOW64_64KEY))
            << "row " << i;
        EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kBaseline, row.file)) << "row " << i;
        EXPECT_EQ(1, HistoryLinesWith({row.action, row.entryName, row.file})) << "row " << i;
    }
}

TEST_F(StartupActionsTest, AppInitDllIsTakenOutOfTheList)
{
    struct Row {
        const char *list, *remove, *expected;
    } rows[] = {
        {"C:\\bm\\one.dll,C:\\bm\\two.dll", "C:\\bm\\two.dll", "C:\\bm\\one.dll"},
        {"C:\\bm\\one.dll C:\\bm\\two.dll C:\\bm\\three.dll", "c:\\BM\\TWO.DLL", "C:\\bm\\one.dll,C:\\bm\\three.dll"},
        {"C:\\bm\\two.dll", "C:\\bm\\two.dll", ""},
        {"C:\\bm\\one.dll", "C:\\bm\\other.dll", "C:\\bm\\one.dll"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegPut(HKEY_LOCAL_MACHINE, kAppInitKey, "AppInit_Dlls", rows[i].list, KEY_WOW64_64KEY);
        EXPECT_EQ(1, RemoveSpecialStartup("", rows[i].remove, "two", 255)) << "row " << i;
        EXPECT_EQ(rows[i].expected, RegText(HKEY_LOCAL_MACHINE, kAppInitKey, "AppInit_Dlls", KEY_WOW64_64KEY))
            << "row " << i;
    }
    EXPECT_EQ(4, HistoryLinesWith({"*START_Remove", "REG_AppInitDLLs"}));
}

struct BoxWatch {
    bool found = false;
    std::string text;
};

// Answers the first message box of the program's title with No, as a user would.
DWORD WINAPI AnswerNo(LPVOID arg)
{
    BoxWatch *watch = (BoxWatch *)arg;
    for (int i = 0; i < 400; i++) {
        HWND box = FindWindowA("#32770", gszTitle);
        if (box) {
            char text[1024] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
            watch->text = text;
            watch->found = true;
            PostMessageA(box, WM_COMMAND, IDNO, 0);
            return 0;
        }
        Sleep(50);
    }
    return 1;
}

TEST_F(StartupActionsTest, HookRemovalAsksFirstAndNoKeepsEverything)
{
    giHideStartup = 0;
    RegisterClass(kHookClsids[1], "C:\\bm\\task.dll");
    Put(HKEY_LOCAL_MACHINE, kTaskScheduler, kHookClsids[1], "Bm Task Hook");
    RegPut(HKEY_CURRENT_USER, kBaseline, "C:\\bm\\task.dll", "253");

    BoxWatch watch;
    HANDLE thread = CreateThread(NULL, 0, AnswerNo, &watch, 0, NULL);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(1, DeleteRunProgram(253, "Bm Task Hook", "C:\\bm\\task.dll", ""));
    WaitForSingleObject(thread, 30000);
    CloseHandle(thread);

    EXPECT_TRUE(watch.found);
    EXPECT_NE(std::string::npos, watch.text.find("key location")) << watch.text;
    EXPECT_EQ("Bm Task Hook", RegText(HKEY_LOCAL_MACHINE, kTaskScheduler, kHookClsids[1], KEY_WOW64_64KEY));
    EXPECT_EQ("253", RegText(HKEY_CURRENT_USER, kBaseline, "C:\\bm\\task.dll"));
    EXPECT_EQ(0, HistoryLinesWith({"REMOVE_TaskScheduler"}));
}

// A copy of this program under another name, started to do nothing but wait.
class StartupKillTaskTest : public StartupActionsTest {
protected:
    PROCESS_INFORMATION sleeper = {};
    std::string copy;

    void StartSleeper()
    {
        char self[MAX_PATH];
        GetModuleFileNameA(NULL, self, MAX_PATH);
        copy = TempFolder() + "\\bmsleeper.exe";
        ASSERT_TRUE(CopyFileA(self, copy.c_str(), FALSE));
        SetEnvironmentVariableA(kSleeperVariable, "1");
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        std::string line = "\"" + copy + "\" --gtest_filter=NoSuchTest";
        std::vector<char> buffer(line.begin(), line.end());
        buffer.push_back('\0');
        BOOL started = CreateProcessA(copy.c_str(), buffer.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &sleeper);
        SetEnvironmentVariableA(kSleeperVariable, NULL);
        ASSERT_TRUE(started);
        // Until its loader has run, a new process has no module to name it by.
        DWORD start = GetTickCount();
        while (FindProcessOfProgram(copy.c_str()) == 0 && GetTickCount() - start < 15000)
            Sleep(50);
    }

    void TearDown() override
    {
        if (sleeper.hProcess) {
            TerminateProcess(sleeper.hProcess, 0);
            WaitForSingleObject(sleeper.hProcess, 5000);
            CloseHandle(sleeper.hProcess);
            CloseHandle(sleeper.hThread);
        }
        StartupActionsTest::TearDown();
    }
};

TEST_F(StartupKillTaskTest, FindProcessOfProgramByFullPathOrFileName)
{
    StartSleeper();
    std::string upper = copy;
    CharUpperBuffA(&upper[0], (DWORD)upper.size());
    struct Row {
        std::string program;
        bool found;
    } rows[] = {
        {copy, true},
        {upper, true},
        {"\"" + copy + "\" -arg", true},
        {"bmsleeper.exe", true},
        {"BMSLEEPER.EXE", true},
        {"C:\\elsewhere\\bmsleeper.exe", false},
        {"sleeper.exe", false},
        {"", false},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        DWORD pid = FindProcessOfProgram(rows[i].program.c_str());
        if (rows[i].found)
            EXPECT_EQ(sleeper.dwProcessId, pid) << "row " << i << ": " << rows[i].program;
        else
            EXPECT_EQ(0u, pid) << "row " << i << ": " << rows[i].program;
    }
    // The monitor never finds itself.
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    EXPECT_EQ(0u, FindProcessOfProgram(self));
}

TEST_F(StartupKillTaskTest, KillStartupTaskEndsTheProgramAndLogsIt)
{
    StartSleeper();
    ASSERT_EQ(sleeper.dwProcessId, FindProcessOfProgram(copy.c_str()));

    KillStartupTask("Bm Sleeper", ("\"" + copy + "\" -background").c_str());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(sleeper.hProcess, 5000));
    EXPECT_EQ(0u, FindProcessOfProgram(copy.c_str()));
    EXPECT_EQ(1, HistoryLinesWith({"TASK_Kill", "INFO_TASK"}));

    // Nothing runs any more: nothing is ended and nothing is logged.
    KillStartupTask("Bm Sleeper", copy.c_str());
    EXPECT_EQ(1, HistoryLinesWith({"TASK_Kill"}));
}

// A service of this very program, created for the test and deleted after it.
class ServiceControlTest : public BrackmoorTest {
protected:
    SC_HANDLE manager = NULL;
    std::string image;
    const char *name = "BmTestSvc";
    const char *display = "Bm Test Service";
    const char *hostName = "BmTestHostSvc";
    const char *hostDisplay = "Bm Test Hosted Service";

    void SetUp() override
    {
        BrackmoorTest::SetUp();
        manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager);
        RemoveService(name);
        RemoveService(hostName);
        char self[MAX_PATH];
        GetModuleFileNameA(NULL, self, MAX_PATH);
        image = self;
        std::string command = "\"" + image + "\" " + kServiceSwitch;
        SC_HANDLE service = CreateServiceA(manager, name, display, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                           SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, command.c_str(), NULL, NULL,
                                           NULL, NULL, NULL);
        ASSERT_NE(nullptr, service);
        CloseServiceHandle(service);
    }

    void TearDown() override
    {
        RemoveService(name);
        RemoveService(hostName);
        if (manager)
            CloseServiceHandle(manager);
        BrackmoorTest::TearDown();
    }

    void RemoveService(const char *serviceName)
    {
        SC_HANDLE service = OpenServiceA(manager, serviceName, SERVICE_ALL_ACCESS);
        if (!service)
            return;
        SERVICE_STATUS status;
        if (ControlService(service, SERVICE_CONTROL_STOP, &status))
            WaitForState(service, SERVICE_STOPPED);
        DeleteService(service);
        CloseServiceHandle(service);
    }

    DWORD WaitForState(SC_HANDLE service, DWORD state)
    {
        SERVICE_STATUS status = {};
        for (int i = 0; i < 200; i++) {
            if (QueryServiceStatus(service, &status) && status.dwCurrentState == state)
                break;
            Sleep(50);
        }
        return status.dwCurrentState;
    }

    std::string KeyPath(const char *serviceName)
    {
        return std::string(kServices) + "\\" + serviceName;
    }
};

TEST_F(ServiceControlTest, QueryServiceStateGivesStateAndType)
{
    EXPECT_EQ((SERVICE_STOPPED << 16) | SERVICE_WIN32_OWN_PROCESS, QueryServiceState(display));
    EXPECT_EQ((SERVICE_STOPPED << 16) | SERVICE_WIN32_OWN_PROCESS, QueryServiceState("BM TEST SERVICE"));
    for (const char *unknown : {"No Such Bm Service", "", name})
        EXPECT_EQ(0, QueryServiceState(unknown)) << unknown;
}

TEST_F(ServiceControlTest, StopServiceByNameStopsARunningService)
{
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    ASSERT_NE(nullptr, service);
    ASSERT_TRUE(StartServiceA(service, 0, NULL));
    ASSERT_EQ((DWORD)SERVICE_RUNNING, WaitForState(service, SERVICE_RUNNING));
    EXPECT_EQ(SERVICE_RUNNING, QueryServiceState(display) >> 16);

    EXPECT_EQ(1, StopServiceByName(display));
    EXPECT_EQ((DWORD)SERVICE_STOPPED, WaitForState(service, SERVICE_STOPPED));
    EXPECT_EQ(SERVICE_STOPPED, QueryServiceState(display) >> 16);
    // A stopped service refuses the request.
    EXPECT_EQ(0, StopServiceByName(display));
    EXPECT_EQ(0, StopServiceByName("No Such Bm Service"));
    CloseServiceHandle(service);
}

TEST_F(ServiceControlTest, DisableServiceByNameWritesTheStartTypes)
{
    struct Row {
        const char *displayName;
        bool delayedBefore;
        int result;
    } rows[] = {
        {"Bm Test Service", false, 1},
        {"bm test SERVICE", true, 1},
        {"Bm Test", false, 0},
        {"", false, 0},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegPutDword(HKEY_LOCAL_MACHINE, KeyPath(name).c_str(), "Start", SERVICE_DEMAND_START);
        RegRemoveValue(HKEY_LOCAL_MACHINE, KeyPath(name).c_str(), "DelayedAutostart");
        if (rows[i].delayedBefore)
            RegPutDword(HKEY_LOCAL_MACHINE, KeyPath(name).c_str(), "DelayedAutostart", 1);

        EXPECT_EQ(rows[i].result, DisableServiceByName(rows[i].displayName)) << "row " << i;
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPath(name).c_str(), 0, KEY_READ, &key));
        DWORD start = 0, delayed = 7, size = sizeof(DWORD);
        RegQueryValueExA(key, "Start", NULL, NULL, (BYTE *)&start, &size);
        size = sizeof(DWORD);
        LONG delayedRead = RegQueryValueExA(key, "DelayedAutostart", NULL, NULL, (BYTE *)&delayed, &size);
        RegCloseKey(key);
        EXPECT_EQ(rows[i].result ? (DWORD)SERVICE_DISABLED : (DWORD)SERVICE_DEMAND_START, start) << "row " << i;
        if (rows[i].delayedBefore)
            EXPECT_EQ(rows[i].result ? 0u : 1u, delayed) << "row " << i;
        else
            EXPECT_NE(ERROR_SUCCESS, delayedRead) << "row " << i << ": no delayed start is added";
    }
}

TEST_F(ServiceControlTest, FindServiceOfProgramByImageOrHostedDll)
{
    std::string host = "C:\\windows\\system32\\svchost.exe -k bmtest";
    SC_HANDLE hosted = CreateServiceA(manager, hostName, hostDisplay, SERVICE_ALL_ACCESS, SERVICE_WIN32_SHARE_PROCESS,
                                      SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, host.c_str(), NULL, NULL, NULL,
                                      NULL, NULL);
    ASSERT_NE(nullptr, hosted);
    CloseServiceHandle(hosted);
    RegPut(HKEY_LOCAL_MACHINE, (KeyPath(hostName) + "\\Parameters").c_str(), "ServiceDll", "C:\\bm\\hosted-svc.dll");

    struct Row {
        std::string program;
        const char *expected;
    } rows[] = {
        {image, display},
        {"\"" + image + "\" -x", display},
        {"C:\\bm\\hosted-svc.dll", hostDisplay},
        {"c:\\BM\\HOSTED-SVC.DLL", hostDisplay},
        {"C:\\bm\\not-a-service.exe", ""},
        {"", ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        char out[64 + 16];
        memset(out, 0x5A, sizeof(out));
        int found = FindServiceOfProgram(rows[i].program.c_str(), out, 64);
        EXPECT_EQ(rows[i].expected[0] ? 1 : 0, found) << "row " << i;
        EXPECT_STREQ(rows[i].expected, out) << "row " << i;
        EXPECT_EQ(0x5A, (unsigned char)out[64]) << "row " << i;
    }
}

}  // namespace
