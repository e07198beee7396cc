// The registry locations of the startup scan: the three Run families, the
// Disabled store and the shell hooks of the machine.
#include "startup/startup_scan.h"

#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "startup/locations.h"
#include "startup/places.h"
#include "common/runlist.h"
#include "startup/startup_actions.h"

// Name and data buffers of the enumerations: a longer value is passed over whole
// rather than recorded cut.
#define SCAN_VALUE_MAX 512
// Shorter names and commands are leftovers of installers, not programs.
#define RUN_NAME_MIN 2
#define RUN_DATA_MIN 5

// One value of an enumeration, terminated whatever the registry stored.
typedef struct ScanValue {
    char name[SCAN_VALUE_MAX];
    char data[SCAN_VALUE_MAX + 1];
    DWORD type;
} ScanValue;

// 1 when value index of the open key was read whole; 0 to pass it over, -1 at the end.
static int ReadValueAt(HKEY key, DWORD index, ScanValue *value)
{
    DWORD nameLen = SCAN_VALUE_MAX, dataLen = SCAN_VALUE_MAX, type = 0;
    LONG rc = RegEnumValueA(key, index, value->name, &nameLen, NULL, &type, (BYTE *)value->data,
                            &dataLen);
    value->type = type;
    if (rc == ERROR_NO_MORE_ITEMS)
        return -1;
    if (rc != ERROR_SUCCESS)
        return 0;
    value->name[nameLen < SCAN_VALUE_MAX ? nameLen : SCAN_VALUE_MAX - 1] = '\0';
    // Binary data in a string value is text up to its first NUL; a number is no command.
    if (type == REG_DWORD || type == REG_QWORD)
        dataLen = 0;
    value->data[dataLen <= SCAN_VALUE_MAX ? dataLen : SCAN_VALUE_MAX] = '\0';
    return 1;
}

// The number of values of an open key, 0 when it cannot be told.
static DWORD CountValues(HKEY key)
{
    DWORD count = 0;
    if (RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL) !=
        ERROR_SUCCESS)
        return 0;
    return count;
}

// The name and data of the value recorded last, over all Run keys of one scan.
typedef struct LastRecorded {
    char name[SCAN_VALUE_MAX];
    char data[SCAN_VALUE_MAX + 1];
} LastRecorded;

// 1 when the value was a disabled program that came back and has been taken out.
static int ReadRunValue(RunList *list, const ScanValue *value, int code, LastRecorded *last)
{
    if (StrEqualNoCase(value->name, last->name) == 0 && StrEqualNoCase(value->data, last->data) == 0)
        return 0;
    if (IsDisabledEntry(value->name, code)) {
        // A program the user disabled has put itself back: it goes out again, its
        // copy follows what it wrote. A value of another type under the name is no
        // command: it is left alone, and it must not replace the stored one.
        if (value->type == REG_SZ || value->type == REG_EXPAND_SZ)
            return TakeOutDisabledEntry(value->name, value->data, "", code);
        TestLog("ReadRunKeys not a command under a disabled name", value->name);
        return 0;
    }
    if (strlen(value->name) < RUN_NAME_MIN || strlen(value->data) < RUN_DATA_MIN ||
        (unsigned char)value->name[0] >= 0x80)
        return 0;
    int rundll = StrContains(value->data, "RUNDLL32.EXE");
    AddRunStruct(list, value->name, value->data, "", "", code, rundll ? 1 : 0);
    CopyText(last->name, CAP(last->name), value->name);
    CopyText(last->data, CAP(last->data), value->data);
    return 0;
}

