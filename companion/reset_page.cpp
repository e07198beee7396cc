// Reset: the baselines the monitor's re-initialisation empties and reads again,
// and that re-initialisation itself, so that everything on the computer now is
// taken as accepted. The page walks the monitor's watcher table for the list and
// calls its routine for the work: nothing here knows a baseline of its own.
#include "companion/explorer.h"

#include <string.h>

#include "common/options.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "companion/companion_res.h"
#include "companion/list_table.h"
#include "monitor/watcher_table.h"

enum { COLUMN_WHAT, COLUMN_KEY, COLUMN_ENTRIES, COLUMNS };

#define NUMBER_TEXT_MAX 16
#define KEY_TEXT_MAX (MAX_PATH + 8)

// What a baseline holds, by the last part of its key, in words for the user.
static const struct {
    const char *key, *what;
} BaselineNames[] = {
    {"Run", "Startup programs"},     {"IEHelpers", "Internet Explorer add-ons"},
    {"Hidden", "Hidden files"},      {"ActiveX", "ActiveX controls"},
    {"Tasks", "Scheduled tasks"},    {"Services", "Windows services"},
};

static const char *BaselineName(const char *key)
{
    const char *last = strrchr(key, '\\');
    last = last ? last + 1 : key;
    for (const auto &row : BaselineNames)
        if (StrEqualNoCase(row.key, last) == 0)
            return row.what;
    return last;
}

static int CountValues(const char *path)
{
    HKEY key = NULL;
    DWORD values = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    if (RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, &values, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
        values = 0;
    RegCloseKey(key);
    return (int)values;
}

static void FillResetPage(HWND page)
{
    TableBeginFill(page);
    for (int i = 0; i < WatcherRowCount; i++) {
        const WatcherDef *row = &WatcherRows[i];
        if (!(row->flags & WATCH_INIT_REINIT) || !row->baselineKey)
            continue;
        char key[KEY_TEXT_MAX], entries[NUMBER_TEXT_MAX];
        FormatText(key, CAP(key), "HKCU\\%s", row->baselineKey);
        FormatText(entries, CAP(entries), "%d", CountValues(row->baselineKey));
        const char *cells[COLUMNS] = {BaselineName(row->baselineKey), key, entries};
        TableAddRow(page, cells, -1, i);
    }
    TableEndFill(page);
}

static void RunReset(HWND page)
{
    if (!AskUser(page, "Reset the baselines?\n\nEverything listed is read again from this computer and taken as "
                       "accepted: the monitor will not alert on any item that is here now, new ones included."))
        return;
    DWORD error = CheckKeyWritable(HKEY_CURRENT_USER, BRACKMOOR_KEY, 0);
    if (error != ERROR_SUCCESS) {
        ShowActionFailure(page, "The baselines could not be reset.", error);
        return;
    }
    HCURSOR before = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    CleanupAndInitializeRegistry();
    SetCursor(before);
    TableRefresh(page);
    SetExplorerStatus(page, "The baselines were read again.");
}

static const TableColumn ResetColumns[COLUMNS] = {
    {"Baseline", 110, SORT_TEXT}, {"Registry key", 200, SORT_TEXT}, {"Entries", 40, SORT_NUMBER},
};
static const int ResetActions[] = {IDC_RESET_RUN};
static const TablePageDef ResetPage = {
    ResetColumns, COLUMNS, ResetActions, 1, 0, 0, -1, 0, 0, "Baselines", FillResetPage, NULL, NULL,
};

INT_PTR CALLBACK ResetPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR result;
    if (TablePageMessage(page, &ResetPage, message, wParam, lParam, &result))
        return result;
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_RESET_RUN && HIWORD(wParam) == BN_CLICKED) {
        RunReset(page);
        return TRUE;
    }
    return FALSE;
}
