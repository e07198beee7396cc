// Startup Programs: every entry of every startup location as the monitor's own
// scan finds it (the disabled ones among them, from the Disabled store), and the
// programs moved to the delayed-start list. Every change goes through the
// monitor's routines: the disable toggle, the removal by location kind, and the
// delayed-start list the monitor's timer reads.
#include "companion/explorer.h"

#include <string.h>

#include "common/files.h"
#include "common/history.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/runlist.h"
#include "common/signature.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "companion/companion_res.h"
#include "companion/delay_list.h"
#include "companion/list_table.h"
#include "startup/delayed_start.h"
#include "startup/entry_command.h"
#include "startup/locations.h"
#include "startup/startup_actions.h"
#include "startup/startup_scan.h"

enum {
    COLUMN_NAME, COLUMN_COMMAND, COLUMN_LOCATION, COLUMN_STATE, COLUMN_COMPANY, COLUMN_VERSION, COLUMN_SIGNATURE, COLUMNS
};
enum { STATE_ENABLED, STATE_DISABLED, STATE_DELAYED };

static const char *const StateNames[] = {"Enabled", "Disabled", "Delayed"};

// Row data: the index into the scan, or into the delayed list with this bit set.
#define DELAYED_ROW 0x100000
#define SELECTION_MAX 256
#define FIRST_DELAY_TIME 60
#define MESSAGE_MAX 512
#define LOCATION_TEXT_MAX 96
#define CODE_TEXT_MAX 16

// The page's lists (GetPageLists).
enum { LIST_SCAN, LIST_DELAYED };
typedef struct StartupPageData {
    RunList *scan;          // the full startup scan, the Disabled store's copies among it
    RunList *delayed;       // the delayed-start list
} StartupPageData;

// One entry as the actions need it.
typedef struct Entry {
    char name[RUN_NAME_MAX];
    char path[MAX_PATH];
    char sourcePath[MAX_PATH];
    char command[REG_TEXT_MAX];
    int code;
    int state;
    int row;                // its index in the scan or the delayed list
} Entry;

// The page's lists under their names; false when memory is short.
static int PageData(HWND page, StartupPageData *data)
{
    PageLists *lists = GetPageLists(page);
    if (!lists)
        return 0;
    data->scan = lists->list[LIST_SCAN];
    data->delayed = lists->list[LIST_DELAYED];
    return 1;
}

// ---------------------------------------------------------------------------
// The rows

static void AddEntryRow(HWND page, const RunList *list, int i, int state, VersionRecord *version, LPARAM rowData)
{
    char name[RUN_NAME_MAX], path[MAX_PATH], program[MAX_PATH], location[LOCATION_TEXT_MAX];
    GetRunName(list, i, name);
    GetRunPath(list, i, path);
    StartupLocationName(GetRunCode(list, i), location, CAP(location));
    if (ExtractProgramPath(path, program) <= 0)
        CopyText(program, CAP(program), path);
    memset(version, 0, sizeof(*version));
    GetVersionInfo(program, version);
    FileFact fact;
    char signature[LANG_TEXT_MAX];
    CheckProgramSignature(path, &fact);
    FormatSignatureCell(&fact, signature, CAP(signature));
    const char *cells[COLUMNS] = {name, path, location, StateNames[state], version->CompanyName,
                                  version->ProductVersion, signature};
    TableAddRow(page, cells, TableProgramIcon(program), rowData);
}

static void FillStartupPage(HWND page)
{
    StartupPageData lists;
    StartupPageData *data = PageData(page, &lists) ? &lists : NULL;
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), 0, sizeof(VersionRecord));
    TableBeginFill(page);
    // Each fill may spend one pass's time on signatures not known yet; the rest show
    // as not checked until the page is read again.
    BeginSignaturePass();
    if (data && version) {
        StartupScan(data->scan, 0);
        ReadDelayList(data->delayed);
        for (int i = 0; i < data->scan->count; i++)
            AddEntryRow(page, data->scan, i, IsStoredCopy(data->scan, i) ? STATE_DISABLED : STATE_ENABLED, version, i);
        for (int i = 0; i < data->delayed->count; i++)
            AddEntryRow(page, data->delayed, i, STATE_DELAYED, version, DELAYED_ROW | i);
    } else {
        TestLog("MyError:  FillStartupPage HeapAlloc", "no memory for the startup lists");
    }
    HeapFree(GetProcessHeap(), 0, version);
    TableEndFill(page);
}

