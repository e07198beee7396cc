// Stopping the running copy of a rejected startup program, so that the user's
// decision takes effect now and not only at the next logon.
#include "startup/startup_actions.h"

#include <string.h>

#include "common/files.h"
#include "common/history.h"
#include "common/processes.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/runlist.h"
#include "common/service_control.h"

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