static void ReadRunKey(RunList *list, const StartupLocation *location, LastRecorded *last, ScanValue *value)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(location->root, location->keyPath, 0, KEY_READ | MachineView(), &key) !=
        ERROR_SUCCESS)
        return;
    DWORD count = CountValues(key);
    for (DWORD index = 0; index < count; index++) {
        int read = ReadValueAt(key, index, value);
        if (read < 0)
            break;
        if (read == 0 || !ReadRunValue(list, value, location->code, last))
            continue;
        // The value just taken out leaves its index to the next one, which is read
        // there; a value that could not be deleted is passed like any other.
        DWORD left = CountValues(key);
        if (left < count) {
            count = left;
            index--;
        }
    }

    // The key's default value starts its program like any named one.
    DWORD type = 0, size = SCAN_VALUE_MAX;
    if (RegQueryValueExA(key, NULL, NULL, &type, (BYTE *)value->data, &size) == ERROR_SUCCESS &&
        type != REG_DWORD && type != REG_QWORD) {
        value->data[size <= SCAN_VALUE_MAX ? size : SCAN_VALUE_MAX] = '\0';
        if (value->data[0])
            AddRunStruct(list, "(Default)", value->data, "", "", location->code, 0);
    }
    RegCloseKey(key);
}

void ReadRunKeys(RunList *list)
{
    LastRecorded *last = (LastRecorded *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(LastRecorded));
    ScanValue *value = (ScanValue *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ScanValue));
    if (last && value) {
        // The 32-bit view's keys exist only on 64-bit Windows.
        int families = Is64BitWindows ? 3 : 2;
        for (int family = 0; family < families; family++) {
            for (int digit = 1; digit <= RUN_FAMILY_KEYS; digit++) {
                const StartupLocation *location = FindStartupLocation(family * 10 + digit);
                if (location)
                    ReadRunKey(list, location, last, value);
            }
        }
    }
    if (last)
        HeapFree(GetProcessHeap(), 0, last);
    if (value)
        HeapFree(GetProcessHeap(), 0, value);
}

// The entries kept in one store key, each under the code of the place its marker names.
static void ReadStoreKey(RunList *list, const char *storeKey, ScanValue *value)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, storeKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD count = CountValues(key);
    for (DWORD index = 0; index < count; index++) {
        int read = ReadValueAt(key, index, value);
        if (read < 0)
            break;
        if (read == 0 || !value->name[0])
            continue;
        // The marker tells where the entry came from; without one (or with one
        // of a place that keeps its copies elsewhere) it is a leftover.
        int origin = GetDisabledMarkerCode(value->name);
        const StartupLocation *from = FindStartupLocation(origin);
        if (origin >= 1 && from && from->storeKey && strcmp(from->storeKey, storeKey) == 0)
            AddRunStruct(list, value->name, value->data, "", "", origin, STORED_COPY_EXTRA);
    }
    RegCloseKey(key);
}

void ReadDisabledStore(RunList *list)
{
    // RunOnce\Setup's entries are listed under their store key "RunSetup";
    // Notify entries stay disabled in their own key and are not listed.
    static const int Codes[] = {1, 2, 3, 4, 5, 6, 7, CODE_WIN_LOAD, CODE_WIN_RUN};
    ScanValue *value = (ScanValue *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ScanValue));
    if (value) {
        for (int code : Codes) {
            const StartupLocation *location = FindStartupLocation(code);
            if (location && location->storeKey)
                ReadStoreKey(list, location->storeKey, value);
        }
        // The autostart places' stores, each once: several codes share one.
        int count = 0;
        const AutostartPlace *places = AutostartPlaceTable(&count);
        for (int i = 0; i < count; i++) {
            const char *storeKey = places[i].where.storeKey;
            if (storeKey && (i == 0 || !places[i - 1].where.storeKey || strcmp(places[i - 1].where.storeKey, storeKey)))
                ReadStoreKey(list, storeKey, value);
        }
        HeapFree(GetProcessHeap(), 0, value);
    }

    char folder[MAX_PATH];
    if (GetDisabledFolder(folder, 0) > 0)
        ReadStartupFolder(list, folder, STORED_COPY_EXTRA);
}

