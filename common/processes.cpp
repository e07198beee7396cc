// The running programs, as the startup alert and the detection records see them.
#include "common/processes.h"

#include <psapi.h>
#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/runlist.h"

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
