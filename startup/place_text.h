// Reading the autostart places' values whole and bounded, shared by their scan
// and their actions: a value that does not fit, or that holds anything but text
// of the expected type, is unusable and traced, never taken cut.
#pragma once
#include <windows.h>

#include "startup/places.h"

// The buffer of a value (a command, a folder) and of a whole list value.
#define PLACE_TEXT_MAX 1024
#define PLACE_LIST_MAX 4096

// One value of an open key (the default value for ""); multi: a multi-string is
// expected (its items end with an empty one), else REG_SZ or REG_EXPAND_SZ.
// 1 read, 0 absent, -1 unusable (traced). cap counts two terminating NULs.
int QueryPlaceText(HKEY key, const char *valueName, char *out, DWORD cap, DWORD *type, int multi);
// The same for a value of a key given by path, opened in the places' view.
int ReadPlaceValue(HKEY root, const char *path, const char *valueName, char *out, DWORD cap, DWORD *type,
                   int multi);
// Value index of an open key as text: 1 read, 0 passed over (traced when it is
// hostile), -1 no more values (or the key is gone).
int EnumPlaceValue(HKEY key, DWORD index, char *name, DWORD nameCap, char *out, DWORD cap);
// Subkey index: 1 read, 0 passed over, -1 no more subkeys (or the key is gone).
int EnumPlaceSubkey(HKEY key, DWORD index, char *name, DWORD cap);
// Blanks round a list item or a command are no part of it: removed in place.
void TrimBlanks(char *text);
// The next item of a list value read by QueryPlaceText (cursor starts at the
// text), blanks round it removed; an item too long for a path is given empty
// (traced); rawLen (may be NULL) is the piece's length as it stands at the old
// cursor. 0 when the list has no more items. item: MAX_PATH.
int NextListItem(const AutostartPlace *place, const char **cursor, char *item, size_t *rawLen);
