// Service operations shared by the services alert and the startup actions. The
// watched names are display names: that is what the user saw in the alert.
#include "common/service_control.h"

#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"

#define SERVICE_KEY_NAME_MAX 256
#define SERVICE_SUBKEY_MAX 255
#define IMAGE_PATH_MAX 512
#define DISPLAY_NAME_MAX 512
#define SERVICE_DLL_MAX MAX_PATH

// The service's key name from its display name, with the manager already open.
static int KeyNameOf(SC_HANDLE manager, const char *displayName, char *keyName)
{
    DWORD len = SERVICE_KEY_NAME_MAX;
    if (!displayName || !displayName[0] || !GetServiceKeyNameA(manager, displayName, keyName, &len))
        return 0;
    keyName[SERVICE_KEY_NAME_MAX - 1] = '\0';
    return 1;
}

int QueryServiceState(const char *displayName)
{
    int result = 0;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, GENERIC_READ);
    if (!manager)
        return 0;
    char keyName[SERVICE_KEY_NAME_MAX];
    if (KeyNameOf(manager, displayName, keyName)) {
        SC_HANDLE service = OpenServiceA(manager, keyName, GENERIC_READ);
        if (service) {
            SERVICE_STATUS_PROCESS status;
            DWORD needed = 0;
            if (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE *)&status, sizeof(status),
                                     &needed))
                result = (int)((status.dwCurrentState << 16) | status.dwServiceType);
            CloseServiceHandle(service);
        }
    }
    CloseServiceHandle(manager);
    return result;
}

int StopServiceByName(const char *displayName)
{
    int result = 0;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, GENERIC_READ);
    if (!manager) {
        TraceLastError("MyError:  StopServiceByName OpenSCManager");
        return 0;
    }
    char keyName[SERVICE_KEY_NAME_MAX];
    if (KeyNameOf(manager, displayName, keyName)) {
        SC_HANDLE service = OpenServiceA(manager, keyName, SERVICE_ALL_ACCESS);
        if (service) {
            SERVICE_STATUS status;
            if (ControlService(service, SERVICE_CONTROL_STOP, &status))
                result = 1;
            else
                TraceLastError("MyError:  StopServiceByName ControlService");
            CloseServiceHandle(service);
        } else {
            TraceLastError("MyError:  StopServiceByName OpenService");
        }
    }
    CloseServiceHandle(manager);
    return result;
}

// Walks the subkeys of the services key in order: the count read first bounds the
// walk, so a key that changes under it cannot keep it going. The visitor answers
// non-zero to stop.
typedef int (*ServiceVisitor)(const char *keyName, const char *keyPath, void *context);

static void ForEachServiceKey(ServiceVisitor visit, void *context)
{
    HKEY services = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERVICES_KEY, 0, KEY_READ, &services) != ERROR_SUCCESS)
        return;
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(services, NULL, NULL, NULL, &subkeys, NULL, NULL, NULL, NULL, NULL, NULL,
                         NULL) != ERROR_SUCCESS)
        subkeys = 0;
    DWORD visited = 0;
    for (DWORD index = 0; visited <= subkeys; index++, visited++) {
        char name[SERVICE_SUBKEY_MAX + 1];
        DWORD len = sizeof(name);
        LONG rc = RegEnumKeyExA(services, index, name, &len, NULL, NULL, NULL, NULL);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS || !name[0])
            continue;
        char keyPath[SERVICE_SUBKEY_MAX];
        if (!FormatText(keyPath, CAP(keyPath), "%s\\%s", SERVICES_KEY, name))
            continue;
        if (visit(name, keyPath, context))
            break;
    }
    RegCloseKey(services);
}

typedef struct DisableSearch {
    const char *displayName;
    int found;
} DisableSearch;

