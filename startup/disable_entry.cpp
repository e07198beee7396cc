// Disabling a startup entry: it leaves its location for the Disabled store (a
// store key, or the data folder's "Disabled" folder for startup-folder files),
// and a marker under its name says where it came from. The same call on a marked
// entry puts it back. Every step keeps the entry somewhere: the copy is made
// before the original goes, and a copy is dropped only once the original is back.
#include "startup/startup_actions.h"

#include <string.h>

#include "common/files.h"
#include "common/history.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "startup/locations.h"
#include "startup/places.h"
#include "startup/startup_scan.h"

#define NOTIFY_OLD_NAME "OldName"

int WriteDisabledMarker(const char *name, int code)
{
    char data[16];
    FormatText(data, CAP(data), "%d", code);
    if (SetValueInView(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY, name, data, 0))
        return 1;
    TestLog("MyError:  DisableRunProgram marker not written", name);
    return 0;
}

void ForgetDisabledEntry(const char *storeKey, const char *name)
{
    if (storeKey)
        DeleteValueInView(HKEY_LOCAL_MACHINE, storeKey, name, 0);
    DeleteValueInView(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY, name, 0);
}

// The copy and the marker, written in this order; neither is left alone.
static int StoreAndMark(const StartupLocation *location, const char *name, const char *data)
{
    if (!SetValueInView(HKEY_LOCAL_MACHINE, location->storeKey, name, data, 0)) {
        TestLog("MyError:  DisableRunProgram copy not stored", name);
        return 0;
    }
    if (!WriteDisabledMarker(name, location->code)) {
        DeleteValueInView(HKEY_LOCAL_MACHINE, location->storeKey, name, 0);
        return 0;
    }
    return 1;
}

// The stored copy of the entry, else the caller's text; 0 when neither has one.
static int StoredCommand(const StartupLocation *location, const char *name, const char *data, char *out)
{
    if (ReadValueInView(HKEY_LOCAL_MACHINE, location->storeKey, name, out, REG_TEXT_MAX, 0) > 0)
        return 1;
    return CopyText(out, REG_TEXT_MAX, data) && out[0];
}

static int DisableRunValue(const StartupLocation *location, const char *name, const char *data)
{
    // A value without a command (a number, empty data) has nothing to keep.
    if (!data[0] || !StoreAndMark(location, name, data))
        return 0;
    if (!DeleteValueInView(location->root, location->keyPath, name, MachineView())) {
        TestLog("MyError:  DisableRunProgram value not removed", name);
        ForgetDisabledEntry(location->storeKey, name);
        return 0;
    }
    return 1;
}

static int RestoreRunValue(const StartupLocation *location, const char *name, const char *data)
{
    char command[REG_TEXT_MAX];
    if (!StoredCommand(location, name, data, command) ||
        !SetValueInView(location->root, location->keyPath, name, command, MachineView())) {
        TestLog("MyError:  DisableRunProgram value not written back", name);
        return 0;
    }
    ForgetDisabledEntry(location->storeKey, name);
    KnowStartupCommand(command, location->code);
    return 1;
}

static int DisableWinIniItem(const StartupLocation *location, const char *name, const char *data)
{
    if (!data[0] || !StoreAndMark(location, name, data))
        return 0;
    if (!RemoveFromWinIniList(location->valueName, data)) {
        TestLog("MyError:  DisableRunProgram list item not removed", data);
        ForgetDisabledEntry(location->storeKey, name);
        return 0;
    }
    return 1;
}

static int RestoreWinIniItem(const StartupLocation *location, const char *name, const char *data)
{
    char item[REG_TEXT_MAX];
    if (!StoredCommand(location, name, data, item) || !AddToWinIniList(location->valueName, item)) {
        TestLog("MyError:  DisableRunProgram list item not written back", name);
        return 0;
    }
    ForgetDisabledEntry(location->storeKey, name);
    KnowStartupCommand(item, location->code);
    return 1;
}