// withCommand: the entry's text as it stands is read too (the actions need it,
// the buttons' state does not).
static int LoadEntry(const StartupPageData *data, LPARAM rowData, Entry *entry, int withCommand)
{
    memset(entry, 0, sizeof(*entry));
    const RunList *list = (rowData & DELAYED_ROW) ? data->delayed : data->scan;
    entry->row = (int)(rowData & ~DELAYED_ROW);
    if (entry->row < 0 || entry->row >= list->count)
        return 0;
    GetRunName(list, entry->row, entry->name);
    GetRunPath(list, entry->row, entry->path);
    GetRunSourcePath(list, entry->row, entry->sourcePath);
    entry->code = GetRunCode(list, entry->row);
    if (rowData & DELAYED_ROW) {
        entry->state = STATE_DELAYED;
        CopyText(entry->command, CAP(entry->command), entry->path);
    } else {
        entry->state = IsStoredCopy(data->scan, entry->row) ? STATE_DISABLED : STATE_ENABLED;
        if (withCommand)
            ReadRunEntryCommand(data->scan, entry->row, entry->command, CAP(entry->command));
    }
    return 1;
}

// The selected entries, at most max; their number.
static int SelectedEntries(HWND page, Entry *entries, int max, int withCommand = 1)
{
    StartupPageData lists;
    StartupPageData *data = PageData(page, &lists) ? &lists : NULL;
    LPARAM rows[SELECTION_MAX];
    int count = TableSelection(page, rows, max < SELECTION_MAX ? max : SELECTION_MAX);
    int loaded = 0;
    for (int k = 0; data && k < count; k++)
        loaded += LoadEntry(data, rows[k], &entries[loaded], withCommand);
    return loaded;
}

// The kinds whose disabled entries the scan lists again from the Disabled store,
// so that the user finds them here to enable.
static int CanBeDisabled(int code)
{
    const StartupLocation *location = FindStartupLocation(code);
    return RunFamilyDigit(code) || code == CODE_WIN_LOAD || code == CODE_WIN_RUN || code == CODE_GROUP_STARTUP ||
           (location && location->kind == LOCATION_PLACE && location->storeKey);
}

static int CanBeDelayed(int code)
{
    const StartupLocation *location = FindStartupLocation(code);
    return location && (location->kind == LOCATION_RUN_KEY || location->kind == LOCATION_WIN_INI ||
                        location->kind == LOCATION_FOLDER);
}

static void StartupSelectionChanged(HWND page)
{
    Entry *entries = (Entry *)HeapAlloc(GetProcessHeap(), 0, SELECTION_MAX * sizeof(Entry));
    int count = entries ? SelectedEntries(page, entries, SELECTION_MAX, 0) : 0;
    int enabled = 0, disabled = 0, delayable = 0;
    for (int k = 0; k < count; k++) {
        enabled += entries[k].state == STATE_ENABLED && CanBeDisabled(entries[k].code);
        disabled += entries[k].state != STATE_ENABLED;
        delayable += entries[k].state == STATE_ENABLED && CanBeDelayed(entries[k].code);
    }
    HeapFree(GetProcessHeap(), 0, entries);
    TableEnableAction(page, IDC_START_DISABLE, enabled > 0);
    TableEnableAction(page, IDC_START_ENABLE, disabled > 0);
    TableEnableAction(page, IDC_START_DELETE, count > 0);
    TableEnableAction(page, IDC_START_DELAY, count == 1 && delayable == 1);
    TableEnableAction(page, IDC_START_FOLDER, count == 1);
    TableEnableAction(page, IDC_START_PROPERTIES, count == 1);
    TableEnableAction(page, IDC_START_INFO, count == 1);
}

