// The scheduled tasks watcher: the scheduler started and stopped around the
// monitor's own use, its work items listed and deleted through the version 1.0
// interface, the baseline of known tasks and the step of the scan pass.
#include "watchers/tasks.h"

#include <objbase.h>
#include <mstask.h>
#include <string.h>

#include "common/detection.h"
#include "common/files.h"
#include "common/history.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/winver.h"
#include "online/server_reports.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "watchers/baseline_codes.h"

int bSchedulerStartedByUs;

#define TIP_TASKS 823
#define SCHEDULER_SERVICE "Schedule"
// Windows 9x: the scheduling agent's window, and its program.
#define AGENT_CLASS "SAGEWINDOWCLASS"
#define AGENT_TITLE "SYSTEM AGENT COM WINDOW"
#define AGENT_PROGRAM "mstask.exe"
#define BATCH_SIZE 5
#define JOB_EXTENSION L".job"
#define JOB_EXTENSION_LEN 4
#define WORK_ITEM_NAME_MAX 1024
// A scheduler we started answers once it runs; it is given this long.
#define START_WAIT_MS 5000
#define START_POLL_MS 50
// The scheduler may still hold a task file that was just written.
#define DELETE_TRIES 20
#define DELETE_RETRY_MS 100

const CLSID ClsidTaskScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const CLSID ClsidTask = {0x148BD520, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const IID IidTaskScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const IID IidTask = {0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};

static DWORD LastErrorOr(DWORD fallback)
{
    DWORD error = GetLastError();
    return error ? error : fallback;
}

static int StartAgent9x(void)
{
    if (FindWindowA(AGENT_CLASS, AGENT_TITLE))
        return 0;
    char path[MAX_PATH];
    char *file = NULL;
    DWORD n = SearchPathA(NULL, AGENT_PROGRAM, NULL, MAX_PATH, path, &file);
    if (n == 0 || n >= MAX_PATH)
        return (int)LastErrorOr(ERROR_FILE_NOT_FOUND);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (!CreateProcessA(path, NULL, NULL, NULL, FALSE, CREATE_NEW_CONSOLE | CREATE_NEW_PROCESS_GROUP, NULL, NULL,
                        &startup, &process))
        return (int)LastErrorOr(ERROR_GEN_FAILURE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    bSchedulerStartedByUs = 1;
    return 0;
}

static SC_HANDLE OpenScheduler(DWORD access)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (!manager)
        return NULL;
    SC_HANDLE service = OpenServiceA(manager, SCHEDULER_SERVICE, access);
    DWORD error = GetLastError();
    CloseServiceHandle(manager);
    SetLastError(error);
    return service;
}

static DWORD SchedulerState(SC_HANDLE service)
{
    SERVICE_STATUS status;
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

int StartTaskScheduler(void)
{
    bSchedulerStartedByUs = 0;
    if (!IsNTPlatform())
        return StartAgent9x();
    SC_HANDLE service = OpenScheduler(SERVICE_QUERY_STATUS | SERVICE_START);
    if (!service)
        return (int)LastErrorOr(ERROR_SERVICE_DOES_NOT_EXIST);
    int result = 0;
    DWORD state = SchedulerState(service);
    if (state == 0) {
        result = (int)LastErrorOr(ERROR_GEN_FAILURE);
    } else if (state != SERVICE_RUNNING) {
        if (StartServiceA(service, 0, NULL)) {
            bSchedulerStartedByUs = 1;
        } else if (GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
            result = (int)LastErrorOr(ERROR_GEN_FAILURE);
        }
        // The scheduler's interface answers only once the service runs.
        for (DWORD waited = 0; result == 0 && SchedulerState(service) != SERVICE_RUNNING && waited < START_WAIT_MS;
             waited += START_POLL_MS)
            Sleep(START_POLL_MS);
    }
    CloseServiceHandle(service);
    return result;
}

int IsTaskSchedulerRunning(void)
{
    if (!IsNTPlatform())
        return FindWindowA(AGENT_CLASS, AGENT_TITLE) != NULL;
    // Asking for the state needs no more right than that: a user who may not
    // start services still has the watcher.
    SC_HANDLE service = OpenScheduler(SERVICE_QUERY_STATUS);
    if (!service)
        return 0;
    int running = SchedulerState(service) == SERVICE_RUNNING;
    CloseServiceHandle(service);
    return running;
}

static void StopAgent9x(void)
{
    HWND agent = FindWindowA(AGENT_CLASS, AGENT_TITLE);
    if (agent) {
        DWORD pid = 0;
        GetWindowThreadProcessId(agent, &pid);
        HANDLE process = pid ? OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid) : NULL;
        if (process) {
            DWORD code = 0;
            GetExitCodeProcess(process, &code);
            if (!TerminateProcess(process, code))
                TraceLastError("MyError:  StopTaskScheduler TerminateProcess");
            CloseHandle(process);
        }
    }
    // The notification area keeps the agent's icon until it repaints.
    HWND tray = FindWindowA("Shell_TrayWnd", "");
    if (tray)
        InvalidateRect(tray, NULL, TRUE);
}

void StopTaskScheduler(void)
{
    bSchedulerStartedByUs = 0;
    if (!IsNTPlatform()) {
        StopAgent9x();
        return;
    }
    SC_HANDLE service = OpenScheduler(SERVICE_QUERY_STATUS | SERVICE_STOP);
    if (!service)
        return;
    SERVICE_STATUS status;
    if (SchedulerState(service) == SERVICE_RUNNING && !ControlService(service, SERVICE_CONTROL_STOP, &status))
        TraceLastError("MyError:  StopTaskScheduler ControlService");
    CloseServiceHandle(service);
}

// One use of the scheduler's interface: the scheduler running, COM initialised on
// this thread and the scheduler object made. Every way out goes through CloseSession.
typedef struct SchedulerSession {
    ITaskScheduler *scheduler;
    int uninitialise;               // CoInitialize succeeded and is to be balanced
} SchedulerSession;

static void CloseSession(SchedulerSession *session)
{
    if (session->scheduler)
        session->scheduler->Release();
    session->scheduler = NULL;
    if (session->uninitialise)
        CoUninitialize();
    session->uninitialise = 0;
    if (bSchedulerStartedByUs)
        StopTaskScheduler();
}

static int OpenSession(SchedulerSession *session, const char *tag)
{
    memset(session, 0, sizeof(*session));
    int error = StartTaskScheduler();
    if (error != 0) {
        SetLastError((DWORD)error);
        TraceLastError(tag);
        return 0;
    }
    session->uninitialise = SUCCEEDED(CoInitialize(NULL));
    HRESULT hr = CoCreateInstance(ClsidTaskScheduler, NULL, CLSCTX_INPROC_SERVER, IidTaskScheduler,
                                  (void **)&session->scheduler);
    if (FAILED(hr)) {
        char text[512];
        FormatSystemError((DWORD)hr, text, CAP(text));
        TestLog(tag, text);
        session->scheduler = NULL;
        CloseSession(session);
        return 0;
    }
    return 1;
}

// The name Activate and Delete take: the listed name without ".job", which Windows
// accepts as well and some schedulers require.
static void WorkItemOf(const WCHAR *listed, WCHAR *out)
{
    lstrcpynW(out, listed, WORK_ITEM_NAME_MAX);
    int len = lstrlenW(out);
    if (len > JOB_EXTENSION_LEN && lstrcmpiW(out + len - JOB_EXTENSION_LEN, JOB_EXTENSION) == 0)
        out[len - JOB_EXTENSION_LEN] = L'\0';
}

static void ToAnsi(const WCHAR *text, char *out, size_t cap)
{
    char ansi[WORK_ITEM_NAME_MAX];
    if (!text || !WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof(ansi), NULL, NULL))
        ansi[0] = '\0';
    ansi[sizeof(ansi) - 1] = '\0';
    CopyText(out, cap, ansi);
}

