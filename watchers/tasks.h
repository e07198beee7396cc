// The scheduled tasks watcher: work items of the Task Scheduler (the version 1.0
// interface) added after the baseline was taken, each put to the user once in the
// new-task alert (dialog 138). Accepting keeps the task; rejecting deletes it from
// the scheduler and from the baseline.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "common/options.h"
#include "common/runlist.h"
#include "common/scan_pass.h"

// One value per known task (HKCU): name = the work item's name as the scheduler
// lists it (normally with ".job"), data = its code in decimal. No marker: the
// baseline builder makes it anew.
#define TASKS_BASELINE_KEY BRACKMOOR_KEY "\\Tasks"

#define CODE_TASK_SCHEDULED 800

// The version 1.0 scheduler's class and interfaces (and the task class that makes
// new work items), by their numbers: no import library is needed for them.
extern const CLSID ClsidTaskScheduler, ClsidTask;
extern const IID IidTaskScheduler, IidTask;

// Set when StartTaskScheduler had to start the scheduler; StopTaskScheduler clears it.
extern int bSchedulerStartedByUs;

// 0 when the scheduler runs (already, or started now), else the failed step's error.
int StartTaskScheduler(void);
int IsTaskSchedulerRunning(void);
void StopTaskScheduler(void);

// Fills list (emptied first) with one record per task; the number listed, 0 on
// every failure.
int GetScheduledTasks(RunList *list);
// Deletes the task of that name (compared without regard to case); 1 when the
// scheduler deleted it, 0 when it is not there or refused (traced).
int DeleteScheduledTask(const char *name);
// The name as the alert shows it: without its ".job" extension.
int TaskDisplayName(const char *name, char *out, size_t cap);
// Whether the baseline knows a task name.
int IsTaskKnown(const char *name);
// The task section of the startup baseline builder: the key made anew from the
// tasks listed now.
void InitTasks(void);
// The tasks step of the scan pass.
int TasksCheck(ScanPass *pass);

// The history line of a task put to the user (with or without the dialog):
// "TASK_Alert" with the program's product name, path and description.
struct AlertItem;
void LogTaskAlert(const struct AlertItem *task);
// lParam: the AlertItem of the task (its name, program, and category code 0). Ends with 6 (accept; also Escape) or 7 (reject).
INT_PTR CALLBACK NewTaskDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