// The user's startup folder, where a restored file goes; 0 when Windows names none.
static int FindUserStartupFolder(char *out)
{
    return GetRegString(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, "Startup", out, MAX_PATH) > 0 ||
           GetRegString(HKEY_LOCAL_MACHINE, SHELL_FOLDERS_KEY, "Startup", out, MAX_PATH) > 0 ||
           GetRegString(HKEY_LOCAL_MACHINE, SHELL_FOLDERS_KEY, "Common Startup", out, MAX_PATH) > 0;
}

static int MoveInto(const char *file, const char *folder, const char *fileName, DWORD flags)
{
    char target[MAX_PATH];
    if (!FormatText(target, CAP(target), "%s\\%s", folder, fileName))
        return 0;
    if (!MoveFileExA(file, target, flags)) {
        TraceLastError("MyError:  DisableRunProgram MoveFile");
        return 0;
    }
    return 1;
}

// A startup-folder entry's own file: its shortcut or program (path), or for a
// file of no other kind the file the data names.
static const char *FolderFileOf(const char *data, const char *path, char *fileName)
{
    const char *file = path[0] ? path : data;
    if (FileNameOf(file, fileName) <= 0)
        CopyText(fileName, MAX_PATH, file);
    return file;
}

// replace: a file that came back replaces the older copy kept under its name.
static int MoveFolderFileAside(const char *data, const char *path, DWORD flags)
{
    char fileName[MAX_PATH], disabled[MAX_PATH];
    const char *file = FolderFileOf(data, path, fileName);
    // Only a file of a startup folder is the entry; anything else stays where it is.
    if (!IsInStartupFolder(file) || GetDisabledFolder(disabled, 1) <= 0) {
        TestLog("DisableRunProgram not a startup-folder file", file);
        return 0;
    }
    return MoveInto(file, disabled, fileName, flags);
}

static int DisableFolderFile(const char *name, const char *data, const char *path)
{
    if (!MoveFolderFileAside(data, path, 0))
        return 0;
    if (!WriteDisabledMarker(name, CODE_GROUP_STARTUP)) {
        char fileName[MAX_PATH], disabled[MAX_PATH], aside[MAX_PATH], folder[MAX_PATH];
        const char *file = FolderFileOf(data, path, fileName);
        if (GetDisabledFolder(disabled, 0) > 0 && FormatText(aside, CAP(aside), "%s\\%s", disabled, fileName) &&
            GetFolderOfProgram(file, folder) > 0)
            MoveInto(aside, folder, fileName, 0);
        return 0;
    }
    return 1;
}

static int RestoreFolderFile(const char *name, const char *data, const char *path)
{
    char fileName[MAX_PATH], startup[MAX_PATH], disabled[MAX_PATH], source[MAX_PATH];
    FolderFileOf(data, path, fileName);
    if (!FindUserStartupFolder(startup) || GetDisabledFolder(disabled, 0) <= 0 ||
        !FormatText(source, CAP(source), "%s\\%s", disabled, fileName) ||
        !MoveInto(source, startup, fileName, 0))
        return 0;
    ForgetDisabledEntry(NULL, name);
    char restored[MAX_PATH], program[MAX_PATH];
    if (FormatText(restored, CAP(restored), "%s\\%s", startup, fileName) && StartupFileProgram(restored, program) > 0)
        KnowStartupCommand(program, CODE_GROUP_STARTUP);
    return 1;
}

// The Notify subkey of the entry, opened in the view it was read from; NULL when
// it is not there (it is never created).
static HKEY OpenNotifyKey(const char *name)
{
    char path[MAX_PATH];
    HKEY key = NULL;
    // A name with "\" would reach into some other key.
    if (strchr(name, '\\') || !FormatText(path, CAP(path), "%s\\%s", WINLOGON_NOTIFY_KEY, name))
        return NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | MachineView(),
                      &key) != ERROR_SUCCESS)
        return NULL;
    return key;
}

