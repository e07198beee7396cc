#include "startup/entry_command.h"

#include <string.h>

#include "common/registry.h"
#include "common/text.h"
#include "startup/locations.h"
#include "startup/places.h"
#include "startup/startup_scan.h"

int CommandRecordsPath(const char *command, const char *path)
{
    char recorded[MAX_PATH];
    RecordedPathOf(command, recorded);
    return StrEqualNoCase(recorded, path) == 0;
}

int ReadMatchingValue(HKEY root, const char *key, const char *name, REGSAM view, const char *path, char *out,
                      int cap)
{
    char data[REG_TEXT_MAX];
    if (!key || ReadValueInView(root, key, name, data, CAP(data), view) <= 0 || !CommandRecordsPath(data, path))
        return 0;
    return CopyText(out, (size_t)cap, data);
}

int FindWinIniItem(const char *listName, const char *path, char *out, int cap)
{
    char *list = (char *)HeapAlloc(GetProcessHeap(), 0, WIN_INI_LIST_MAX);
    int found = 0;
    if (list && ReadWinIniList(listName, list) >= 0) {
        for (char *piece = list; *piece;) {
            char *end = strchr(piece, ';');
            if (end)
                *end = '\0';
            if (piece[0] && CommandRecordsPath(piece, path)) {
                found = CopyText(out, (size_t)cap, piece);
                break;
            }
            piece = end ? end + 1 : piece + strlen(piece);
        }
    }
    if (list)
        HeapFree(GetProcessHeap(), 0, list);
    return found;
}

int ReadRunEntryCommand(const RunList *list, int i, char *out, int cap)
{
    char path[MAX_PATH], name[RUN_NAME_MAX];
    if (!out || cap <= 0)
        return 0;
    GetRunPath(list, i, path);
    GetRunName(list, i, name);
    const StartupLocation *location = FindStartupLocation(GetRunCode(list, i));
    int found = 0;
    if (location && location->kind == LOCATION_RUN_KEY)
        found = ReadMatchingValue(location->root, location->keyPath, name, MachineView(), path, out, cap);
    else if (location && location->kind == LOCATION_WIN_INI)
        found = FindWinIniItem(location->valueName, path, out, cap);
    else if (location && location->kind == LOCATION_PLACE)
        found = ReadPlaceEntryText(location->code, name, path, out, cap) > 0;
    // A disabled entry's text waits in its store key, under its name.
    if (!found && location && name[0])
        found = ReadMatchingValue(HKEY_LOCAL_MACHINE, location->storeKey, name, 0, path, out, cap);
    if (!found)
        CopyText(out, (size_t)cap, path);
    return (int)strlen(out);
}
