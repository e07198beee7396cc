// Service operations shared by the services alert and the startup actions. The
// watched names are display names: that is what the user saw in the alert.
#include "common/service_control.h"

#include <string.h>

#include <initializer_list>

#include "common/files.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"

#define SERVICE_KEY_NAME_MAX 256
#define SERVICE_SUBKEY_MAX 255
#define SERVICE_DLL_MAX 512

enum {
    STRING_UNKNOWN = 616, STRING_STOPPED = 652, STRING_AUTOMATIC = 664, STRING_MANUAL = 665,
    STRING_DISABLED = 666, STRING_DELAYED_START = 672, STRING_TRIGGERED_START = 673,
};

// The run states 2 to 7 have texts 653 to 658 in the order of their numbers;
// stopped (1) and anything unknown read "Stopped".
#define STATE_TEXT_FIRST 653
#define STATE_FIRST SERVICE_START_PENDING
#define STATE_LAST SERVICE_PAUSED

// The service's key name from its display name, with the manager already open.
static int KeyNameOf(SC_HANDLE manager, const char *displayName, char *keyName)
{
    DWORD len = SERVICE_KEY_NAME_MAX;
    if (!displayName || !displayName[0] || !GetServiceKeyNameA(manager, displayName, keyName, &len))
        return 0;
    keyName[SERVICE_KEY_NAME_MAX - 1] = '\0';
    return 1;
}

// The service of a display name opened with access; NULL when the manager or the
// service cannot be opened (the caller's tag traces why, when given).
static SC_HANDLE OpenServiceByName(const char *displayName, DWORD access, const char *tag)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, GENERIC_READ);
    if (!manager) {
        if (tag)
            TraceLastError(tag);
        return NULL;
    }
    SC_HANDLE service = NULL;
    char keyName[SERVICE_KEY_NAME_MAX];
    if (KeyNameOf(manager, displayName, keyName)) {
        service = OpenServiceA(manager, keyName, access);
        if (!service && tag)
            TraceLastError(tag);
    }
    CloseServiceHandle(manager);
    return service;
}

int QueryServiceState(const char *displayName)
{
    int result = 0;
    SC_HANDLE service = OpenServiceByName(displayName, GENERIC_READ, NULL);
    if (!service)
        return 0;
    SERVICE_STATUS_PROCESS status;
    DWORD needed = 0;
    if (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE *)&status, sizeof(status), &needed))
        result = (int)((status.dwCurrentState << 16) | status.dwServiceType);
    CloseServiceHandle(service);
    return result;
}

int ServiceActiveText(const char *displayName, char *text)
{
    int state = QueryServiceState(displayName);
    int current = (state >> 16) & 0xFFFF;
    UINT id = (current >= STATE_FIRST && current <= STATE_LAST) ? STATE_TEXT_FIRST + (current - STATE_FIRST)
                                                                 : STRING_STOPPED;
    if (text && GetLangString(id, SERVICE_ACTIVE_TEXT_MAX, text) <= 0)
        text[0] = '\0';
    return state;
}

void LoadServiceStartWords(ServiceStartWords *words)
{
    const struct {
        UINT id;
        char *word;
    } rows[] = {
        {STRING_UNKNOWN, words->unknown},   {STRING_AUTOMATIC, words->automatic},
        {STRING_MANUAL, words->manual},     {STRING_DISABLED, words->disabled},
        {STRING_DELAYED_START, words->delayed}, {STRING_TRIGGERED_START, words->triggered},
    };
    for (const auto &row : rows)
        if (GetLangString(row.id, SERVICE_START_TEXT_MAX, row.word) <= 0)
            row.word[0] = '\0';
}

int ServiceStartTextOfKey(HKEY key, const ServiceStartWords *words, char *text, int *start)
{
    DWORD startValue = 0, delayed = 0, trigger = 0;
    int hasStart = 0;
    if (key) {
        DWORD type = 0, size = sizeof(startValue);
        hasStart = RegQueryValueExA(key, "Start", NULL, &type, (BYTE *)&startValue, &size) == ERROR_SUCCESS &&
                   type == REG_DWORD && size == sizeof(startValue);
        if (!hasStart)
            startValue = 0;
        delayed = QueryKeyDWORD(key, "DelayedAutostart");
        HKEY triggers = NULL;
        if (RegOpenKeyExA(key, "TriggerInfo\\0", 0, KEY_READ, &triggers) == ERROR_SUCCESS) {
            trigger = QueryKeyDWORD(triggers, "Type");
            RegCloseKey(triggers);
        }
    }
    if (start)
        *start = hasStart ? (int)startValue : -1;
    const char *word = words->unknown;
    if (startValue == SERVICE_AUTO_START && delayed && trigger) {
        // Both ways of starting later are told, joined by a comma.
        FormatText(text, SERVICE_START_TEXT_MAX, "%s,%s", words->delayed, words->triggered);
        return (int)strlen(text);
    }
    if (startValue == SERVICE_AUTO_START)
        word = delayed ? words->delayed : trigger ? words->triggered : words->automatic;
    else if (startValue == SERVICE_DEMAND_START)
        word = words->manual;
    else if (startValue == SERVICE_DISABLED)
        word = words->disabled;
    CopyText(text, SERVICE_START_TEXT_MAX, word);
    return (int)strlen(text);
}

