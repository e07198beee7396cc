// Small service operations by display name: the run state, stop, disable, and
// the service that runs a given program.
#pragma once
#include <windows.h>
#include <stddef.h>

#define SERVICES_KEY "SYSTEM\\CurrentControlSet\\Services"

// (dwCurrentState << 16) | dwServiceType, 0 when the service cannot be opened.
int QueryServiceState(const char *displayName);
// 1 when the service manager accepted the stop request.
int StopServiceByName(const char *displayName);
// Start type "disabled" (and no delayed start) for the service of that display
// name; 1 when one was found and changed.
int DisableServiceByName(const char *displayName);
// The display name of the first service whose program (ImagePath, or ServiceDll
// for svchost services) is programPath; 1 when found.
int FindServiceOfProgram(const char *programPath, char *displayName, size_t cap);
