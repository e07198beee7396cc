// Startup change detection: one full look at every startup location against the
// baseline, and the alert pass that puts each entry the baseline does not know to
// the user (dialog 131) and carries the answer out.
#pragma once
#include <windows.h>

#include "common/scan_pass.h"

#include "startup/startup_alert.h"

// The entry of the alert that is open or was open last (process-wide, as the
// dialog and the other alerts of the startup subsystem read it).
extern StartupAlertEntry gStartupAlert;
// An alert (or its decision without a dialog) came up in the current check.
extern int bStartupAlertShown;
// Scans after a removal during which the quiet checks keep still.
#define REMOVAL_QUIET_SCANS 8

// 1 when a full scan (list) has an entry that the baseline does not know, or one
// that the delayed-start list gave up and that has put itself back; else 0.
int CheckforRunChanges(const RunList *list);
// Puts each such entry of list to the user and carries the answer out.
void StartupAlertPass(const RunList *list);
// The scan cycle's startup watcher: the check on the pass's startup list, and the
// alert pass when it found something. Returns the check's answer.
int StartupCheck(ScanPass *pass);
