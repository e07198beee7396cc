// What the services and tasks steps cost beside the registry, service-manager and
// scheduler reads they cannot avoid, on a system with many of both, and whether
// passes with both steps leave memory or window-system objects behind.
//
// The prefix gets 300 synthetic services (drivers, svchost services with their
// DLLs, programs; display names that differ from key names, as on a real machine,
// so the quick check reports a change every time) and 50 tasks, all known to the
// baselines, so no alert opens. Everything made here is deleted at the end.
//
// 1. The quick and the detailed listing against the bare reads each has to make
//    (the detailed one twice: the first reads every program's version record and
//    asks the service manager for every name, a later one finds them kept by the
//    files' identity and the registry's names).
// 2. The whole services step against the bare reads of both listings.
// 3. The task listing and the tasks step against the bare scheduler reads.
// 4. Memory and GDI/USER objects before and after 2000 passes running both steps.
#include <windows.h>
#include <mstask.h>
#include <objbase.h>
#include <psapi.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "common/appstate.h"
#include "common/file_facts.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/runlist.h"
#include "common/service_control.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "monitor/scan_cycle.h"
#include "startup/missing_notices.h"
#include "startup/startup_scan.h"
#include "watchers/services.h"
#include "watchers/tasks.h"

#define SERVICE_COUNT 300
#define TASK_COUNT 50
#define OWN_PROGRAMS 20

static RunList *gList;
static std::vector<std::string> gServices, gPrograms;
static std::vector<std::wstring> gTasks;

#define SAMPLES 25

// The median time of each work, the works run in turn sample after sample, so
// that a busy moment of the (shared) machine falls on all of them alike.
static void Medians(void (*const works[])(void), int count, double *out)
{
    std::vector<std::vector<double>> times(count);
    for (int s = 0; s < SAMPLES; s++)
        for (int w = 0; w < count; w++)
            times[w].push_back(Time(works[w], 1));
    for (int w = 0; w < count; w++) {
        std::sort(times[w].begin(), times[w].end());
        out[w] = times[w][SAMPLES / 2];
    }
}

static std::vector<std::string> SystemFiles(const char *pattern, size_t most)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    std::vector<std::string> files;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((std::string(system) + "\\" + pattern).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return files;
    do
        files.push_back(std::string(system) + "\\" + found.cFileName);
    while (files.size() < most && FindNextFileA(h, &found));
    FindClose(h);
    return files;
}

static void DeleteBenchServices(void)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    for (int i = 0; manager && i < SERVICE_COUNT; i++) {
        char key[32];
        FormatText(key, CAP(key), "BmBench%03d", i);
        SC_HANDLE service = OpenServiceA(manager, key, DELETE);
        if (service) {
            DeleteService(service);
            CloseServiceHandle(service);
        }
    }
    if (manager)
        CloseServiceHandle(manager);
}

