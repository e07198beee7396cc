// Detection records: the date each watched item was first met survives restarts
// and goes out with the item's online file information.
#include "common/detection.h"

#include <string.h>

#include "common/files.h"
#include "common/processes.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/runlist.h"

// Large enough that a longer first-fill text still counts as "filled".
#define BASE_DATE_READ_MAX 260

// Creation order of the first fill.
static const char *const DetectionCategoryKeys[] = {
    DETECTED_STARTUP_KEY, DETECTED_IEHELPER_KEY, DETECTED_SERVICES_KEY, DETECTED_TASKS_KEY,
    DETECTED_ACTIVETASKS_KEY, DETECTED_FILETYPES_KEY, DETECTED_HIDDEN_KEY, DETECTED_ACTIVEX_KEY,
};

typedef struct DetectionCode {
    int code;
    const char *key;
} DetectionCode;

// Codes of 300 and above: the watchers' list codes and the history's type codes.
static const DetectionCode DetectionCodes[] = {
    {1070, DETECTED_STARTUP_KEY},
    {370, DETECTED_HIDDEN_KEY}, {1030, DETECTED_HIDDEN_KEY},
    {400, DETECTED_FILETYPES_KEY},
    {600, DETECTED_ACTIVETASKS_KEY}, {1010, DETECTED_ACTIVETASKS_KEY},
    {700, DETECTED_SERVICES_KEY}, {701, DETECTED_SERVICES_KEY}, {1060, DETECTED_SERVICES_KEY},
    {800, DETECTED_TASKS_KEY}, {1050, DETECTED_TASKS_KEY},
    {900, DETECTED_IEHELPER_KEY}, {901, DETECTED_IEHELPER_KEY}, {902, DETECTED_IEHELPER_KEY},
    {1040, DETECTED_IEHELPER_KEY},
    {1020, DETECTED_ACTIVEX_KEY}, {1200, DETECTED_ACTIVEX_KEY},
};

const char *DetectionKeyForCode(int code)
{
    // Every startup location code (Run family, win.ini, folder, Winlogon and hooks).
    if (code < 300)
        return DETECTED_STARTUP_KEY;
    for (const DetectionCode &row : DetectionCodes)
        if (row.code == code)
            return row.key;
    return NULL;
}

static int IsActiveXCategory(const char *categoryKey)
{
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, 0, categoryKey, -1, DETECTED_ACTIVEX_KEY, -1) == CSTR_EQUAL;
}

int RecordDetection(const char *item, const char *categoryKey)
{
    if (!item || !item[0] || !categoryKey)
        return 0;
    char name[MAX_PATH];
    // ActiveX items are class ids and names, not files: the text itself is the record.
    if (IsActiveXCategory(categoryKey)) {
        // A cut name would be a record of another item.
        if (!CopyText(name, CAP(name), item))
            return 0;
    } else {
        if (ExtractProgramPath(item, name) <= 0)
            return 0;
        char probe[MAX_PATH];
        CopyText(probe, CAP(probe), name);
        if (!FileExists(probe))
            return 0;
    }
    char date[DETECTED_DATE_MAX];
    if (GetRegString(HKEY_CURRENT_USER, categoryKey, name, date, DETECTED_DATE_MAX) > 0)
        return 1;
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatDateLocal(&now, date);
    TestLog(item, name);
    // A record that cannot be written is simply missing; the next watcher that
    // meets the item tries again.
    SetRegString(HKEY_CURRENT_USER, categoryKey, name, date);
    return 0;
}

int GetDetectedDate(int code, const char *name, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    const char *key = DetectionKeyForCode(code);
    if (!key || !name || !name[0])
        return 0;
    char date[DETECTED_DATE_MAX];
    if (GetRegString(HKEY_CURRENT_USER, key, name, date, DETECTED_DATE_MAX) <= 0)
        return 0;
    CopyText(out, DETECTED_DATE_MAX, date);
    return (int)strlen(out);
}

static void CreateDetectionKey(const char *path)
{
    HKEY key = NULL;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, NULL, REG_OPTION_NON_VOLATILE, RegWriteAccess, NULL, &key,
                        NULL) == ERROR_SUCCESS)
        RegCloseKey(key);
}

int BeginDetectionRecords(void)
{
    char filled[BASE_DATE_READ_MAX];
    if (GetRegString(HKEY_CURRENT_USER, DETECTED_KEY, "", filled, BASE_DATE_READ_MAX) > 0)
        return 0;
    CreateDetectionKey(DETECTED_KEY);
    for (const char *key : DetectionCategoryKeys)
        CreateDetectionKey(key);

    SYSTEMTIME now;
    GetLocalTime(&now);
    char date[DETECTED_DATE_MAX];
    FormatDateLocal(&now, date);
    SetRegString(HKEY_CURRENT_USER, DETECTED_KEY, "", date);
    return 1;
}

void RecordListDetections(const RunList *list, const char *categoryKey)
{
    char command[RUN_PATH_MAX];
    // A control is recorded under its class id, which its record keeps as its source.
    int (*item)(const RunList *, int, char *) = IsActiveXCategory(categoryKey) ? GetRunSourcePath : GetRunPath;
    for (int i = 0; list && i < list->count; i++)
        if (item(list, i, command) > 0)
            RecordDetection(command, categoryKey);
}
