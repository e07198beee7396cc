// The text a startup entry has where it lives: the run list keeps only its path
// (quotes removed, lengthened), but a disabled entry has to be stored, and a
// removal has to match, exactly as the entry stands in its location.
#pragma once
#include <windows.h>

#include "common/runlist.h"

// Entry i's Run value data, win.ini list item or autostart place's value or item
// exactly as stored, else its copy
// in the Disabled store, as long as that text still records the entry's path;
// the path itself for other kinds or when neither holds it. out: cap characters.
// Returns the length.
int ReadRunEntryCommand(const RunList *list, int i, char *out, int cap);

// 1 when the text (a Run value's data, a win.ini list item) records the path.
int CommandRecordsPath(const char *command, const char *path);
// The value name of root\key in the view, copied into out when it records the path
// (a name may also belong to some other program in another place); 1 when it fitted.
int ReadMatchingValue(HKEY root, const char *key, const char *name, REGSAM view, const char *path, char *out,
                      int cap);
// The first item of the win.ini list listName ("load", "run") that records the path,
// copied into out (cap characters); 1 when there was one and it fitted.
int FindWinIniItem(const char *listName, const char *path, char *out, int cap);
