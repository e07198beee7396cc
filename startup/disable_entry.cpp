// Disabling a startup entry: it leaves its location for the Disabled store (a
// store key, or the data folder's "Disabled" folder for startup-folder files),
// and a marker under its name says where it came from. The same call on a marked
// entry puts it back.
#include "startup/startup_actions.h"

#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "startup/locations.h"

// The disable operation reads markers this long; the scan and the removal less.
#define MARKER_DISABLE_MAX 256
#define NOTIFY_OLD_NAME "OldName"

static void WriteMarker(const char *name, int code)
{
    char data[16];
    FormatText(data, CAP(data), "%d", code);
    SetValueInView(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY, name, data, 0);
}

static void ForgetDisabled(const char *storeKey, const char *name)
{
    if (storeKey)
        DeleteValueInView(HKEY_LOCAL_MACHINE, storeKey, name, 0);
    DeleteValueInView(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY, name, 0);
}

static int ToggleRunFamily(const StartupLocation *location, const char *name, const char *data,
                           int marked)
{
    if (marked) {
        ForgetDisabled(location->storeKey, name);
        return SetValueInView(location->root, location->keyPath, name, data, MachineView());
    }
    DeleteValueInView(location->root, location->keyPath, name, MachineView());
    SetValueInView(HKEY_LOCAL_MACHINE, location->storeKey, name, data, 0);
    WriteMarker(name, location->code);
    return 1;
}

static int ToggleWinIni(const StartupLocation *location, const char *name, const char *data,
                        int marked)
{
    if (marked) {
        AddToWinIniList(location->valueName, data);
        ForgetDisabled(location->storeKey, name);
        return 1;
    }
    RemoveFromWinIniList(location->valueName, data);
    SetValueInView(HKEY_LOCAL_MACHINE, location->storeKey, name, data, 0);
    WriteMarker(name, location->code);
    return 1;
}

// The user's startup folder, where a restored file goes; 0 when Windows names none.
static int FindUserStartupFolder(char *out)
{
    return GetRegString(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, "Startup", out, MAX_PATH) > 0 ||
           GetRegString(HKEY_LOCAL_MACHINE, SHELL_FOLDERS_KEY, "Startup", out, MAX_PATH) > 0 ||
           GetRegString(HKEY_LOCAL_MACHINE, SHELL_FOLDERS_KEY, "Common Startup", out, MAX_PATH) > 0;
}

static int MoveInto(const char *file, const char *folder, const char *fileName)
{
    char target[MAX_PATH];
    if (!FormatText(target, CAP(target), "%s\\%s", folder, fileName))
        return 0;
    if (!MoveFileA(file, target)) {
        TraceLastError("MyError:  DisableRunProgram MoveFile");
        return 0;
    }
    return 1;
}

static int ToggleFolderFile(const char *name, const char *data, const char *path, int marked)
{
    // A file of no other kind is recorded without its own source path: the data names it.
    const char *file = path[0] ? path : data;
    char fileName[MAX_PATH], disabled[MAX_PATH];
    if (FileNameOf(file, fileName) <= 0)
        CopyText(fileName, CAP(fileName), file);

    if (marked) {
        char startup[MAX_PATH], source[MAX_PATH];
        if (!FindUserStartupFolder(startup))
            return 1;
        if (fileName[0] && GetDisabledFolder(disabled, 0) > 0 &&
            FormatText(source, CAP(source), "%s\\%s", disabled, fileName))
            MoveInto(source, startup, fileName);
        ForgetDisabled(NULL, name);
        return 1;
    }
    // Only a file of a startup folder is the entry; anything else stays where it is.
    if (IsInStartupFolder(file) && GetDisabledFolder(disabled, 1) > 0)
        MoveInto(file, disabled, fileName);
    else
        TestLog("DisableRunProgram not a startup-folder file", file);
    WriteMarker(name, CODE_GROUP_STARTUP);
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

static void WriteNotifyValue(HKEY key, const char *valueName, const char *text, DWORD type)
{
    if (RegSetValueExA(key, valueName, 0, type, (const BYTE *)text, (DWORD)strlen(text) + 1) !=
        ERROR_SUCCESS)
        TestLog("MyError:  DisableRunProgram Notify", valueName);
}

// Windows loads a Notify DLL by "DLLName"; the name waits in "OldName" meanwhile.
static int ToggleNotify(const StartupLocation *location, const char *name, const char *data,
                        int marked)
{
    HKEY key = OpenNotifyKey(name);
    char dll[MAX_PATH];
    DWORD type = REG_SZ;
    if (marked) {
        if (key) {
            if (ReadNotifyValue(key, NOTIFY_OLD_NAME, dll, &type) <= 0)
                CopyText(dll, CAP(dll), data);
            if (dll[0])
                WriteNotifyValue(key, location->valueName, dll, type);
            // Removed rather than left empty: the key is as it was before.
            RegDeleteValueA(key, NOTIFY_OLD_NAME);
        }
        ForgetDisabled(location->storeKey, name);
    } else {
        SetValueInView(HKEY_LOCAL_MACHINE, location->storeKey, name, data, 0);
        WriteMarker(name, location->code);
        if (data[0])
            SetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, data, "256");
        // An empty DLLName has nothing to keep, and must not wipe a kept one.
        if (key && ReadNotifyValue(key, location->valueName, dll, &type) > 0) {
            WriteNotifyValue(key, NOTIFY_OLD_NAME, dll, type);
            WriteNotifyValue(key, location->valueName, "", type);
        }
    }
    if (key)
        RegCloseKey(key);
    return 1;
}

int DisableRunProgram(const char *name, const char *data, const char *path, int code)
{
    if (!name)
        name = "";
    if (!data)
        data = "";
    if (!path)
        path = "";
    TestLog("DISABLE RUN", name);
    // The store and the marker are keyed by the name; without one there is nothing to key.
    if (!name[0])
        return 0;
    const StartupLocation *location = FindStartupLocation(code);
    if (!location)
        return 0;
    int marked = IsDisabledMarked(name, MARKER_DISABLE_MAX);
    switch (location->kind) {
    case LOCATION_RUN_KEY:
        // 26 and 27 have the store keys of their digit like every other Run-family
        // entry; a user who disables one expects it back where it was.
        return ToggleRunFamily(location, name, data, marked);
    case LOCATION_WIN_INI:
        return ToggleWinIni(location, name, data, marked);
    case LOCATION_FOLDER:
        return ToggleFolderFile(name, data, path, marked);
    case LOCATION_SUBKEYS:
        return ToggleNotify(location, name, data, marked);
    default:
        return 0;
    }
}