// The default value of a class's key: its own name.
static int ReadClassName(const char *clsid, char *out, int cap)
{
    char path[MAX_PATH];
    out[0] = '\0';
    if (!FormatText(path, CAP(path), "CLSID\\%s", clsid))
        return 0;
    if (ReadValueInView(HKEY_CLASSES_ROOT, path, "", out, cap, MachineView()) > 0)
        return (int)strlen(out);
    if (Is64BitWindows && FormatText(path, CAP(path), "Wow6432Node\\CLSID\\%s", clsid))
        return ReadValueInView(HKEY_CLASSES_ROOT, path, "", out, cap, MachineView());
    return 0;
}

// A hook is worth an entry when its file is there or at least looks like a file.
static void RecordHook(RunList *list, const char *name, const char *file, int code)
{
    char probe[MAX_PATH];
    if (!file[0] || !CopyText(probe, CAP(probe), file))
        return;
    if (FileExists(probe) || IsPlausibleFileName(file))
        AddRunStruct(list, name, file, "", "", code, 0);
}

// The class-id keys: 252 names the class in the data, 253 and 254 in the value name.
static void ReadClsidHooks(RunList *list, const StartupLocation *location, ScanValue *value)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(location->root, location->keyPath, 0, KEY_READ | MachineView(), &key) !=
        ERROR_SUCCESS)
        return;
    DWORD count = CountValues(key);
    for (DWORD index = 0; index < count; index++) {
        int read = ReadValueAt(key, index, value);
        if (read < 0)
            break;
        if (read == 0)
            continue;
        char file[MAX_PATH], className[RUN_NAME_MAX];
        const char *clsid = location->code == CODE_REG_DELAYLOAD ? value->data : value->name;
        const char *name = location->code == CODE_REG_DELAYLOAD ? value->name : value->data;
        if (!ResolveClsid(clsid, NULL, file))
            CopyTextN(file, CAP(file), clsid, MAX_PATH - 1);
        if (location->code == CODE_REG_SHELLEXECUTEHOOK && !name[0] &&
            ReadClassName(clsid, className, CAP(className)) > 0)
            name = className;
        RecordHook(list, name, file, location->code);
    }
    RegCloseKey(key);
}

static void ReadAppInitDlls(RunList *list, const StartupLocation *location)
{
    char dlls[SCAN_VALUE_MAX];
    if (ReadValueInView(location->root, location->keyPath, location->valueName, dlls, CAP(dlls),
                        MachineView()) <= 0)
        return;
    const char *p = dlls;
    while (*p) {
        size_t len = strcspn(p, ", ");
        char piece[MAX_PATH];
        if (len > 0 && len < MAX_PATH) {
            CopyTextN(piece, CAP(piece), p, len);
            RecordHook(list, "", piece, location->code);
        }
        p += len;
        if (*p)
            p++;
    }
}

static void ReadNotifyDlls(RunList *list, const StartupLocation *location)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(location->root, location->keyPath, 0, KEY_READ | MachineView(), &key) !=
        ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; index++) {
        char subkey[256];
        DWORD len = sizeof(subkey);
        LONG rc = RegEnumKeyExA(key, index, subkey, &len, NULL, NULL, NULL, NULL);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS || !subkey[0])
            continue;
        char path[MAX_PATH], dll[MAX_PATH];
        if (!FormatText(path, CAP(path), "%s\\%s", location->keyPath, subkey))
            continue;
        if (ReadValueInView(location->root, path, location->valueName, dll, MAX_PATH, MachineView()) > 0)
            RecordHook(list, subkey, dll, location->code);
    }
    RegCloseKey(key);
}

void ReadShellHooks(RunList *list)
{
    ScanValue *value = (ScanValue *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ScanValue));
    if (!value)
        return;
    for (int code = CODE_REG_DELAYLOAD; code <= CODE_RUN_WINLOGONNOTIFY; code++) {
        const StartupLocation *location = FindStartupLocation(code);
        if (!location)
            continue;
        if (location->kind == LOCATION_CLSID_KEY)
            ReadClsidHooks(list, location, value);
        else if (location->kind == LOCATION_DLL_LIST)
            ReadAppInitDlls(list, location);
        else if (location->kind == LOCATION_SUBKEYS)
            ReadNotifyDlls(list, location);
    }
    HeapFree(GetProcessHeap(), 0, value);
}