int ServiceStartText(const char *serviceKeyPath, char *text)
{
    HKEY key = NULL;
    if (!serviceKeyPath || RegOpenKeyExA(HKEY_LOCAL_MACHINE, serviceKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        key = NULL;
    ServiceStartWords words;
    LoadServiceStartWords(&words);
    int len = ServiceStartTextOfKey(key, &words, text, NULL);
    if (key)
        RegCloseKey(key);
    return len;
}

int StopServiceByName(const char *displayName)
{
    SC_HANDLE service = OpenServiceByName(displayName, SERVICE_ALL_ACCESS, "MyError:  StopServiceByName OpenService");
    if (!service)
        return 0;
    int result = 0;
    SERVICE_STATUS status;
    if (ControlService(service, SERVICE_CONTROL_STOP, &status))
        result = 1;
    else
        TraceLastError("MyError:  StopServiceByName ControlService");
    CloseServiceHandle(service);
    return result;
}

void ForEachServiceKey(ServiceVisitor visit, void *context)
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
        HKEY key = NULL;
        if (RegOpenKeyExA(services, name, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            TestLog("MyError:  ForEachServiceKey RegOpenKeyEx", keyPath);
            continue;
        }
        int stop = visit(name, keyPath, key, context);
        RegCloseKey(key);
        if (stop)
            break;
    }
    RegCloseKey(services);
}

int ServiceDescriptionOfKey(HKEY key, char *description, size_t cap)
{
    if (!description || cap < 2)
        return 0;
    DWORD type = 0, size = (DWORD)cap - 1;
    // A text value only (a DWORD is no description), and one that does not fit is left out.
    if (RegQueryValueExA(key, "Description", NULL, &type, (BYTE *)description, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        size = 0;
    description[size < cap ? size : cap - 1] = '\0';
    return (int)strlen(description);
}

int ServiceImageOfKey(HKEY key, char *image)
{
    if (ReadKeyText(key, "ImagePath", image, SERVICE_IMAGE_PATH_MAX) > 0)
        return (int)strlen(image);
    DWORD size = 0;
    if (RegQueryValueExA(key, "ImagePath", NULL, NULL, NULL, &size) == ERROR_SUCCESS && size > 1)
        TestLog("MyError:  ServiceImageOfKey ImagePath", "too long or unreadable: passed over");
    return 0;
}

int ServiceProgramOfKey(HKEY key, const char *image, char *program, size_t cap)
{
    const char *chosen = image;
    char dll[SERVICE_DLL_MAX];
    // A shared host runs many services: its DLL is what tells them apart.
    if (StrContains(image, "svchost")) {
        HKEY parameters = NULL;
        if (RegOpenKeyExA(key, "Parameters", 0, KEY_READ, &parameters) == ERROR_SUCCESS) {
            if (ReadKeyText(parameters, "ServiceDll", dll, CAP(dll)) > 0)
                chosen = dll;
            RegCloseKey(parameters);
        }
    }
    if (!CopyText(program, cap, chosen)) {
        TestLog("MyError:  ServiceProgramOfKey program too long", chosen);
        program[0] = '\0';
        return 0;
    }
    return (int)strlen(program);
}

typedef struct DisableSearch {
    const char *displayName;
    char keyName[SERVICE_KEY_NAME_MAX];     // the manager's key name of it, if it knows one
    int found;
} DisableSearch;

static int DisableIfNamed(const char *keyName, const char *keyPath, HKEY key, void *context)
{
    DisableSearch *search = (DisableSearch *)context;
    char image[SERVICE_IMAGE_PATH_MAX], display[SERVICE_DISPLAY_NAME_MAX];
    // Drivers and leftovers without a program are no service a user met in an alert.
    if (ServiceImageOfKey(key, image) <= 0)
        return 0;
    // The registry may hold the display name as a resource reference that only the
    // manager resolves: its key name then identifies the service.
    // A service without a display name of its own is listed by its key name.
    int named = ReadKeyText(key, "DisplayName", display, CAP(display)) > 0
                    ? StrEqualNoCase(display, search->displayName) == 0
                    : StrEqualNoCase(keyName, search->displayName) == 0;
    if (!named && !(search->keyName[0] && StrEqualNoCase(keyName, search->keyName) == 0))
        return 0;
    if (!SetRegDWORDValue(HKEY_LOCAL_MACHINE, keyPath, "Start", SERVICE_DISABLED)) {
        TestLog("MyError:  DisableServiceByName Start", keyPath);
        return 1;
    }
    // A delayed automatic start would otherwise outlive the disabled start type
    // on the Windows versions that have it.
    if (RegQueryValueExA(key, "DelayedAutostart", NULL, NULL, NULL, NULL) == ERROR_SUCCESS)
        SetRegDWORDValue(HKEY_LOCAL_MACHINE, keyPath, "DelayedAutostart", 0);
    search->found = 1;
    return 1;
}

// The running manager reads its configuration at boot only: until then it would
// still start the service on request, so it is told as well.
static void DisableInManager(const char *displayName)
{
    SC_HANDLE service = OpenServiceByName(displayName, SERVICE_CHANGE_CONFIG, NULL);
    if (!service)
        return;
    if (!ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, NULL, NULL, NULL,
                              NULL, NULL, NULL, NULL))
        TraceLastError("MyError:  DisableServiceByName ChangeServiceConfig");
    CloseServiceHandle(service);
}

int DisableServiceByName(const char *displayName)
{
    if (!displayName || !displayName[0])
        return 0;
    DisableSearch search;
    memset(&search, 0, sizeof(search));
    search.displayName = displayName;
    LookupServiceKeyName(displayName, search.keyName, CAP(search.keyName));
    ForEachServiceKey(DisableIfNamed, &search);
    if (search.found)
        DisableInManager(displayName);
    return search.found;
}

int LookupServiceDisplayNameWith(SC_HANDLE manager, const char *keyName, char *displayName, size_t cap)
{
    if (!displayName || cap == 0)
        return 0;
    displayName[0] = '\0';
    if (!manager || !keyName || !keyName[0])
        return 0;
    char name[SERVICE_DISPLAY_NAME_MAX];
    DWORD len = sizeof(name);
    if (!GetServiceDisplayNameA(manager, keyName, name, &len) || !name[0])
        return 0;
    name[sizeof(name) - 1] = '\0';
    return CopyText(displayName, cap, name);
}

// The names asked of the manager, in the order a listing meets them, so that the
// next listing finds each one where the search for the one before stopped.
#define KEPT_NAMES_MAX 4096
typedef struct KeptName {
    char *key, *registry, *name;
} KeptName;
static KeptName *KeptNames;
static int KeptCount, KeptCapacity, KeptCursor;

static char *HeapCopy(const char *text)
{
    size_t len = strlen(text) + 1;
    char *copy = (char *)HeapAlloc(GetProcessHeap(), 0, len);
    if (copy)
        memcpy(copy, text, len);
    return copy;
}

static void FreeKept(KeptName *kept)
{
    for (char *text : {kept->key, kept->registry, kept->name})
        if (text)
            HeapFree(GetProcessHeap(), 0, text);
}

static KeptName *FindKept(const char *keyName)
{
    for (int n = 0; n < KeptCount; n++) {
        int i = (KeptCursor + n) % KeptCount;
        if (strcmp(KeptNames[i].key, keyName) == 0) {
            KeptCursor = (i + 1) % KeptCount;
            return &KeptNames[i];
        }
    }
    return NULL;
}

static void Keep(const char *keyName, const char *registryName, const char *name)
{
    KeptName *kept = FindKept(keyName);
    if (kept) {
        FreeKept(kept);
    } else {
        if (KeptCount == KeptCapacity) {
            // Full: the names are asked of the manager again, as without the store.
            if (KeptCapacity >= KEPT_NAMES_MAX)
                return;
            int capacity = KeptCapacity ? 2 * KeptCapacity : 256;
            void *grown = KeptNames ? HeapReAlloc(GetProcessHeap(), 0, KeptNames, capacity * sizeof(KeptName))
                                    : HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(KeptName));
            if (!grown)
                return;
            KeptNames = (KeptName *)grown;
            KeptCapacity = capacity;
        }
        kept = &KeptNames[KeptCount++];
    }
    kept->key = HeapCopy(keyName);
    kept->registry = HeapCopy(registryName);
    kept->name = HeapCopy(name);
    if (!kept->key || !kept->registry || !kept->name) {
        FreeKept(kept);
        *kept = KeptNames[--KeptCount];
    }
}

int LookupServiceDisplayNameKept(SC_HANDLE manager, const char *keyName, const char *registryName,
                                 char *displayName, size_t cap)
{
    if (!displayName || cap == 0 || !keyName)
        return 0;
    if (!registryName)
        registryName = "";
    KeptName *kept = FindKept(keyName);
    if (kept && strcmp(kept->registry, registryName) == 0)
        return CopyText(displayName, cap, kept->name);
    if (!LookupServiceDisplayNameWith(manager, keyName, displayName, cap))
        return 0;
    Keep(keyName, registryName, displayName);
    return 1;
}

void FreeServiceNames(void)
{
    for (int i = 0; i < KeptCount; i++)
        FreeKept(&KeptNames[i]);
    if (KeptNames)
        HeapFree(GetProcessHeap(), 0, KeptNames);
    KeptNames = NULL;
    KeptCount = KeptCapacity = KeptCursor = 0;
}

int LookupServiceDisplayName(const char *keyName, char *displayName, size_t cap)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, GENERIC_READ);
    int found = LookupServiceDisplayNameWith(manager, keyName, displayName, cap);
    if (manager)
        CloseServiceHandle(manager);
    return found;
}

