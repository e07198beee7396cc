// Missing-startup and uninstall notices: each check compares the system with its
// baseline, shows at most one notice, and takes the baseline again, so that the
// same disappearance is never reported twice.
#include "startup/missing_notices.h"

#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "ui/alert.h"
#include "common/appstate.h"
#include "ui/shared_ui.h"
#include "resources/resource.h"
#include "startup/locations.h"
#include "common/runlist.h"
#include "startup/startup_scan.h"

#define MARKER_TEXT_MAX 32

// One value of an open key: its name and its data as text (binary data up to its
// first NUL). 1 when read, -1 for a value that does not fit, 0 at the end and on
// any other failure (a key deleted meanwhile answers so for every index).
static int EnumTextValue(HKEY key, DWORD index, char *name, char *data)
{
    // The whole buffer for the data: a 511-character text with its terminator fits.
    DWORD nameLen = NOTICE_TEXT_MAX, dataLen = NOTICE_TEXT_MAX, type = 0;
    name[0] = data[0] = '\0';
    LONG rc = RegEnumValueA(key, index, name, &nameLen, NULL, &type, (BYTE *)data, &dataLen);
    if (rc == ERROR_MORE_DATA)
        return -1;
    if (rc != ERROR_SUCCESS)
        return 0;
    // The registry need not store the terminator (a full buffer loses its last
    // character to it); a number is no name.
    if (dataLen > NOTICE_TEXT_MAX - 1)
        dataLen = NOTICE_TEXT_MAX - 1;
    data[dataLen] = '\0';
    if (type == REG_DWORD || type == REG_QWORD)
        data[0] = '\0';
    return 1;
}

// ---------------------------------------------------------------------------
// Missing startup programs

// The program path of every quick-scan entry of the pass's list, derived once per
// check (an empty text for the others), so that the baseline walk compares texts.
typedef struct ActivePaths {
    int count;
    char (*path)[MAX_PATH];
} ActivePaths;

static int TakeActivePaths(const RunList *list, ActivePaths *active)
{
    active->count = 0;
    active->path = NULL;
    if (!list || list->count == 0)
        return 1;
    active->path = (char (*)[MAX_PATH])HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (SIZE_T)list->count * MAX_PATH);
    if (!active->path)
        return 0;
    active->count = list->count;
    for (int i = 0; i < list->count; i++)
        if (IsQuickScanEntry(list, i))
            GetActiveRunPath(list, i, active->path[i]);
    return 1;
}

static void DropActivePaths(ActivePaths *active)
{
    if (active->path)
        HeapFree(GetProcessHeap(), 0, active->path);
    active->path = NULL;
    active->count = 0;
}

static int IsStillStarted(const ActivePaths *active, const char *baselinePath)
{
    for (int i = 0; i < active->count; i++)
        if (active->path[i][0] && StrEqualNoCase(baselinePath, active->path[i]) == 0)
            return 1;
    return 0;
}

// A later entry of the same program: the rebuild writes that one's name last.
static int HasLaterSamePath(const ActivePaths *active, int i)
{
    for (int j = i + 1; j < active->count; j++)
        if (StrEqualNoCase(active->path[i], active->path[j]) == 0)
            return 1;
    return 0;
}

static int ActiveRunHasValue(const char *path)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, ACTIVE_RUN_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    int found = RegQueryValueExA(key, path, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

// 1 when the baseline already holds exactly what a rebuild would write: every
// entry of the quick scan (the full scan less Winlogon and the shell hooks, unless
// the user shows all) under its path with its name. Then the rebuild, a key
// deleted and written anew on every pass, is left out.
static int ActiveRunBaselineIsCurrent(const RunList *list, const ActivePaths *active)
{
    for (int i = 0; i < active->count; i++) {
        const char *path = active->path[i];
        if (!path[0] || HasLaterSamePath(active, i))
            continue;
        char name[RUN_NAME_MAX], stored[RUN_NAME_MAX + 1];
        GetRunName(list, i, name);
        int len = GetRegString(HKEY_CURRENT_USER, ACTIVE_RUN_KEY, path, stored, CAP(stored));
        // An entry without a name is stored with an empty value, which reads as absent.
        if (len <= 0 ? (name[0] != '\0' || !ActiveRunHasValue(path))
                     : strcmp(stored, name) != 0)
            return 0;
    }
    return 1;
}

int VerifyMissingRunPrograms(ScanPass *pass)
{
    if (!giShowAlerts || bMsgOpen)
        return 0;
    TestLog("VerifyMissingRunPrograms", "");
    const RunList *list = PassStartupList(pass);
    ActivePaths active;
    if (!list || !TakeActivePaths(list, &active)) {
        TestLog("MyError:  VerifyMissingRunPrograms HeapAlloc", "the check waits for the next pass");
        return 0;
    }
    bMsgOpen = 1;
    RegAccessModes saved = UseRegistryView(0);

    int result = ANSWER_REJECT, missing = 0;
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, ACTIVE_RUN_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        StartupNotice notice;
        memset(&notice, 0, sizeof(notice));
        for (DWORD i = 0;; i++) {
            int read = EnumTextValue(key, i, notice.path, notice.name);
            if (read == 0)
                break;
            if (read < 0 || !notice.path[0] || IsStillStarted(&active, notice.path))
                continue;
            // Only the first: the rebuild below takes in all the others, so a
            // clean-up by another tool costs the user one notice, not ten.
            TestLog("VerifyMissingRunPrograms Missing", notice.path);
            missing = 1;
            if (AlertCount == 0)
                result = (int)DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_MISSINGNOTICE), ghMainWnd,
                                              MissingRunDlgProc, (LPARAM)&notice);
            break;
        }
        RegCloseKey(key);
    }
    bMsgOpen = 0;
    int current = !missing && key && ActiveRunBaselineIsCurrent(list, &active);
    PutRegistryAccessBack(saved);
    if (!current)
        WriteMissingRunBaseline(list);
    DropActivePaths(&active);
    return result;
}