// type: REG_SZ or REG_EXPAND_SZ as stored, so that the value moves unchanged.
static int ReadNotifyValue(HKEY key, const char *valueName, char *out, DWORD *type)
{
    DWORD size = MAX_PATH - 1;
    out[0] = '\0';
    *type = REG_SZ;
    if (RegQueryValueExA(key, valueName, NULL, type, (BYTE *)out, &size) != ERROR_SUCCESS ||
        (*type != REG_SZ && *type != REG_EXPAND_SZ)) {
        out[0] = '\0';
        *type = REG_SZ;
        return 0;
    }
    out[size < MAX_PATH ? size : MAX_PATH - 1] = '\0';
    return (int)strlen(out);
}

static int WriteNotifyValue(HKEY key, const char *valueName, const char *text, DWORD type)
{
    if (RegSetValueExA(key, valueName, 0, type, (const BYTE *)text, (DWORD)strlen(text) + 1) == ERROR_SUCCESS)
        return 1;
    TestLog("MyError:  DisableRunProgram Notify", valueName);
    return 0;
}

// Windows loads a Notify DLL by "DLLName"; the name waits in "OldName" meanwhile.
static int ParkNotifyDll(HKEY key, const StartupLocation *location)
{
    char dll[MAX_PATH];
    DWORD type = REG_SZ;
    // An empty DLLName has nothing to keep, and must not wipe a kept one.
    if (ReadNotifyValue(key, location->valueName, dll, &type) <= 0)
        return 1;
    return WriteNotifyValue(key, NOTIFY_OLD_NAME, dll, type) &&
           WriteNotifyValue(key, location->valueName, "", type);
}

static int ToggleNotify(const StartupLocation *location, const char *name, const char *data, int restore,
                        int takeOut)
{
    HKEY key = OpenNotifyKey(name);
    char dll[MAX_PATH];
    DWORD type = REG_SZ;
    int done = 0;
    if (!key) {
        TestLog("DisableRunProgram no such Notify entry", name);
    } else if (restore) {
        if (ReadNotifyValue(key, NOTIFY_OLD_NAME, dll, &type) <= 0)
            CopyText(dll, CAP(dll), data);
        done = dll[0] && WriteNotifyValue(key, location->valueName, dll, type);
        if (done) {
            // Removed rather than left empty: the key is as it was before.
            RegDeleteValueA(key, NOTIFY_OLD_NAME);
            ForgetDisabledEntry(location->storeKey, name);
        }
    } else if (takeOut) {
        done = ParkNotifyDll(key, location);
    } else if (StoreAndMark(location, name, data)) {
        done = ParkNotifyDll(key, location);
        if (!done)
            ForgetDisabledEntry(location->storeKey, name);
        else if (data[0])
            SetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, data, "256");
    }
    if (key)
        RegCloseKey(key);
    return done;
}

// The row of an entry the operations can act on; NULL (traced) for one they cannot.
static const StartupLocation *ActionLocation(const char *name, int code)
{
    const StartupLocation *location = FindStartupLocation(code);
    // The store and the marker are keyed by the name; without one there is nothing to key.
    if (!name[0] || !location)
        return NULL;
    if (location->kind == LOCATION_RUN_KEY || location->kind == LOCATION_WIN_INI ||
        location->kind == LOCATION_FOLDER || location->kind == LOCATION_SUBKEYS)
        return location;
    if (location->kind == LOCATION_PLACE && location->storeKey)
        return location;
    // A setting that is no program (a moved startup folder) has nothing to keep aside.
    if (location->kind == LOCATION_PLACE)
        TestLog("DisableRunProgram refused: the place has no Disabled store", name);
    return NULL;
}

static const char *OrEmpty(const char *text)
{
    return text ? text : "";
}

// Two win.ini items, or two startup-folder files, may go by one name (the list's
// name, a product name): the marker stands for the one item that was put aside.
static int IsSameItem(const StartupLocation *location, const char *name, const char *data, const char *path)
{
    char stored[REG_TEXT_MAX], a[MAX_PATH], b[MAX_PATH];
    if (location->kind == LOCATION_WIN_INI) {
        if (!data[0] || ReadValueInView(HKEY_LOCAL_MACHINE, location->storeKey, name, stored, CAP(stored), 0) <= 0)
            return 1;
        RecordedPathOf(stored, a);
        RecordedPathOf(data, b);
        return StrEqualNoCase(a, b) == 0;
    }
    if (location->kind == LOCATION_FOLDER) {
        char fileName[MAX_PATH], disabled[MAX_PATH];
        FolderFileOf(data, path, fileName);
        return GetDisabledFolder(disabled, 0) > 0 && FormatText(a, CAP(a), "%s\\%s", disabled, fileName) &&
               GetFileAttributesA(a) != INVALID_FILE_ATTRIBUTES;
    }
    return 1;
}

