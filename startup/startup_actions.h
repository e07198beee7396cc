// What the startup alert does to an entry: remove it from its location, move it
// into the Disabled store and back, and stop the program that runs.
#pragma once
#include <windows.h>

// Removes the entry from its location (or from the Disabled store when it is
// marked there), deletes its baseline values, writes the history line and
// refreshes the missing-startup baseline. data: the command or its baseline key;
// path: the sourcePath. 1 when the entry was removed.
int DeleteRunProgram(int code, const char *name, const char *data, const char *path);
// A toggle: an unmarked entry goes into the Disabled store (and is marked), a
// marked one goes back to its location. 1 when it did something.
int DisableRunProgram(const char *name, const char *data, const char *path, int code);
// The Winlogon and shell-hook entries (250..255), which Windows needs in some form:
// the defaults are written back, a hook is removed only after the user confirms.
int RemoveSpecialStartup(const char *path, const char *data, const char *name, int code);
// Ends the running process of the program (by full path or by file name).
void KillStartupTask(const char *name, const char *path);
// The first running process whose image is the program; 0 when none runs.
DWORD FindProcessOfProgram(const char *programPath);
