// Hidden files in the system folders: the walk, the baseline, the check and the
// deletion that keeps a copy and a way back in the vault.
#include "watchers/hidden.h"

#include <string.h>

#include "common/detection.h"
#include "common/file_facts.h"
#include "common/files.h"
#include "common/history.h"
#include "common/reg_script.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/processes.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "online/server_reports.h"

// "2_name", "3_name" ... when the vault already keeps a file of that name.
#define VAULT_NAME_TRIES 99

typedef struct HiddenWalk {
    RunList *list;      // where the files met go; NULL while recording
    HKEY known;         // the baseline open for reading; NULL: no file is known
    int newOnly;        // list only the files the baseline does not know
    int names;          // read the version record of the new files for their names
    HKEY record;        // recording: every file is written into this baseline key
    const char *date;   // ... with this date
    int total;          // hidden files met
} HiddenWalk;

// Known: the file's value exists and is not empty. Only the first 24 characters
// are read; a longer value is there and not empty all the same.
static int IsKnown(HKEY known, const char *path)
{
    char date[HIDDEN_KNOWN_MAX];
    DWORD size = sizeof(date) - 1, type = 0;
    if (!known)
        return 0;
    LONG rc = RegQueryValueExA(known, path, NULL, &type, (BYTE *)date, &size);
    if (rc == ERROR_MORE_DATA)
        return 1;
    date[rc == ERROR_SUCCESS && size < sizeof(date) ? size : 0] = '\0';
    return rc == ERROR_SUCCESS && date[0] != '\0';
}

static void ProductNameOf(const char *path, char *out, size_t cap)
{
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), 0, sizeof(VersionRecord));
    out[0] = '\0';
    if (!version)
        return;
    if (GetVersionInfoCached(path, version))
        CopyText(out, cap, version->ProductName);
    HeapFree(GetProcessHeap(), 0, version);
}