// Each work item of the scheduler, in batches of five taken from the last to the
// first, with its name as the scheduler lists it and in ANSI (cut to a run
// record's name). The visitor answers non-zero to stop; every name and batch the
// scheduler hands out is freed here.
typedef int (*WorkItemVisitor)(ITaskScheduler *scheduler, const WCHAR *name, const char *ansiName, void *context);

static void ForEachWorkItem(ITaskScheduler *scheduler, WorkItemVisitor visit, void *context)
{
    IEnumWorkItems *items = NULL;
    if (FAILED(scheduler->Enum(&items)) || !items)
        return;
    int stop = 0;
    for (;;) {
        LPWSTR *names = NULL;
        ULONG fetched = 0;
        HRESULT hr = items->Next(BATCH_SIZE, &names, &fetched);
        if (FAILED(hr) || fetched == 0 || !names) {
            if (names)
                CoTaskMemFree(names);
            break;
        }
        for (ULONG k = fetched; k-- > 0;) {
            if (!stop) {
                char ansi[RUN_NAME_MAX];
                ToAnsi(names[k], ansi, CAP(ansi));
                stop = visit(scheduler, names[k], ansi, context);
            }
            CoTaskMemFree(names[k]);
        }
        CoTaskMemFree(names);
        if (stop)
            break;
    }
    items->Release();
}