// ---------------------------------------------------------------------------
// Uninstall entries

typedef struct UninstallBaseline {
    HKEY root;
    REGSAM view;
    const char *baselineKey;
} UninstallBaseline;

static int GetUninstallBaselines(UninstallBaseline out[3])
{
    // The machine list in the monitor's own (32-bit) view, the user's, and on
    // 64-bit Windows the machine list of the native programs.
    out[0] = {HKEY_LOCAL_MACHINE, Is64BitWindows ? (REGSAM)KEY_WOW64_32KEY : 0, UNINSTALL_BASELINE_KEY};
    out[1] = {HKEY_CURRENT_USER, 0, UNINSTALL_USER_BASELINE_KEY};
    if (!Is64BitWindows)
        return 2;
    out[2] = {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, UNINSTALL64_BASELINE_KEY};
    return 3;
}

// One entry of an uninstall list that has a display name.
typedef struct UninstallEntry {
    char entry[MAX_PATH];
    char name[NOTICE_TEXT_MAX];
    int inBaseline;     // the name fits a baseline value (a longer one only counts as present)
    int matched;        // met in the baseline with this name
} UninstallEntry;

// An uninstall list as it stands, read once per check: one open of each entry.
typedef struct UninstallList {
    int readable;       // 0: there is no such list
    int noMemory;       // the list could not be held whole: nothing may be judged by it
    int count, room;
    UninstallEntry *items;
} UninstallList;

static UninstallEntry *NextEntry(UninstallList *list)
{
    if (list->count == list->room) {
        int room = list->room ? 2 * list->room : 64;
        SIZE_T bytes = (SIZE_T)room * sizeof(UninstallEntry);
        void *grown = list->items ? HeapReAlloc(GetProcessHeap(), 0, list->items, bytes)
                                  : HeapAlloc(GetProcessHeap(), 0, bytes);
        if (!grown)
            return NULL;
        list->items = (UninstallEntry *)grown;
        list->room = room;
    }
    return &list->items[list->count];
}

static void DropUninstallList(UninstallList *list)
{
    if (list->items)
        HeapFree(GetProcessHeap(), 0, list->items);
    memset(list, 0, sizeof(*list));
}

static int ReadUninstallList(const UninstallBaseline *where, UninstallList *list)
{
    memset(list, 0, sizeof(*list));
    HKEY key = NULL;
    if (RegOpenKeyExA(where->root, WINDOWS_UNINSTALL_KEY, 0, KEY_READ | where->view, &key) != ERROR_SUCCESS)
        return 0;
    list->readable = 1;
    for (DWORD i = 0;; i++) {
        UninstallEntry *item = NextEntry(list);
        if (!item) {
            TestLog("MyError:  ReadUninstallList HeapAlloc", where->baselineKey);
            list->noMemory = 1;
            break;
        }
        DWORD entryLen = sizeof(item->entry);
        LONG rc = RegEnumKeyExA(key, i, item->entry, &entryLen, NULL, NULL, NULL, NULL);
        if (rc == ERROR_MORE_DATA || (rc == ERROR_SUCCESS && !item->entry[0]))
            continue;
        if (rc != ERROR_SUCCESS)
            break;
        // The present name is read whole: a name that merely did not fit the
        // baseline's buffer would otherwise be reported as gone on every check.
        char name[REG_TEXT_MAX];
        HKEY entry = NULL;
        int len = 0;
        if (RegOpenKeyExA(key, item->entry, 0, KEY_READ | where->view, &entry) == ERROR_SUCCESS) {
            len = ReadKeyText(entry, "DisplayName", name, CAP(name));
            RegCloseKey(entry);
        }
        if (len <= 0)
            continue;
        item->inBaseline = CopyText(item->name, CAP(item->name), name);
        item->matched = 0;
        list->count++;
    }
    RegCloseKey(key);
    return list->readable && !list->noMemory;
}

