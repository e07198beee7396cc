// The services watcher: Windows services registered after the baseline was
// taken, each put to the user once in the new-service alert (dialog 171).
// Accepting leaves the service as it is; rejecting disables and stops it.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "common/options.h"
#include "common/runlist.h"
#include "common/scan_pass.h"

// One value per known service (HKCU): name = its display name as listed, data =
// its code in decimal; the default value "P" once the baseline has been built.
#define SERVICES_BASELINE_KEY BRACKMOOR_KEY "\\Services"

enum { CODE_SERVICE_EXE = 700, CODE_SERVICE_SVCHOST = 701 };

// The two listings: quick (every service with an ImagePath, by key name, code 700)
// and detailed (programs only, by display name, with start text and description,
// the Microsoft services left out while "HideMicrosoftServices" is on).
enum { SERVICES_DETAILED = 0, SERVICES_QUICK = 1 };

// Fills list (emptied first); returns the record count.
int ListServices(RunList *list, int quick);
int CollectServices(RunList *list);         // the detailed listing
// 1 when the quick listing (made into list) holds a service the baseline does not know.
int CheckforServicesChanges(RunList *list);
// Whether the baseline knows a name: a value of at most 32 characters whose
// number is not 0.
int IsServiceKnown(const char *name);
// Builds the baseline when its marker is missing.
void InitServices(void);
// The services step of the scan pass.
int ServicesCheck(ScanPass *pass);

// The lower text of the alert: string 901 with the start type and the run state of
// the service of that display name. Its length.
int FormatServiceStatusText(const char *displayName, char *out, size_t cap);
// lParam: the AlertItem of the service (name, program, code 700 or 701). Ends with 6 (accept) or 7 (reject; also Escape).
INT_PTR CALLBACK NewServicesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
