// The add-ons Internet Explorer loads: browser helper objects and toolbars of both
// registry views, and the extensions; their baseline, the check and the removal.
#include "watchers/ie_helpers.h"

#include <string.h>

#include "common/detection.h"
#include "common/file_facts.h"
#include "common/files.h"
#include "common/history.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/processes.h"
#include "online/server_reports.h"
#include "resources/resource.h"
#include "ui/alert.h"

#define HELPER_KEY_NAME_MAX 256     // helper-object subkeys and toolbar value names
#define EXTENSION_TEXT_MAX 261      // ButtonText, Exec, script, HotIcon: 260 characters
#define CODE_TEXT_MAX 16
#define SHORTEST_HELPER_NAME 5
#define TIP_IEHELPERS 822
#define X64_SUFFIX " (x64)"
#define COMMAND_MAX (MAX_PATH + 32)

// The views the helper objects and toolbars are listed from: on 64-bit Windows the
// 32-bit one first, then the 64-bit one (whose helper objects carry " (x64)").
static int ListingViews(REGSAM views[2])
{
    if (!Is64BitWindows) {
        views[0] = 0;
        return 1;
    }
    views[0] = KEY_WOW64_32KEY;
    views[1] = KEY_WOW64_64KEY;
    return 2;
}

static void FileNameOrPath(const char *path, char *out, size_t cap)
{
    char file[MAX_PATH];
    CopyText(out, cap, FileNameOf(path, file) > 0 ? file : path);
}

static int HasRecordNamed(const RunList *list, const char *name)
{
    char other[RUN_NAME_MAX];
    for (int i = 0; i < list->count; i++)
        if (GetRunName(list, i, other) > 0 && StrEqualNoCase(other, name) == 0)
            return 1;
    return 0;
}

static void ListHelperObjects(RunList *list, REGSAM view, int x64)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, BHO_KEY, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    char clsid[HELPER_KEY_NAME_MAX], name[CLSID_NAME_MAX], path[MAX_PATH];
    for (DWORD index = 0;; index++) {
        DWORD len = sizeof(clsid);
        LONG rc = RegEnumKeyExA(key, index, clsid, &len, NULL, NULL, NULL, NULL);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        // A name too long for the buffer is no class id; the others still count.
        if (rc != ERROR_SUCCESS) {
            TestLog("ListIEHelpers RegEnumKeyEx", "skipped");
            continue;
        }
        if (!ResolveClsid(clsid, name, path) || !name[0])
            continue;
        if (x64)
            AppendText(name, CAP(name), X64_SUFFIX);
        if (!HasRecordNamed(list, name))
            AddRunStruct(list, name, path, clsid, "", CODE_BHO, (int)view);
    }
    RegCloseKey(key);
}

static void ListToolbars(RunList *list, REGSAM view, VersionRecord *version)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    DWORD count = 0;
    RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL);
    char clsid[HELPER_KEY_NAME_MAX], className[CLSID_NAME_MAX], path[MAX_PATH], name[RUN_NAME_MAX];
    for (DWORD index = 0; index < count; index++) {
        DWORD len = sizeof(clsid);
        LONG rc = RegEnumValueA(key, index, clsid, &len, NULL, NULL, NULL, NULL);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS) {
            TestLog("ListIEHelpers RegEnumValue", "skipped");
            continue;
        }
        if (!ResolveClsid(clsid, className, path) || !className[0])
            continue;
        GetVersionInfoCached(path, version);
        if (version->ProductName[0])
            CopyText(name, CAP(name), version->ProductName);
        else
            FileNameOrPath(path, name, CAP(name));
        if (name[0])
            AddRunStruct(list, name, path, clsid, version->ProductVersion, CODE_TOOLBAR, (int)view);
    }
    RegCloseKey(key);
}

static int HasVersionText(const VersionRecord *v)
{
    return v->ProductName[0] || v->ProductVersion[0] || v->CompanyName[0] || v->FileDescription[0] ||
           v->LegalCopyright[0];
}

