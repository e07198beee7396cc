// The running programs: listed as the startup alert and the detection records see
// them, found by their program, and ended when the user rejects the program, so
// that the decision takes effect now and not only at the next logon.
#include "common/processes.h"

#include <psapi.h>
#include <string.h>

#include "common/files.h"
#include "common/history.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/runlist.h"
#include "common/service_control.h"
#include "common/tracelog.h"

#define PROCESS_ID_MAX 1024
#define PROCESS_OPEN_RIGHTS (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)   // 0x410

int ForEachProcess(ProcessCallback callback, void *context)
{
    DWORD ids[PROCESS_ID_MAX];
    DWORD bytes = 0;
    if (!EnumProcesses(ids, (DWORD)sizeof(ids), &bytes))
        return 1;
    DWORD count = bytes / sizeof(DWORD);
    if (count > PROCESS_ID_MAX)
        count = PROCESS_ID_MAX;
    for (DWORD k = 0; k < count; k++) {
        if (ids[k] == 0)
            continue;
        char path[MAX_PATH];
        CopyText(path, CAP(path), "<unknown>");
        // The idle and system processes, and others' protected processes, do not
        // open for a user; they have nothing to show anyway.
        HANDLE process = OpenProcess(PROCESS_OPEN_RIGHTS, FALSE, ids[k]);
        if (!process)
            continue;
        HMODULE first;
        DWORD needed = 0;
        if (EnumProcessModules(process, &first, (DWORD)sizeof(first), &needed) && needed > 0) {
            DWORD n = GetModuleFileNameExA(process, first, path, MAX_PATH);
            if (n == 0)
                path[0] = '\0';
            path[MAX_PATH - 1] = '\0';
            if (callback)
                callback(ids[k], 0, path, context);
        }
        CloseHandle(process);
    }
    return 0;
}

static int IsListedPath(const RunList *list, const char *program)
{
    char path[MAX_PATH];
    for (int i = 0; i < list->count; i++)
        if (GetRunPath(list, i, path) > 0 && StrEqualNoCase(path, program) == 0)
            return 1;
    return 0;
}

static int AddTaskRecord(DWORD pid, int reserved, const char *imagePath, void *context)
{
    (void)reserved;
    RunList *list = (RunList *)context;
    if (!imagePath || !imagePath[0])
        return 0;
    char program[MAX_PATH];
    if (ExtractProgramPath(imagePath, program) <= 0)
        return 0;
    // Several processes of one program are one entry to the user.
    if (IsListedPath(list, program))
        return 0;
    // On the heap: five 1024-character fields are too much for every stack frame
    // this may be called under.
    VersionRecord *version = (VersionRecord *)GlobalAlloc(GPTR, sizeof(VersionRecord));
    const char *name = "";
    if (version) {
        GetVersionInfo(program, version);
        name = version->FileDescription;
    }
    AddRunStruct(list, name, program, "", "", CODE_INFO_TASK, (int)pid);
    if (version)
        GlobalFree(version);
    return 0;
}

int ListRunningTasks(RunList *list)
{
    if (!list)
        return 0;
    FreeRunList(list);
    PVOID redirection;
    DisableFsRedirection(&redirection);
    ForEachProcess(AddTaskRecord, list);
    RevertFsRedirection(redirection);
    return list->count;
}

int CountRunningTasks(void)
{
    RunList *list = NewRunList();
    int count = ListRunningTasks(list);
    DeleteRunList(list);
    return count;
}

// TerminateProcess only starts the end; this long is worth waiting for it, so
// that the exit code tells a finished process from one that resisted.
#define KILL_WAIT_MS 1000
#define SERVICE_NAME_MAX 256

typedef struct ProcessMatch {
    char program[MAX_PATH];     // the program path, normalised and lengthened
    char bare[MAX_PATH];        // the program path as a bare file name, normalised
    DWORD pid;
} ProcessMatch;

static int MatchProcess(DWORD pid, int reserved, const char *imagePath, void *context)
{
    (void)reserved;
    ProcessMatch *match = (ProcessMatch *)context;
    // The first match ends the search; the monitor itself is never its own target.
    if (match->pid || pid == GetCurrentProcessId() || !imagePath || !imagePath[0])
        return 0;
    char image[MAX_PATH], fileName[MAX_PATH];
    NormaliseProgramPath(imagePath, image);
    if (image[0] && match->program[0] && StrEqualNoCase(image, match->program) == 0)
        match->pid = pid;
    else if (match->bare[0] && FileNameOf(imagePath, fileName) > 0 &&
             StrEqualNoCase(fileName, match->bare) == 0)
        match->pid = pid;
    return 0;
}

