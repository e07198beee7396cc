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
// Delayed start: programs to launch, programs handled, ticks since the last step, step.
extern int giDelayToLaunch, giDelayLaunched, giDelayTicks, giDelayStep;
// The launcher of the delayed programs for one step value (set by the delayed-start code).
extern void (*DelayedStartStep)(int stepValue);
// The baselines rebuilt at an idle moment, in this order; a slot stays empty
// until its watcher is part of the program.
enum {
    IDLE_REBUILD_STARTUP, IDLE_REBUILD_SERVICES, IDLE_REBUILD_HIDDEN, IDLE_REBUILD_ACTIVEX,
    IDLE_REBUILD_MISSING_RUN, IDLE_REBUILD_COUNT
};
extern void (*IdleBaselineRebuilds[IDLE_REBUILD_COUNT])(void);

void OnTimerTick(void);
void OnTaskChangeMessage(void);
void CheckTaskChanges(void);
void IdleCleanup(void);