// The list's entry of that name, or NULL. The baseline was written in the list's
// own order, so the entry after the last one found is tried first.
static UninstallEntry *FindUninstallEntry(UninstallList *list, const char *entry, int *next)
{
    if (*next < list->count && StrEqualNoCase(list->items[*next].entry, entry) == 0)
        return &list->items[(*next)++];
    for (int i = 0; i < list->count; i++) {
        if (StrEqualNoCase(list->items[i].entry, entry) == 0) {
            *next = i + 1;
            return &list->items[i];
        }
    }
    return NULL;
}

static void TakeUninstallBaseline(const UninstallBaseline *where, const UninstallList *list, int number)
{
    char keyPath[MAX_PATH];
    CopyText(keyPath, CAP(keyPath), where->baselineKey);
    DeleteRegKeyTree(HKEY_CURRENT_USER, keyPath);
    CreateRegKey(HKEY_CURRENT_USER, where->baselineKey);
    for (int i = 0; i < list->count; i++)
        if (list->items[i].inBaseline)
            SetRegString(HKEY_CURRENT_USER, where->baselineKey, list->items[i].entry, list->items[i].name);
    char text[32];
    FormatText(text, CAP(text), "Type = %d", number);
    TestLog("InitUninstallPrograms", text);
}

void InitUninstallPrograms(void)
{
    UninstallBaseline baselines[3];
    int count = GetUninstallBaselines(baselines);
    for (int b = 0; b < count; b++) {
        UninstallList list;
        // A missing list makes an empty baseline; one not held whole makes none.
        ReadUninstallList(&baselines[b], &list);
        if (!list.noMemory)
            TakeUninstallBaseline(&baselines[b], &list, b);
        DropUninstallList(&list);
    }
}

// One walk over a baseline against its list. With notice, the first value whose
// entry has no display name any more leaves the baseline, its remembered name
// goes to notice->name, *found is set and the walk ends. 1 when the baseline holds
// exactly the list's entries with their names: it is then left as it is.
static int CompareUninstallBaseline(const UninstallBaseline *where, UninstallList *list, StartupNotice *notice,
                                    int *found)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, where->baselineKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    int current = list->readable, values = 0, next = 0;
    for (DWORD i = 0;; i++) {
        char entry[NOTICE_TEXT_MAX], displayName[NOTICE_TEXT_MAX];
        int read = EnumTextValue(key, i, entry, displayName);
        if (read == 0)
            break;
        values++;
        UninstallEntry *item = read > 0 && entry[0] ? FindUninstallEntry(list, entry, &next) : NULL;
        if (item) {
            if (item->inBaseline && strcmp(item->name, displayName) == 0)
                item->matched = 1;
            continue;
        }
        current = 0;
        // Without a remembered name there is nothing to tell the user about.
        if (!notice || read < 0 || !entry[0] || !displayName[0])
            continue;
        DeleteRegValue(HKEY_CURRENT_USER, where->baselineKey, entry);
        CopyText(notice->name, CAP(notice->name), displayName);
        *found = 1;
        break;
    }
    RegCloseKey(key);
    int inBaseline = 0;
    for (int k = 0; k < list->count; k++) {
        inBaseline += list->items[k].inBaseline;
        if (list->items[k].inBaseline && !list->items[k].matched)
            current = 0;
    }
    return current && values == inBaseline;
}

int VerifyUninstallPrograms(void)
{
    UninstallBaseline baselines[3];
    UninstallList lists[3];
    int current[3];
    int count = GetUninstallBaselines(baselines);
    StartupNotice notice;
    memset(&notice, 0, sizeof(notice));
    int result = 0, told = 0;
    for (int b = 0; b < count; b++) {
        ReadUninstallList(&baselines[b], &lists[b]);
        // A list that could not be held whole says nothing about what is gone.
        current[b] = lists[b].noMemory;
        if (current[b])
            continue;
        // Only the first disappearance is told; the baselines after it are compared only.
        int found = 0;
        current[b] = CompareUninstallBaseline(&baselines[b], &lists[b], told ? NULL : &notice, &found);
        if (!found)
            continue;
        told = 1;
        TestLog("VerifyUninstallPrograms Missing", notice.name);
        bMsgOpen = 1;
        if (AlertCount != 0)
            result = ANSWER_REJECT;
        else if (StrContains(notice.name, "Microsoft"))
            // Windows updates replace their own entries all the time.
            result = ANSWER_ACCEPT;
        else
            result = (int)DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_MISSINGNOTICE), ghMainWnd,
                                          UninstallDlgProc, (LPARAM)&notice);
        // Whatever the answer: a flag left set would stop every later scan.
        bMsgOpen = 0;
    }
    // Each list is written anew only where it no longer matches the system.
    for (int b = 0; b < count; b++) {
        if (!current[b])
            TakeUninstallBaseline(&baselines[b], &lists[b], b);
        DropUninstallList(&lists[b]);
    }
    return result;
}

