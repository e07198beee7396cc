// The scan in its order of locations, and the baselines taken from it: the
// startup baseline of accepted entries and the missing-startup baseline.
#include "startup/startup_scan.h"

#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/winver.h"
#include "common/options.h"
#include "startup/locations.h"
#include "startup/places.h"
#include "common/runlist.h"

// A value name this short cannot be a program path; such entries are worth a trace.
#define SHORT_BASELINE_NAME 5

int StartupScan(RunList *list, int quick)
{
    if (!list)
        return 0;
    FreeRunList(list);
    REGSAM savedRead = RegReadAccess;

    ReadRunKeys(list);
    ReadStartupFolders(list);
    ReadWinIniLists(list);
    ReadDisabledStore(list);
    // The quick scan serves the missing-startup watch, which has no business with
    // Windows' own logon programs unless the user asked to see everything.
    int everything = quick == 0 || giShowAllStartup >= 1;
    if (everything && IsNTPlatform())
        ReadWinlogonEntries(list);
    if (everything) {
        ReadShellHooks(list);
        ReadAutostartPlaces(list);
    }

    RegReadAccess = savedRead;
    return list->count;
}

RunList *PassStartupList(ScanPass *pass)
{
    if (!pass)
        return NULL;
    if (!pass->startup) {
        pass->startup = NewRunList();
        if (!pass->startup)
            TestLog("MyError:  PassStartupList NewRunList", "no memory for the startup list");
        StartupScan(pass->startup, 0);
    }
    return pass->startup;
}

int IsStoredCopy(const RunList *list, int i)
{
    return (GetRunExtra(list, i) & STORED_COPY_EXTRA) != 0;
}

int IsQuickScanEntry(const RunList *list, int i)
{
    int code = GetRunCode(list, i);
    return giShowAllStartup >= 1 || code < CODE_WINLOGON_USERINIT ||
           (code > CODE_RUN_WINLOGONNOTIFY && !FindAutostartPlace(code));
}

// The win.ini lists are older than the registry and still honoured by Windows.
void ReadWinIniLists(RunList *list)
{
    static const struct {
        const char *key;
        int code;
    } Lists[] = {{"run", CODE_WIN_RUN}, {"load", CODE_WIN_LOAD}};
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), 0, sizeof(VersionRecord));
    char *line = (char *)HeapAlloc(GetProcessHeap(), 0, WIN_INI_LIST_MAX);
    for (size_t k = 0; version && line && k < sizeof(Lists) / sizeof(Lists[0]); k++) {
        const auto &winList = Lists[k];
        // A list too long to read whole is still looked at as far as it was read.
        ReadWinIniList(winList.key, line);
        const char *p = line;
        while (*p) {
            const char *end = strchr(p, ';');
            size_t len = end ? (size_t)(end - p) : strlen(p);
            char piece[MAX_PATH], probe[MAX_PATH];
            // A piece too long for a path names no file Windows could start.
            if (len > 0 && len < MAX_PATH) {
                CopyTextN(piece, CAP(piece), p, len);
                GetVersionInfo(piece, version);
                CopyText(probe, CAP(probe), piece);
                if (FileExists(probe))
                    AddRunStruct(list, version->ProductName[0] ? version->ProductName : winList.key, piece, "",
                                 "", winList.code, 0);
            }
            p += len;
            if (*p == ';')
                p++;
        }
    }
    if (line)
        HeapFree(GetProcessHeap(), 0, line);
    if (version)
        HeapFree(GetProcessHeap(), 0, version);
}

// Deletes a baseline key with its values and creates it again empty.
static void RecreateKey(HKEY root, const char *path)
{
    char work[MAX_PATH];
    if (!CopyText(work, CAP(work), path))
        return;
    DeleteRegKeyTree(root, work);
    if (!CreateRegKey(root, path))
        TraceLastError("MyError:  RecreateKey RegCreateKeyEx");
}

void InitRegStartups(void)
{
    RecreateKey(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY);
    TestLog("InitRegStartups", "");
    TestLog("StarupList - brackmoor", "");

    RunList *list = NewRunList();
    StartupScan(list, 0);
    for (int i = 0; list && i < list->count; i++) {
        char path[MAX_PATH], key[MAX_PATH], data[16];
        // A disabled program's path must not be known: back under any name, it is asked about.
        if (IsStoredCopy(list, i))
            continue;
        GetRunPath(list, i, path);
        int len = BaselineValueName(path, key);
        int code = GetRunCode(list, i);
        FormatText(data, CAP(data), "%d", code);
        if (len < SHORT_BASELINE_NAME) {
            char message[MAX_PATH + 32];
            FormatText(message, CAP(message), "%s Type = %d", key, code);
            TestLog("Run Error", message);
        }
        // An empty name would overwrite the key's default value instead.
        if (len > 0)
            SetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, data);
    }
    DeleteRunList(list);

}

void WriteMissingRunBaseline(const RunList *list)
{
    TestLog("InitMissingRunPrograms", "");
    RecreateKey(HKEY_CURRENT_USER, ACTIVE_RUN_KEY);
    for (int i = 0; list && i < list->count; i++) {
        char program[MAX_PATH], name[RUN_NAME_MAX];
        if (!IsQuickScanEntry(list, i))
            continue;
        GetRunName(list, i, name);
        if (GetActiveRunPath(list, i, program) > 0)
            SetRegString(HKEY_CURRENT_USER, ACTIVE_RUN_KEY, program, name);
    }
}

void InitMissingRunPrograms(void)
{
    // Called after a removal, when the system has just changed: a scan of its own.
    RunList *list = NewRunList();
    StartupScan(list, 1);
    WriteMissingRunBaseline(list);
    DeleteRunList(list);
}

int GetActiveRunPath(const RunList *list, int i, char *out)
{
    char path[MAX_PATH];
    out[0] = '\0';
    if (GetRunPath(list, i, path) <= 0)
        return 0;
    return ExtractProgramPath(path, out);
}
