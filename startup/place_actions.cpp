// What Reject and Disable do in the autostart places: an entry leaves exactly
// the value or list item it was read from, in the view it was read from; keys
// that only held it go with it; a place with a Windows default gets that default
// back. A disabled entry's text is kept in its store with its registry type, so
// that it goes back as it stood.
#include "startup/places.h"

#include <shlobj.h>
#include <string.h>

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "startup/place_text.h"
#include "startup/startup_actions.h"
#include "startup/startup_scan.h"

// Registry paths below the places' keys: a subkey name may be 255 characters.
#define SPOT_KEY_MAX 640

// Where an entry lives: its key (below the place's root) and its value.
typedef struct EntrySpot {
    char key[SPOT_KEY_MAX];
    char value[RUN_NAME_MAX];
} EntrySpot;

static int IsListedSubkey(const char *const *subkeys, const char *name)
{
    for (; *subkeys; subkeys++)
        if (StrEqualNoCase(*subkeys, name) == 0)
            return 1;
    return 0;
}

// The key and value of an entry by its name; 0 for a name that names none of
// the place's entries (a "\" that would lead into some other key among them).
static int LocateEntry(const AutostartPlace *place, const char *name, EntrySpot *spot)
{
    const char *base = place->where.keyPath;
    switch (place->layout) {
    case PLACE_EACH_VALUE:
        return name[0] && !strchr(name, '\\') && CopyText(spot->key, CAP(spot->key), base) &&
               CopyText(spot->value, CAP(spot->value), name);
    case PLACE_SUBKEY_VALUE:
        if (!name[0] || strchr(name, '\\') || (place->subkeys && !IsListedSubkey(place->subkeys, name)))
            return 0;
        return FormatText(spot->key, CAP(spot->key), "%s\\%s%s%s", base, name, place->entryKey ? "\\" : "",
                          place->entryKey ? place->entryKey : "") &&
               CopyText(spot->value, CAP(spot->value), place->where.valueName);
    case PLACE_SETUP_LISTS: {
        // "<subkey>\<value>" or "<subkey>\Depend\<value>".
        const char *first = strchr(name, '\\'), *last = strrchr(name, '\\');
        if (!first || first == name || !last[1])
            return 0;
        if (last != first && (last - first - 1 != 6 || _strnicmp(first + 1, "Depend", 6) != 0))
            return 0;
        return FormatText(spot->key, CAP(spot->key), "%s\\%.*s", base, (int)(last - name), name) &&
               CopyText(spot->value, CAP(spot->value), last + 1);
    }
    default:
        return CopyText(spot->key, CAP(spot->key), base) &&
               CopyText(spot->value, CAP(spot->value), place->where.valueName);
    }
}

// 1 when the text in the place is the entry the caller means: the text itself,
// or the program the scan recorded for it.
static int IsEntryText(const AutostartPlace *place, const char *current, const char *data)
{
    char program[MAX_PATH], recorded[MAX_PATH], wanted[MAX_PATH];
    if (!current[0] || !data[0])
        return 0;
    if (StrEqualNoCase(current, data) == 0)
        return 1;
    if (PlaceEntryProgram(place, current, program) <= 0)
        return 0;
    RecordedPathOf(program, recorded);
    RecordedPathOf(data, wanted);
    return StrEqualNoCase(recorded, wanted) == 0;
}

static int IsListItem(const AutostartPlace *place)
{
    return place->layout == PLACE_LIST_ITEMS;
}

static void TraceRegistryError(const char *tag, LONG rc, const char *what)
{
    char text[512], message[768];
    FormatSystemError((DWORD)rc, text, CAP(text));
    FormatText(message, CAP(message), "%s: %s", what, text);
    TestLog(tag, message);
}

// Writes a value, creating the keys that lead to it.
static int WriteSpot(HKEY root, const char *key, const char *value, const char *data, DWORD size, DWORD type,
                     REGSAM view)
{
    HKEY open = NULL;
    LONG rc = RegCreateKeyExA(root, key, 0, NULL, 0, KEY_SET_VALUE | view, NULL, &open, NULL);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExA(open, value, 0, type, (const BYTE *)data, size);
        RegCloseKey(open);
    }
    if (rc != ERROR_SUCCESS)
        TraceRegistryError("MyError:  AutostartPlace RegSetValueEx", rc, key);
    return rc == ERROR_SUCCESS;
}

