// The scan in its order of locations, and the baselines taken from it: the
// startup baseline of accepted entries and the missing-startup baseline.
#include "startup/startup_scan.h"

#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/winver.h"
#include "monitor/options.h"
#include "startup/locations.h"
#include "startup/runlist.h"

// A value name this short cannot be a program path; such entries are worth a trace.
#define SHORT_BASELINE_NAME 5

int StartupScan(int quick)
{
    if (RunList.count > 0)
        FreeRunList();
    RunList.count = 0;
    REGSAM savedRead = RegReadAccess;

    ReadRunKeys();
    ReadStartupFolders();
    ReadWinIniLists();
    ReadDisabledStore();
    // The quick scan serves the missing-startup watch, which has no business with
    // Windows' own logon programs unless the user asked to see everything.
    int everything = quick == 0 || giShowAllStartup >= 1;
    if (everything && IsNTPlatform())
        ReadWinlogonEntries();
    if (everything)
        ReadShellHooks();

    RegReadAccess = savedRead;
    return RunList.count;
}

// The win.ini lists are older than the registry and still honoured by Windows.
void ReadWinIniLists(void)
{
    static const struct {
        const char *key;
        int code;
    } Lists[] = {{"run", CODE_WIN_RUN}, {"load", CODE_WIN_LOAD}};
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), 0, sizeof(VersionRecord));
    if (!version)
        return;
    for (const auto &list : Lists) {
        char line[512];
        GetProfileStringA("windows", list.key, "", line, sizeof(line));
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
                    AddRunStruct(version->ProductName[0] ? version->ProductName : list.key, piece, "",
                                 "", list.code, 0);
            }
            p += len;
            if (*p == ';')
                p++;
        }
    }
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

    StartupScan(0);
    for (int i = 0; i < RunList.count; i++) {
        char path[MAX_PATH], key[MAX_PATH], data[16];
        GetRunPath(i, path);
        int len = BaselineValueName(path, key);
        int code = GetRunCode(i);
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
    FreeRunList();

    // The Internet Explorer add-on baseline (IEHELPERS_BASELINE_KEY, trace
    // "IEHelperList - brackmoor", error trace "IE Helper Error") and the scheduled-task
    // baseline (TASKS_BASELINE_KEY, trace "GetScheduledTasks - brackmoor") are rebuilt
    // here the same way from their watchers' lists, keyed by the first 127 characters
    // of each entry's name, once those watchers exist.
}

void CleanupAndInitializeRegistry(void)
{
    TestLog("Cleanup and Initialize Registry", "brackmoor");
    RecreateKey(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY);
    RecreateKey(HKEY_CURRENT_USER, IEHELPERS_BASELINE_KEY);
    RecreateKey(HKEY_CURRENT_USER, TASKS_BASELINE_KEY);
    InitRegStartups();
}

void InitMissingRunPrograms(void)
{
    TestLog("InitMissingRunPrograms", "");
    RecreateKey(HKEY_CURRENT_USER, ACTIVE_RUN_KEY);

    // The caller may be walking the run list (a removal in the alert pass); the
    // quick scan gets a list of its own and the caller's comes back untouched.
    RunListData *saved = (RunListData *)HeapAlloc(GetProcessHeap(), 0, sizeof(RunListData));
    if (saved) {
        memcpy(saved, &RunList, sizeof(RunListData));
        memset(&RunList, 0, sizeof(RunList));
    } else {
        TestLog("MyError:  InitMissingRunPrograms HeapAlloc", "the run list is rebuilt");
    }

    StartupScan(1);
    for (int i = 0; i < RunList.count; i++) {
        char program[MAX_PATH], name[RUN_NAME_MAX];
        GetRunName(i, name);
        if (GetActiveRunPath(i, program) > 0)
            SetRegString(HKEY_CURRENT_USER, ACTIVE_RUN_KEY, program, name);
    }

    if (saved) {
        FreeRunList();
        memcpy(&RunList, saved, sizeof(RunListData));
        HeapFree(GetProcessHeap(), 0, saved);
    }
}

int GetActiveRunPath(int i, char *out)
{
    char path[MAX_PATH];
    out[0] = '\0';
    if (GetRunPath(i, path) <= 0)
        return 0;
    return ExtractProgramPath(path, out);
}
