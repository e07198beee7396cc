// The report-style list of a page: a virtual list view over rows of texts that
// the page fills, sorted by any column, filtered, copied as tab-separated text,
// with the page's action buttons repeated in its context menu and on its keys
// (Enter, Delete, Ctrl+C, Ctrl+A; F5 comes from the main window).
#pragma once
#include <windows.h>

#include "common/runlist.h"

enum { SORT_TEXT, SORT_NUMBER, SORT_ADDED };   // SORT_ADDED: the order the page added the rows in

typedef struct TableColumn {
    const char *title;
    int width;                  // dialog units
    int sort;
} TableColumn;

typedef struct TablePageDef {
    const TableColumn *columns;
    int columnCount;
    const int *actions;         // the page's action buttons, in the order of its context menu
    int actionCount;
    int enterAction;            // Enter and a double click; 0 for none
    int deleteAction;           // the Delete key; 0 for none
    int sortColumn;             // the order a fresh page shows; -1: the order added
    int sortDescending;
    int icons;                  // rows show the icons of their programs
    const char *countLabel;     // the status line: "<label>: <count>"
    void (*fill)(HWND page);    // reads the page's data and adds its rows
    void (*selectionChanged)(HWND page);    // enables the actions that fit the selection
    void (*release)(void *pageData);        // frees the page's own data (NULL: nothing to free)
} TablePageDef;

// Called first by a list page's dialog procedure. 1 when it handled the message;
// *result is then the procedure's answer. It makes the list at WM_INITDIALOG
// (which the page's procedure then sees too), fills it at WM_PAGE_REFRESH, and
// frees it at WM_DESTROY.
int TablePageMessage(HWND page, const TablePageDef *def, UINT message, WPARAM wParam, LPARAM lParam,
                     INT_PTR *result);

// The page's own data (NULL at first), handed to the page's release at WM_DESTROY.
void SetTablePageData(HWND page, void *data);
void *GetTablePageData(HWND page);

// The run lists most pages keep as their data: made on the first call, each
// NULL-free (NULL is returned when memory is short), freed with the page when
// its definition names ReleasePageLists.
#define PAGE_LISTS_MAX 3
typedef struct PageLists {
    RunList *list[PAGE_LISTS_MAX];
} PageLists;
PageLists *GetPageLists(HWND page);
void ReleasePageLists(void *pageData);

// Filling, from the page's fill routine: rows added between the two calls;
// data is the page's value for the row (an index into its own list).
void TableBeginFill(HWND page);
int TableAddRow(HWND page, const char *const *cells, int icon, LPARAM data);
void TableEndFill(HWND page);
// Reads the page's data again, keeping the selected rows selected where they remain.
void TableRefresh(HWND page);
// Shows only the rows with a cell that contains the text (all for "").
void TableSetFilter(HWND page, const char *text);

// The data of the selected rows in display order (at most max); the number selected.
int TableSelection(HWND page, LPARAM *data, int max);
int TableSelectedCount(HWND page);
// The shown rows in display order.
int TableShownCount(HWND page);
const char *TableShownCell(HWND page, int position, int column);
void TableEnableAction(HWND page, int id, int enabled);

// The small icon of a program in the system image list (its file kind's icon
// when the file is missing); -1 when there is none.
int TableProgramIcon(const char *path);
