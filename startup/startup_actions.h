// What the startup alert does to an entry: remove it from its location, move it
// into the Disabled store and back, and stop the program that runs (the last is
// the general KillStartupTask of common/processes.h).
#pragma once
#include <windows.h>

#include "common/processes.h"

// Removes the entry from its location (or from the Disabled store when it is
// marked there); only when that worked are its baseline values deleted, the
// history line written and the missing-startup baseline refreshed. data: the
// entry's text as it stands in its location (a Run value's command, the win.ini
// item); path: the sourcePath. 1 when the entry was removed, 0 (traced) when not.
int DeleteRunProgram(int code, const char *name, const char *data, const char *path);
// A toggle: an unmarked entry goes into the Disabled store (and is marked), a
// marked one goes back to its location; history "START_Disable" / "START_Restore".
// 1 when it did so; 0 (traced) leaves the entry where it was.
int DisableRunProgram(const char *name, const char *data, const char *path, int code);
// 1 when the entry is the one disabled under its name from this place: marked for
// the code, and for a win.ini item or a startup-folder file the very item put aside
// (several of them may share one name).
int IsDisabledItem(const char *name, const char *data, const char *path, int code);
// A disabled entry (marked for this code) that its program has put back into its
// location: taken out again, its copy replaced by what it holds now; history
// "START_Disable". 1 when it is out.
int TakeOutDisabledEntry(const char *name, const char *data, const char *path, int code);
// The marker of a disabled entry (HKLM DISABLED_MARKER_KEY, name = code), and
// the marker with the stored copy dropped again (storeKey may be NULL). 1 when written.
int WriteDisabledMarker(const char *name, int code);
void ForgetDisabledEntry(const char *storeKey, const char *name);
// The Winlogon and shell-hook entries (250..255), which Windows needs in some form:
// the defaults are written back, a hook is removed only after the user confirms.
// 1 when the setting was changed (and logged), 0 otherwise.
int RemoveSpecialStartup(const char *path, const char *data, const char *name, int code);