static void RunTimeText(HRESULT hr, const SYSTEMTIME *time, char *out)
{
    SYSTEMTIME never;
    memset(&never, 0, sizeof(never));
    // Anything but a time (no run yet, no trigger) reads as "Never".
    FormatHistoryTime(hr == S_OK ? *time : never, out, RUN_PATH_MAX);
}

static int ListWorkItem(ITaskScheduler *scheduler, const WCHAR *name, const char *ansiName, void *context)
{
    RunList *list = (RunList *)context;
    WCHAR item[WORK_ITEM_NAME_MAX];
    WorkItemOf(name, item);
    ITask *task = NULL;
    // A work item that cannot be activated (a damaged task file) is left out.
    if (FAILED(scheduler->Activate(item, IidTask, (IUnknown **)&task)) || !task) {
        TestLog("GetScheduledTasks Activate failed, left out", ansiName);
        return 0;
    }
    char path[MAX_PATH] = "", lastRun[RUN_PATH_MAX], nextRun[RUN_PATH_MAX];
    LPWSTR application = NULL;
    if (SUCCEEDED(task->GetApplicationName(&application)) && application)
        ToAnsi(application, path, CAP(path));
    if (application)
        CoTaskMemFree(application);
    SYSTEMTIME time;
    memset(&time, 0, sizeof(time));
    RunTimeText(task->GetMostRecentRunTime(&time), &time, lastRun);
    memset(&time, 0, sizeof(time));
    RunTimeText(task->GetNextRunTime(&time), &time, nextRun);
    task->Release();
    AddRunStruct(list, ansiName, path, nextRun, lastRun, CODE_TASK_SCHEDULED, 0);
    return 0;
}

int GetScheduledTasks(RunList *list)
{
    if (!list)
        return 0;
    FreeRunList(list);
    SchedulerSession session;
    if (!OpenSession(&session, "MyError:  GetScheduledTasks"))
        return 0;
    ForEachWorkItem(session.scheduler, ListWorkItem, list);
    CloseSession(&session);
    return list->count;
}

typedef struct DeleteSearch {
    const char *name;
    int deleted;
} DeleteSearch;

static int DeleteIfNamed(ITaskScheduler *scheduler, const WCHAR *name, const char *ansiName, void *context)
{
    DeleteSearch *search = (DeleteSearch *)context;
    if (StrEqualNoCase(ansiName, search->name) != 0)
        return 0;
    WCHAR item[WORK_ITEM_NAME_MAX];
    WorkItemOf(name, item);
    HRESULT hr = scheduler->Delete(item);
    for (int tries = 1; hr == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) && tries < DELETE_TRIES; tries++) {
        Sleep(DELETE_RETRY_MS);
        hr = scheduler->Delete(item);
    }
    if (FAILED(hr)) {
        char text[512];
        FormatSystemError((DWORD)hr, text, CAP(text));
        TestLog("MyError:  DeleteScheduledTask", text);
    } else {
        search->deleted = 1;
    }
    return 1;
}

int DeleteScheduledTask(const char *name)
{
    if (!name || !name[0])
        return 0;
    SchedulerSession session;
    if (!OpenSession(&session, "MyError:  DeleteScheduledTask"))
        return 0;
    DeleteSearch search = {name, 0};
    ForEachWorkItem(session.scheduler, DeleteIfNamed, &search);
    CloseSession(&session);
    return search.deleted;
}

