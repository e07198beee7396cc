// Dialog 131, the new-startup alert: what the system knows of a program that has
// made itself start with Windows, and the user's answer to it (accept, reject,
// disable). The alert pass carries the answer out; the dialog itself only stops
// the program, and turns the answer into disable when the user keeps rejecting
// or accepting the same one.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "common/runlist.h"

// The entry an alert is about. The pass keeps one process-wide current alert and
// hands it to the dialog as its lParam; the answer buttons clear its texts.
typedef struct StartupAlertEntry {
    char path[MAX_PATH];            // the program (the run list's path)
    char name[RUN_NAME_MAX];        // the entry's name, 127 characters at most
    char sourcePath[MAX_PATH];      // the shortcut or file that holds the entry, if any
    int code;                       // the location code
    int programEnded;               // the dialog has already ended the running program
} StartupAlertEntry;

// The string of the sentence that says where the entry lives (765..768).
UINT StartupLocationSentenceId(int code);
// String 7 with the location sentence of the code put in for its "%s" (shown
// unchanged when a translation has no "%s"); returns the length.
int FormatStartupAlertMessage(int code, char *out, size_t cap);

// The history's "START_Alert" line for an entry decided without the dialog,
// the same line the dialog writes when it opens.
void LogStartupAlert(const StartupAlertEntry *entry);

// lParam: the StartupAlertEntry. Ends with 6 (accept), 7 (reject) or 11 (the
// entry is to be disabled, or the dialog has disabled it itself).
INT_PTR CALLBACK NewProgDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