// A third drivers, a third svchost services (their DLLs Wine's own), a third
// programs (most of them Wine's own, some of another maker).
static int MakeServices(void)
{
    DeleteBenchServices();
    char folder[MAX_PATH], self[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string companion = std::string(self).substr(0, std::string(self).rfind('\\')) + "\\BrackmoorEx.exe";
    for (int i = 0; i < OWN_PROGRAMS; i++) {
        gPrograms.push_back(std::string(folder) + "bmbench" + std::to_string(i) + ".exe");
        CopyFileA(companion.c_str(), gPrograms.back().c_str(), FALSE);
    }
    std::vector<std::string> exes = SystemFiles("*.exe", 80), dlls = SystemFiles("*.dll", 100);
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (!manager || exes.empty() || dlls.empty())
        return 0;
    int made = 0;
    for (int i = 0; i < SERVICE_COUNT; i++) {
        char key[32], display[64];
        FormatText(key, CAP(key), "BmBench%03d", i);
        FormatText(display, CAP(display), "Bm Bench Service %d", i);
        int kind = i % 3;
        std::string image = kind == 0   ? "system32\\drivers\\bmbench" + std::to_string(i) + ".sys"
                            : kind == 1 ? "%SystemRoot%\\system32\\svchost.exe -k bmbench"
                            : i % 15 == 2 ? "\"" + gPrograms[(i / 15) % OWN_PROGRAMS] + "\" -service"
                                          : exes[i % exes.size()];
        SC_HANDLE service = CreateServiceA(manager, key, display, SERVICE_ALL_ACCESS,
                                           kind == 0 ? SERVICE_KERNEL_DRIVER : SERVICE_WIN32_OWN_PROCESS,
                                           SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, image.c_str(), NULL, NULL,
                                           NULL, NULL, NULL);
        if (!service)
            continue;
        CloseServiceHandle(service);
        made++;
        std::string path = std::string(SERVICES_KEY) + "\\" + key;
        SetRegString(HKEY_LOCAL_MACHINE, path.c_str(), "Description", "A synthetic service of the benchmark.");
        if (kind == 1)
            SetRegString(HKEY_LOCAL_MACHINE, (path + "\\Parameters").c_str(), "ServiceDll",
                         dlls[i % dlls.size()].c_str());
    }
    CloseServiceHandle(manager);
    return made;
}

static ITaskScheduler *Scheduler(void)
{
    ITaskScheduler *scheduler = NULL;
    if (FAILED(CoCreateInstance(ClsidTaskScheduler, NULL, CLSCTX_INPROC_SERVER, IidTaskScheduler,
                                (void **)&scheduler)))
        return NULL;
    return scheduler;
}

static int MakeTasks(void)
{
    ITaskScheduler *scheduler = Scheduler();
    if (!scheduler)
        return 0;
    for (int i = 0; i < TASK_COUNT; i++) {
        std::wstring name = L"BmBenchTask" + std::to_wstring(i);
        std::string program = gPrograms[i % OWN_PROGRAMS];
        std::wstring application(program.begin(), program.end());
        scheduler->Delete(name.c_str());
        ITask *task = NULL;
        IPersistFile *file = NULL;
        if (SUCCEEDED(scheduler->NewWorkItem(name.c_str(), ClsidTask, IidTask, (IUnknown **)&task)) &&
            SUCCEEDED(task->SetApplicationName(application.c_str())) &&
            SUCCEEDED(task->QueryInterface(IID_IPersistFile, (void **)&file)) && SUCCEEDED(file->Save(NULL, TRUE)))
            gTasks.push_back(name);
        if (file)
            file->Release();
        if (task)
            task->Release();
    }
    scheduler->Release();
    return (int)gTasks.size();
}

static void DeleteTasks(void)
{
    ITaskScheduler *scheduler = Scheduler();
    for (const std::wstring &name : gTasks)
        if (scheduler)
            scheduler->Delete(name.c_str());
    if (scheduler)
        scheduler->Release();
}

// The bare reads of the quick listing: every subkey's ImagePath.
static void BareQuickReads(void)
{
    HKEY services;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERVICES_KEY, 0, KEY_READ, &services) != ERROR_SUCCESS)
        return;
    char name[256], data[512];
    for (DWORD i = 0;; i++) {
        DWORD len = sizeof(name);
        if (RegEnumKeyExA(services, i, name, &len, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        HKEY key;
        if (RegOpenKeyExA(services, name, 0, KEY_READ, &key) != ERROR_SUCCESS)
            continue;
        DWORD size = sizeof(data);
        RegQueryValueExA(key, "ImagePath", NULL, NULL, (BYTE *)data, &size);
        RegCloseKey(key);
    }
    RegCloseKey(services);
}

static void QueryText(HKEY key, const char *name, char *data, DWORD cap)
{
    DWORD size = cap - 1;
    if (RegQueryValueExA(key, name, NULL, NULL, (BYTE *)data, &size) != ERROR_SUCCESS)
        size = 0;
    data[size < cap ? size : cap - 1] = '\0';
}

// The services the detailed listing shows (by key name): only for these the step
// must read the display name, description and start values.
static std::set<std::string> gShown;

static void FindShownServices(void)
{
    ListServices(gList, SERVICES_DETAILED);
    std::set<std::string> names;
    for (int i = 0; i < gList->count; i++) {
        char name[RUN_NAME_MAX];
        GetRunName(gList, i, name);
        names.insert(name);
    }
    HKEY services;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERVICES_KEY, 0, KEY_READ, &services) != ERROR_SUCCESS)
        return;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, GENERIC_READ);
    char key[256], display[512];
    for (DWORD i = 0;; i++) {
        DWORD len = sizeof(key), size = sizeof(display);
        if (RegEnumKeyExA(services, i, key, &len, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if ((GetServiceDisplayNameA(manager, key, display, &size) && names.count(display)) || names.count(key))
            gShown.insert(key);
    }
    CloseServiceHandle(manager);
    RegCloseKey(services);
}

// The bare reads of the detailed listing: for each service with a program, the
// DLL of a svchost service and one look at the program file's identity (which
// tells a known file's maker); for each service shown, its display name and
// description, start values and trigger. The manager's own name for a service is
// asked once and kept while the registry's name stays the same, so a later
// listing makes no round trip to it.
static void BareDetailedReads(void)
{
    HKEY services;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERVICES_KEY, 0, KEY_READ, &services) != ERROR_SUCCESS)
        return;
    char name[256], image[512], text[4096];
    for (DWORD i = 0;; i++) {
        DWORD len = sizeof(name);
        if (RegEnumKeyExA(services, i, name, &len, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        HKEY key, sub;
        if (RegOpenKeyExA(services, name, 0, KEY_READ, &key) != ERROR_SUCCESS)
            continue;
        QueryText(key, "ImagePath", image, sizeof(image));
        int hosted = StrContains(image, "svchost");
        if ((hosted || StrContains(image, ".exe")) && gShown.count(name)) {
            QueryText(key, "DisplayName", text, sizeof(text));
            QueryText(key, "Description", text, sizeof(text));
            DWORD value, bytes = sizeof(value);
            RegQueryValueExA(key, "Start", NULL, NULL, (BYTE *)&value, &bytes);
            bytes = sizeof(value);
            RegQueryValueExA(key, "DelayedAutostart", NULL, NULL, (BYTE *)&value, &bytes);
            if (RegOpenKeyExA(key, "TriggerInfo\\0", 0, KEY_READ, &sub) == ERROR_SUCCESS)
                RegCloseKey(sub);
        }
        if (hosted || StrContains(image, ".exe")) {
            if (hosted && RegOpenKeyExA(key, "Parameters", 0, KEY_READ, &sub) == ERROR_SUCCESS) {
                QueryText(sub, "ServiceDll", image, sizeof(image));
                RegCloseKey(sub);
            }
            char program[MAX_PATH];
            ExpandEnvironmentStringsA(image, program, MAX_PATH);
            char *end = strstr(program, ".exe");
            if (!end)
                end = strstr(program, ".dll");
            if (end)
                end[4] = '\0';
            WIN32_FILE_ATTRIBUTE_DATA data;
            GetFileAttributesExA(program[0] == '"' ? program + 1 : program, GetFileExInfoStandard, &data);
        }
        RegCloseKey(key);
    }
    RegCloseKey(services);
}

// The baseline lookups the step makes after its listings.
static void BareBaselineReads(void)
{
    HKEY baseline;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY, 0, KEY_READ, &baseline) != ERROR_SUCCESS)
        return;
    char data[64];
    for (int i = 0; i < gList->count; i++) {
        char name[RUN_NAME_MAX];
        GetRunName(gList, i, name);
        QueryText(baseline, name, data, sizeof(data));
    }
    RegCloseKey(baseline);
}

