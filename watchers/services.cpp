// The services watcher: the listings of the services key, the baseline of known
// services, and the step of the scan pass that puts each new one to the user.
#include "watchers/services.h"

#include <string.h>

#include "common/detection.h"
#include "common/file_facts.h"
#include "common/files.h"
#include "common/history.h"
#include "common/registry.h"
#include "common/service_control.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "online/server_reports.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "watchers/baseline_codes.h"

#define TIP_SERVICES 821
#define BASELINE_MARKER "P"
#define MARKER_READ_MAX 32
#define SERVICE_DESCRIPTION_READ_MAX 4096

typedef struct ServiceListing {
    RunList *list;
    int quick;
    SC_HANDLE manager;              // display names; NULL when the manager cannot be reached
    VersionRecord *version;         // work space of the Microsoft test
    ServiceStartWords words;
    char description[SERVICE_DESCRIPTION_READ_MAX];
} ServiceListing;

// The name a service is listed and known by: the manager's display name, else the
// registry's, else its key name (a service without any display name).
static void ServiceNameOf(ServiceListing *listing, const char *keyName, HKEY key, char *name, size_t cap)
{
    char display[SERVICE_DISPLAY_NAME_MAX];
    if (ReadKeyText(key, "DisplayName", display, CAP(display)) <= 0)
        display[0] = '\0';
    if (!LookupServiceDisplayNameKept(listing->manager, keyName, display, name, cap))
        CopyText(name, cap, display[0] ? display : keyName);
}

// The program as the detailed listing shows it: resolved to its full path while
// Microsoft's services are hidden (NULL when it is one of them), else as it stands.
static const char *ListedProgram(ServiceListing *listing, const char *program, char *resolved)
{
    if (giHideMicrosoftServices < 1)
        return program;
    // The program as comparisons see it (NormaliseProgramPath), taken from the one
    // spelled as the registry has it, which is what the file system is asked with.
    char file[MAX_PATH], upper[MAX_PATH];
    if (ExtractProgramPathAsIs(program, file) > 0) {
        CopyText(upper, CAP(upper), file);
        UpperText(upper);
        GetLongPath(upper, resolved);
    } else {
        CopyText(file, CAP(file), program);
        CopyText(resolved, MAX_PATH, program);
    }
    // Read once per file as it is: a later listing of the same file costs one look
    // at its size and time (the cache keys it without regard to case). The
    // record's fields are filled (or emptied) whatever the result says: a file may
    // name its maker without naming its product.
    GetVersionInfoCached(file, listing->version);
    return StrContains(listing->version->CompanyName, "Microsoft") ? NULL : resolved;
}

static int ListService(const char *keyName, const char *keyPath, HKEY key, void *context)
{
    ServiceListing *listing = (ServiceListing *)context;
    char image[SERVICE_IMAGE_PATH_MAX];
    (void)keyPath;
    if (ServiceImageOfKey(key, image) <= 0)
        return 0;
    if (listing->quick) {
        AddRunStruct(listing->list, keyName, image, "", "", CODE_SERVICE_EXE, 0);
        return 0;
    }
    // Kernel and file-system drivers never enter the list.
    int hosted = StrContains(image, "svchost");
    if (!hosted && !StrContains(image, ".exe"))
        return 0;
    char program[SERVICE_IMAGE_PATH_MAX], resolved[MAX_PATH];
    if (ServiceProgramOfKey(key, image, program, CAP(program)) <= 0)
        return 0;
    const char *shown = ListedProgram(listing, program, resolved);
    if (!shown)
        return 0;

    char name[SERVICE_DISPLAY_NAME_MAX], startText[SERVICE_START_TEXT_MAX];
    ServiceNameOf(listing, keyName, key, name, CAP(name));
    // A name cut to the record would be a name no service has: it could be neither
    // found again nor disabled.
    if (strlen(name) >= RUN_NAME_MAX) {
        TestLog("ListServices name too long, listed by its key name", name);
        if (strlen(keyName) >= RUN_NAME_MAX)
            return 0;
        CopyText(name, CAP(name), keyName);
    }
    ServiceDescriptionOfKey(key, listing->description, CAP(listing->description));
    if (ServiceStartTextOfKey(key, &listing->words, startText, NULL) <= 0)
        CopyText(startText, CAP(startText), listing->words.unknown);
    AddRunStruct(listing->list, name, shown, startText, listing->description,
                 hosted ? CODE_SERVICE_SVCHOST : CODE_SERVICE_EXE, 0);
    return 0;
}

int ListServices(RunList *list, int quick)
{
    if (!list)
        return 0;
    FreeRunList(list);
    ServiceListing *listing = (ServiceListing *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ServiceListing));
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(VersionRecord));
    if (listing && version) {
        listing->list = list;
        listing->quick = quick;
        listing->version = version;
        listing->manager = quick ? NULL : OpenSCManagerA(NULL, NULL, GENERIC_READ);
        if (!quick)
            LoadServiceStartWords(&listing->words);
        ForEachServiceKey(ListService, listing);
        if (listing->manager)
            CloseServiceHandle(listing->manager);
    } else {
        TestLog("MyError:  ListServices HeapAlloc", "no listing");
    }
    if (listing)
        HeapFree(GetProcessHeap(), 0, listing);
    if (version)
        HeapFree(GetProcessHeap(), 0, version);
    return list->count;
}

int CollectServices(RunList *list)
{
    return ListServices(list, SERVICES_DETAILED);
}

int IsServiceKnown(const char *name)
{
    return IsCodeKnown(SERVICES_BASELINE_KEY, name);
}