// ---------------------------------------------------------------------------
// Notice 194

typedef struct NoticeForm {
    UINT caption, text, hint, check;
    const char *option;     // the watcher's real-time option
    int *optionValue;
    int showPath;
} NoticeForm;

static const NoticeForm MissingRunForm = {1408, 1409, 1410, 1411, "RealtimeMissingRun", &giRealtimeMissingRun, 1};
static const NoticeForm UninstallForm = {1404, 1405, 1406, 1407, "RealtimeUninstall", &giRealtimeUninstall, 0};

static void SetNameText(HWND dialog, int id, const char *text)
{
    HWND control = GetDlgItem(dialog, id);
    if (!control)
        return;
    if (ghFont14Semibold)
        SendMessageA(control, WM_SETFONT, (WPARAM)ghFont14Semibold, FALSE);
    SetWindowTextA(control, text);
}

static BOOL InitNotice(HWND dialog, const NoticeForm *form, const StartupNotice *notice)
{
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)notice);
    BeginAlertDialog(dialog, ALERT_HELP_PAGE);
    char caption[LANG_TEXT_MAX];
    if (GetLangString(form->caption, CAP(caption), caption) > 0)
        SetWindowTextA(dialog, caption);
    SetAlertText(dialog, IDC_NOTICE_TEXT, form->text);
    SetAlertText(dialog, IDC_NOTICE_HINT, form->hint);
    SetNameText(dialog, IDC_NOTICE_NAME, notice ? notice->name : "");
    if (form->showPath)
        SetNameText(dialog, IDC_NOTICE_PATH, notice ? notice->path : "");
    SetAlertText(dialog, IDC_CHECK, form->check);
    CheckDlgButton(dialog, IDC_CHECK, BST_UNCHECKED);
    PlayAlertSound(SOUND_STARTUP);
    PlaceAlert(dialog, FAMILY_DEFAULTWARNING);
    return TRUE;
}

static void CloseNotice(HWND dialog, const NoticeForm *form)
{
    // The user's last word on the watcher: off when ticked, on otherwise; the
    // companion reads the option back through "Update".
    int value = IsDlgButtonChecked(dialog, IDC_CHECK) == BST_CHECKED ? 0 : 1;
    *form->optionValue = value;
    WriteOptionInt(form->option, value);
    EndDialog(dialog, ANSWER_ACCEPT);
}

static INT_PTR NoticeMessage(const NoticeForm *form, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return InitNotice(dialog, form, (const StartupNotice *)lParam);
    case WM_COMMAND:
        // The close box is the same "I have read it" as OK.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            CloseNotice(dialog, form);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        ReleaseAlertDialog(dialog, FAMILY_DEFAULTWARNING);
        return FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK MissingRunDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return NoticeMessage(&MissingRunForm, dialog, message, wParam, lParam);
}

INT_PTR CALLBACK UninstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return NoticeMessage(&UninstallForm, dialog, message, wParam, lParam);
}

// A baseline is taken once per version of the program: the option named by
// marker keeps the version text of the last one taken.
static int HasFirstBaseline(const char *marker)
{
    char text[MARKER_TEXT_MAX];
    return GetRegString(HKEY_CURRENT_USER, OPTIONS_KEY, marker, text, CAP(text)) > 0;
}

void InitStartupNoticeBaselines(void)
{
    if (giRealtimeUninstall) {
        TestLog("Init Missing Uninstall", "OK");
        if (!HasFirstBaseline("MissingUninstall")) {
            InitUninstallPrograms();
            SetRegString(HKEY_CURRENT_USER, OPTIONS_KEY, "MissingUninstall", BRACKMOOR_VERSION);
        }
    }
    if (giRealtimeMissingRun) {
        TestLog("Init Missing Startup Programs", "**");
        if (!HasFirstBaseline("MissingRun")) {
            InitMissingRunPrograms();
            SetRegString(HKEY_CURRENT_USER, OPTIONS_KEY, "MissingRun", BRACKMOOR_VERSION);
        }
    }
}