// ---------------------------------------------------------------------------
// What a change needs before it begins

static DWORD CheckFileMovable(const char *file)
{
    HANDLE handle = CreateFileA(file, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError();
    CloseHandle(handle);
    return ERROR_SUCCESS;
}

// The error that would stop a change of the entry in its location (and, for a
// disable or restore, in the Disabled store): asked first, so that a change the
// system refuses is not begun. The win.ini lists and Notify keys have their own
// checks in the monitor's routines.
static DWORD CheckEntryWritable(const Entry *entry, int store)
{
    const StartupLocation *location = FindStartupLocation(entry->code);
    if (!location)
        return ERROR_SUCCESS;
    DWORD error = ERROR_SUCCESS;
    if (location->kind == LOCATION_FOLDER) {
        char disabled[MAX_PATH];
        const char *file = entry->sourcePath[0] ? entry->sourcePath : entry->path;
        error = CheckFileMovable(file);
        if (error == ERROR_SUCCESS && store && GetDisabledFolder(disabled, 1) <= 0)
            error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_PATH_NOT_FOUND;
    } else if (location->root) {
        error = CheckKeyWritable(location->root, location->keyPath, MachineView());
    }
    if (error == ERROR_SUCCESS && (store || entry->state == STATE_DISABLED) && location->storeKey)
        error = CheckKeyWritable(HKEY_LOCAL_MACHINE, location->storeKey, 0);
    if (error == ERROR_SUCCESS && (store || entry->state == STATE_DISABLED))
        error = CheckKeyWritable(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY, 0);
    return error;
}

static void EntryFailure(HWND page, const char *format, const Entry *entry, DWORD error)
{
    char text[MESSAGE_MAX];
    FormatText(text, CAP(text), format, entry->name[0] ? entry->name : entry->path);
    ShowActionFailure(page, text, error);
}

// ---------------------------------------------------------------------------
// Disable, enable, delete

// The Disabled store keeps one copy per name: an entry whose name is disabled
// from another place cannot be disabled beside it. Told before anything is tried.
static int NameTakenInStore(HWND page, const Entry *entry)
{
    if (entry->state != STATE_ENABLED || !entry->name[0] || !GetDisabledMarkerCode(entry->name))
        return 0;
    EntryFailure(page, "%s was not disabled: another disabled entry has the same name.", entry, ERROR_SUCCESS);
    return 1;
}

// The monitor's toggle takes an enabled entry into the Disabled store exactly as
// it stands and puts a disabled one back as it was, the baseline knowing it.
static void ToggleEntry(HWND page, const Entry *entry, int disable)
{
    if (disable && NameTakenInStore(page, entry))
        return;
    DWORD error = CheckEntryWritable(entry, 1);
    if (error == ERROR_SUCCESS && DisableRunProgram(entry->name, entry->command, entry->sourcePath, entry->code))
        return;
    EntryFailure(page,
                 disable ? "%s could not be disabled; it stays as it is." : "%s could not be enabled; it stays disabled.",
                 entry, error);
}

static void ToggleSelected(HWND page, int disable)
{
    Entry *entries = (Entry *)HeapAlloc(GetProcessHeap(), 0, SELECTION_MAX * sizeof(Entry));
    if (!entries)
        return;
    int count = SelectedEntries(page, entries, SELECTION_MAX);
    for (int k = 0; k < count; k++) {
        const Entry *entry = &entries[k];
        if (disable && entry->state == STATE_ENABLED && CanBeDisabled(entry->code)) {
            ToggleEntry(page, entry, 1);
        } else if (!disable && entry->state == STATE_DISABLED) {
            ToggleEntry(page, entry, 0);
        } else if (!disable && entry->state == STATE_DELAYED) {
            DelayedProgram program;
            LoadDelayedProgram(GetPageLists(page)->list[LIST_DELAYED], entry->row, &program);
            DWORD error = MoveBackToStartup(&program);
            if (error != ERROR_SUCCESS)
                EntryFailure(page, "%s could not be moved back to the startup programs.", entry, error);
        }
    }
    TableRefresh(page);
    HeapFree(GetProcessHeap(), 0, entries);
}

static void RemoveEntry(HWND page, const Entry *entry)
{
    if (entry->state == STATE_DELAYED) {
        DelayedProgram program;
        LoadDelayedProgram(GetPageLists(page)->list[LIST_DELAYED], entry->row, &program);
        DWORD error = RemoveFromDelayList(&program);
        if (error != ERROR_SUCCESS)
            EntryFailure(page, "%s could not be taken off the delayed-start list.", entry, error);
        return;
    }
    DWORD error = CheckEntryWritable(entry, 0);
    // The entry's own text, so that the removal hits what stands in its place.
    if (error != ERROR_SUCCESS || !DeleteRunProgram(entry->code, entry->name, entry->command, entry->sourcePath)) {
        EntryFailure(page, "%s could not be deleted; it stays as it is.", entry, error);
        return;
    }
    // The baseline forgets the path as well, so that a program that puts the
    // entry back is asked about again.
    char key[MAX_PATH];
    BaselineValueName(entry->path, key);
    DeleteRegValue(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key);
}

static void DeleteSelected(HWND page)
{
    Entry *entries = (Entry *)HeapAlloc(GetProcessHeap(), 0, SELECTION_MAX * sizeof(Entry));
    int count = entries ? SelectedEntries(page, entries, SELECTION_MAX) : 0;
    char question[MESSAGE_MAX];
    if (count == 1)
        FormatText(question, CAP(question),
                   "Delete %s from the startup programs?\n\n%s\n\nThe entry is removed from its place for good; "
                   "Disable keeps it to be enabled later.",
                   entries[0].name[0] ? entries[0].name : "this entry", entries[0].path);
    else
        FormatText(question, CAP(question),
                   "Delete the %d selected entries from the startup programs?\n\nThey are removed from their "
                   "places for good; Disable keeps them to be enabled later.",
                   count);
    if (count > 0 && AskUser(page, question)) {
        for (int k = 0; k < count; k++)
            RemoveEntry(page, &entries[k]);
        TableRefresh(page);
    }
    HeapFree(GetProcessHeap(), 0, entries);
}

// ---------------------------------------------------------------------------
// Delay

// The program and its arguments as the delayed-start list keeps them, spelt as
// the entry spells them.
static void SplitCommand(const Entry *entry, int rundll, DelayedProgram *program)
{
    program->code = rundll ? -entry->code : entry->code;
    const char *command = entry->command;
    const char *rest = "";
    char found[MAX_PATH];
    if (rundll) {
        // The list keeps what follows RUNDLL32.EXE; its negative code puts the prefix back.
        const char *blank = strchr(entry->path, ' ');
        CopyText(program->program, CAP(program->program), blank ? blank + 1 : entry->path);
        return;
    }
    if (entry->code == CODE_GROUP_STARTUP) {
        CopyText(program->program, CAP(program->program), entry->path);
        return;
    }
    if (command[0] == '"') {
        const char *close = strchr(command + 1, '"');
        CopyTextN(program->program, CAP(program->program), command + 1,
                  close ? (size_t)(close - command - 1) : strlen(command + 1));
        rest = close ? close + 1 : "";
    } else {
        size_t len = (size_t)ExtractProgramPath(command, found);
        char head[MAX_PATH];
        CopyTextN(head, CAP(head), command, len);
        if (len > 0 && StrEqualNoCase(head, found) == 0) {
            CopyText(program->program, CAP(program->program), head);
            rest = command + len;
        } else {
            CopyText(program->program, CAP(program->program), command);
        }
    }
    while (*rest == ' ')
        rest++;
    CopyText(program->parameters, CAP(program->parameters), rest);
}

// Takes the entry out of its location onto the delayed-start list: the list is
// written first, then the baseline marks the path as delayed (so that the entry's
// return is told as such), and last the monitor's removal takes it out.
static void DelaySelected(HWND page)
{
    Entry entry;
    if (SelectedEntries(page, &entry, 1) != 1 || entry.state != STATE_ENABLED || !CanBeDelayed(entry.code))
        return;
    DelayedProgram program;
    memset(&program, 0, sizeof(program));
    SplitCommand(&entry, GetRunExtra(GetPageLists(page)->list[LIST_SCAN], entry.row) == 1, &program);
    CopyText(program.title, CAP(program.title), entry.name);
    if (entry.code == CODE_GROUP_STARTUP)
        CopyText(program.shortcut, CAP(program.shortcut), entry.sourcePath);
    program.time = FIRST_DELAY_TIME;
    if (!EditDelayedProgram(page, &program))
        return;

    char key[MAX_PATH], before[CODE_TEXT_MAX] = "";
    BaselineValueName(entry.path, key);
    DWORD error = CheckEntryWritable(&entry, 0);
    if (error == ERROR_SUCCESS)
        error = CheckKeyWritable(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, 0);
    if (error == ERROR_SUCCESS)
        error = WriteDelayedProgram(&program);
    if (error != ERROR_SUCCESS) {
        EntryFailure(page, "%s could not be moved to the delayed-start list.", &entry, error);
        return;
    }
    char marker[CODE_TEXT_MAX];
    FormatText(marker, CAP(marker), "%d", DELAYED_MARKER);
    int known = GetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, before, CAP(before)) > 0;
    SetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, marker);
    if (DeleteRunProgram(entry.code, entry.name, entry.command, entry.sourcePath)) {
        // The removal forgets the path's baseline value with the entry; it stays
        // marked as delayed.
        SetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, marker);
    } else {
        REGSAM view = 0;
        RemoveDelayedProgram(program.program, DelayRootOfCode(program.code, &view));
        if (known)
            SetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, before);
        else
            DeleteRegValue(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key);
        EntryFailure(page, "%s could not be taken out of its startup place; it stays there.", &entry,
                     ERROR_SUCCESS);
    }
    TableRefresh(page);
}

