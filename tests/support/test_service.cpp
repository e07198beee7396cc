#include "support/test_service.h"

#include <string.h>

#include <set>

const char kServiceRoleSwitch[] = "--bm-service-role";

static SERVICE_STATUS_HANDLE gRoleHandle;
static HANDLE gRoleStop;
static TestServiceMode gRoleMode;

static void ReportRoleState(DWORD state)
{
    SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, state,
                             state == SERVICE_START_PENDING ? 0u : (DWORD)SERVICE_ACCEPT_STOP, 0, 0, 1, 60000};
    SetServiceStatus(gRoleHandle, &status);
}

static void WINAPI RoleControl(DWORD control)
{
    if (control != SERVICE_CONTROL_STOP)
        return;
    if (gRoleMode == SERVICE_MODE_STOP_PENDING)
        ReportRoleState(SERVICE_STOP_PENDING);
    else
        SetEvent(gRoleStop);
}

static void WINAPI RoleMain(DWORD, LPSTR *)
{
    gRoleHandle = RegisterServiceCtrlHandlerA("", RoleControl);
    ReportRoleState(gRoleMode == SERVICE_MODE_START_PENDING ? SERVICE_START_PENDING : SERVICE_RUNNING);
    WaitForSingleObject(gRoleStop, 60000);
    ReportRoleState(SERVICE_STOPPED);
}

static int gServiceRole = [] {
    const char *role = strstr(GetCommandLineA(), kServiceRoleSwitch);
    if (role) {
        gRoleMode = (TestServiceMode)atoi(role + strlen(kServiceRoleSwitch));
        gRoleStop = CreateEventA(NULL, TRUE, FALSE, NULL);
        SERVICE_TABLE_ENTRYA table[] = {{(LPSTR) "", RoleMain}, {NULL, NULL}};
        StartServiceCtrlDispatcherA(table);
        ExitProcess(0);
    }
    return 0;
}();

static std::set<std::string> &Made()
{
    static std::set<std::string> made;
    return made;
}

std::string TestServiceImage(const std::string &program, TestServiceMode mode)
{
    return "\"" + program + "\" " + kServiceRoleSwitch + " " + std::to_string((int)mode);
}

// The service opened with every right; NULL when there is none.
static SC_HANDLE OpenTestService(const char *keyName)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return NULL;
    SC_HANDLE service = OpenServiceA(manager, keyName, SERVICE_ALL_ACCESS);
    CloseServiceHandle(manager);
    return service;
}

void SendStop(const char *keyName)
{
    SERVICE_STATUS status;
    if (SC_HANDLE service = OpenTestService(keyName)) {
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        CloseServiceHandle(service);
    }
}

void RemoveTestService(const char *keyName)
{
    SC_HANDLE service = OpenTestService(keyName);
    if (!service)
        return;
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE *)&status, sizeof(status), &needed);
    SendStop(keyName);
    // A service that does not stop (a pending one) is ended.
    if (WaitTestServiceState(keyName, SERVICE_STOPPED, 3000) != SERVICE_STOPPED && status.dwProcessId) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId);
        if (process && TerminateProcess(process, 0))
            WaitForSingleObject(process, 5000);
        if (process)
            CloseHandle(process);
    }
    DeleteService(service);
    CloseServiceHandle(service);
}

bool CreateTestService(const char *keyName, const char *displayName, const std::string &image, DWORD start,
                       DWORD type)
{
    RemoveTestService(keyName);
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return false;
    SC_HANDLE service = CreateServiceA(manager, keyName, displayName, SERVICE_ALL_ACCESS, type, start,
                                       SERVICE_ERROR_IGNORE, image.c_str(), NULL, NULL, NULL, NULL, NULL);
    CloseServiceHandle(manager);
    if (!service)
        return false;
    CloseServiceHandle(service);
    Made().insert(keyName);
    return true;
}

bool StartTestService(const char *keyName)
{
    SC_HANDLE service = OpenTestService(keyName);
    bool started = service && StartServiceA(service, 0, NULL);
    if (service)
        CloseServiceHandle(service);
    return started;
}

DWORD WaitTestServiceState(const char *keyName, DWORD state, DWORD ms)
{
    SC_HANDLE service = OpenTestService(keyName);
    if (!service)
        return 0;
    SERVICE_STATUS status = {};
    for (DWORD start = GetTickCount();; Sleep(50)) {
        if (!QueryServiceStatus(service, &status))
            status.dwCurrentState = 0;
        if (status.dwCurrentState == state || GetTickCount() - start > ms)
            break;
    }
    CloseServiceHandle(service);
    return status.dwCurrentState;
}

DWORD ManagerStartType(const char *keyName)
{
    SC_HANDLE service = OpenTestService(keyName);
    if (!service)
        return 0xFFFFFFFF;
    BYTE buffer[8192];
    DWORD needed = 0, start = 0xFFFFFFFF;
    if (QueryServiceConfigA(service, (QUERY_SERVICE_CONFIGA *)buffer, sizeof(buffer), &needed))
        start = ((QUERY_SERVICE_CONFIGA *)buffer)->dwStartType;
    CloseServiceHandle(service);
    return start;
}

void RemoveTestServices()
{
    for (const std::string &name : Made())
        RemoveTestService(name.c_str());
    Made().clear();
}