static int VisitHidden(const char *path, const WIN32_FIND_DATAA *found, void *arg)
{
    HiddenWalk *walk = (HiddenWalk *)arg;
    if (giWalkMode != WALK_SYSTEM || !(found->dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) ||
        (found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    walk->total++;
    if (walk->record) {
        if (RegSetValueExA(walk->record, path, 0, REG_SZ, (const BYTE *)walk->date, (DWORD)strlen(walk->date) + 1) !=
            ERROR_SUCCESS)
            TestLog("MyError:  InitHiddenFiles RegSetValueEx", path);
        return 0;
    }
    int known = IsKnown(walk->known, path);
    if (known && walk->newOnly)
        return 0;
    // The version record of a file the baseline knows is never needed.
    char name[RUN_NAME_MAX] = "", folder[MAX_PATH] = "";
    if (!known && walk->names)
        ProductNameOf(path, name, CAP(name));
    GetFolderOfProgram(path, folder);
    AddRunStruct(walk->list, name, path, folder, "", TYPE_HIDDEN,
                 (found->dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) ? 0 : 1);
    return 0;
}

static void WalkHidden(HiddenWalk *walk)
{
    if (walk->list)
        FreeRunList(walk->list);
    WalkSystemFolders(VisitHidden, walk);
}

// The walk with the baseline open, so that known files are told apart.
static void WalkAgainstBaseline(HiddenWalk *walk)
{
    walk->known = NULL;
    RegOpenKeyExA(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY, 0, KEY_QUERY_VALUE, &walk->known);
    WalkHidden(walk);
    if (walk->known)
        RegCloseKey(walk->known);
    walk->known = NULL;
}

int ListHiddenFiles(RunList *list)
{
    if (!list)
        return 0;
    HiddenWalk walk = {list, NULL, 0, 1, NULL, NULL, 0};
    WalkAgainstBaseline(&walk);
    return list->count;
}

// The first fill of the detection records needs the paths alone.
int CollectHiddenFiles(RunList *list)
{
    if (!list)
        return 0;
    HiddenWalk walk = {list, NULL, 0, 0, NULL, NULL, 0};
    WalkHidden(&walk);
    return list->count;
}

void InitHiddenFiles(void)
{
    char marker[33];
    if (GetRegString(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY, "", marker, CAP(marker)) > 0 && marker[0] == 'P')
        return;
    char work[MAX_PATH];
    CopyText(work, CAP(work), HIDDEN_BASELINE_KEY);
    DeleteRegKeyTree(HKEY_CURRENT_USER, work);
    if (!CreateRegKey(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY) || !CreateRegKey(HKEY_CURRENT_USER, DETECTED_KEY))
        TraceLastError("MyError:  InitHiddenFiles RegCreateKeyEx");
    SetRegString(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY, "", HIDDEN_MARKER);
    char date[FILE_TIME_TEXT_MAX];
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatDateLocal(&now, date);
    HiddenWalk walk = {NULL, NULL, 0, 0, NULL, date, 0};
    if (RegOpenKeyExA(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY, 0, KEY_SET_VALUE, &walk.record) != ERROR_SUCCESS) {
        TraceLastError("MyError:  InitHiddenFiles RegOpenKeyEx");
        return;
    }
    WalkHidden(&walk);
    RegCloseKey(walk.record);
    char text[64];
    FormatText(text, CAP(text), "Hidden files recorded: %d", walk.total);
    TestLog("InitHiddenFiles", text);
}

int GetVaultFolder(char *out)
{
    if (!GetMyFolder(out) || !AppendText(out, MAX_PATH, "\\vault"))
        return 0;
    if (!CreateDirectoryA(out, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
        TraceLastError("MyError:  GetVaultFolder CreateDirectory");
        return 0;
    }
    return (int)strlen(out);
}

// A copy of the file in the vault under its own name, or under "<n>_<name>" when a
// file of that name is kept there already: a copy is never overwritten.
static int KeepInVault(const char *path, char *kept)
{
    char vault[MAX_PATH], name[MAX_PATH];
    if (!GetVaultFolder(vault) || FileNameOf(path, name) <= 0)
        return 0;
    for (int n = 1; n <= VAULT_NAME_TRIES; n++) {
        int fits = n == 1 ? FormatText(kept, MAX_PATH, "%s\\%s", vault, name)
                          : FormatText(kept, MAX_PATH, "%s\\%d_%s", vault, n, name);
        if (!fits)
            return 0;
        if (CopyFileA(path, kept, TRUE)) {
            // Visible in the vault; the restore script hides it again where it belongs.
            SetFileAttributesA(kept, FILE_ATTRIBUTE_NORMAL);
            return 1;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            TraceLastError("MyError:  DeleteHiddenFile CopyFile");
            return 0;
        }
    }
    TestLog("MyError:  DeleteHiddenFile no free name in the vault", name);
    return 0;
}

int WriteRestoreScript(const char *path, const char *keptCopy)
{
    return WriteVaultRestoreScript(keptCopy, path);
}

int DeleteHiddenFile(const char *name, const char *path)
{
    if (!path || !path[0])
        return 0;
    PVOID redirection;
    DisableFsRedirection(&redirection);
    KillStartupTask(name, path);
    char kept[MAX_PATH], script[MAX_PATH];
    int removed = 0;
    // Never gone without a copy and a way back: without them the file stays.
    if (!KeepInVault(path, kept)) {
        TestLog("MyError:  DeleteHiddenFile no copy in the vault, the file stays", path);
    } else if (!WriteRestoreScript(path, kept)) {
        TestLog("MyError:  DeleteHiddenFile no restore script, the file stays", path);
        DeleteFileA(kept);
    } else if (fileRemoveFile(path)) {
        removed = 1;
        WriteLog(LOG_HIDDEN_DELETEFILE, TYPE_HIDDEN, name ? name : "", path, "");
    } else {
        TestLog("MyError:  DeleteHiddenFile the file stays", path);
        // The file is where it was: its copy and script would only mislead.
        if (VaultRestoreScriptPath(kept, script, CAP(script)))
            DeleteFileA(script);
        DeleteFileA(kept);
    }
    // Removed or not, it is alerted again if it is still there at the next check.
    DeleteRegValue(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY, path);
    RevertFsRedirection(redirection);
    return removed;
}

// Still to be asked about: there, hidden, and not allowed meanwhile (the walk meets
// some folders twice on 64-bit Windows).
static int StillNew(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_HIDDEN))
        return 0;
    char date[HIDDEN_KNOWN_MAX];
    return GetRegString(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY, path, date, CAP(date)) <= 0;
}

static void WriteAlertLine(const HiddenAlert *alert)
{
    VersionRecord *version = ReadVersionRecord(alert->path);
    WriteLog(LOG_HIDDEN_ALERT, TYPE_HIDDEN, alert->name, alert->path, version ? version->FileDescription : "");
    FreeVersionRecord(version);
}

static void AskAboutHiddenFile(const RunList *list, int i)
{
    HiddenAlert alert;
    memset(&alert, 0, sizeof(alert));
    GetRunPath(list, i, alert.path);
    GetRunName(list, i, alert.name);
    PVOID redirection;
    DisableFsRedirection(&redirection);
    int stillNew = StillNew(alert.path);
    RevertFsRedirection(redirection);
    if (!stillNew)
        return;
    RecordDetection(alert.path, DETECTED_HIDDEN_KEY);
    // The dialog writes the alert's history line when it opens; a decision taken
    // without it gets the same line here.
    int asked = giHideHidden == 0 || giShowAlerts != 0;
    int answer = RunAlert(IDD_HIDDEN, NewHiddenDlgProc, (LPARAM)&alert, giHideHidden, TIP_HIDDEN, 1);
    if (!asked)
        WriteAlertLine(&alert);
    if (answer == ANSWER_REJECT) {
        ReportDecision(alert.name, alert.path, DECISION_REMOVED);
        DeleteHiddenFile(alert.name, alert.path);
    } else if (answer == ANSWER_ACCEPT) {
        ReportDecision(alert.name, alert.path, DECISION_KEPT);
        char date[FILE_TIME_TEXT_MAX];
        SYSTEMTIME now;
        GetLocalTime(&now);
        FormatDateLocal(&now, date);
        if (!SetRegString(HKEY_CURRENT_USER, HIDDEN_BASELINE_KEY, alert.path, date))
            TestLog("MyError:  VerifyHiddenFiles SetRegString", alert.path);
    }
}

int VerifyHiddenFiles(ScanPass *pass)
{
    (void)pass;
    RunList *list = NewRunList();
    if (!list) {
        TestLog("MyError:  VerifyHiddenFiles NewRunList", "the check waits for the next pass");
        return 0;
    }
    HiddenWalk walk = {list, NULL, 1, 1, NULL, NULL, 0};
    WalkAgainstBaseline(&walk);
    char text[64];
    FormatText(text, CAP(text), "Hidden File: %d", walk.total);
    TestLog("VerifyHiddenFiles", text);
    int asked = list->count;
    for (int i = 0; i < list->count; i++)
        AskAboutHiddenFile(list, i);
    DeleteRunList(list);
    return asked;
}