static int DisableIfNamed(const char *keyName, const char *keyPath, void *context)
{
    (void)keyName;
    DisableSearch *search = (DisableSearch *)context;
    char image[SERVICE_KEY_NAME_MAX], display[DISPLAY_NAME_MAX];
    // Drivers and leftovers without a program are no service a user met in an alert.
    if (GetRegString(HKEY_LOCAL_MACHINE, keyPath, "ImagePath", image, CAP(image)) <= 0)
        return 0;
    if (GetRegString(HKEY_LOCAL_MACHINE, keyPath, "DisplayName", display, CAP(display)) <= 0 ||
        StrEqualNoCase(display, search->displayName) != 0)
        return 0;
    if (!SetRegDWORDValue(HKEY_LOCAL_MACHINE, keyPath, "Start", SERVICE_DISABLED))
        TestLog("MyError:  DisableServiceByName Start", keyPath);
    // A delayed automatic start would otherwise outlive the disabled start type
    // on the Windows versions that have it.
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS ||
        QueryOpenKeyType(key, "DelayedAutostart") != 0)
        SetRegDWORDValue(HKEY_LOCAL_MACHINE, keyPath, "DelayedAutostart", 0);
    search->found = 1;
    return 1;
}

int DisableServiceByName(const char *displayName)
{
    if (!displayName || !displayName[0])
        return 0;
    DisableSearch search = {displayName, 0};
    ForEachServiceKey(DisableIfNamed, &search);
    return search.found;
}

typedef struct ProgramSearch {
    char program[MAX_PATH];         // normalised and lengthened
    char keyName[SERVICE_SUBKEY_MAX + 1];
    char keyPath[SERVICE_SUBKEY_MAX];
} ProgramSearch;

static int MatchServiceProgram(const char *keyName, const char *keyPath, void *context)
{
    ProgramSearch *search = (ProgramSearch *)context;
    char image[IMAGE_PATH_MAX], program[MAX_PATH];
    if (GetRegString(HKEY_LOCAL_MACHINE, keyPath, "ImagePath", image, CAP(image)) <= 0)
        return 0;
    // A shared host runs many services: its DLL is what tells them apart.
    if (StrContains(image, "svchost.exe")) {
        char parameters[MAX_PATH], dll[SERVICE_DLL_MAX];
        if (FormatText(parameters, CAP(parameters), "%s\\Parameters", keyPath) &&
            GetRegString(HKEY_LOCAL_MACHINE, parameters, "ServiceDll", dll, CAP(dll)) > 0)
            CopyText(image, CAP(image), dll);
    }
    NormaliseProgramPath(image, program);
    if (!program[0] || StrEqualNoCase(program, search->program) != 0)
        return 0;
    CopyText(search->keyName, CAP(search->keyName), keyName);
    CopyText(search->keyPath, CAP(search->keyPath), keyPath);
    return 1;
}

int FindServiceOfProgram(const char *programPath, char *displayName, size_t cap)
{
    if (!displayName || cap == 0)
        return 0;
    displayName[0] = '\0';
    if (!programPath || !programPath[0])
        return 0;
    ProgramSearch *search = (ProgramSearch *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ProgramSearch));
    if (!search)
        return 0;
    NormaliseProgramPath(programPath, search->program);
    if (search->program[0])
        ForEachServiceKey(MatchServiceProgram, search);

    int found = search->keyName[0] != '\0';
    if (found) {
        // The manager's display name is the one the stop and state calls resolve;
        // the registry's may be a resource reference.
        char name[DISPLAY_NAME_MAX] = "";
        SC_HANDLE manager = OpenSCManagerA(NULL, NULL, GENERIC_READ);
        if (manager) {
            DWORD len = sizeof(name);
            if (!GetServiceDisplayNameA(manager, search->keyName, name, &len))
                name[0] = '\0';
            name[sizeof(name) - 1] = '\0';
            CloseServiceHandle(manager);
        }
        if (!name[0])
            GetRegString(HKEY_LOCAL_MACHINE, search->keyPath, "DisplayName", name, CAP(name));
        CopyText(displayName, cap, name[0] ? name : search->keyName);
    }
    HeapFree(GetProcessHeap(), 0, search);
    return found;
}
