// Small service operations shared by the services watcher and the startup
// actions: the start-type and run-state texts, stop and disable by display name,
// display names from key names, and the service that runs a given program.
#pragma once
#include <windows.h>
#include <stddef.h>

#define SERVICES_KEY "SYSTEM\\CurrentControlSet\\Services"
#define SERVICE_START_TEXT_MAX 64
#define SERVICE_ACTIVE_TEXT_MAX 256
#define SERVICE_DISPLAY_NAME_MAX 512
#define SERVICE_DESCRIPTION_MAX 1024

// (dwCurrentState << 16) | dwServiceType, 0 when the service cannot be opened.
int QueryServiceState(const char *displayName);
// The run state as the alert words it ("Running", "Stopped"...) into text
// (SERVICE_ACTIVE_TEXT_MAX); returns QueryServiceState's value.
int ServiceActiveText(const char *displayName, char *text);
// The start type as the alert words it ("Automatic", "Delayed Start,Triggered
// Start", "Manual", "Disabled", else "Unknown") of the service key serviceKeyPath
// (under HKLM) into text (SERVICE_START_TEXT_MAX); returns its length.
int ServiceStartText(const char *serviceKeyPath, char *text);
// The words of the start types, read from the string table once for a run of
// start texts (a translation is a registry read per word).
typedef struct ServiceStartWords {
    char unknown[SERVICE_START_TEXT_MAX], automatic[SERVICE_START_TEXT_MAX], manual[SERVICE_START_TEXT_MAX],
        disabled[SERVICE_START_TEXT_MAX], delayed[SERVICE_START_TEXT_MAX], triggered[SERVICE_START_TEXT_MAX];
} ServiceStartWords;
void LoadServiceStartWords(ServiceStartWords *words);
// ServiceStartText for an open service key (it stays open); start receives its
// "Start" value, or -1 when it has none.
int ServiceStartTextOfKey(HKEY key, const ServiceStartWords *words, char *text, int *start);
// 1 when the service manager accepted the stop request.
int StopServiceByName(const char *displayName);
// Start type "disabled" (and no delayed start) for the service of that display
// name, in the registry and in the running service manager; 1 when one was found
// and its start value written.
int DisableServiceByName(const char *displayName);
// The display name the service manager knows for a key name (cap characters);
// 1 on success. manager: an open manager handle, or NULL to open one.
int LookupServiceDisplayName(const char *keyName, char *displayName, size_t cap);
int LookupServiceDisplayNameWith(SC_HANDLE manager, const char *keyName, char *displayName, size_t cap);
// LookupServiceDisplayNameWith, remembered: the manager takes a service's display
// name from its registry value "DisplayName" (registryName, "" when it has none),
// so while that value stays the same so does the name, and a listing asks the
// manager only about services that are new or renamed. 1 on success.
int LookupServiceDisplayNameKept(SC_HANDLE manager, const char *keyName, const char *registryName,
                                 char *displayName, size_t cap);
// Everything remembered forgotten (at exit, and by tests and benchmarks).
void FreeServiceNames(void);
// The key name of a display name (cap characters); 1 on success.
int LookupServiceKeyName(const char *displayName, char *keyName, size_t cap);
// The display name of the first service whose program (ImagePath, or ServiceDll
// for svchost services) is programPath; 1 when found.
int FindServiceOfProgram(const char *programPath, char *displayName, size_t cap);
// The Description of the first service that runs programPath into description
// (SERVICE_DESCRIPTION_MAX); its length, 0 when no service runs it.
int FindServiceDescription(const char *programPath, char *description);

// Walks the subkeys of the services key in order, each opened for reading: the
// count read first bounds the walk, so a key that changes under it cannot keep it
// going. A subkey that cannot be opened (a name the ANSI calls cannot represent)
// is traced and passed over. The visitor answers non-zero to stop.
typedef int (*ServiceVisitor)(const char *keyName, const char *keyPath, HKEY key, void *context);
void ForEachServiceKey(ServiceVisitor visit, void *context);
// A service key's "Description" into description (cap - 1 characters at most; a
// longer one is left out); its length.
int ServiceDescriptionOfKey(HKEY key, char *description, size_t cap);
// A service key's "ImagePath" (REG_EXPAND_SZ expanded) into image
// (SERVICE_IMAGE_PATH_MAX); its length, 0 when it has none. One that is too long
// or unreadable is traced.
#define SERVICE_IMAGE_PATH_MAX 512
int ServiceImageOfKey(HKEY key, char *image);
// A service's program as listings and matches see it: its ImagePath, or for a
// service hosted by svchost (the ImagePath names it) the non-empty "Parameters"
// "ServiceDll". Its length; 0 (traced) when it does not fit in cap.
int ServiceProgramOfKey(HKEY key, const char *image, char *program, size_t cap);