static void BareStepReads(void)
{
    BareQuickReads();
    BareDetailedReads();
    BareBaselineReads();
}

// The bare scheduler reads: every work item activated and asked for its program
// and run times, and its name looked up in the baseline.
static void BareTaskReads(void)
{
    ITaskScheduler *scheduler = Scheduler();
    IEnumWorkItems *items = NULL;
    HKEY baseline = NULL;
    RegOpenKeyExA(HKEY_CURRENT_USER, TASKS_BASELINE_KEY, 0, KEY_READ, &baseline);
    if (scheduler && SUCCEEDED(scheduler->Enum(&items))) {
        LPWSTR *names = NULL;
        ULONG fetched = 0;
        while (SUCCEEDED(items->Next(5, &names, &fetched)) && fetched) {
            for (ULONG k = 0; k < fetched; k++) {
                std::wstring item = names[k];
                if (item.size() > 4)
                    item.resize(item.size() - 4);
                ITask *task = NULL;
                if (SUCCEEDED(scheduler->Activate(item.c_str(), IidTask, (IUnknown **)&task))) {
                    LPWSTR application = NULL;
                    SYSTEMTIME time;
                    task->GetApplicationName(&application);
                    CoTaskMemFree(application);
                    task->GetMostRecentRunTime(&time);
                    task->GetNextRunTime(&time);
                    task->Release();
                }
                char ansi[RUN_NAME_MAX], data[64];
                WideCharToMultiByte(CP_ACP, 0, names[k], -1, ansi, sizeof(ansi), NULL, NULL);
                if (baseline)
                    QueryText(baseline, ansi, data, sizeof(data));
                CoTaskMemFree(names[k]);
            }
            CoTaskMemFree(names);
        }
        items->Release();
    }
    if (baseline)
        RegCloseKey(baseline);
    if (scheduler)
        scheduler->Release();
}

static void QuickListing(void) { ListServices(gList, SERVICES_QUICK); }
static void DetailedListing(void) { ListServices(gList, SERVICES_DETAILED); }
static void TaskListing(void) { GetScheduledTasks(gList); }

static void ServicesStep(void)
{
    ScanPass pass = {};
    ServicesCheck(&pass);
    EndScanPass(&pass);
}

