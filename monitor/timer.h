// The main window's 2-second timer and the triggers it carries: the delayed-start
// launcher, the express delay, the scan pass, task changes and the idle clean-up.
#pragma once
#include <windows.h>

#define MAIN_TIMER_ID 2
#define MAIN_TIMER_PERIOD 2000
#define WM_TASK_STARTED 9024
#define WM_TASK_ENDED 9027

extern int bTaskChange;         // enough task-change messages arrived: look at the processes
extern int giRIDCount;          // consecutive ticks that ran CheckTaskChanges (0 to 3)
extern int giTaskMessages;      // task-change messages since the last trigger
extern int giLastTaskCount;     // running programs seen by the last look
extern int giIdleTicks;         // ticks towards the idle clean-up
extern DWORD gdwLaunchTick;     // GetTickCount of the start-up command

void OnTimerTick(void);
void OnTaskChangeMessage(void);
void CheckTaskChanges(void);
void IdleCleanup(void);
