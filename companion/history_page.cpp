// Recent History: the monitor's history log as a table, newest first, with a
// filter, the log cleared, and the rows in view exported as CSV.
#include "companion/explorer.h"

#include <commdlg.h>
#include <string.h>

#include "common/history.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "companion/companion_res.h"
#include "companion/list_table.h"

// The log is never trimmed by the monitor; the page reads its newest part.
#define HISTORY_READ_MAX (8u * 1024u * 1024u)
#define FILTER_TEXT_MAX 128
#define MESSAGE_MAX 512

typedef struct HistoryFill {
    HWND page;
    int line;
} HistoryFill;

static void AddHistoryRow(char *fields[HISTORY_FIELDS], void *context)
{
    HistoryFill *fill = (HistoryFill *)context;
    TableAddRow(fill->page, fields, -1, fill->line++);
}

static void FillHistoryPage(HWND page)
{
    HistoryFill fill = {page, 0};
    TableBeginFill(page);
    int lines = ReadHistoryLog(HISTORY_READ_MAX, AddHistoryRow, &fill);
    DWORD error = GetLastError();
    TableEndFill(page);
    if (lines < 0)
        ShowActionFailure(page, "The history file could not be read.", error);
}

static void HistorySelectionChanged(HWND page)
{
    TableEnableAction(page, IDC_HISTORY_EXPORT, TableShownCount(page) > 0);
}

static void ClearHistory(HWND page)
{
    char path[MAX_PATH];
    if (!AskUser(page, "Clear the history?\n\nEvery line of the history file is deleted; this cannot be undone."))
        return;
    if (!GetHistoryPath(path)) {
        ShowActionFailure(page, "The history file could not be cleared.", ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    // Opened as the monitor opens it to write: alone, so no line is cut in half.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            ShowActionFailure(page, "The history file could not be cleared.", error);
    } else {
        CloseHandle(file);
    }
    TableRefresh(page);
}

// A CSV field: quoted when it holds a separator, a quote, a line break, a tab or
// blanks at its ends, with its quotes doubled.
static size_t PutCsvField(char *out, const char *field)
{
    size_t len = strlen(field);
    int quoted = strpbrk(field, ",\"\r\n\t") != NULL || (len > 0 && (field[0] == ' ' || field[len - 1] == ' '));
    size_t at = 0;
    if (quoted)
        out[at++] = '"';
    for (const char *p = field; *p; p++) {
        if (*p == '"')
            out[at++] = '"';
        out[at++] = *p;
    }
    if (quoted)
        out[at++] = '"';
    return at;
}

static int WriteCsvRow(HANDLE file, const char *const *fields, int count)
{
    size_t size = 3;
    for (int c = 0; c < count; c++)
        size += 2 * strlen(fields[c]) + 3;
    char *row = (char *)HeapAlloc(GetProcessHeap(), 0, size);
    if (!row) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    size_t at = 0;
    for (int c = 0; c < count; c++) {
        if (c > 0)
            row[at++] = ',';
        at += PutCsvField(row + at, fields[c]);
    }
    row[at++] = '\r';
    row[at++] = '\n';
    DWORD written = 0;
    int ok = WriteFile(file, row, (DWORD)at, &written, NULL) && written == at;
    HeapFree(GetProcessHeap(), 0, row);
    return ok;
}

// The rows in view, in their order, under a header line.
static DWORD WriteHistoryCsv(HWND page, const char *path)
{
    static const char *const Header[HISTORY_FIELDS] = {"Date and time", "Action", "Type", "Name", "Path", "Detail"};
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    int ok = WriteCsvRow(file, Header, HISTORY_FIELDS);
    for (int position = 0; ok && position < TableShownCount(page); position++) {
        const char *fields[HISTORY_FIELDS];
        for (int c = 0; c < HISTORY_FIELDS; c++)
            fields[c] = TableShownCell(page, position, c);
        ok = WriteCsvRow(file, fields, HISTORY_FIELDS);
    }
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    if (!ok)
        DeleteFileA(path);
    return error;
}

static void ExportHistory(HWND page)
{
    char path[MAX_PATH] = "history.csv";
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = GetAncestor(page, GA_ROOT);
    dialog.lpstrFilter = "CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof(path);
    dialog.lpstrDefExt = "csv";
    dialog.lpstrTitle = "Export the history";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!GetSaveFileNameA(&dialog)) {
        DWORD error = CommDlgExtendedError();
        if (error)
            ShowActionFailure(page, "The file dialog could not be shown.", error);
        return;
    }
    DWORD error = WriteHistoryCsv(page, path);
    if (error != ERROR_SUCCESS) {
        char text[MESSAGE_MAX];
        FormatText(text, CAP(text), "The history could not be written to %s.", path);
        ShowActionFailure(page, text, error);
    }
}

enum { COLUMN_TIME, COLUMN_ACTION, COLUMN_TYPE, COLUMN_NAME, COLUMN_PATH, COLUMN_DETAIL };

static const TableColumn HistoryColumns[HISTORY_FIELDS] = {
    // The file is in time order, so the order of its lines is the order of time.
    {"Date and time", 80, SORT_ADDED}, {"Action", 66, SORT_TEXT}, {"Type", 66, SORT_TEXT},
    {"Name", 70, SORT_TEXT},           {"Path", 140, SORT_TEXT},  {"Detail", 60, SORT_TEXT},
};
static const int HistoryActions[] = {IDC_HISTORY_CLEAR, IDC_HISTORY_EXPORT};
static const TablePageDef HistoryPage = {
    HistoryColumns, HISTORY_FIELDS, HistoryActions, (int)(sizeof(HistoryActions) / sizeof(HistoryActions[0])),
    0, 0, COLUMN_TIME, 1, 0, "History lines",
    FillHistoryPage, HistorySelectionChanged, NULL,
};

INT_PTR CALLBACK HistoryPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR result;
    if (TablePageMessage(page, &HistoryPage, message, wParam, lParam, &result))
        return result;
    if (message == WM_INITDIALOG) {
        SendDlgItemMessageA(page, IDC_HISTORY_FILTER, EM_LIMITTEXT, FILTER_TEXT_MAX - 1, 0);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_HISTORY_FILTER:
        if (HIWORD(wParam) == EN_CHANGE) {
            char filter[FILTER_TEXT_MAX] = "";
            GetDlgItemTextA(page, IDC_HISTORY_FILTER, filter, (int)sizeof(filter));
            TableSetFilter(page, filter);
        }
        return TRUE;
    case IDC_HISTORY_CLEAR:
        ClearHistory(page);
        return TRUE;
    case IDC_HISTORY_EXPORT:
        ExportHistory(page);
        return TRUE;
    }
    return FALSE;
}
