// Delayed Start: the programs the monitor starts some time after its own start,
// from the lists of both roots and views, as the monitor's timer reads them.
#include "companion/explorer.h"

#include <commdlg.h>
#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/runlist.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "companion/companion_res.h"
#include "companion/delay_list.h"
#include "companion/list_table.h"
#include "startup/delayed_start.h"
#include "startup/locations.h"

enum { COLUMN_TITLE, COLUMN_PROGRAM, COLUMN_TIME, COLUMN_OPENAS, COLUMN_RUNAS, COLUMN_PARAMETERS, COLUMNS };

#define NUMBER_TEXT_MAX 16
#define MESSAGE_MAX 512
#define FIRST_DELAY_TIME 60

static const char *const OpenAsShort[] = {"Normal", "Minimised", "Maximised"};

static RunList *PageList(HWND page)
{
    PageLists *lists = GetPageLists(page);
    return lists ? lists->list[0] : NULL;
}

static void FillDelayPage(HWND page)
{
    RunList *list = PageList(page);
    TableBeginFill(page);
    ReadDelayList(list);
    for (int i = 0; list && i < list->count; i++) {
        DelayedProgram entry;
        LoadDelayedProgram(list, i, &entry);
        char time[NUMBER_TEXT_MAX];
        FormatText(time, CAP(time), "%d", entry.time);
        const char *cells[COLUMNS] = {entry.title, entry.program, time, OpenAsShort[entry.openAs],
                                      entry.runAs ? "Administrator" : "", entry.parameters};
        TableAddRow(page, cells, TableProgramIcon(entry.program), i);
    }
    TableEndFill(page);
}

static int SelectedProgram(HWND page, DelayedProgram *entry)
{
    LPARAM row = 0;
    RunList *list = PageList(page);
    if (!list || TableSelection(page, &row, 1) != 1 || row < 0 || row >= list->count)
        return 0;
    LoadDelayedProgram(list, (int)row, entry);
    return 1;
}

static void DelaySelectionChanged(HWND page)
{
    int count = TableSelectedCount(page);
    TableEnableAction(page, IDC_DELAY_EDIT, count == 1);
    TableEnableAction(page, IDC_DELAY_REMOVE, count == 1);
    TableEnableAction(page, IDC_DELAY_MOVEBACK, count == 1);
}

static void ProgramFailure(HWND page, const char *format, const DelayedProgram *entry, DWORD error)
{
    char text[MESSAGE_MAX];
    FormatText(text, CAP(text), format, entry->title[0] ? entry->title : entry->program);
    ShowActionFailure(page, text, error);
}

// A program of the user's choice on the user's own list; it lives in no
// startup location, so nothing is taken out anywhere.
static void AddProgram(HWND page)
{
    DelayedProgram entry;
    memset(&entry, 0, sizeof(entry));
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = GetAncestor(page, GA_ROOT);
    dialog.lpstrFilter = "Programs (*.exe)\0*.exe\0All files (*.*)\0*.*\0";
    dialog.lpstrFile = entry.program;
    dialog.nMaxFile = sizeof(entry.program);
    dialog.lpstrTitle = "Add a program to the delayed start";
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!GetOpenFileNameA(&dialog)) {
        DWORD error = CommDlgExtendedError();
        if (error)
            ShowActionFailure(page, "The file dialog could not be shown.", error);
        return;
    }
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(VersionRecord));
    if (version && GetVersionInfo(entry.program, version) && version->ProductName[0])
        CopyText(entry.title, CAP(entry.title), version->ProductName);
    else
        FileTitleOf(entry.program, entry.title, CAP(entry.title));
    HeapFree(GetProcessHeap(), 0, version);
    entry.code = CODE_ADDED_BY_USER;
    entry.time = FIRST_DELAY_TIME;
    if (!EditDelayedProgram(page, &entry))
        return;
    DWORD error = WriteDelayedProgram(&entry);
    if (error != ERROR_SUCCESS)
        ProgramFailure(page, "%s could not be put on the delayed-start list.", &entry, error);
    TableRefresh(page);
}

static void EditProgram(HWND page)
{
    DelayedProgram before, entry;
    if (!SelectedProgram(page, &before))
        return;
    entry = before;
    if (!EditDelayedProgram(page, &entry))
        return;
    DWORD error = WriteDelayedProgram(&entry);
    if (error != ERROR_SUCCESS) {
        // A failed write takes the program off the list: it goes back as it was.
        WriteDelayedProgram(&before);
        ProgramFailure(page, "The changes to %s could not be saved.", &entry, error);
    }
    TableRefresh(page);
}

static void RemoveProgram(HWND page)
{
    DelayedProgram entry;
    if (!SelectedProgram(page, &entry))
        return;
    char question[MESSAGE_MAX];
    FormatText(question, CAP(question),
               "Take %s off the delayed-start list?\n\n%s\n\nBrackmoor will no longer start it; it does not go "
               "back to the startup programs (Move back does that).",
               entry.title[0] ? entry.title : "this program", entry.program);
    if (!AskUser(page, question))
        return;
    DWORD error = RemoveFromDelayList(&entry);
    if (error != ERROR_SUCCESS)
        ProgramFailure(page, "%s could not be taken off the delayed-start list.", &entry, error);
    TableRefresh(page);
}

static void MoveBack(HWND page)
{
    DelayedProgram entry;
    if (!SelectedProgram(page, &entry))
        return;
    DWORD error = MoveBackToStartup(&entry);
    if (error != ERROR_SUCCESS)
        ProgramFailure(page, "%s could not be moved back to the startup programs.", &entry, error);
    TableRefresh(page);
}

static const TableColumn DelayColumns[COLUMNS] = {
    {"Title", 80, SORT_TEXT},   {"Program", 150, SORT_TEXT}, {"Time", 40, SORT_NUMBER},
    {"Open as", 50, SORT_TEXT}, {"Run as", 56, SORT_TEXT},   {"Parameters", 80, SORT_TEXT},
};
static const int DelayActions[] = {IDC_DELAY_ADD, IDC_DELAY_EDIT, IDC_DELAY_REMOVE, IDC_DELAY_MOVEBACK};
static const TablePageDef DelayPage = {
    DelayColumns, COLUMNS, DelayActions, (int)(sizeof(DelayActions) / sizeof(DelayActions[0])),
    IDC_DELAY_EDIT, IDC_DELAY_REMOVE, COLUMN_TIME, 0, 1, "Delayed programs",
    FillDelayPage, DelaySelectionChanged, ReleasePageLists,
};

INT_PTR CALLBACK DelayPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR result;
    if (TablePageMessage(page, &DelayPage, message, wParam, lParam, &result))
        return result;
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_DELAY_ADD:
        AddProgram(page);
        return TRUE;
    case IDC_DELAY_EDIT:
        EditProgram(page);
        return TRUE;
    case IDC_DELAY_REMOVE:
        RemoveProgram(page);
        return TRUE;
    case IDC_DELAY_MOVEBACK:
        MoveBack(page);
        return TRUE;
    }
    return FALSE;
}