int LookupServiceKeyName(const char *displayName, char *keyName, size_t cap)
{
    if (!keyName || cap == 0)
        return 0;
    keyName[0] = '\0';
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, GENERIC_READ);
    if (!manager)
        return 0;
    char name[SERVICE_KEY_NAME_MAX];
    int found = KeyNameOf(manager, displayName, name) && CopyText(keyName, cap, name);
    CloseServiceHandle(manager);
    if (!found)
        keyName[0] = '\0';
    return found;
}

typedef struct ProgramSearch {
    char program[MAX_PATH];         // normalised and lengthened
    char keyName[SERVICE_SUBKEY_MAX + 1];
    char keyPath[SERVICE_SUBKEY_MAX];
    char description[SERVICE_DESCRIPTION_MAX];
} ProgramSearch;

static int MatchServiceProgram(const char *keyName, const char *keyPath, HKEY key, void *context)
{
    ProgramSearch *search = (ProgramSearch *)context;
    char image[SERVICE_IMAGE_PATH_MAX], command[SERVICE_IMAGE_PATH_MAX], program[MAX_PATH];
    if (ServiceImageOfKey(key, image) <= 0 || ServiceProgramOfKey(key, image, command, CAP(command)) <= 0)
        return 0;
    NormaliseProgramPath(command, program);
    if (!program[0] || StrEqualNoCase(program, search->program) != 0)
        return 0;
    CopyText(search->keyName, CAP(search->keyName), keyName);
    CopyText(search->keyPath, CAP(search->keyPath), keyPath);
    ServiceDescriptionOfKey(key, search->description, CAP(search->description));
    return 1;
}

