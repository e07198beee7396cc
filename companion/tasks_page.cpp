// Running Programs: the running processes as the monitor lists them (one row per
// program), with the startup place that starts each one where there is one.
#include "companion/explorer.h"

#include <string.h>

#include "common/files.h"
#include "common/processes.h"
#include "common/registry.h"
#include "common/runlist.h"
#include "common/text.h"
#include "companion/companion_res.h"
#include "companion/list_table.h"
#include "startup/startup_scan.h"

enum { COLUMN_NAME, COLUMN_PATH, COLUMN_PID, COLUMN_COMPANY, COLUMN_STARTUP, COLUMNS };

#define NUMBER_TEXT_MAX 16
#define MESSAGE_MAX 512
#define LOCATION_TEXT_MAX 96
#define STARTUP_TEXT_MAX (RUN_NAME_MAX + LOCATION_TEXT_MAX)

// The page's lists (GetPageLists).
enum { LIST_TASKS, LIST_STARTUP };

// The first startup entry that starts the program, by its place and name; ""
// when none does.
static void StartedBy(const RunList *startup, const char *program, char *out, size_t cap)
{
    out[0] = '\0';
    for (int i = 0; i < startup->count; i++) {
        char path[MAX_PATH], started[MAX_PATH], name[RUN_NAME_MAX], place[LOCATION_TEXT_MAX];
        GetRunPath(startup, i, path);
        if (NormaliseProgramPath(path, started) > 0 && StrEqualNoCase(started, program) == 0) {
            GetRunName(startup, i, name);
            StartupLocationName(GetRunCode(startup, i), place, CAP(place));
            FormatText(out, cap, "%s: %s", place, name[0] ? name : "(no name)");
            return;
        }
    }
}

static void FillTasksPage(HWND page)
{
    PageLists *lists = GetPageLists(page);
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), 0, sizeof(VersionRecord));
    TableBeginFill(page);
    if (lists && version) {
        RunList *tasks = lists->list[LIST_TASKS];
        ListRunningTasks(tasks);
        StartupScan(lists->list[LIST_STARTUP], 0);
        for (int i = 0; i < tasks->count; i++) {
            char name[RUN_NAME_MAX], path[MAX_PATH], program[MAX_PATH], pid[NUMBER_TEXT_MAX];
            char startedBy[STARTUP_TEXT_MAX];
            GetRunName(tasks, i, name);
            GetRunPath(tasks, i, path);
            if (!name[0])
                FileTitleOf(path, name, CAP(name));
            FormatText(pid, CAP(pid), "%d", GetRunExtra(tasks, i));
            memset(version, 0, sizeof(*version));
            GetVersionInfo(path, version);
            if (NormaliseProgramPath(path, program) <= 0)
                CopyText(program, CAP(program), path);
            StartedBy(lists->list[LIST_STARTUP], program, startedBy, CAP(startedBy));
            const char *cells[COLUMNS] = {name, path, pid, version->CompanyName, startedBy};
            TableAddRow(page, cells, TableProgramIcon(path), i);
        }
    }
    HeapFree(GetProcessHeap(), 0, version);
    TableEndFill(page);
}

static int SelectedTask(HWND page, char *name, char *path, DWORD *pid)
{
    PageLists *lists = GetPageLists(page);
    LPARAM row = 0;
    if (!lists || TableSelection(page, &row, 1) != 1 || row < 0 || row >= lists->list[LIST_TASKS]->count)
        return 0;
    GetRunName(lists->list[LIST_TASKS], (int)row, name);
    GetRunPath(lists->list[LIST_TASKS], (int)row, path);
    *pid = (DWORD)GetRunExtra(lists->list[LIST_TASKS], (int)row);
    return 1;
}

static void TasksSelectionChanged(HWND page)
{
    int one = TableSelectedCount(page) == 1;
    TableEnableAction(page, IDC_TASK_END, one);
    TableEnableAction(page, IDC_TASK_FOLDER, one);
    TableEnableAction(page, IDC_TASK_PROPERTIES, one);
    TableEnableAction(page, IDC_TASK_INFO, one);
}

static int IsRunning(DWORD pid)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process)
        return 0;
    int running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

// The monitor's own way of ending a program: its process, or its service when
// the service manager would only start it again; the history keeps the line.
static void EndTask(HWND page)
{
    char name[RUN_NAME_MAX], path[MAX_PATH], question[MESSAGE_MAX];
    DWORD pid = 0;
    if (!SelectedTask(page, name, path, &pid))
        return;
    FormatText(question, CAP(question),
               "End %s?\n\n%s\n\nWork not saved in the program is lost.", name[0] ? name : "this program", path);
    if (!AskUser(page, question))
        return;
    // The reason a refusal would have: asked of the process itself before the monitor's routine acts.
    DWORD error = ERROR_SUCCESS;
    HANDLE probe = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    if (probe)
        CloseHandle(probe);
    else
        error = GetLastError();
    KillStartupTask(name, path);
    if (IsRunning(pid)) {
        FormatText(question, CAP(question), "%s could not be ended.", name[0] ? name : path);
        ShowActionFailure(page, question, error != ERROR_SUCCESS ? error : ERROR_ACCESS_DENIED);
    }
    TableRefresh(page);
}

static void RunOnSelected(HWND page, int id)
{
    char name[RUN_NAME_MAX], path[MAX_PATH];
    DWORD pid = 0;
    if (!SelectedTask(page, name, path, &pid))
        return;
    if (id == IDC_TASK_FOLDER)
        OpenProgramFolder(page, path);
    else if (id == IDC_TASK_PROPERTIES)
        ShowProgramProperties(page, path);
    else
        ShowOnlineInformation(page, name, path, CODE_INFO_TASK);
}

static const TableColumn TaskColumns[COLUMNS] = {
    {"Name", 90, SORT_TEXT},    {"Path", 160, SORT_TEXT},          {"Process id", 44, SORT_NUMBER},
    {"Company", 76, SORT_TEXT}, {"Started by", 80, SORT_TEXT},
};
static const int TaskActions[] = {IDC_TASK_END, IDC_TASK_FOLDER, IDC_TASK_PROPERTIES, IDC_TASK_INFO};
static const TablePageDef TasksPage = {
    TaskColumns, COLUMNS, TaskActions, (int)(sizeof(TaskActions) / sizeof(TaskActions[0])),
    IDC_TASK_PROPERTIES, IDC_TASK_END, COLUMN_NAME, 0, 1, "Running programs",
    FillTasksPage, TasksSelectionChanged, ReleasePageLists,
};

INT_PTR CALLBACK TasksPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR result;
    if (TablePageMessage(page, &TasksPage, message, wParam, lParam, &result))
        return result;
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_TASK_END:
        EndTask(page);
        return TRUE;
    case IDC_TASK_FOLDER:
    case IDC_TASK_PROPERTIES:
    case IDC_TASK_INFO:
        RunOnSelected(page, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}
