#include "support/test_tasks.h"

#include <objbase.h>
#include <mstask.h>

#include <algorithm>
#include <set>

#include "watchers/tasks.h"

static bool gStartedScheduler;
static std::set<std::wstring> gAdded;

// The scheduler service's state after starting or stopping it (access SERVICE_START
// or SERVICE_STOP, waiting until it got there), or as it is (access 0).
static DWORD SchedulerState(DWORD access)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, "Schedule", SERVICE_QUERY_STATUS | access) : NULL;
    if (manager)
        CloseServiceHandle(manager);
    SERVICE_STATUS status = {};
    if (service && access == SERVICE_START)
        StartServiceA(service, 0, NULL);
    else if (service && access == SERVICE_STOP)
        ControlService(service, SERVICE_CONTROL_STOP, &status);
    DWORD wanted = access == SERVICE_START ? SERVICE_RUNNING : SERVICE_STOPPED;
    for (int i = 0; service && QueryServiceStatus(service, &status) && access && status.dwCurrentState != wanted &&
                    i < 200;
         i++)
        Sleep(50);
    if (service)
        CloseServiceHandle(service);
    return status.dwCurrentState;
}

bool SchedulerRunning()
{
    return SchedulerState(0) == SERVICE_RUNNING;
}

bool EnsureScheduler()
{
    if (SchedulerRunning())
        return true;
    gStartedScheduler = SchedulerState(SERVICE_START) == SERVICE_RUNNING;
    return gStartedScheduler;
}

static ITaskScheduler *Scheduler()
{
    ITaskScheduler *scheduler = NULL;
    if (FAILED(CoCreateInstance(ClsidTaskScheduler, NULL, CLSCTX_INPROC_SERVER, IidTaskScheduler,
                                (void **)&scheduler)))
        return NULL;
    return scheduler;
}

void RestoreScheduler()
{
    if (ITaskScheduler *scheduler = Scheduler()) {
        for (const std::wstring &name : gAdded)
            scheduler->Delete(name.c_str());
        scheduler->Release();
    }
    gAdded.clear();
    if (gStartedScheduler)
        SchedulerState(SERVICE_STOP);
    gStartedScheduler = false;
}

bool AddTestTask(const std::string &name, const std::string &application)
{
    ITaskScheduler *scheduler = Scheduler();
    if (!scheduler)
        return false;
    std::wstring wideName(name.begin(), name.end()), wideApp(application.begin(), application.end());
    scheduler->Delete(wideName.c_str());
    ITask *task = NULL;
    IPersistFile *file = NULL;
    bool saved = SUCCEEDED(scheduler->NewWorkItem(wideName.c_str(), ClsidTask, IidTask, (IUnknown **)&task)) &&
                 SUCCEEDED(task->SetApplicationName(wideApp.c_str())) &&
                 SUCCEEDED(task->QueryInterface(IID_IPersistFile, (void **)&file)) &&
                 SUCCEEDED(file->Save(NULL, TRUE));
    if (file)
        file->Release();
    if (task)
        task->Release();
    scheduler->Release();
    if (saved)
        gAdded.insert(wideName);
    return saved;
}

std::vector<std::string> ListedTasks()
{
    std::vector<std::string> names;
    ITaskScheduler *scheduler = Scheduler();
    IEnumWorkItems *items = NULL;
    if (scheduler && SUCCEEDED(scheduler->Enum(&items))) {
        LPWSTR *batch = NULL;
        ULONG fetched = 0;
        while (SUCCEEDED(items->Next(1, &batch, &fetched)) && fetched == 1) {
            char ansi[1024] = "";
            WideCharToMultiByte(CP_ACP, 0, batch[0], -1, ansi, sizeof(ansi), NULL, NULL);
            names.push_back(ansi);
            CoTaskMemFree(batch[0]);
            CoTaskMemFree(batch);
        }
        items->Release();
    }
    if (scheduler)
        scheduler->Release();
    return names;
}

std::string TasksFolder()
{
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\Tasks";
}

bool TaskListed(const std::string &name)
{
    std::vector<std::string> names = ListedTasks();
    return std::find(names.begin(), names.end(), name) != names.end();
}