// The first service that runs programPath, in a search record the caller frees
// (NULL when there is none or no memory).
static ProgramSearch *SearchServiceOfProgram(const char *programPath)
{
    if (!programPath || !programPath[0])
        return NULL;
    ProgramSearch *search = (ProgramSearch *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ProgramSearch));
    if (!search)
        return NULL;
    NormaliseProgramPath(programPath, search->program);
    if (search->program[0])
        ForEachServiceKey(MatchServiceProgram, search);
    if (!search->keyName[0]) {
        HeapFree(GetProcessHeap(), 0, search);
        return NULL;
    }
    return search;
}

int FindServiceOfProgram(const char *programPath, char *displayName, size_t cap)
{
    if (!displayName || cap == 0)
        return 0;
    displayName[0] = '\0';
    ProgramSearch *search = SearchServiceOfProgram(programPath);
    if (!search)
        return 0;
    // The manager's display name is the one the stop and state calls resolve;
    // the registry's may be a resource reference.
    char name[SERVICE_DISPLAY_NAME_MAX] = "";
    if (!LookupServiceDisplayName(search->keyName, name, CAP(name)))
        GetRegString(HKEY_LOCAL_MACHINE, search->keyPath, "DisplayName", name, CAP(name));
    CopyText(displayName, cap, name[0] ? name : search->keyName);
    HeapFree(GetProcessHeap(), 0, search);
    return 1;
}

int FindServiceDescription(const char *programPath, char *description)
{
    if (!description)
        return 0;
    description[0] = '\0';
    ProgramSearch *search = SearchServiceOfProgram(programPath);
    if (!search)
        return 0;
    CopyText(description, SERVICE_DESCRIPTION_MAX, search->description);
    HeapFree(GetProcessHeap(), 0, search);
    return (int)strlen(description);
}
