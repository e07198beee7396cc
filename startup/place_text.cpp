// Bounded reading of the autostart places' values.
#include "startup/place_text.h"

#include <string.h>

#include "common/text.h"
#include "common/tracelog.h"

// Binary data behind the first NUL of a text value is no command: the value is
// taken only when nothing but NULs follow its text.
static int IsPlainText(const char *data, DWORD size)
{
    size_t len = strnlen(data, size);
    for (DWORD i = (DWORD)len; i < size; i++)
        if (data[i])
            return 0;
    return 1;
}

static int IsTextType(DWORD type, int multi)
{
    return multi ? type == REG_MULTI_SZ : (type == REG_SZ || type == REG_EXPAND_SZ);
}

void TrimBlanks(char *text)
{
    size_t start = strspn(text, " \t");
    size_t len = strlen(text + start);
    memmove(text, text + start, len + 1);
    while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\t'))
        text[--len] = '\0';
}

int QueryPlaceText(HKEY key, const char *valueName, char *out, DWORD cap, DWORD *type, int multi)
{
    DWORD size = cap - 2;
    *type = 0;
    out[0] = '\0';
    LONG rc = RegQueryValueExA(key, valueName, NULL, type, (BYTE *)out, &size);
    if (rc == ERROR_FILE_NOT_FOUND)
        return 0;
    const char *name = valueName[0] ? valueName : "(Default)";
    if (rc == ERROR_MORE_DATA) {
        out[0] = '\0';
        TestLog("ReadAutostartPlaces value too long", name);
        return -1;
    }
    if (rc != ERROR_SUCCESS)
        return 0;
    out[size] = out[size + 1] = '\0';
    if (!IsTextType(*type, multi) || (!multi && !IsPlainText(out, size))) {
        out[0] = out[1] = '\0';
        TestLog("ReadAutostartPlaces not text", name);
        return -1;
    }
    return 1;
}

int ReadPlaceValue(HKEY root, const char *path, const char *valueName, char *out, DWORD cap, DWORD *type,
                   int multi)
{
    HKEY key = NULL;
    out[0] = out[1] = '\0';
    *type = 0;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | MachineView(), &key) != ERROR_SUCCESS)
        return 0;
    int read = QueryPlaceText(key, valueName, out, cap, type, multi);
    RegCloseKey(key);
    return read;
}

int EnumPlaceValue(HKEY key, DWORD index, char *name, DWORD nameCap, char *out, DWORD cap)
{
    DWORD nameLen = nameCap, size = cap - 2, type = 0;
    name[0] = out[0] = '\0';
    LONG rc = RegEnumValueA(key, index, name, &nameLen, NULL, &type, (BYTE *)out, &size);
    if (rc == ERROR_MORE_DATA) {
        TestLog("ReadAutostartPlaces value or name too long", "");
        return 0;
    }
    // The end, or a key that went away meanwhile (an entry taken out with it).
    if (rc != ERROR_SUCCESS)
        return -1;
    name[nameLen < nameCap ? nameLen : nameCap - 1] = '\0';
    out[size] = out[size + 1] = '\0';
    if (!IsTextType(type, 0) || !IsPlainText(out, size)) {
        TestLog("ReadAutostartPlaces not text", name);
        return 0;
    }
    // A name that the ANSI call renders with stand-ins, or that would read as a
    // path of keys, cannot be found again by the actions.
    if (strchr(name, '\\') || RegQueryValueExA(key, name, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) {
        TestLog("ReadAutostartPlaces name not reachable", name);
        return 0;
    }
    return 1;
}

int EnumPlaceSubkey(HKEY key, DWORD index, char *name, DWORD cap)
{
    char full[256];
    DWORD len = sizeof(full);
    name[0] = '\0';
    LONG rc = RegEnumKeyExA(key, index, full, &len, NULL, NULL, NULL, NULL);
    if (rc != ERROR_SUCCESS)
        return -1;
    full[len < sizeof(full) ? len : sizeof(full) - 1] = '\0';
    if (!CopyText(name, cap, full)) {
        name[0] = '\0';
        TestLog("ReadAutostartPlaces name too long", full);
        return 0;
    }
    return 1;
}

int NextListItem(const AutostartPlace *place, const char **cursor, char *item, size_t *rawLen)
{
    const char *p = *cursor;
    item[0] = '\0';
    if (!*p)
        return 0;
    const char stop[2] = {place->separator, '\0'};
    size_t len = place->separator ? strcspn(p, stop) : strlen(p);
    if (rawLen)
        *rawLen = len;
    if (len < MAX_PATH) {
        CopyTextN(item, MAX_PATH, p, len);
        TrimBlanks(item);
    } else {
        TestLog("ReadAutostartPlaces item too long", place->where.valueName);
    }
    // A multi-string's items end at their NUL; the list ends at the empty one.
    p += len;
    if (*p || !place->separator)
        p++;
    *cursor = p;
    return 1;
}
