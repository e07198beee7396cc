// The baselines of the watchers whose values are codes: one REG_SZ value per
// known item under the watcher's HKCU key, named by the item, holding its code in
// decimal. An item is known when its value exists, is at most 32 characters long
// and its number is not 0; anything else (a "0", a long text) makes it new again.
#pragma once
#include <windows.h>

#include "common/runlist.h"

// Whether the open baseline key knows the name (an empty name is never known).
int IsCodeKnownIn(HKEY baseline, const char *name);
int IsCodeKnown(const char *baselineKey, const char *name);
// The first record of list from index start on whose name the baseline does not
// know; -1 when there is none. The key is opened once for the whole run.
int FirstUnknownRecord(const char *baselineKey, const RunList *list, int start);
// Writes the code under the name; 0 (traced with tag) when it could not be written,
// or when the name is empty and would overwrite the key's default value.
int WriteBaselineCode(const char *baselineKey, const char *name, int code, const char *tag);
