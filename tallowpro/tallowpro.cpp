// Companion library of the monitor. Ordinal 2 receives the monitor's main window
// at start-up, ordinal 3 is called once at exit; both are exported by ordinal only.
//
// Between the two, one watcher thread tells the window when programs start (9024)
// and end (9027), so that an installer leads to the monitor's task check within
// seconds instead of at the next scan. It stays cheap for a process that runs for
// months: once a second one EnumProcesses call and a comparison of two sorted id
// arrays; no process is opened. The monitor counts the messages, so their number
// matters more than their content; the process id rides along in wParam.
#include <windows.h>
// psapi.dll's own EnumProcesses: the K32 form of newer headers is missing before Windows 7.
#define PSAPI_VERSION 1
#include <psapi.h>
#include <stdlib.h>
#include <string.h>

#define WM_TASK_STARTED 9024
#define WM_TASK_ENDED 9027
#define WATCH_PERIOD_MS 1000
// A mass start (an installer unpacking helpers) must not flood the monitor's
// queue: beyond this many of each kind in one round the rest go unreported.
#define POSTS_PER_ROUND 8
#define STOP_WAIT_MS 5000
#define FIRST_SET_SIZE 512
#define LARGEST_SET_SIZE 65536

typedef struct ProcessSet {
    DWORD *ids;        // sorted ascending
    DWORD count;
    DWORD capacity;
} ProcessSet;

// What the watcher thread owns: its own handle of the stop event, the module
// reference that keeps this code loaded under it, and the last process set.
typedef struct WatchContext {
    HANDLE stop;
    HMODULE self;
    ProcessSet before;
} WatchContext;

static void *volatile WatchedWindow;   // the HWND; replaced by a second start
static HANDLE StopEvent;
static HANDLE WatchThread;

static HWND CurrentWindow(void)
{
    return (HWND)InterlockedCompareExchangePointer(&WatchedWindow, NULL, NULL);
}

static void FreeProcessSet(ProcessSet *set)
{
    if (set->ids)
        HeapFree(GetProcessHeap(), 0, set->ids);
    set->ids = NULL;
    set->count = set->capacity = 0;
}

static int CompareIds(const void *a, const void *b)
{
    DWORD x = *(const DWORD *)a, y = *(const DWORD *)b;
    return x < y ? -1 : x > y ? 1 : 0;
}

// The running process ids, sorted. On failure the caller keeps its previous set:
// a bad round reports nothing rather than every process as ended.
static int TakeProcessSet(ProcessSet *set)
{
    DWORD capacity = set->capacity ? set->capacity : FIRST_SET_SIZE;
    for (;;) {
        if (capacity != set->capacity) {
            DWORD *ids = (DWORD *)(set->ids ? HeapReAlloc(GetProcessHeap(), 0, set->ids, capacity * sizeof(DWORD))
                                            : HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(DWORD)));
            if (!ids)
                return 0;
            set->ids = ids;
            set->capacity = capacity;
            set->count = 0;
        }
        DWORD bytes = 0;
        if (!EnumProcesses(set->ids, capacity * sizeof(DWORD), &bytes)) {
            set->count = 0;
            return 0;
        }
        // A full buffer may have cut the list: ask again with more room.
        if (bytes < capacity * sizeof(DWORD) || capacity >= LARGEST_SET_SIZE) {
            set->count = bytes / sizeof(DWORD);
            break;
        }
        capacity *= 2;
    }
    qsort(set->ids, set->count, sizeof(DWORD), CompareIds);
    return 1;
}

// Walks two sorted sets side by side: ids only in after have started, ids only
// in before have ended. At most capStarted and capEnded of them are written.
static void DiffProcessSets(const DWORD *before, DWORD beforeCount, const DWORD *after, DWORD afterCount,
                            DWORD *started, int capStarted, int *startedCount, DWORD *ended, int capEnded,
                            int *endedCount)
{
    DWORD b = 0, a = 0;
    *startedCount = *endedCount = 0;
    while (b < beforeCount || a < afterCount) {
        if (a < afterCount && (b >= beforeCount || after[a] < before[b])) {
            if (*startedCount < capStarted)
                started[(*startedCount)++] = after[a];
            a++;
        } else if (b < beforeCount && (a >= afterCount || before[b] < after[a])) {
            if (*endedCount < capEnded)
                ended[(*endedCount)++] = before[b];
            b++;
        } else {
            a++;
            b++;
        }
    }
}