DWORD FindProcessOfProgram(const char *programPath)
{
    if (!programPath || !programPath[0])
        return 0;
    ProcessMatch *match = (ProcessMatch *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ProcessMatch));
    if (!match)
        return 0;
    PVOID redirection;
    DisableFsRedirection(&redirection);
    NormaliseProgramPath(programPath, match->program);
    // A program named without a folder matches any process of that file name.
    char extracted[MAX_PATH];
    if (ExtractProgramPath(programPath, extracted) > 0 && !strchr(extracted, '\\'))
        CopyText(match->bare, CAP(match->bare), extracted);
    ForEachProcess(MatchProcess, match);
    RevertFsRedirection(redirection);
    DWORD pid = match->pid;
    HeapFree(GetProcessHeap(), 0, match);
    return pid;
}

// RUNDLL32 runs any DLL: which of its processes carries the entry cannot be told,
// so none of them is ended.
static int IsSharedHost(const char *programPath)
{
    char program[MAX_PATH], fileName[MAX_PATH];
    if (ExtractProgramPath(programPath, program) <= 0)
        return 0;
    if (FileNameOf(program, fileName) <= 0)
        CopyText(fileName, CAP(fileName), program);
    return StrEqualNoCase(fileName, "RUNDLL32.EXE") == 0;
}

// The history shows the program by its product name, else by its file name.
static void KilledProgramName(const char *path, char *out, size_t cap)
{
    char program[MAX_PATH];
    out[0] = '\0';
    ExtractProgramPath(path, program);
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), 0, sizeof(VersionRecord));
    if (version) {
        if (GetVersionInfo(program, version))
            CopyText(out, cap, version->ProductName);
        HeapFree(GetProcessHeap(), 0, version);
    }
    if (!out[0] && FileNameOf(path, out) <= 0)
        CopyText(out, cap, path);
}

// A service's process is restarted by the service manager; the service itself is
// stopped, and the history says so only when the service manager took the request.
static void StopServiceOf(const char *path)
{
    char service[SERVICE_NAME_MAX];
    if (!FindServiceOfProgram(path, service, CAP(service)))
        return;
    if (StopServiceByName(service))
        WriteLog(LOG_SERVICE_STOP, CODE_INFO_TASK, service, path, "");
    else
        TestLog("MyError:  KillStartupTask service not stopped", service);
}

void KillStartupTask(const char *name, const char *path)
{
    if (!path || !path[0])
        return;
    TestLog("KillStartupTask", name ? name : "");
    if (IsSharedHost(path)) {
        TestLog("KillStartupTask shared host left running", path);
        return;
    }
    PVOID redirection;
    DisableFsRedirection(&redirection);
    DWORD pid = FindProcessOfProgram(path);
    if (pid) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE, TRUE, pid);
        if (!process)
            process = OpenProcess(PROCESS_TERMINATE, TRUE, pid);
        if (!process) {
            TraceLastError("MyError:  KillStartupTask OpenProcess");
        } else {
            int ended = TerminateProcess(process, 0);
            if (!ended)
                TraceLastError("MyError:  KillStartupTask TerminateProcess");
            else
                WaitForSingleObject(process, KILL_WAIT_MS);
            DWORD exitCode = 0;
            if (!GetExitCodeProcess(process, &exitCode))
                TraceLastError("MyError:  KillStartupTask GetExitCodeProcess");
            else if (exitCode == STILL_ACTIVE)
                StopServiceOf(path);
            CloseHandle(process);

            // A program that refused to end is not logged as ended.
            char program[MAX_PATH];
            KilledProgramName(path, program, CAP(program));
            if (ended)
                WriteLog(LOG_TASK_KILL, CODE_INFO_TASK, program, path, "");
            // The notification area keeps a dead process's icon until it repaints.
            HWND tray = FindWindowA("Shell_TrayWnd", NULL);
            if (tray)
                RedrawWindow(tray, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        }
    }
    RevertFsRedirection(redirection);
}