static int WriteText(HKEY root, const char *key, const char *value, const char *text, DWORD type, REGSAM view)
{
    return WriteSpot(root, key, value, text, (DWORD)strlen(text) + 1, type, view);
}

// Keys between the place's key and the entry's that hold nothing any more.
static void PruneEmptyKeys(const AutostartPlace *place, char *key)
{
    if (!place->pruneTo)
        return;
    size_t base = strlen(place->pruneTo);
    REGSAM view = MachineView();
    while (strlen(key) > base && _strnicmp(key, place->pruneTo, base) == 0 && key[base] == '\\') {
        HKEY open = NULL;
        DWORD subkeys = 1, values = 1;
        if (RegOpenKeyExA(place->where.root, key, 0, KEY_READ | view, &open) != ERROR_SUCCESS)
            return;
        RegQueryInfoKeyA(open, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL, NULL);
        RegCloseKey(open);
        if (subkeys || values)
            return;
        LONG rc = view ? RegDeleteKeyExAtRunTime(place->where.root, key, view) : RegDeleteKeyA(place->where.root, key);
        if (rc != ERROR_SUCCESS) {
            TraceRegistryError("MyError:  AutostartPlace RegDeleteKey", rc, key);
            return;
        }
        *strrchr(key, '\\') = '\0';
    }
}

static int DeleteSpot(const AutostartPlace *place, EntrySpot *spot)
{
    HKEY open = NULL;
    LONG rc = RegOpenKeyExA(place->where.root, spot->key, 0, KEY_SET_VALUE | MachineView(), &open);
    if (rc == ERROR_SUCCESS) {
        rc = RegDeleteValueA(open, spot->value);
        RegCloseKey(open);
    }
    if (rc != ERROR_SUCCESS) {
        TraceRegistryError("MyError:  AutostartPlace RegDeleteValue", rc, spot->key);
        return 0;
    }
    PruneEmptyKeys(place, spot->key);
    return 1;
}

// One piece of a list value as it stood (blanks and all).
typedef struct ListPiece {
    const char *text;
    size_t len;
} ListPiece;
#define LIST_PIECES_MAX 256

static int AppendPiece(const AutostartPlace *place, char *out, size_t *used, const char *text, size_t len)
{
    int multi = place->separator == 0;
    if (*used + len + 2 >= PLACE_LIST_MAX)
        return 0;
    if (!multi && *used)
        out[(*used)++] = place->separator;
    memcpy(out + *used, text, len);
    *used += len;
    // A multi-string's items each end with a NUL; the buffer is zeroed, so the
    // list's closing NUL is already there.
    if (multi)
        (*used)++;
    return 1;
}

// The list with the item dropped and, where given, an item appended and
// Windows' own item put first when it is missing. 1 when the list changed and
// was written; a list too long to read whole is never rewritten.
static int RewriteList(const AutostartPlace *place, const char *drop, const char *append)
{
    int multi = place->separator == 0;
    char *text = (char *)HeapAlloc(GetProcessHeap(), 0, PLACE_LIST_MAX + 2);
    char *out = (char *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, PLACE_LIST_MAX + 2);
    ListPiece *kept = (ListPiece *)HeapAlloc(GetProcessHeap(), 0, LIST_PIECES_MAX * sizeof(ListPiece));
    DWORD type = multi ? REG_MULTI_SZ : REG_SZ;
    int read = text && out && kept ? ReadPlaceValue(place->where.root, place->where.keyPath,
                                                    place->where.valueName, text, PLACE_LIST_MAX + 2, &type, multi)
                                   : -1;
    int changed = 0, fits = read >= 0, written = 0, hasWindows = 0, hasAppend = 0, count = 0;
    if (read == 0)
        text[0] = text[1] = '\0';
    char item[MAX_PATH];
    size_t rawLen = 0;
    for (const char *p = text, *start = p; fits && NextListItem(place, &p, item, &rawLen); start = p) {
        if (drop && item[0] && StrEqualNoCase(item, drop) == 0) {
            changed = 1;
            continue;
        }
        hasWindows = hasWindows || (place->windowsItem && StrEqualNoCase(item, place->windowsItem) == 0);
        hasAppend = hasAppend || (append && StrEqualNoCase(item, append) == 0);
        fits = count < LIST_PIECES_MAX;
        if (fits)
            kept[count++] = {start, rawLen};
    }
    size_t used = 0;
    if (fits && place->restoresWindowsItem && !hasWindows) {
        fits = AppendPiece(place, out, &used, place->windowsItem, strlen(place->windowsItem));
        changed = 1;
    }
    for (int i = 0; fits && i < count; i++)
        fits = AppendPiece(place, out, &used, kept[i].text, kept[i].len);
    if (fits && append && !hasAppend) {
        fits = AppendPiece(place, out, &used, append, strlen(append));
        changed = 1;
    }
    if (!fits)
        TestLog("MyError:  AutostartPlace list not rewritten", place->where.valueName);
    else if (changed)
        written = WriteSpot(place->where.root, place->where.keyPath, place->where.valueName, out,
                            (DWORD)(multi && used < 1 ? 2 : used + 1), type, MachineView());
    if (text)
        HeapFree(GetProcessHeap(), 0, text);
    if (out)
        HeapFree(GetProcessHeap(), 0, out);
    if (kept)
        HeapFree(GetProcessHeap(), 0, kept);
    return written;
}