static void TasksStep(void)
{
    ScanPass pass = {};
    TasksCheck(&pass);
    EndScanPass(&pass);
}

static void Pass(void)
{
    gdwVerifyBaseTick = GetTickCount() - 5000;
    VerifyData();
}

static void LeakCheck(void)
{
    // Both steps on every pass.
    giRealtimeServices = 1;
    giTasks = giTasksCount = 1;
    for (int i = 0; i < 20; i++)
        Pass();
    SIZE_T memBefore = PrivateBytes();
    DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD userBefore = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    double start = Now();
    for (int i = 0; i < 2000; i++)
        Pass();
    printf("2000 more passes with both steps (%.1f ms a pass): private bytes %+lld KiB, GDI objects %+ld, "
           "USER objects %+ld\n",
           (Now() - start) * 1000 / 2000, ((long long)PrivateBytes() - (long long)memBefore) / 1024,
           (long)GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS) - (long)gdiBefore,
           (long)GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS) - (long)userBefore);
}

static void Line(const char *what, double ms, const char *against, double base)
{
    printf("  %-28s %9.3f ms   ratio to %s %.2f\n", what, ms * 1000, against, ms / base);
}

int main(int argc, char **argv)
{
    // "--timings": the ratios alone, without the long leak check.
    int leakCheck = !(argc > 1 && strcmp(argv[1], "--timings") == 0);
    hInstance = GetModuleHandleA(NULL);
    LoadStringA(hInstance, 2, gszTitle, sizeof(gszTitle));
    // The language as the monitor chooses it at start-up.
    char code[8];
    GetLangString(634, CAP(code), code);
    UILanguage = ChooseUILanguage(code);
    DetectIs64BitWindows();
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    ReadOptions();
    TestLogCounter = TESTLOG_OFF;
    // Nothing is asked: whatever might still be new is accepted silently.
    giShowAlerts = giSuppressExtraAlerts = 0;
    giHideServices = giHideTasks = giHideStartup = 1;
    if (StartTaskScheduler() != 0) {
        printf("the task scheduler does not run\n");
        return 1;
    }
    int services = MakeServices(), tasks = MakeTasks();
    printf("%d synthetic services, %d tasks\n", services, tasks);
    InitRegStartups();
    InitMissingRunPrograms();
    InitUninstallPrograms();
    RegDeleteKeyA(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY);
    InitServices();
    InitTasks();
    gList = NewRunList();

    FindShownServices();
    int listed = ListServices(gList, SERVICES_QUICK);
    FreeFileFacts();
    FreeServiceNames();
    int versionReads = giFileFactVersionReads;
    double first = Time(DetailedListing, 1);
    int firstReads = giFileFactVersionReads - versionReads;
    int detailedCount = gList->count;
    versionReads = giFileFactVersionReads;
    void (*const serviceWorks[])(void) = {BareQuickReads, QuickListing, BareDetailedReads, DetailedListing,
                                          BareStepReads, ServicesStep};
    double t[6];
    Medians(serviceWorks, 6, t);
    printf("services: quick listing of %d\n", listed);
    printf("  %-28s %9.3f ms\n", "bare reads", t[0] * 1000);
    Line("ListServices(quick)", t[1], "bare reads", t[0]);
    printf("services: detailed listing of %d (%d version records read the first time, %.1f a listing after)\n",
           detailedCount, firstReads, (double)(giFileFactVersionReads - versionReads) / (2 * SAMPLES));
    printf("  %-28s %9.3f ms\n", "bare reads", t[2] * 1000);
    Line("first ListServices(0)", first, "bare reads", t[2]);
    Line("later ListServices(0)", t[3], "bare reads", t[2]);
    printf("services step (quick check, detailed listing, lookups)\n");
    printf("  %-28s %9.3f ms\n", "bare reads", t[4] * 1000);
    Line("ServicesCheck", t[5], "bare reads", t[4]);

    listed = GetScheduledTasks(gList);
    void (*const taskWorks[])(void) = {BareTaskReads, TaskListing, TasksStep};
    Medians(taskWorks, 3, t);
    printf("tasks: %d listed\n", listed);
    printf("  %-28s %9.3f ms\n", "bare reads", t[0] * 1000);
    Line("GetScheduledTasks", t[1], "bare reads", t[0]);
    Line("TasksCheck", t[2], "bare reads", t[0]);

    if (leakCheck)
        LeakCheck();

    DeleteRunList(gList);
    DeleteTasks();
    DeleteBenchServices();
    for (const std::string &program : gPrograms)
        DeleteFileA(program.c_str());
    CoUninitialize();
    return 0;
}
