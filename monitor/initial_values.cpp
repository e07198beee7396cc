// Start-up initialisation of the monitor's keys and of the system-value copies.
#include <windows.h>
#include <string.h>

#include "common/detection.h"
#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/winver.h"
#include "common/appstate.h"
#include "ui/companion.h"
#include "common/options.h"
#include "monitor/initial_values.h"
#include "monitor/watcher_table.h"
#include "monitor/own_run_entry.h"
#include "startup/delayed_start.h"
#include "startup/startup_scan.h"
#include "watchers/pages.h"

#define POLICIES_SYSTEM_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System"
#define EXPLORER_MENU_KEY "exefile\\shell\\Brackmoor KEEL"
#define EXPLORER_MENU_COMMAND_KEY EXPLORER_MENU_KEY "\\command"

static void NowText(char *out)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatDateLocal(&now, out);
}

static void CreateFirstRunKeys(void)
{
    static const char *const keys[] = {
        DUNMERE_KEY, BRACKMOOR_KEY, BRACKMOOR_KEY "\\Nuts", BRACKMOOR_KEY "\\Cookies", OPTIONS_KEY,
    };
    for (const char *path : keys) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, NULL, REG_OPTION_NON_VOLATILE, RegWriteAccess, NULL, &key,
                            NULL) == ERROR_SUCCESS)
            RegCloseKey(key);
    }
    CreateWatcherBaselineKeys();
}

static DWORD ReadMachineDWORD(const char *path, const char *name, int *present)
{
    HKEY key;
    *present = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, RegReadAccess, &key) != ERROR_SUCCESS)
        return 0;
    long value = QueryOpenKeyDWORDOr(key, name);   // closes the key
    *present = value != -1;
    return (DWORD)value;
}

// present: the copy exists. A copy of -1 (the machine had no value when it was
// taken) is a copy like any other, not a missing one to be taken again.
static DWORD ReadSavedDWORD(const char *name, int *present)
{
    HKEY key;
    *present = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, BRACKMOOR_KEY, 0, RegReadAccess, &key) != ERROR_SUCCESS)
        return 0;
    DWORD value = 0, size = sizeof(value), type = 0;
    *present = RegQueryValueExA(key, name, NULL, &type, (BYTE *)&value, &size) == ERROR_SUCCESS &&
               type == REG_DWORD;
    RegCloseKey(key);
    return *present ? value : 0;
}

static void CopyUacSettings(void)
{
    static const char *const names[] = {"ConsentPromptBehaviorAdmin", "EnableLUA", "PromptOnSecureDesktop"};
    TestLog("UAC Values", "");
    for (const char *name : names) {
        int present;
        ReadSavedDWORD(name, &present);
        if (present)
            continue;
        DWORD value = ReadMachineDWORD(POLICIES_SYSTEM_KEY, name, &present);
        SetRegDWORDValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, name, present ? value : (DWORD)-1);
    }
}

