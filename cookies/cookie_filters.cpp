// The filter list: the value names of the filter key, read for one removal step.
#include "cookies/cookies.h"

#include <string.h>

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"

HGLOBAL *gNutsList;
int giNutsListCount;

// Value names can be far longer than a filter may be; the buffer takes any, so
// that a long one is skipped instead of ending the enumeration.
#define VALUE_NAME_MAX 16384
#define KIND_TEXT_MAX 32

typedef struct FilterValue {
    char name[VALUE_NAME_MAX];
    int kind;
} FilterValue;

// The value at index; 0 when there is none. kind from the decimal text (or a DWORD).
static int ReadFilterValue(HKEY key, DWORD index, FilterValue *value, LONG *rc)
{
    char data[KIND_TEXT_MAX + 1];
    DWORD nameLen = VALUE_NAME_MAX, type = 0, size = KIND_TEXT_MAX;
    *rc = RegEnumValueA(key, index, value->name, &nameLen, NULL, &type, (BYTE *)data, &size);
    if (*rc == ERROR_MORE_DATA) {
        // Data too long for a kind: a permanent filter.
        nameLen = VALUE_NAME_MAX;
        *rc = RegEnumValueA(key, index, value->name, &nameLen, NULL, NULL, NULL, NULL);
        type = REG_NONE;
    }
    if (*rc != ERROR_SUCCESS)
        return 0;
    value->name[nameLen < VALUE_NAME_MAX ? nameLen : VALUE_NAME_MAX - 1] = '\0';
    if (size > KIND_TEXT_MAX)
        size = KIND_TEXT_MAX;
    data[size] = '\0';
    if (type == REG_DWORD && size == sizeof(DWORD))
        value->kind = (int)*(DWORD *)data;
    else if (type == REG_SZ || type == REG_EXPAND_SZ)
        value->kind = TextToInt(data);
    else
        value->kind = 0;
    return 1;
}

static FilterValue *NewFilterValue(void)
{
    return (FilterValue *)HeapAlloc(GetProcessHeap(), 0, sizeof(FilterValue));
}

int LoadNutsList(void)
{
    FreeNutsList();
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, NUTS_KEY, 0, RegReadAccess, &key) != ERROR_SUCCESS)
        return 0;
    DWORD values = 0;
    FilterValue *value = NewFilterValue();
    if (RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, &values, NULL, NULL, NULL, NULL) !=
            ERROR_SUCCESS ||
        values == 0 || !value) {
        RegCloseKey(key);
        if (value)
            HeapFree(GetProcessHeap(), 0, value);
        return 0;
    }
    gNutsList = (HGLOBAL *)GlobalAlloc(GPTR, values * sizeof(HGLOBAL));
    LONG rc = ERROR_SUCCESS;
    for (DWORD i = 0; gNutsList && i < values && ReadFilterValue(key, i, value, &rc); i++) {
        // An empty filter (the key's default value) would name every cookie.
        size_t len = strlen(value->name);
        if (len == 0)
            continue;
        if (len >= NUTS_TEXT_MAX) {
            TestLog("MyError:  LoadNutsList filter longer than 511 characters", "skipped");
            continue;
        }
        HGLOBAL block = GlobalAlloc(GHND, sizeof(NutsEntry));
        NutsEntry *entry = block ? (NutsEntry *)GlobalLock(block) : NULL;
        if (!entry) {
            if (block)
                GlobalFree(block);
            TraceLastError("MyError:  LoadNutsList GlobalAlloc");
            break;
        }
        CopyText(entry->text, CAP(entry->text), value->name);
        CopyText(entry->upper, CAP(entry->upper), value->name);
        UpperText(entry->upper);
        entry->kind = value->kind;
        GlobalUnlock(block);
        gNutsList[giNutsListCount++] = block;
    }
    RegCloseKey(key);
    HeapFree(GetProcessHeap(), 0, value);
    return giNutsListCount;
}

// Calls test with each filter until it answers 1.
static int AnyFilter(int (*test)(const NutsEntry *filter, const char *text), const char *text)
{
    int found = 0;
    for (int i = 0; i < giNutsListCount && !found; i++) {
        NutsEntry *entry = (NutsEntry *)GlobalLock(gNutsList[i]);
        if (!entry)
            continue;
        found = test(entry, text);
        GlobalUnlock(gNutsList[i]);
    }
    return found;
}

// upperText: the text in capitals, made once for all the filters.
static int ContainsFilter(const NutsEntry *filter, const char *upperText)
{
    return strstr(upperText, filter->upper) != NULL;
}

static int EqualsFilter(const NutsEntry *filter, const char *text)
{
    return StrEqualNoCase(text, filter->text) == 0;
}

int MatchesNutsFilter(const char *text)
{
    char upper[NUTS_TEXT_MAX + 1];
    if (!text || strnlen(text, NUTS_TEXT_MAX + 1) > NUTS_TEXT_MAX || giNutsListCount == 0)
        return 0;
    CopyText(upper, CAP(upper), text);
    UpperText(upper);
    return AnyFilter(ContainsFilter, upper);
}

int IsNutsFilterName(const char *text)
{
    if (!text || !text[0])
        return 0;
    return AnyFilter(EqualsFilter, text);
}

void FreeNutsList(void)
{
    if (gNutsList) {
        for (int i = 0; i < giNutsListCount; i++)
            if (gNutsList[i])
                GlobalFree(gNutsList[i]);
        GlobalFree(gNutsList);
    }
    gNutsList = NULL;
    giNutsListCount = 0;
}

int ClearOneTimeNuts(void)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, NUTS_KEY, 0, RegReadAccess, &key) != ERROR_SUCCESS)
        return 0;
    FilterValue *value = NewFilterValue();
    int deleted = 0;
    LONG rc = ERROR_SUCCESS;
    DWORD i = 0;
    while (value && ReadFilterValue(key, i, value, &rc)) {
        // A deleted value moves the ones after it down: the same index comes next.
        if (value->kind == NUTS_ONE_TIME && value->name[0] &&
            DeleteRegValue(HKEY_CURRENT_USER, NUTS_KEY, value->name))
            deleted++;
        else
            i++;
    }
    RegCloseKey(key);
    if (value)
        HeapFree(GetProcessHeap(), 0, value);
    return deleted;
}