// The entry's text as it stands (type too) and where; 0 (traced) when the entry
// is not there, or is no longer the one the caller means.
static int FindEntry(const AutostartPlace *place, const char *name, const char *data, EntrySpot *spot, char *text,
                     DWORD *type)
{
    int found = 0;
    *type = REG_SZ;
    text[0] = '\0';
    if (IsListItem(place)) {
        char *list = (char *)HeapAlloc(GetProcessHeap(), 0, PLACE_LIST_MAX + 2);
        DWORD listType = 0;
        if (list && ReadPlaceValue(place->where.root, place->where.keyPath, place->where.valueName, list,
                                   PLACE_LIST_MAX + 2, &listType, place->separator == 0) > 0) {
            char item[MAX_PATH];
            for (const char *p = list; !found && NextListItem(place, &p, item, NULL);)
                found = StrEqualNoCase(item, name) == 0 && IsEntryText(place, item, data);
        }
        if (list)
            HeapFree(GetProcessHeap(), 0, list);
        if (found)
            CopyText(text, PLACE_TEXT_MAX, name);
    } else if (LocateEntry(place, name, spot)) {
        found = ReadPlaceValue(place->where.root, spot->key, spot->value, text, PLACE_TEXT_MAX + 2, type, 0) > 0 &&
                IsEntryText(place, text, data);
    }
    if (!found)
        TestLog("AutostartPlace entry not there", name);
    return found;
}

static int RemoveFromPlace(const AutostartPlace *place, EntrySpot *spot, const char *item)
{
    return IsListItem(place) ? RewriteList(place, item, NULL) : DeleteSpot(place, spot);
}

static int StoreCopy(const AutostartPlace *place, const char *name, const char *text, DWORD type)
{
    return WriteText(HKEY_LOCAL_MACHINE, place->where.storeKey, name, text, type, 0);
}

// Out of its place with its text kept in the store: marked (Disable), or with
// the copy renewed (a disabled entry that came back: the copy follows what the
// program wrote last).
static int MoveToStore(const AutostartPlace *place, const char *name, const char *data, int mark)
{
    EntrySpot spot;
    char text[PLACE_TEXT_MAX + 2];
    DWORD type;
    if (!place->where.storeKey || !FindEntry(place, name, data, &spot, text, &type))
        return 0;
    // The copy and the marker first: the entry is never only gone.
    if (!StoreCopy(place, name, text, type)) {
        TestLog("MyError:  AutostartPlace copy not stored", name);
        if (mark)
            return 0;
    }
    if ((mark && !WriteDisabledMarker(name, place->where.code)) || !RemoveFromPlace(place, &spot, text)) {
        if (mark)
            ForgetDisabledEntry(place->where.storeKey, name);
        return 0;
    }
    return 1;
}

int DisablePlaceEntry(const AutostartPlace *place, const char *name, const char *data)
{
    return MoveToStore(place, name, data, 1);
}

int TakeOutPlaceEntry(const AutostartPlace *place, const char *name, const char *data)
{
    return MoveToStore(place, name, data, 0);
}