int CheckforServicesChanges(RunList *list)
{
    int count = ListServices(list, SERVICES_QUICK);
    char text[64];
    FormatText(text, CAP(text), "Services Checked: %d", count);
    TestLog("CheckforServicesChanges", text);
    return count > 0 && FirstUnknownRecord(SERVICES_BASELINE_KEY, list, 0) >= 0;
}

static int WriteServiceBaseline(const char *name, int code)
{
    return WriteBaselineCode(SERVICES_BASELINE_KEY, name, code, "MyError:  ServicesCheck baseline not written: alerted again");
}

void InitServices(void)
{
    char marker[MARKER_READ_MAX + 1];
    int read = GetRegString(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY, "", marker, CAP(marker));
    if (read > 0 && marker[0] == BASELINE_MARKER[0])
        return;
    // A default value that is not the marker: whatever the key holds was not
    // written by a finished baseline.
    if (read > 0) {
        char work[MAX_PATH];
        CopyText(work, CAP(work), SERVICES_BASELINE_KEY);
        DeleteRegKeyTree(HKEY_CURRENT_USER, work);
    }
    if (!CreateRegKey(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY))
        TraceLastError("MyError:  InitServices RegCreateKeyEx");
    SetRegString(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY, "", BASELINE_MARKER);
    RunList *list = NewRunList();
    if (!list)
        return;
    ListServices(list, SERVICES_DETAILED);
    char name[RUN_NAME_MAX];
    for (int i = 0; i < list->count; i++)
        if (GetRunName(list, i, name) > 0)
            WriteServiceBaseline(name, GetRunCode(list, i));
    DeleteRunList(list);
}

static void LogService(int action, const AlertItem *entry, const char *detail)
{
    WriteLog(action, entry->code, entry->name, entry->path, detail);
}

// Accepted: one line that tells how the service will start (the start type is
// the action: automatic, manual or disabled, with its words as the detail).
static void LogServiceAccepted(const AlertItem *entry)
{
    char keyName[SERVICE_DISPLAY_NAME_MAX], keyPath[MAX_PATH], text[SERVICE_START_TEXT_MAX] = "";
    int start = -1;
    HKEY key = NULL;
    if ((LookupServiceKeyName(entry->name, keyName, CAP(keyName)) || CopyText(keyName, CAP(keyName), entry->name)) &&
        FormatText(keyPath, CAP(keyPath), "%s\\%s", SERVICES_KEY, keyName) &&
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        ServiceStartWords words;
        LoadServiceStartWords(&words);
        ServiceStartTextOfKey(key, &words, text, &start);
        RegCloseKey(key);
    }
    int action = start == SERVICE_DEMAND_START ? LOG_SERVICE_MANUAL
                 : start == SERVICE_DISABLED   ? LOG_SERVICE_DISABLED
                                               : LOG_SERVICE_AUTOMATIC;
    LogService(action, entry, text);
}

// Reject: a line for the state the service was in, then disabled (first, so that
// nothing can start it again between the two) and stopped, each line written only
// when it happened. 1 when the service is disabled.
static int RejectService(const AlertItem *entry)
{
    int state = (QueryServiceState(entry->name) >> 16) & 0xFFFF;
    if (state == SERVICE_START_PENDING)
        LogService(LOG_SERVICE_FROM_MANUAL, entry, "");
    else if (state == SERVICE_STOP_PENDING)
        LogService(LOG_SERVICE_FROM_DISABLED, entry, "");
    else if (state == SERVICE_RUNNING)
        LogService(LOG_SERVICE_FROM_AUTOMATICDELAYED, entry, "");
    int disabled = DisableServiceByName(entry->name);
    if (disabled)
        LogService(LOG_SERVICE_DISABLED, entry, "");
    else
        TestLog("MyError:  ServicesCheck DisableServiceByName no such service: alerted again", entry->name);
    if (state != 0 && state != SERVICE_STOPPED && StopServiceByName(entry->name))
        LogService(LOG_SERVICE_STOP, entry, "");
    return disabled;
}

static void AskAboutService(const RunList *list, int i)
{
    AlertItem entry;
    memset(&entry, 0, sizeof(entry));
    GetRunName(list, i, entry.name);
    GetRunPath(list, i, entry.path);
    entry.code = GetRunCode(list, i);
    // The dialog clears the entry's texts when it is answered.
    AlertItem kept = entry;
    RecordDetection(entry.path, DETECTED_SERVICES_KEY);

    int answer = RunAlert(IDD_NEWSERVICE, NewServicesDlgProc, (LPARAM)&entry, giHideServices, TIP_SERVICES, 1);
    if (answer == ANSWER_ACCEPT || answer == ANSWER_REJECT)
        ReportDecision(kept.name, kept.path, answer);
    if (answer == ANSWER_ACCEPT) {
        if (WriteServiceBaseline(kept.name, kept.code))
            LogServiceAccepted(&kept);
    } else if (answer == ANSWER_REJECT) {
        // A service that could not be disabled stays out of the baseline: it is
        // alerted again rather than taken as done.
        if (RejectService(&kept))
            WriteServiceBaseline(kept.name, kept.code);
    }
}

int ServicesCheck(ScanPass *pass)
{
    (void)pass;
    RunList *list = NewRunList();
    if (!list) {
        TestLog("MyError:  ServicesCheck NewRunList", "services not checked in this pass");
        return 0;
    }
    int changed = CheckforServicesChanges(list);
    if (changed) {
        ListServices(list, SERVICES_DETAILED);
        // The list is not made again during the step; after each alert the search
        // goes on after the entry just answered.
        for (int i = FirstUnknownRecord(SERVICES_BASELINE_KEY, list, 0); i >= 0; i = FirstUnknownRecord(SERVICES_BASELINE_KEY, list, i + 1))
            AskAboutService(list, i);
    }
    DeleteRunList(list);
    return changed;
}