static DWORD WINAPI WatchTasks(void *param)
{
    WatchContext *context = (WatchContext *)param;
    HMODULE self = context->self;
    ProcessSet after = {NULL, 0, 0};
    while (WaitForSingleObject(context->stop, WATCH_PERIOD_MS) == WAIT_TIMEOUT) {
        HWND window = CurrentWindow();
        // A monitor that died without saying goodbye leaves nobody to tell.
        if (!IsWindow(window))
            break;
        if (!TakeProcessSet(&after))
            continue;
        DWORD started[POSTS_PER_ROUND], ended[POSTS_PER_ROUND];
        int startedCount, endedCount;
        DiffProcessSets(context->before.ids, context->before.count, after.ids, after.count, started,
                        POSTS_PER_ROUND, &startedCount, ended, POSTS_PER_ROUND, &endedCount);
        for (int i = 0; i < startedCount; i++)
            PostMessageA(window, WM_TASK_STARTED, (WPARAM)started[i], 0);
        for (int i = 0; i < endedCount; i++)
            PostMessageA(window, WM_TASK_ENDED, (WPARAM)ended[i], 0);
        ProcessSet swap = context->before;
        context->before = after;
        after = swap;
    }
    FreeProcessSet(&after);
    FreeProcessSet(&context->before);
    CloseHandle(context->stop);
    HeapFree(GetProcessHeap(), 0, context);
    // The reference taken at the start keeps this code mapped until here, even
    // when the host frees the library without calling ordinal 3 first.
    FreeLibraryAndExitThread(self, 0);
    return 0;
}

// Closes what the starter holds of a watcher that has ended.
static void ReleaseWatcher(void)
{
    if (WatchThread)
        CloseHandle(WatchThread);
    if (StopEvent)
        CloseHandle(StopEvent);
    WatchThread = NULL;
    StopEvent = NULL;
}

// A host that frees the library without ordinal 3 leaves the watcher running
// on its own reference; when that last reference goes, the handles go with it.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    (void)module;
    if (reason == DLL_PROCESS_DETACH && reserved == NULL)
        ReleaseWatcher();
    return TRUE;
}

extern "C" int __cdecl TallowStart(HWND mainWindow)
{
    if (!mainWindow || !IsWindow(mainWindow))
        return 0;
    InterlockedExchangePointer(&WatchedWindow, (void *)mainWindow);
    if (WatchThread) {
        // Already watching: the new window is all that changes.
        if (WaitForSingleObject(WatchThread, 0) == WAIT_TIMEOUT)
            return 1;
        // The watcher ended by itself when the old window went away.
        ReleaseWatcher();
    }

    WatchContext *context = (WatchContext *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(WatchContext));
    if (!context)
        return 0;
    int started = 0;
    StopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    // The first set is taken here, not in the thread: a program started right
    // after this call returns is then reported as new.
    if (StopEvent && TakeProcessSet(&context->before) &&
        DuplicateHandle(GetCurrentProcess(), StopEvent, GetCurrentProcess(), &context->stop, 0, FALSE,
                        DUPLICATE_SAME_ACCESS) &&
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, (LPCSTR)(void *)&WatchTasks, &context->self)) {
        WatchThread = CreateThread(NULL, 0, WatchTasks, context, 0, NULL);
        started = WatchThread != NULL;
    }
    if (!started) {
        if (context->self)
            FreeLibrary(context->self);
        if (context->stop)
            CloseHandle(context->stop);
        FreeProcessSet(&context->before);
        HeapFree(GetProcessHeap(), 0, context);
        ReleaseWatcher();
    }
    return started;
}

extern "C" int __cdecl TallowStop(void)
{
    int stopped = 1;
    if (WatchThread) {
        SetEvent(StopEvent);
        // The thread waits at most one period plus one enumeration; the bound
        // only guards the monitor's exit against a hung system call.
        stopped = WaitForSingleObject(WatchThread, STOP_WAIT_MS) == WAIT_OBJECT_0;
    }
    ReleaseWatcher();
    InterlockedExchangePointer(&WatchedWindow, NULL);
    return stopped;
}
