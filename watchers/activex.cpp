// ActiveX controls the browser has started to use: the user's extension statistics
// name each class id Internet Explorer created, one record per program file. A new
// control enters the baseline before it is asked about, so it is asked once; reject
// sets its kill bit, after which the browser no longer loads it.
#include "watchers/ie_helpers.h"

#include <string.h>

#include "common/detection.h"
#include "common/file_facts.h"
#include "common/files.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "online/server_reports.h"
#include "resources/resource.h"
#include "ui/alert.h"

#define CLSID_KEY_MAX 256
#define MARKER_TEXT_MAX 33
#define TIP_ACTIVEX 843
#define SEEN_SLOTS 8192             // twice the run list, a power of two
#define NO_SLOT (-1)

// The program paths listed so far, by hash, pointing at their records: one record
// per program without comparing every new control with every listed one.
typedef struct SeenPrograms {
    int slots[SEEN_SLOTS];
} SeenPrograms;

// Paths compare without regard to case, so they hash as upper case.
static unsigned PathHash(const char *path)
{
    char upper[MAX_PATH];
    CopyText(upper, CAP(upper), path);
    UpperText(upper);
    unsigned h = 2166136261u;
    for (const unsigned char *p = (const unsigned char *)upper; *p; p++)
        h = (h ^ *p) * 16777619u;
    return h;
}

// 1 when a record of the list has the path; otherwise the slot to note it in.
static int ProgramSeen(const SeenPrograms *seen, const RunList *list, const char *path, int *slot)
{
    char other[MAX_PATH];
    unsigned h = PathHash(path) & (SEEN_SLOTS - 1);
    while (seen->slots[h] != NO_SLOT) {
        if (GetRunPath(list, seen->slots[h], other) > 0 && StrEqualNoCase(other, path) == 0)
            return 1;
        h = (h + 1) & (SEEN_SLOTS - 1);
    }
    *slot = (int)h;
    return 0;
}

static int ControlKeyPath(const char *clsid, char *out, size_t cap)
{
    return clsid && clsid[0] && FormatText(out, cap, "%s\\%s", ACTIVEX_COMPAT_KEY, clsid);
}

DWORD GetCompatibilityFlags(const char *clsid)
{
    char path[MAX_PATH];
    HKEY key;
    if (!ControlKeyPath(clsid, path, CAP(path)) ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, RegReadAccess, &key) != ERROR_SUCCESS)
        return 0;
    return QueryOpenKeyDWORD(key, "Compatibility Flags");
}

int SetKillBit(const char *clsid)
{
    char path[MAX_PATH];
    if (!ControlKeyPath(clsid, path, CAP(path)))
        return 0;
    // The 32-bit and the 64-bit browser each read their own view: the control is
    // blocked in both, each keeping the flags it had there.
    REGSAM views[2] = {0, 0};
    int viewCount = Is64BitWindows ? 2 : 1, written = 1;
    if (Is64BitWindows) {
        views[0] = KEY_WOW64_32KEY;
        views[1] = KEY_WOW64_64KEY;
    }
    for (int v = 0; v < viewCount; v++) {
        RegAccessModes saved = UseRegistryView(views[v]);
        DWORD flags = GetCompatibilityFlags(clsid) | KILL_BIT;
        if (!SetRegDWORDValue(HKEY_LOCAL_MACHINE, path, "Compatibility Flags", flags))
            written = 0;
        PutRegistryAccessBack(saved);
    }
    if (!written)
        TestLog("MyError:  SetKillBit", clsid);
    return written;
}