int IsDisabledItem(const char *name, const char *data, const char *path, int code)
{
    const StartupLocation *location = FindStartupLocation(code);
    name = name ? name : "";
    return location && IsDisabledEntry(name, code) && IsSameItem(location, name, data ? data : "", path ? path : "");
}

int DisableRunProgram(const char *name, const char *data, const char *path, int code)
{
    name = OrEmpty(name);
    data = OrEmpty(data);
    path = OrEmpty(path);
    TestLog("DISABLE RUN", name);
    const StartupLocation *location = ActionLocation(name, code);
    if (!location)
        return 0;
    int marked = GetDisabledMarkerCode(name);
    // The store has one place per name: the same name disabled from another
    // location (or the other registry view) is a different program, and it is not
    // the one to restore or to overwrite.
    if ((marked != 0 && marked != code) || (marked == code && !IsSameItem(location, name, data, path))) {
        TestLog("MyError:  DisableRunProgram name disabled for another entry", name);
        return 0;
    }
    int restore = marked == code, done = 0;
    switch (location->kind) {
    case LOCATION_RUN_KEY:
        // 26 and 27 have the store keys of their digit like every other Run-family
        // entry; a user who disables one expects it back where it was.
        done = restore ? RestoreRunValue(location, name, data) : DisableRunValue(location, name, data);
        break;
    case LOCATION_WIN_INI:
        done = restore ? RestoreWinIniItem(location, name, data) : DisableWinIniItem(location, name, data);
        break;
    case LOCATION_FOLDER:
        done = restore ? RestoreFolderFile(name, data, path) : DisableFolderFile(name, data, path);
        break;
    case LOCATION_PLACE:
        done = restore ? RestorePlaceEntry(FindAutostartPlace(code), name, data)
                       : DisablePlaceEntry(FindAutostartPlace(code), name, data);
        break;
    default:
        done = ToggleNotify(location, name, data, restore, 0);
        break;
    }
    if (done)
        WriteLog(restore ? LOG_START_RESTORE : LOG_START_DISABLE, code, name, data, path);
    return done;
}

int TakeOutDisabledEntry(const char *name, const char *data, const char *path, int code)
{
    name = OrEmpty(name);
    data = OrEmpty(data);
    path = OrEmpty(path);
    const StartupLocation *location = ActionLocation(name, code);
    if (!location || !IsDisabledEntry(name, code) || !IsSameItem(location, name, data, path))
        return 0;
    TestLog("DISABLED RUN came back", name);
    int done = 0;
    switch (location->kind) {
    case LOCATION_RUN_KEY:
    case LOCATION_WIN_INI:
        // The copy follows what the program wrote last; a value that holds no
        // command leaves the stored one alone.
        if (data[0] && !SetValueInView(HKEY_LOCAL_MACHINE, location->storeKey, name, data, 0))
            TestLog("MyError:  TakeOutDisabledEntry copy not stored", name);
        if (location->kind == LOCATION_RUN_KEY)
            done = DeleteValueInView(location->root, location->keyPath, name, MachineView());
        else
            done = RemoveFromWinIniList(location->valueName, data);
        break;
    case LOCATION_FOLDER:
        done = MoveFolderFileAside(data, path, MOVEFILE_REPLACE_EXISTING);
        break;
    case LOCATION_PLACE:
        done = TakeOutPlaceEntry(FindAutostartPlace(code), name, data);
        break;
    default:
        done = ToggleNotify(location, name, data, 0, 1);
        break;
    }
    if (done)
        WriteLog(LOG_START_DISABLE, code, name, data, path);
    else
        TestLog("MyError:  TakeOutDisabledEntry not taken out", name);
    return done;
}