static int ClassesKeyExists(const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, RegReadAccess, &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

// The "Brackmoor KEEL" entry of the context menu of programs in Explorer. Its label
// is string 1183, which is empty, so the entry is recognised by its key, not by text.
static void ApplyExplorerMenu(void)
{
    TestLog("Explorer Integration", "");
    int exists = ClassesKeyExists(EXPLORER_MENU_KEY);
    if (giExplorerMenu == 1 && !exists) {
        char folder[MAX_PATH], command[MAX_PATH + 32], label[LANG_TEXT_MAX];
        GetMyProgramFolder(folder);
        FormatText(command, CAP(command), "\"%s\\brackmoor.exe\" %%1", folder);
        SetRegString(HKEY_CLASSES_ROOT, EXPLORER_MENU_COMMAND_KEY, "", command);
        GetLangString(1183, CAP(label), label);
        SetRegString(HKEY_CLASSES_ROOT, EXPLORER_MENU_KEY, "", label);
        if (!ClassesKeyExists(EXPLORER_MENU_COMMAND_KEY)) {
            char path[MAX_PATH];
            CopyText(path, CAP(path), EXPLORER_MENU_KEY);
            DeleteRegKeyTree(HKEY_CLASSES_ROOT, path);
        }
    } else if (giExplorerMenu != 1 && exists) {
        char path[MAX_PATH];
        CopyText(path, CAP(path), EXPLORER_MENU_KEY);
        DeleteRegKeyTree(HKEY_CLASSES_ROOT, path);
    }
}

// Earlier versions kept the history and the disabled items in the program folder;
// they move to the data folder once.
static void MoveDataToDataFolder(void)
{
    char oldFolder[MAX_PATH], dataFolder[MAX_PATH];
    if (ReadOptionInt("AppData", 0) != 0)
        return;
    if (GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "PATH", oldFolder, CAP(oldFolder)) <= 0)
        return;
    GetMyFolder(dataFolder);
    char from[MAX_PATH], to[MAX_PATH];
    FormatText(from, CAP(from), "%s\\history.txt", oldFolder);
    FormatText(to, CAP(to), "%s\\history.txt", dataFolder);
    if (GetFileAttributesA(from) != INVALID_FILE_ATTRIBUTES && MoveFileA(from, to))
        WriteOptionInt("AppData", 1);
    FormatText(from, CAP(from), "%s\\disabled", oldFolder);
    FormatText(to, CAP(to), "%s\\disabled", dataFolder);
    if (lstrcmpiA(from, to) != 0) {
        MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH);
        // The disabled-items folder exists from here on, moved or new.
        CreateDirectoryA(to, NULL);
    }
}

void GetInitalValues(void)
{
    char text[MAX_PATH];
    RegReadAccess = KEY_READ;
    RegWriteAccess = KEY_ALL_ACCESS;
    gdwVerifyBaseTick = GetTickCount();

    char code[8];
    GetLangString(634, CAP(code), code);
    UILanguage = ChooseUILanguage(code);
    DetectIs64BitWindows();

    if (GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "", text, 32) <= 0) {
        TestLog("FIRSTTIME", "");
        CreateFirstRunKeys();
        LaunchBrackmoorExplorer("-KEEL");
        NowText(text);
        SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "", text);
        TestLog("GetInitalValues LocalTime", text);
    }
    if (GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "PATH", text, CAP(text)) <= 0) {
        GetMyProgramFolder(text);
        SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "PATH", text);
        TestLog("GetInitValues GetMyFolder New", text);
    }
    TestLog("Initialize KEEL files", "");
    InitDetectionRecords();

    TestLog("AutoUpdate", "");
    REGSAM savedRead = RegReadAccess, savedWrite = RegWriteAccess;
    if (Is64BitWindows) {
        RegReadAccess |= KEY_WOW64_64KEY;
        RegWriteAccess |= KEY_WOW64_64KEY;
    }
    CopyAutoUpdateSetting(0);
    if (IsVistaOrLater())
        CopyUacSettings();

    TestLog("Check if New Installs", "");
    char version[32];
    if (GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "NewVersion", version, CAP(version)) <= 0) {
        TestLog("New Install", "");
        SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "NewVersion", BRACKMOOR_VERSION);
        InitWatcherBaselines(WATCH_INIT_NEW_INSTALL);
        SetAlwaysRun(1);
    } else if (!StrContains(version, BRACKMOOR_VERSION)) {
        TestLog("Update Install", "");
        SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "NewVersion", BRACKMOOR_VERSION);
        InitWatcherBaselines(WATCH_INIT_UPDATE);
        SetAlwaysRun(1);
        CopyAutoUpdateSetting(1);
    }
    RegReadAccess = savedRead;
    RegWriteAccess = savedWrite;

    if (ReadOptionInt("Cleanup", 0) != 0) {
        TestLog("Registry Garbage Collection", "");
        CleanupAndInitializeRegistry();
        WriteOptionInt("Cleanup", 0);
    }

    ReadOptions();
    ApplyExplorerMenu();
    MoveDataToDataFolder();
    RunAlways = RemoveOwnRunEntries(0);
    TestLog("Init Delayed Launch", "");
    InitDelayedStart();
    // The baselines a watcher takes once, each under its own first-run marker.
    InitWatcherBaselines(WATCH_INIT_AT_START);
}