// ---------------------------------------------------------------------------
// The page

static void RunOnSelected(HWND page, int id)
{
    Entry entry;
    if (SelectedEntries(page, &entry, 1) != 1)
        return;
    if (id == IDC_START_FOLDER)
        OpenProgramFolder(page, entry.path);
    else if (id == IDC_START_PROPERTIES)
        ShowProgramProperties(page, entry.path);
    else
        ShowOnlineInformation(page, entry.name, entry.path, entry.code);
}

static const TableColumn StartupColumns[COLUMNS] = {
    {"Name", 80, SORT_TEXT},     {"Command", 150, SORT_TEXT}, {"Location", 70, SORT_TEXT},
    {"State", 36, SORT_TEXT},    {"Company", 76, SORT_TEXT},  {"Version", 44, SORT_TEXT},
    {"Signature", 90, SORT_TEXT},
};
static const int StartupActions[] = {IDC_START_DISABLE, IDC_START_ENABLE, IDC_START_DELETE, IDC_START_DELAY,
                                     IDC_START_FOLDER,  IDC_START_PROPERTIES, IDC_START_INFO};
static const TablePageDef StartupPage = {
    StartupColumns, COLUMNS, StartupActions, (int)(sizeof(StartupActions) / sizeof(StartupActions[0])),
    IDC_START_PROPERTIES, IDC_START_DELETE, COLUMN_NAME, 0, 1, "Startup entries",
    FillStartupPage, StartupSelectionChanged, ReleasePageLists,
};

INT_PTR CALLBACK StartupPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR result;
    if (TablePageMessage(page, &StartupPage, message, wParam, lParam, &result))
        return result;
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_START_DISABLE:
    case IDC_START_ENABLE:
        ToggleSelected(page, LOWORD(wParam) == IDC_START_DISABLE);
        return TRUE;
    case IDC_START_DELETE:
        DeleteSelected(page);
        return TRUE;
    case IDC_START_DELAY:
        DelaySelected(page);
        return TRUE;
    case IDC_START_FOLDER:
    case IDC_START_PROPERTIES:
    case IDC_START_INFO:
        RunOnSelected(page, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}
