// The delayed-start list as the companion writes it: a program's values under
// the Delay keys of the root and view its location code chooses (which the
// monitor's timer reads), the editor of those values, and the way back into the
// program's startup location.
#pragma once
#include <windows.h>

#include "common/registry.h"
#include "common/runlist.h"

// The code of a program the user put on the list by hand: it lives in no
// startup location, and its list is the user's own.
#define CODE_ADDED_BY_USER 31
// Launch times are step values of the monitor's timer: a step every 6 ticks of
// 2 seconds, the value growing by 10 each step.
#define DELAY_TIME_STEP 10
#define DELAY_TIME_MAX 100000

typedef struct DelayedProgram {
    char program[MAX_PATH];         // the value name: the program (for an applet, what RUNDLL32 gets)
    char title[RUN_NAME_MAX];
    char parameters[REG_TEXT_MAX];
    char shortcut[MAX_PATH];        // code 200: the shortcut that started it
    int code;                       // where it came from; negative: started through RUNDLL32
    int time;                       // the launch step value
    int openAs;                     // 0 normal, 1 minimised, 2 maximised
    int runAs;                      // 1: with administrator rights
} DelayedProgram;

// Entry i of a list that ReadDelayList filled, with its window state, rights and
// parameters read from the registry.
void LoadDelayedProgram(const RunList *list, int i, DelayedProgram *out);
// Writes every value of the program. ERROR_SUCCESS, or the system's error of the
// write that failed, after which nothing of the program is left on the list.
DWORD WriteDelayedProgram(const DelayedProgram *entry);
// The editor (dialog IDD_DELAYEDIT): 1 when the user confirmed the values.
int EditDelayedProgram(HWND owner, DelayedProgram *entry);
// Puts the program back where it came from (a Run value named by its title, its
// win.ini list, a shortcut in the startup folder; a program added by hand goes
// to the user's Run key), takes that into the baseline and the program off the
// list. ERROR_SUCCESS, or the system's error; on failure the list is unchanged.
DWORD MoveBackToStartup(const DelayedProgram *entry);
// Takes the program off the list for good, with the baseline's delayed marker
// of it (which would call it back as a delayed program). ERROR_SUCCESS, or the
// system's error, with nothing changed.
DWORD RemoveFromDelayList(const DelayedProgram *entry);
// The command line of the program as its startup location would start it.
void DelayedCommandLine(const DelayedProgram *entry, char *out, size_t cap);
