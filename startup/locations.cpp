// The startup locations and the small lookups every startup routine shares: the
// baseline's value names, the baseline lookup, the Disabled markers and the
// view-pinned registry operations.
#include "startup/locations.h"

#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/runlist.h"
#include "startup/places.h"
#include "startup/startup_scan.h"

#define RUN_BASE "Software\\Microsoft\\Windows\\CurrentVersion\\"
#define RUN_BASE_32 "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"
#define STORE_BASE "Software\\Dunmere Works\\Brackmoor\\Disabled\\"
// A baseline value longer than this is no code the monitor wrote.
#define BASELINE_CODE_MAX 32
#define MARKER_CODE_MAX 16
#define MARKER_READ_MAX 256

// The last digit of a Run-family code names the key in all three families, and
// all three share the store key of that digit.
#define RUN_ROWS(firstCode, root, paths)                                                  \
    {firstCode + 0, LOCATION_RUN_KEY, root, paths "Run", NULL, STORE_BASE "Run"},              \
    {firstCode + 1, LOCATION_RUN_KEY, root, paths "RunOnce", NULL, STORE_BASE "RunOnce"},      \
    {firstCode + 2, LOCATION_RUN_KEY, root, paths "RunOnceEx", NULL, STORE_BASE "RunOnceEx"},  \
    {firstCode + 3, LOCATION_RUN_KEY, root, paths "RunServices", NULL, STORE_BASE "RunServices"}, \
    {firstCode + 4, LOCATION_RUN_KEY, root, paths "RunServicesOnce", NULL,                       \
     STORE_BASE "RunServicesOnce"},                                                             \
    {firstCode + 5, LOCATION_RUN_KEY, root, paths "RunOnce\\Setup", NULL, STORE_BASE "RunSetup"}, \
    {firstCode + 6, LOCATION_RUN_KEY, root, paths "policies\\Explorer\\Run", NULL, STORE_BASE "Policy"}

static const StartupLocation Locations[] = {
    RUN_ROWS(CODE_MACHINE_RUN, HKEY_LOCAL_MACHINE, RUN_BASE),
    RUN_ROWS(CODE_CURRENT_RUN, HKEY_CURRENT_USER, RUN_BASE),
    RUN_ROWS(CODE_WOW64_RUN, HKEY_LOCAL_MACHINE, RUN_BASE_32),
    {CODE_WIN_LOAD, LOCATION_WIN_INI, NULL, "windows", "load", STORE_BASE "WinLoad"},
    {CODE_WIN_RUN, LOCATION_WIN_INI, NULL, "windows", "run", STORE_BASE "WinRun"},
    // The folder's own store is the data folder's "Disabled" subfolder.
    {CODE_GROUP_STARTUP, LOCATION_FOLDER, HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, "Startup", NULL},
    {CODE_WINLOGON_USERINIT, LOCATION_VALUE, HKEY_LOCAL_MACHINE, WINLOGON_KEY, "Userinit", NULL},
    {CODE_WINLOGON_SHELL, LOCATION_VALUE, HKEY_LOCAL_MACHINE, WINLOGON_KEY, "Shell", NULL},
    {CODE_REG_DELAYLOAD, LOCATION_CLSID_KEY, HKEY_LOCAL_MACHINE, DELAYLOAD_KEY, NULL, NULL},
    {CODE_REG_TASKSCHEDULER, LOCATION_CLSID_KEY, HKEY_LOCAL_MACHINE, TASKSCHEDULER_KEY, NULL, NULL},
    {CODE_REG_SHELLEXECUTEHOOK, LOCATION_CLSID_KEY, HKEY_LOCAL_MACHINE, SHELLEXECUTEHOOKS_KEY, NULL,
     NULL},
    {CODE_REG_APPINITDLLS, LOCATION_DLL_LIST, HKEY_LOCAL_MACHINE, APPINIT_KEY, "AppInit_Dlls", NULL},
    {CODE_RUN_WINLOGONNOTIFY, LOCATION_SUBKEYS, HKEY_LOCAL_MACHINE, WINLOGON_NOTIFY_KEY, "DLLName",
     STORE_BASE "WinNotify"},
};

const StartupLocation *StartupLocationTable(int *count)
{
    if (count)
        *count = (int)(sizeof(Locations) / sizeof(Locations[0]));
    return Locations;
}

const StartupLocation *FindStartupLocation(int code)
{
    for (const StartupLocation &row : Locations)
        if (row.code == code)
            return &row;
    const AutostartPlace *place = FindAutostartPlace(code);
    return place ? &place->where : NULL;
}

int RunFamilyDigit(int code)
{
    if ((code >= 1 && code <= 7) || (code >= 11 && code <= 17) || (code >= 21 && code <= 27))
        return code % 10;
    return 0;
}

REGSAM MachineView(void)
{
    // Older Windows refuse access masks with flags they do not know.
    return Is64BitWindows ? KEY_WOW64_64KEY : 0;
}

int DeleteValueInView(HKEY root, const char *path, const char *name, REGSAM view)
{
    // An empty name would be the key's default value, which is never an entry we remove.
    if (!path || !name || !name[0])
        return 0;
    HKEY key = NULL;
    LONG rc = RegOpenKeyExA(root, path, 0, KEY_SET_VALUE | view, &key);
    if (rc == ERROR_SUCCESS) {
        rc = RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
    // A value that is not there is common (clean-ups); anything else is the system's refusal.
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
        char text[512];
        FormatSystemError((DWORD)rc, text, CAP(text));
        TestLog("MyError:  DeleteValueInView RegDeleteValue", text);
    }
    return rc == ERROR_SUCCESS;
}