int RestorePlaceEntry(const AutostartPlace *place, const char *name, const char *data)
{
    EntrySpot spot;
    char text[PLACE_TEXT_MAX + 2], program[MAX_PATH];
    DWORD type = REG_SZ;
    if (!place->where.storeKey)
        return 0;
    if (ReadPlaceValue(HKEY_LOCAL_MACHINE, place->where.storeKey, name, text, CAP(text), &type, 0) <= 0) {
        type = REG_SZ;
        if (!CopyText(text, PLACE_TEXT_MAX, data) || !text[0])
            return 0;
    }
    int done = IsListItem(place) ? RewriteList(place, NULL, text)
                                 : LocateEntry(place, name, &spot) &&
                                       WriteText(place->where.root, spot.key, spot.value, text, type, MachineView());
    if (!done) {
        TestLog("MyError:  RestorePlaceEntry not written back", name);
        return 0;
    }
    ForgetDisabledEntry(place->where.storeKey, name);
    if (PlaceEntryProgram(place, text, program) > 0)
        KnowStartupCommand(program, place->where.code);
    return 1;
}

// The standard folder of a shell-folder setting as Windows writes it (with the
// profile's variable, REG_EXPAND_SZ), and expanded. 0 when the shell names none.
static int StandardFolderText(const AutostartPlace *place, char *text, char *expanded)
{
    static const char *const UserVariables[] = {"%USERPROFILE%", NULL};
    static const char *const CommonVariables[] = {"%ProgramData%", "%ALLUSERSPROFILE%", NULL};
    expanded[0] = text[0] = '\0';
    if (FAILED(SHGetFolderPathA(NULL, place->folder | CSIDL_FLAG_DONT_VERIFY, NULL, SHGFP_TYPE_DEFAULT,
                                expanded)) ||
        !expanded[0])
        return 0;
    for (const char *const *variable = place->folder == CSIDL_STARTUP ? UserVariables : CommonVariables;
         *variable; variable++) {
        char value[MAX_PATH];
        DWORD n = ExpandEnvironmentStringsA(*variable, value, MAX_PATH);
        size_t len = strlen(value);
        if (n == 0 || n > MAX_PATH || strcmp(value, *variable) == 0 || len == 0 ||
            _strnicmp(expanded, value, len) != 0 || expanded[len] != '\\')
            continue;
        return FormatText(text, MAX_PATH, "%s%s", *variable, expanded + len);
    }
    return CopyText(text, MAX_PATH, expanded);
}

// Reject of a moved startup folder: the standard folder is put back, the shell's
// cache of the folder in force follows it, and the baseline knows it.
static int PutStandardFolderBack(const AutostartPlace *place, const char *data)
{
    char current[PLACE_TEXT_MAX + 2], moved[MAX_PATH], text[MAX_PATH], expanded[MAX_PATH], cached[MAX_PATH];
    DWORD type = 0;
    REGSAM view = MachineView();
    if (ReadPlaceValue(place->where.root, place->where.keyPath, place->where.valueName, current, CAP(current),
                       &type, 0) <= 0 ||
        !IsEntryText(place, current, data) || PlaceEntryProgram(place, current, moved) <= 0) {
        TestLog("AutostartPlace folder setting not there", data);
        return 0;
    }
    if (!StandardFolderText(place, text, expanded)) {
        TestLog("MyError:  AutostartPlace no standard folder", place->where.valueName);
        return 0;
    }
    if (!WriteText(place->where.root, place->where.keyPath, place->where.valueName, text, REG_EXPAND_SZ, view))
        return 0;
    if (ReadValueInView(place->where.root, SHELL_FOLDERS_KEY, place->where.valueName, cached, MAX_PATH, view) >
            0 &&
        IsSameFolder(cached, moved))
        SetValueInView(place->where.root, SHELL_FOLDERS_KEY, place->where.valueName, expanded, view);
    KnowStartupCommand(expanded, place->where.code);
    return 1;
}

int RemovePlaceEntry(int code, const char *name, const char *data)
{
    const AutostartPlace *place = FindAutostartPlace(code);
    EntrySpot spot;
    char text[PLACE_TEXT_MAX + 2];
    DWORD type;
    if (!place || !name || !data)
        return 0;
    if (place->folder)
        return PutStandardFolderBack(place, data);
    return FindEntry(place, name, data, &spot, text, &type) && RemoveFromPlace(place, &spot, text);
}

int ReadPlaceEntryText(int code, const char *name, const char *path, char *out, int cap)
{
    const AutostartPlace *place = FindAutostartPlace(code);
    EntrySpot spot;
    char text[PLACE_TEXT_MAX + 2];
    DWORD type;
    if (!place || !name || !path || !FindEntry(place, name, path, &spot, text, &type))
        return 0;
    return CopyText(out, (size_t)cap, text);
}
