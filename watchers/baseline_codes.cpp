#include "watchers/baseline_codes.h"

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"

// A value longer than this is no code the monitor wrote.
#define BASELINE_VALUE_MAX 32
#define CODE_TEXT_MAX 16

int IsCodeKnownIn(HKEY baseline, const char *name)
{
    char text[BASELINE_VALUE_MAX + 1];
    return baseline && name && name[0] && ReadKeyText(baseline, name, text, CAP(text)) > 0 && TextToInt(text) != 0;
}

static HKEY OpenBaseline(const char *baselineKey)
{
    HKEY baseline = NULL;
    if (!baselineKey || RegOpenKeyExA(HKEY_CURRENT_USER, baselineKey, 0, KEY_READ, &baseline) != ERROR_SUCCESS)
        return NULL;
    return baseline;
}

int IsCodeKnown(const char *baselineKey, const char *name)
{
    HKEY baseline = OpenBaseline(baselineKey);
    int known = IsCodeKnownIn(baseline, name);
    if (baseline)
        RegCloseKey(baseline);
    return known;
}

int FirstUnknownRecord(const char *baselineKey, const RunList *list, int start)
{
    if (!list)
        return -1;
    HKEY baseline = OpenBaseline(baselineKey);
    int found = -1;
    char name[RUN_NAME_MAX];
    for (int i = start < 0 ? 0 : start; i < list->count && found < 0; i++)
        if (GetRunName(list, i, name) > 0 && !IsCodeKnownIn(baseline, name))
            found = i;
    if (baseline)
        RegCloseKey(baseline);
    return found;
}

int WriteBaselineCode(const char *baselineKey, const char *name, int code, const char *tag)
{
    char text[CODE_TEXT_MAX];
    FormatText(text, CAP(text), "%d", code);
    if (!name || !name[0] || !SetRegString(HKEY_CURRENT_USER, baselineKey, name, text)) {
        TestLog(tag, name ? name : "");
        return 0;
    }
    return 1;
}
