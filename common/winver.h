// Which Windows this is: the few version tests the monitor makes.
#pragma once
#include <windows.h>

int IsNTPlatform(void);          // dwPlatformId is VER_PLATFORM_WIN32_NT
int IsVistaOrLater(void);        // major version 6 or more
int IsStartupApprovedOS(void);   // keeps "StartupApproved" values: 6.2 and 6.3
// Name, edition, service pack and a line of the raw numbers, for the start-of-run report.
int GetWindowsVersionName(char *out, size_t cap);