int SetValueInView(HKEY root, const char *path, const char *name, const char *text, REGSAM view)
{
    RegAccessModes saved = UseRegistryView(view);
    int ok = SetRegString(root, path, name, text);
    PutRegistryAccessBack(saved);
    return ok;
}

int ReadValueInView(HKEY root, const char *path, const char *name, char *out, int cap, REGSAM view)
{
    RegAccessModes saved = UseRegistryView(view);
    int len = GetRegString(root, path, name, out, cap);
    PutRegistryAccessBack(saved);
    return len;
}

int BaselineValueName(const char *path, char *out)
{
    if (!out)
        return 0;
    CopyTextN(out, MAX_PATH, path ? path : "", MAX_PATH - 1);
    for (char *p = out; *p; p++)
        if (*p == '=')
            *p = ':';
    return (int)strlen(out);
}

void KnowStartupCommand(const char *command, int code)
{
    char recorded[MAX_PATH], key[MAX_PATH], text[16];
    if (RecordedPathOf(command, recorded) <= 0 || BaselineValueName(recorded, key) <= 0)
        return;
    FormatText(text, CAP(text), "%d", code);
    SetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, text);
}

static int ReadBaselineCode(const char *valueName)
{
    char data[BASELINE_CODE_MAX + 1];
    // The key's default value is no entry's baseline.
    if (!valueName[0])
        return 0;
    if (GetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, valueName, data, CAP(data)) <= 0)
        return 0;
    return TextToInt(data);
}

int LookupStartupBaseline(const RunList *list, int i)
{
    char path[MAX_PATH], key[MAX_PATH], name[RUN_NAME_MAX];
    if (GetRunPath(list, i, path) > 0) {
        BaselineValueName(path, key);
        int code = ReadBaselineCode(key);
        if (code != 0)
            return code;
    }
    // Entries accepted before the baseline was keyed by path carry their name.
    if (GetRunName(list, i, name) <= 0)
        return 0;
    return ReadBaselineCode(name);
}

// The store and the marker live in the plain view: a 32-bit monitor and the
// companion see them where they wrote them.
static int ReadMarker(const char *name, char *out, int cap)
{
    if (!name || !name[0])
        return 0;
    return ReadValueInView(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY, name, out, cap, 0);
}

int GetDisabledMarkerCode(const char *name)
{
    char data[MARKER_READ_MAX + 1];
    // A longer value is no code the monitor wrote.
    if (ReadMarker(name, data, CAP(data)) <= 0 || strlen(data) > MARKER_CODE_MAX)
        return 0;
    return TextToInt(data);
}

int IsDisabledEntry(const char *name, int code)
{
    return code != 0 && GetDisabledMarkerCode(name) == code;
}

int GetDisabledFolder(char *out, int create)
{
    if (!out)
        return 0;
    out[0] = '\0';
    char folder[MAX_PATH];
    if (GetMyFolder(folder) <= 0 || !AppendText(folder, CAP(folder), DISABLED_FOLDER_NAME))
        return 0;
    if (create)
        CreateDirectoryA(folder, NULL);
    CopyText(out, MAX_PATH, folder);
    return (int)strlen(out);
}

int IsSameFolder(const char *folder, const char *other)
{
    char a[MAX_PATH], b[MAX_PATH];
    CopyText(a, CAP(a), folder);
    CopyText(b, CAP(b), other);
    size_t la = strlen(a), lb = strlen(b);
    while (la > 0 && a[la - 1] == '\\')
        a[--la] = '\0';
    while (lb > 0 && b[lb - 1] == '\\')
        b[--lb] = '\0';
    return la > 0 && lb > 0 && StrEqualNoCase(a, b) == 0;
}

// The folder a file lies in; 0 for a path that names none or climbs out of it.
static int FolderOfFile(const char *file, char *folder)
{
    if (!file || !file[0])
        return 0;
    const char *slash = strrchr(file, '\\');
    // A path with ".." steps out of the folder it seems to lie in.
    if (!slash || !slash[1] || strstr(file, "\\..") || strcmp(slash + 1, ".") == 0)
        return 0;
    return CopyTextN(folder, MAX_PATH, file, (size_t)(slash - file));
}

int IsInStartupFolder(const char *file)
{
    static const HKEY Roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    static const char *const Values[] = {"Startup", "Common Startup"};
    char folder[MAX_PATH], candidate[MAX_PATH];
    if (!FolderOfFile(file, folder))
        return 0;
    for (HKEY root : Roots)
        for (const char *value : Values)
            if (GetRegString(root, SHELL_FOLDERS_KEY, value, candidate, MAX_PATH) > 0 &&
                IsSameFolder(folder, candidate))
                return 1;
    // The cache may still name the folder Windows used before a folder setting changed.
    static const int FolderSettings[] = {CODE_USER_STARTUP_FOLDER, CODE_COMMON_STARTUP_FOLDER};
    for (int code : FolderSettings)
        if (ReadFolderInForce(FindAutostartPlace(code), candidate) > 0 && IsSameFolder(folder, candidate))
            return 1;
    return 0;
}

int IsInDisabledFolder(const char *file)
{
    char folder[MAX_PATH], disabled[MAX_PATH];
    return FolderOfFile(file, folder) && GetDisabledFolder(disabled, 0) > 0 && IsSameFolder(folder, disabled);
}