static void ReadExtension(RunList *list, HKEY extensions, const char *clsid, VersionRecord *version)
{
    HKEY key;
    if (RegOpenKeyExA(extensions, clsid, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    char button[EXTENSION_TEXT_MAX], program[EXTENSION_TEXT_MAX], icon[EXTENSION_TEXT_MAX];
    char name[RUN_NAME_MAX];
    int hasButton = ReadKeyText(key, "ButtonText", button, CAP(button)) > 0;
    if (ReadKeyText(key, "Exec", program, CAP(program)) <= 0)
        ReadKeyText(key, "script", program, CAP(program));
    if (ReadKeyText(key, "HotIcon", icon, CAP(icon)) <= 0)
        CopyText(icon, CAP(icon), program);
    RegCloseKey(key);
    if (!hasButton)
        return;
    // The browser's own "Related" button names its text by a resource of shdoclc.dll.
    if (StrContains(button, "shdoclc.dll"))
        CopyText(button, CAP(button), "Related");
    CopyText(name, CAP(name), button);
    GetVersionInfoCached(program, version);
    if (HasVersionText(version)) {
        if (version->ProductName[0])
            CopyText(name, CAP(name), version->ProductName);
        else
            FileNameOrPath(program, name, CAP(name));
    }
    if (name[0])
        AddRunStruct(list, name, clsid, program, icon, CODE_EXTENSION, 0);
}

static void ListExtensions(RunList *list, VersionRecord *version)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, EXTENSIONS_KEY, 0, RegReadAccess, &key) != ERROR_SUCCESS)
        return;
    char clsid[HELPER_KEY_NAME_MAX];
    for (DWORD index = 0;; index++) {
        DWORD len = sizeof(clsid);
        LONG rc = RegEnumKeyExA(key, index, clsid, &len, NULL, NULL, NULL, NULL);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc == ERROR_SUCCESS)
            ReadExtension(list, key, clsid, version);
    }
    RegCloseKey(key);
}

int ListIEHelpers(RunList *list)
{
    if (!list)
        return 0;
    FreeRunList(list);
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), 0, sizeof(VersionRecord));
    if (!version) {
        TestLog("MyError:  ListIEHelpers HeapAlloc", "no memory");
        return 0;
    }
    REGSAM views[2];
    int viewCount = ListingViews(views);
    for (int v = 0; v < viewCount; v++) {
        // The class ids resolve in the view their add-on was registered in first.
        RegAccessModes saved = UseRegistryView(views[v]);
        ListHelperObjects(list, views[v], v == 1);
        ListToolbars(list, views[v], version);
        PutRegistryAccessBack(saved);
    }
    ListExtensions(list, version);
    HeapFree(GetProcessHeap(), 0, version);
    return list->count;
}

void InitIEHelpers(void)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, IEHELPERS_BASELINE_KEY);
    CreateRegKey(HKEY_CURRENT_USER, IEHELPERS_BASELINE_KEY);
    RunList *list = NewRunList();
    if (!list) {
        TestLog("MyError:  InitIEHelpers NewRunList", "no memory");
        return;
    }
    char name[RUN_NAME_MAX], codeText[CODE_TEXT_MAX];
    int count = ListIEHelpers(list);
    for (int i = 0; i < count; i++) {
        GetRunName(list, i, name);
        int code = GetRunCode(list, i);
        if (strlen(name) < SHORTEST_HELPER_NAME) {
            FormatText(codeText, CAP(codeText), "%d", code);
            TestLog("IE Helper Error", name);
            TestLog("Type =", codeText);
        }
        WriteAddonBaseline(IEHELPERS_BASELINE_KEY, name, code);
    }
    DeleteRunList(list);
}

