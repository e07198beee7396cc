// The running programs: one run-list record (code 600) per distinct image.
#pragma once
#include <windows.h>

#include "common/runlist.h"

typedef int (*ProcessCallback)(DWORD pid, int reserved, const char *imagePath, void *context);
int ForEachProcess(ProcessCallback callback, void *context);
int ListRunningTasks(RunList *list);
// The number of distinct running programs (a list of its own, freed again).
int CountRunningTasks(void);
