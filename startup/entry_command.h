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