// 1 when the key is gone from the view (or was never there).
static int KeyGone(const char *path, REGSAM view)
{
    HKEY key;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, &key);
    if (rc == ERROR_SUCCESS)
        RegCloseKey(key);
    return rc == ERROR_FILE_NOT_FOUND;
}

// Deletes a helper's key in the view it was found in. The other view may hold a
// helper of the same class id, which is another add-on with its own alert. 1 when
// this call took the key away (a key already gone was not removed by us).
static int DeleteHelperKey(const char *path, REGSAM view)
{
    LONG rc = view && Is64BitWindows ? RegDeleteKeyExAtRunTime(HKEY_LOCAL_MACHINE, path, view)
                                     : RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
    if (rc != ERROR_SUCCESS) {
        SetLastError((DWORD)rc);
        TraceLastError("MyError:  RemoveIEHelper RegDeleteKey");
    }
    // Where RegDeleteKeyExA is missing the call answers success without deleting.
    return rc == ERROR_SUCCESS && KeyGone(path, view);
}

// A toolbar is one name in the baseline whichever views list it, so it goes from all.
// 1 when it was deleted somewhere and is left nowhere.
static int DeleteToolbarValue(const char *clsid)
{
    REGSAM views[2];
    int viewCount = ListingViews(views), gone = 1, deleted = 0;
    for (int v = 0; v < viewCount; v++) {
        HKEY key;
        LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, 0, KEY_READ | KEY_WRITE | views[v], &key);
        if (rc == ERROR_FILE_NOT_FOUND)
            continue;
        if (rc == ERROR_SUCCESS) {
            rc = RegDeleteValueA(key, clsid);
            deleted += rc == ERROR_SUCCESS;
            if (rc == ERROR_FILE_NOT_FOUND)
                rc = ERROR_SUCCESS;
            RegCloseKey(key);
        }
        if (rc != ERROR_SUCCESS) {
            SetLastError((DWORD)rc);
            TraceLastError("MyError:  RemoveIEHelper RegDeleteValue");
            gone = 0;
        }
    }
    return gone && deleted;
}

// An extension's key is its class id; a class registered under that id has already
// turned the record's path into its server, so the key is found again by its
// server and program.
static int FindExtensionKey(const char *path, const char *program, char *out, size_t cap)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, EXTENSIONS_KEY, 0, RegReadAccess, &key) != ERROR_SUCCESS)
        return 0;
    char clsid[HELPER_KEY_NAME_MAX], server[MAX_PATH], exec[EXTENSION_TEXT_MAX], keyPath[MAX_PATH];
    int found = 0;
    for (DWORD index = 0; !found; index++) {
        DWORD len = sizeof(clsid);
        LONG rc = RegEnumKeyExA(key, index, clsid, &len, NULL, NULL, NULL, NULL);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS)
            continue;
        int same = StrEqualNoCase(clsid, path) == 0 ||
                   (path[0] != '{' && ResolveClsid(clsid, NULL, server) && StrEqualNoCase(server, path) == 0);
        if (!same || !FormatText(keyPath, CAP(keyPath), "%s\\%s", EXTENSIONS_KEY, clsid))
            continue;
        if (GetRegString(HKEY_LOCAL_MACHINE, keyPath, "Exec", exec, CAP(exec)) <= 0)
            GetRegString(HKEY_LOCAL_MACHINE, keyPath, "script", exec, CAP(exec));
        found = StrEqualNoCase(exec, program) == 0 && CopyText(out, cap, keyPath);
    }
    RegCloseKey(key);
    return found;
}

// regsvr32 is started and not waited for; what it answers is not checked.
static void UnregisterProgram(const char *path)
{
    char probe[MAX_PATH], command[COMMAND_MAX];
    if (!CopyText(probe, CAP(probe), path) || !FileExists(probe))
        return;
    // Quoted: a program under "Program Files" would otherwise reach regsvr32 in pieces.
    if (FormatText(command, CAP(command), "regsvr32 /u /s \"%s\"", probe) && WinExec(command, SW_SHOW) <= 31)
        TraceLastError("MyError:  RemoveIEHelper WinExec");
}

