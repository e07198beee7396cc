// Delayed start: programs taken out of their startup location and started by the
// monitor itself some time after its own start, one step of the timer at a time;
// and the alert for a delayed program that has put itself back.
#pragma once
#include <windows.h>

#include "common/options.h"
#include "common/runlist.h"

// Under the root that matches an entry's location code, each of these keys holds
// one value per program, named by the program path.
#define DELAY_KEY BRACKMOOR_KEY "\\Delay"                 // location code; negative: through RUNDLL32
#define DELAY_TITLE_KEY DELAY_KEY "\\Title"               // display title
#define DELAY_SHORTCUTS_KEY DELAY_KEY "\\Shortcuts"       // code 200: the shortcut file
#define DELAY_TIME_KEY DELAY_KEY "\\Time"                 // the step value of the launch
#define DELAY_APPLET_KEY DELAY_KEY "\\Applet"             // non-empty: a control-panel applet
#define DELAY_OPENAS_KEY DELAY_KEY "\\OpenAs"             // 0 normal, 1 minimised, 2 maximised
#define DELAY_PARAMETERS_KEY DELAY_KEY "\\Parameters"     // command-line parameters
#define DELAY_RUNAS_KEY DELAY_KEY "\\RunAs"               // "1": with administrator rights

#define DELAY_RUNDLL_PREFIX "RUNDLL32.EXE "

// The root and registry view (0, KEY_WOW64_32KEY or KEY_WOW64_64KEY) that keep the
// delayed-start values of an entry with this location code. The sign of the code
// (RUNDLL32 entries) does not matter.
HKEY DelayRootOfCode(int code, REGSAM *view);

// Fills list with the delayed programs (name = title, path = program,
// sourcePath = shortcut for code 200 or the title, details = version, code,
// extra = the launch step, negative for an applet); returns the count.
int ReadDelayList(RunList *list);
// The number of programs the timer has to launch: ReadDelayList's count, with the
// list it used freed.
int CountDelayedPrograms(void);
// Start-up: the timer's counters from the list, and the timer's hook to the launcher.
void InitDelayedStart(void);
// One step of the timer: launches the programs whose Time equals stepValue and
// counts every such program as handled, launched or not.
void DelayedStartTimer(int stepValue);

// Starts one program. openAs: 0 normal, 1 minimised, 2 maximised (others: 0);
// a negative code starts "RUNDLL32.EXE " + program. Result 1 when it was started.
int fileLaunchDelayedProgram(const char *program, const char *parameters, int code, int runAs, int openAs);

// The one door to the outside: starts command with the verb ("open" or "runas"),
// the parameters, the working folder and the show command; 1 when started.
// Tests put a recorder here; the default is LaunchWithShell.
typedef int (*DelayedLaunchProc)(const char *command, const char *verb, const char *parameters,
                                 const char *directory, int show);
extern DelayedLaunchProc DelayedLauncher;
// ShellExecuteExA, and WinExec of the command when the shell refuses.
int LaunchWithShell(const char *command, const char *verb, const char *parameters, const char *directory,
                    int show);

// Takes a program off the list under root: its values in Delay, Time, Parameters,
// Shortcuts, Applet and Title; for HKLM on 64-bit Windows in both registry views.
// Result: how many values were deleted.
int RemoveDelayedProgram(const char *path, HKEY root);

// Dialog 192. lParam: the const RunStruct * of the entry (name, path, code); the
// dialog only reads it. Ends with 6 (make it a normal startup program again; also
// the close box) or 7 (keep it delayed).
INT_PTR CALLBACK DelayAlertDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Delayed start: programs to launch, programs handled, ticks since the last step, step.
extern int giDelayToLaunch, giDelayLaunched, giDelayTicks, giDelayStep;
// The launcher of the delayed programs for one step value (InitDelayedStart sets it).
extern void (*DelayedStartStep)(int stepValue);
