// The running programs: one run-list record (code 600) per distinct image, and the
// process of one program found or ended.
#pragma once
#include <windows.h>

#include "common/runlist.h"

typedef int (*ProcessCallback)(DWORD pid, int reserved, const char *imagePath, void *context);
int ForEachProcess(ProcessCallback callback, void *context);
int ListRunningTasks(RunList *list);
// The number of distinct running programs (a list of its own, freed again).
int CountRunningTasks(void);
// Ends the running process of the program (by full path or by file name); a
// service's program has its service stopped. The history says what was ended.
void KillStartupTask(const char *name, const char *path);
// The first running process whose image is the program; 0 when none runs.
DWORD FindProcessOfProgram(const char *programPath);