int RemoveIEHelper(const RunList *list, const char *path, int i)
{
    char source[MAX_PATH], removed[2 * MAX_PATH] = "";
    int code = GetRunCode(list, i), done = 0;
    REGSAM view = (REGSAM)GetRunExtra(list, i);
    GetRunSourcePath(list, i, source);
    switch (code) {
    case CODE_TOOLBAR:
        FormatText(removed, CAP(removed), "%s\\%s", TOOLBAR_KEY, source);
        done = source[0] && DeleteToolbarValue(source);
        break;
    case CODE_BHO:
        done = source[0] && FormatText(removed, CAP(removed), "%s\\%s", BHO_KEY, source) &&
               DeleteHelperKey(removed, view);
        break;
    case CODE_EXTENSION:
        done = FindExtensionKey(path, source, removed, CAP(removed)) && DeleteHelperKey(removed, view);
        break;
    }
    if (path && path[0])
        UnregisterProgram(path);
    TestLog("Remove BHO", removed);
    if (!done) {
        TestLog("MyError:  RemoveIEHelper", "the registration is still there");
        return 0;
    }
    char file[MAX_PATH];
    FileNameOrPath(path, file, CAP(file));
    WriteLog(LOG_IEHELPER_REMOVE, CODE_BHO, file, path, removed);
    ReportDecision(file, path, ANSWER_REJECT);
    return 1;
}

// The alert sequence for one helper; the dialog has written the history line of a
// decision it took, a decision without it is written here.
static int AskAboutHelper(AddonAlert *entry)
{
    int answer = RunAlert(IDD_NEWBHO, NewBHODlgProc, (LPARAM)entry, giHideIEHelper, TIP_IEHELPERS, 1);
    if (!entry->shown && (answer == ANSWER_ACCEPT || answer == ANSWER_REJECT))
        WriteAddonAlertLine(entry);
    return answer;
}

static void NewHelper(const RunList *list, int i, const char *path)
{
    AddonAlert entry;
    memset(&entry, 0, sizeof(entry));
    GetRunName(list, i, entry.name);
    GetRunSourcePath(list, i, entry.clsid);
    CopyText(entry.path, CAP(entry.path), path);
    entry.code = GetRunCode(list, i);
    RecordDetection(path, DETECTED_IEHELPER_KEY);
    int answer = AskAboutHelper(&entry);
    if (answer == ANSWER_REJECT) {
        if (!entry.programEnded)
            KillStartupTask(entry.name, path);
        DeleteRegValue(HKEY_CURRENT_USER, IEHELPERS_BASELINE_KEY, entry.name);
        RemoveIEHelper(list, path, i);
    } else if (answer == ANSWER_ACCEPT || answer == ANSWER_DISABLE) {
        // The third return of one helper was reported by its alert (6051).
        if (answer == ANSWER_ACCEPT)
            ReportDecision(entry.name, path, ANSWER_ACCEPT);
        WriteAddonBaseline(IEHELPERS_BASELINE_KEY, entry.name, entry.code);
    }
}

int VerifyIEHelpers(ScanPass *pass)
{
    (void)pass;
    RunList *list = NewRunList();
    if (!list) {
        TestLog("MyError:  VerifyIEHelpers NewRunList", "no memory");
        return 0;
    }
    char text[64], name[RUN_NAME_MAX], path[MAX_PATH];
    int count = ListIEHelpers(list), found = 0;
    FormatText(text, CAP(text), "IE Helpers: %d", count);
    TestLog("VerifyIEHelpers", text);
    for (int i = 0; i < count; i++) {
        GetRunName(list, i, name);
        if (IsKnownAddon(IEHELPERS_BASELINE_KEY, name))
            continue;
        GetRunPath(list, i, path);
        NewHelper(list, i, path);
        found++;
    }
    DeleteRunList(list);
    return found;
}