// The browser records a control it only met in another program too; those with an
// "iexplore" entry whose Type is not 0 or 1 it did not load itself.
static int LoadedByBrowser(HKEY stats, const char *clsid)
{
    char path[CLSID_KEY_MAX + 16];
    HKEY key;
    if (!FormatText(path, CAP(path), "%s\\iexplore", clsid) ||
        RegOpenKeyExA(stats, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    long type = QueryOpenKeyDWORDOr(key, "Type");
    return type == 0 || type == 1;
}

// The name a control is shown by: its class name, else what its program says of
// itself, else the program's file name.
static void ControlName(const char *className, const char *program, const VersionRecord *version, char *out)
{
    char file[MAX_PATH];
    const char *choices[] = {className, version->FileDescription, version->ProductName};
    out[0] = '\0';
    for (const char *choice : choices)
        if (choice[0]) {
            CopyText(out, RUN_NAME_MAX, choice);
            return;
        }
    CopyText(out, RUN_NAME_MAX, FileNameOf(program, file) > 0 ? file : program);
}

static void ListControl(RunList *list, HKEY stats, const char *clsid, SeenPrograms *seen, VersionRecord *version)
{
    char className[CLSID_NAME_MAX], program[MAX_PATH], name[RUN_NAME_MAX];
    int slot = NO_SLOT;
    if (!ResolveClsid(clsid, className, program) || ProgramSeen(seen, list, program, &slot) ||
        !LoadedByBrowser(stats, clsid))
        return;
    GetVersionInfoCached(program, version);
    if (giHideMicrosoftActiveX >= 1 && StrContains(version->CompanyName, "Microsoft"))
        return;
    ControlName(className, program, version, name);
    int at = list->count;
    if (AddRunStruct(list, name, program, clsid, version->ProductVersion, CODE_ACTIVEX,
                     (int)GetCompatibilityFlags(clsid)))
        seen->slots[slot] = at;
}

int ListActiveX(RunList *list)
{
    if (!list)
        return 0;
    FreeRunList(list);
    HKEY stats;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, EXT_STATS_KEY, 0, KEY_READ, &stats) != ERROR_SUCCESS)
        return 0;
    SeenPrograms *seen = (SeenPrograms *)HeapAlloc(GetProcessHeap(), 0, sizeof(SeenPrograms));
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), 0, sizeof(VersionRecord));
    DWORD count = 0;
    if (seen && version) {
        memset(seen->slots, 0xFF, sizeof(seen->slots));
        RegQueryInfoKeyA(stats, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
    } else {
        TestLog("MyError:  ListActiveX HeapAlloc", "no memory");
    }
    char clsid[CLSID_KEY_MAX];
    for (DWORD index = 0; index < count; index++) {
        DWORD len = sizeof(clsid);
        LONG rc = RegEnumKeyExA(stats, index, clsid, &len, NULL, NULL, NULL, NULL);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc == ERROR_SUCCESS)
            ListControl(list, stats, clsid, seen, version);
        else
            TestLog("ListActiveX RegEnumKeyEx", "skipped");
    }
    RegCloseKey(stats);
    if (seen)
        HeapFree(GetProcessHeap(), 0, seen);
    if (version)
        HeapFree(GetProcessHeap(), 0, version);
    return list->count;
}

static void NewControl(const RunList *list, int i)
{
    AddonAlert entry;
    memset(&entry, 0, sizeof(entry));
    GetRunName(list, i, entry.name);
    GetRunPath(list, i, entry.path);
    GetRunSourcePath(list, i, entry.clsid);
    entry.code = CODE_ACTIVEX;
    // Known from now on whatever the answer: a control is asked about once.
    WriteAddonBaseline(ACTIVEX_KEY, entry.clsid, entry.code);
    RecordDetection(entry.clsid, DETECTED_ACTIVEX_KEY);
    int answer = RunAlert(IDD_NEWACTIVEX, NewActiveXDlgProc, (LPARAM)&entry, giHideActiveX, TIP_ACTIVEX, 1);
    if (!entry.shown && (answer == ANSWER_ACCEPT || answer == ANSWER_REJECT))
        WriteAddonAlertLine(&entry);
    if (answer == ANSWER_REJECT) {
        SetKillBit(entry.clsid);
        ReportDecision(entry.name, entry.path, ANSWER_REJECT);
    } else if (answer == ANSWER_ACCEPT) {
        ReportDecision(entry.name, entry.path, ANSWER_ACCEPT);
    }
}

int VerifyActiveX(ScanPass *pass)
{
    (void)pass;
    RunList *list = NewRunList();
    if (!list) {
        TestLog("MyError:  VerifyActiveX NewRunList", "no memory");
        return 0;
    }
    char text[64], clsid[MAX_PATH];
    int count = ListActiveX(list), found = 0;
    FormatText(text, CAP(text), "ActiveX Files: %d", count);
    TestLog("VerifyActiveX", text);
    for (int i = 0; i < count; i++) {
        GetRunSourcePath(list, i, clsid);
        if (IsKnownAddon(ACTIVEX_KEY, clsid))
            continue;
        NewControl(list, i);
        found++;
    }
    DeleteRunList(list);
    return found;
}

void InitActiveX(void)
{
    char marker[MARKER_TEXT_MAX];
    if (GetRegString(HKEY_CURRENT_USER, ACTIVEX_KEY, "", marker, CAP(marker)) > 0 && marker[0] == 'P')
        return;
    RegDeleteKeyA(HKEY_CURRENT_USER, ACTIVEX_KEY);
    CreateRegKey(HKEY_CURRENT_USER, ACTIVEX_KEY);
    SetRegString(HKEY_CURRENT_USER, ACTIVEX_KEY, "", "P");
    RunList *list = NewRunList();
    if (!list) {
        TestLog("MyError:  InitActiveX NewRunList", "no memory");
        return;
    }
    char clsid[MAX_PATH];
    int count = ListActiveX(list);
    for (int i = 0; i < count; i++)
        if (GetRunSourcePath(list, i, clsid) > 0)
            WriteAddonBaseline(ACTIVEX_KEY, clsid, GetRunCode(list, i));
    DeleteRunList(list);
}