int TaskDisplayName(const char *name, char *out, size_t cap)
{
    if (!out || cap == 0)
        return 0;
    if (!name)
        name = "";
    // Only a real ".job" extension goes: any other name (a short one, or one the
    // scheduler lists without it) is shown whole.
    size_t len = strlen(name);
    if (len > JOB_EXTENSION_LEN && StrEqualNoCase(name + len - JOB_EXTENSION_LEN, ".job") == 0)
        len -= JOB_EXTENSION_LEN;
    CopyTextN(out, cap, name, len);
    return (int)strlen(out);
}

int IsTaskKnown(const char *name)
{
    return IsCodeKnown(TASKS_BASELINE_KEY, name);
}

void InitTasks(void)
{
    char work[MAX_PATH];
    CopyText(work, CAP(work), TASKS_BASELINE_KEY);
    DeleteRegKeyTree(HKEY_CURRENT_USER, work);
    TestLog("InitRegStartups", "Tasks");
    if (!CreateRegKey(HKEY_CURRENT_USER, TASKS_BASELINE_KEY))
        TraceLastError("MyError:  InitTasks RegCreateKeyEx");
    RunList *list = NewRunList();
    if (!list)
        return;
    GetScheduledTasks(list);
    char name[RUN_NAME_MAX];
    for (int i = 0; i < list->count; i++)
        if (GetRunName(list, i, name) > 0)
            WriteBaselineCode(TASKS_BASELINE_KEY, name, GetRunCode(list, i), "MyError:  InitTasks SetRegString");
    DeleteRunList(list);
}

static void AskAboutTask(const RunList *list, int i)
{
    AlertItem entry;
    memset(&entry, 0, sizeof(entry));
    GetRunName(list, i, entry.name);
    GetRunPath(list, i, entry.path);
    // The dialog clears the entry's texts when it is answered.
    AlertItem kept = entry;
    RecordDetection(entry.path, DETECTED_TASKS_KEY);

    int silent = giShowAlerts == 0 && giHideTasks != 0;
    int answer = RunAlert(IDD_NEWTASK, NewTaskDlgProc, (LPARAM)&entry, giHideTasks, TIP_TASKS, 1);
    // The dialog writes the alert's line when it shows; a decision without it gets the same line.
    if (silent)
        LogTaskAlert(&kept);
    if (answer == ANSWER_ACCEPT) {
        ReportDecision(kept.name, kept.path, ANSWER_ACCEPT);
        WriteBaselineCode(TASKS_BASELINE_KEY, kept.name, GetRunCode(list, i),
                          "MyError:  TasksCheck baseline not written: alerted again");
    } else if (answer == ANSWER_REJECT) {
        // A task the scheduler refused to delete is alerted again: its baseline
        // value goes either way, the removal line only with the removal.
        if (DeleteScheduledTask(kept.name)) {
            WriteLog(LOG_SCHEDULEDTASK_REMOVE, CODE_TASK_SCHEDULED, kept.name, kept.path, "");
            ReportDecision(kept.name, kept.path, ANSWER_REJECT);
        }
        DeleteRegValue(HKEY_CURRENT_USER, TASKS_BASELINE_KEY, kept.name);
    }
}

int TasksCheck(ScanPass *pass)
{
    (void)pass;
    // The scan never starts the scheduler: a stopped one is looked at later.
    if (IsTaskSchedulerRunning() != 1)
        return 0;
    RunList *list = NewRunList();
    if (!list) {
        TestLog("MyError:  TasksCheck NewRunList", "tasks not checked in this pass");
        return 0;
    }
    int count = GetScheduledTasks(list);
    char text[64];
    FormatText(text, CAP(text), "Scheduled Tasks: %d", count);
    TestLog("GetScheduledTasks", text);
    int asked = 0;
    for (int i = FirstUnknownRecord(TASKS_BASELINE_KEY, list, 0); i >= 0;
         i = FirstUnknownRecord(TASKS_BASELINE_KEY, list, i + 1), asked++)
        AskAboutTask(list, i);
    DeleteRunList(list);
    return asked;
}
