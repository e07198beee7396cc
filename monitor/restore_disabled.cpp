#include "monitor/restore_disabled.h"

#include <windows.h>
#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/runlist.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "startup/locations.h"
#include "startup/startup_actions.h"
#include "startup/startup_scan.h"

// Markers are read whole up to the length the disable operation reads them.
#define HELD_NAME_MAX 257
#define HELD_CODE_MAX 16

typedef struct HeldEntry {
    char name[HELD_NAME_MAX];
    int code;
} HeldEntry;

typedef struct HeldList {
    HeldEntry *items;
    DWORD count;
} HeldList;

// A marker names an entry the monitor can put back when its code is a location
// with a store: a store key, or the Disabled folder for startup-folder files.
static int IsRestorableCode(int code)
{
    const StartupLocation *location = FindStartupLocation(code);
    return location && (location->storeKey || location->kind == LOCATION_FOLDER);
}

// Every marker, read before anything is put back: a restore deletes its marker,
// which would shift the enumeration under a walk that restored as it went.
static int ReadHeldEntries(HeldList *held)
{
    HKEY key = NULL;
    DWORD values = 0;
    held->items = NULL;
    held->count = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    if (RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, &values, NULL, NULL, NULL, NULL) ==
            ERROR_SUCCESS && values > 0)
        held->items = (HeldEntry *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, values * sizeof(HeldEntry));
    for (DWORD index = 0; held->items && held->count < values; index++) {
        HeldEntry *entry = &held->items[held->count];
        char code[HELD_CODE_MAX + 1];
        DWORD nameLen = HELD_NAME_MAX, codeLen = HELD_CODE_MAX, type = 0;
        LONG rc = RegEnumValueA(key, index, entry->name, &nameLen, NULL, &type, (BYTE *)code, &codeLen);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        // A name or code too long for a marker is none of the monitor's.
        if (rc != ERROR_SUCCESS || type != REG_SZ || !nameLen)
            continue;
        entry->name[nameLen < HELD_NAME_MAX ? nameLen : HELD_NAME_MAX - 1] = '\0';
        code[codeLen <= HELD_CODE_MAX ? codeLen : HELD_CODE_MAX] = '\0';
        entry->code = TextToInt(code);
        if (IsRestorableCode(entry->code))
            held->count++;
    }
    RegCloseKey(key);
    return (int)held->count;
}

static void FreeHeldEntries(HeldList *held)
{
    if (held->items)
        HeapFree(GetProcessHeap(), 0, held->items);
    held->items = NULL;
    held->count = 0;
}

// A startup-folder file waits in the Disabled folder under its own file name; the
// marker knows it by the name the folder scan gives it.
static int PutBackFolderFile(const HeldEntry *entry, const RunList *files)
{
    char name[RUN_NAME_MAX], target[MAX_PATH], file[MAX_PATH];
    for (int i = 0; i < files->count; i++) {
        if (GetRunName(files, i, name) <= 0 || StrEqualNoCase(name, entry->name) != 0)
            continue;
        GetRunPath(files, i, target);
        GetRunSourcePath(files, i, file);
        return DisableRunProgram(entry->name, target, file, entry->code);
    }
    TestLog("MyError:  RestoreAllDisabledStartup no file in the Disabled folder", entry->name);
    return 0;
}

static int PutBack(const HeldEntry *entry, const RunList *files)
{
    const StartupLocation *location = FindStartupLocation(entry->code);
    if (location->kind == LOCATION_FOLDER)
        return PutBackFolderFile(entry, files);
    // The stored copy is the command exactly as it stood in its location.
    char data[REG_TEXT_MAX] = "";
    ReadValueInView(HKEY_LOCAL_MACHINE, location->storeKey, entry->name, data, CAP(data), 0);
    // A Notify entry's DLL waits in its own key; every other kind needs its copy.
    if (!data[0] && location->kind != LOCATION_SUBKEYS) {
        TestLog("MyError:  RestoreAllDisabledStartup no stored copy", entry->name);
        return 0;
    }
    return DisableRunProgram(entry->name, data, "", entry->code);
}

int CountDisabledStartup(void)
{
    HeldList held;
    int count = ReadHeldEntries(&held);
    FreeHeldEntries(&held);
    return count;
}

int RestoreAllDisabledStartup(void)
{
    HeldList held;
    RunList *files = NewRunList();
    char folder[MAX_PATH];
    if (files && ReadHeldEntries(&held) > 0) {
        if (GetDisabledFolder(folder, 0) > 0)
            ReadStartupFolder(files, folder, 0);
        for (DWORD i = 0; i < held.count; i++) {
            TestLog("RestoreAllDisabledStartup", held.items[i].name);
            PutBack(&held.items[i], files);
        }
        FreeHeldEntries(&held);
    }
    DeleteRunList(files);
    return CountDisabledStartup();
}

int DisabledStartupJob(int restore)
{
    RegReadAccess = KEY_READ;
    RegWriteAccess = KEY_ALL_ACCESS;
    DetectIs64BitWindows();
    char folder[MAX_PATH];
    if (GetMyFolder(folder) > 0 && FormatText(TestLogPath, CAP(TestLogPath), "%s\\send2vorn.txt", folder))
        LoadTestLogCounter();
    int count = restore ? RestoreAllDisabledStartup() : CountDisabledStartup();
    char text[16];
    FormatText(text, CAP(text), "%d", count);
    TestLog(restore ? "RestoreAllDisabledStartup held" : "CountDisabledStartup", text);
    return count;
}
