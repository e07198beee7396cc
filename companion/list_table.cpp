#include "companion/list_table.h"

#include <commctrl.h>
#include <shellapi.h>
#include <string.h>

#include "common/text.h"
#include "common/tracelog.h"
#include "companion/companion_res.h"
#include "companion/explorer.h"

#define FILTER_TEXT_MAX 128
#define STATUS_TEXT_MAX 128
#define MENU_LABEL_MAX 64
// Rows kept selected across a refresh, found again by their first two cells.
#define KEPT_SELECTION_MAX 64
#define KEPT_KEY_MAX 512
#define FIRST_ROW_CAPACITY 64

typedef struct TableRow {
    char *text;                 // the cells one after another, each with its NUL
    int icon;
    LPARAM data;
} TableRow;

typedef struct TableState {
    const TablePageDef *def;
    HWND list;
    POINT listTopLeft;          // where the template put the list, in the page
    TableRow *rows;
    int rowCount, rowCapacity;
    int *shown;                 // row numbers in display order
    int shownCount;
    int sortColumn, sortDescending;
    char filter[FILTER_TEXT_MAX];
    void *pageData;
} TableState;

static TableState *StateOf(HWND page)
{
    return (TableState *)GetWindowLongPtrA(page, DWLP_USER);
}

void SetTablePageData(HWND page, void *data)
{
    TableState *state = StateOf(page);
    if (state)
        state->pageData = data;
}

void *GetTablePageData(HWND page)
{
    TableState *state = StateOf(page);
    return state ? state->pageData : NULL;
}

void ReleasePageLists(void *pageData)
{
    PageLists *lists = (PageLists *)pageData;
    for (RunList *list : lists->list)
        DeleteRunList(list);
    HeapFree(GetProcessHeap(), 0, lists);
}

PageLists *GetPageLists(HWND page)
{
    PageLists *lists = (PageLists *)GetTablePageData(page);
    if (lists)
        return lists;
    lists = (PageLists *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PageLists));
    if (!lists)
        return NULL;
    for (RunList *&list : lists->list) {
        list = NewRunList();
        if (!list) {
            TestLog("MyError:  GetPageLists NewRunList", "no memory for the page's lists");
            ReleasePageLists(lists);
            return NULL;
        }
    }
    SetTablePageData(page, lists);
    return lists;
}

static const char *CellOf(const TableState *state, const TableRow *row, int column)
{
    const char *text = row->text;
    for (int c = 0; c < column && c < state->def->columnCount; c++)
        text += strlen(text) + 1;
    return text;
}

static void FreeRows(TableState *state)
{
    for (int i = 0; i < state->rowCount; i++)
        HeapFree(GetProcessHeap(), 0, state->rows[i].text);
    state->rowCount = 0;
    state->shownCount = 0;
}

// ---------------------------------------------------------------------------
// Order and filter

static int CompareRows(const TableState *state, int a, int b)
{
    if (state->sortColumn < 0)
        return a < b ? -1 : a > b;
    const TableColumn *column = &state->def->columns[state->sortColumn];
    const char *x = CellOf(state, &state->rows[a], state->sortColumn);
    const char *y = CellOf(state, &state->rows[b], state->sortColumn);
    int order = 0;
    if (column->sort == SORT_NUMBER) {
        int m = TextToInt(x), n = TextToInt(y);
        order = m < n ? -1 : m > n;
    } else if (column->sort == SORT_TEXT) {
        order = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, x, -1, y, -1) - CSTR_EQUAL;
    } else {
        order = a < b ? -1 : a > b;
    }
    // Equal cells keep the order they were added in, whichever way the column runs.
    if (order == 0)
        return a < b ? -1 : a > b;
    return state->sortDescending ? -order : order;
}

// A stable merge sort of the shown rows; work has room for shownCount numbers.
static void SortShown(TableState *state, int *work)
{
    int n = state->shownCount;
    int *from = state->shown, *to = work;
    for (int width = 1; width < n; width *= 2) {
        for (int left = 0; left < n; left += 2 * width) {
            int middle = left + width < n ? left + width : n;
            int right = left + 2 * width < n ? left + 2 * width : n;
            int i = left, j = middle, k = left;
            while (i < middle && j < right)
                to[k++] = CompareRows(state, from[i], from[j]) <= 0 ? from[i++] : from[j++];
            while (i < middle)
                to[k++] = from[i++];
            while (j < right)
                to[k++] = from[j++];
        }
        int *swap = from;
        from = to;
        to = swap;
    }
    if (from != state->shown)
        memcpy(state->shown, from, (size_t)n * sizeof(int));
}

static int RowMatchesFilter(const TableState *state, const TableRow *row)
{
    if (!state->filter[0])
        return 1;
    for (int c = 0; c < state->def->columnCount; c++)
        if (StrContains(CellOf(state, row, c), state->filter))
            return 1;
    return 0;
}

static void ShowSortArrow(TableState *state)
{
    HWND header = (HWND)SendMessageA(state->list, LVM_GETHEADER, 0, 0);
    for (int c = 0; header && c < state->def->columnCount; c++) {
        HDITEMA item = {};
        item.mask = HDI_FORMAT;
        if (!SendMessageA(header, HDM_GETITEMA, (WPARAM)c, (LPARAM)&item))
            continue;
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (c == state->sortColumn)
            item.fmt |= state->sortDescending ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageA(header, HDM_SETITEMA, (WPARAM)c, (LPARAM)&item);
    }
}

static void ShowCount(HWND page, const TableState *state)
{
    char text[STATUS_TEXT_MAX];
    if (state->filter[0])
        FormatText(text, CAP(text), "%s: %d of %d", state->def->countLabel, state->shownCount, state->rowCount);
    else
        FormatText(text, CAP(text), "%s: %d", state->def->countLabel, state->rowCount);
    SetExplorerStatus(page, text);
}

// Puts the rows that pass the filter in order and hands their number to the list.
static void ArrangeRows(HWND page, TableState *state)
{
    HeapFree(GetProcessHeap(), 0, state->shown);
    state->shown = NULL;
    state->shownCount = 0;
    int *work = NULL;
    if (state->rowCount > 0) {
        state->shown = (int *)HeapAlloc(GetProcessHeap(), 0, (size_t)state->rowCount * sizeof(int));
        work = (int *)HeapAlloc(GetProcessHeap(), 0, (size_t)state->rowCount * sizeof(int));
    }
    if (state->shown && work) {
        for (int i = 0; i < state->rowCount; i++)
            if (RowMatchesFilter(state, &state->rows[i]))
                state->shown[state->shownCount++] = i;
        SortShown(state, work);
    } else if (state->rowCount > 0) {
        TestLog("MyError:  ArrangeRows HeapAlloc", "the list stays empty");
    }
    HeapFree(GetProcessHeap(), 0, work);
    SendMessageA(state->list, LVM_SETITEMCOUNT, (WPARAM)state->shownCount, LVSICF_NOSCROLL);
    InvalidateRect(state->list, NULL, TRUE);
    ShowSortArrow(state);
    ShowCount(page, state);
    if (state->def->selectionChanged)
        state->def->selectionChanged(page);
}

// ---------------------------------------------------------------------------
// Filling

void TableBeginFill(HWND page)
{
    TableState *state = StateOf(page);
    if (state)
        FreeRows(state);
}

int TableAddRow(HWND page, const char *const *cells, int icon, LPARAM data)
{
    TableState *state = StateOf(page);
    if (!state)
        return 0;
    if (state->rowCount == state->rowCapacity) {
        int capacity = state->rowCapacity ? state->rowCapacity * 2 : FIRST_ROW_CAPACITY;
        size_t bytes = (size_t)capacity * sizeof(TableRow);
        TableRow *grown = (TableRow *)(state->rows ? HeapReAlloc(GetProcessHeap(), 0, state->rows, bytes)
                                                   : HeapAlloc(GetProcessHeap(), 0, bytes));
        if (!grown) {
            TestLog("MyError:  TableAddRow HeapAlloc", "row left out");
            return 0;
        }
        state->rows = grown;
        state->rowCapacity = capacity;
    }
    size_t size = 0;
    for (int c = 0; c < state->def->columnCount; c++)
        size += strlen(cells[c] ? cells[c] : "") + 1;
    char *text = (char *)HeapAlloc(GetProcessHeap(), 0, size);
    if (!text) {
        TestLog("MyError:  TableAddRow HeapAlloc", "row left out");
        return 0;
    }
    char *at = text;
    for (int c = 0; c < state->def->columnCount; c++) {
        size_t len = strlen(cells[c] ? cells[c] : "");
        memcpy(at, cells[c] ? cells[c] : "", len + 1);
        at += len + 1;
    }
    TableRow *row = &state->rows[state->rowCount++];
    row->text = text;
    row->icon = icon;
    row->data = data;
    return 1;
}

void TableEndFill(HWND page)
{
    TableState *state = StateOf(page);
    if (state)
        ArrangeRows(page, state);
}

// A row's identity across a refresh: its first two cells.
static void RowKey(const TableState *state, int row, char *out, size_t cap)
{
    const char *second = state->def->columnCount > 1 ? CellOf(state, &state->rows[row], 1) : "";
    FormatText(out, cap, "%s\t%s", CellOf(state, &state->rows[row], 0), second);
}

void TableRefresh(HWND page)
{
    TableState *state = StateOf(page);
    if (!state || !state->def->fill)
        return;
    char (*kept)[KEPT_KEY_MAX] = (char (*)[KEPT_KEY_MAX])HeapAlloc(GetProcessHeap(), 0,
                                                                  KEPT_SELECTION_MAX * KEPT_KEY_MAX);
    int keptCount = 0;
    for (int at = -1; kept && keptCount < KEPT_SELECTION_MAX;) {
        at = (int)SendMessageA(state->list, LVM_GETNEXTITEM, (WPARAM)at, LVNI_SELECTED);
        if (at < 0 || at >= state->shownCount)
            break;
        RowKey(state, state->shown[at], kept[keptCount++], KEPT_KEY_MAX);
    }
    LVITEMA clear = {};
    clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(state->list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&clear);

    state->def->fill(page);

    int focused = 0;
    for (int at = 0; at < state->shownCount && keptCount > 0; at++) {
        char key[KEPT_KEY_MAX];
        RowKey(state, state->shown[at], key, CAP(key));
        for (int k = 0; k < keptCount; k++) {
            if (strcmp(key, kept[k]) != 0)
                continue;
            LVITEMA item = {};
            item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            item.state = LVIS_SELECTED | (focused ? 0 : LVIS_FOCUSED);
            SendMessageA(state->list, LVM_SETITEMSTATE, (WPARAM)at, (LPARAM)&item);
            if (!focused)
                SendMessageA(state->list, LVM_ENSUREVISIBLE, (WPARAM)at, FALSE);
            focused = 1;
            break;
        }
    }
    HeapFree(GetProcessHeap(), 0, kept);
    if (state->def->selectionChanged)
        state->def->selectionChanged(page);
}

void TableSetFilter(HWND page, const char *text)
{
    TableState *state = StateOf(page);
    if (!state)
        return;
    CopyText(state->filter, CAP(state->filter), text ? text : "");
    LVITEMA clear = {};
    clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(state->list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&clear);
    ArrangeRows(page, state);
}

// ---------------------------------------------------------------------------
// Selection and shown rows

int TableSelection(HWND page, LPARAM *data, int max)
{
    TableState *state = StateOf(page);
    int count = 0;
    for (int at = -1; state && count < max;) {
        at = (int)SendMessageA(state->list, LVM_GETNEXTITEM, (WPARAM)at, LVNI_SELECTED);
        if (at < 0 || at >= state->shownCount)
            break;
        data[count++] = state->rows[state->shown[at]].data;
    }
    return count;
}

int TableSelectedCount(HWND page)
{
    TableState *state = StateOf(page);
    return state ? (int)SendMessageA(state->list, LVM_GETSELECTEDCOUNT, 0, 0) : 0;
}

int TableShownCount(HWND page)
{
    TableState *state = StateOf(page);
    return state ? state->shownCount : 0;
}

const char *TableShownCell(HWND page, int position, int column)
{
    TableState *state = StateOf(page);
    if (!state || position < 0 || position >= state->shownCount || column < 0 ||
        column >= state->def->columnCount)
        return "";
    return CellOf(state, &state->rows[state->shown[position]], column);
}

void TableEnableAction(HWND page, int id, int enabled)
{
    HWND button = GetDlgItem(page, id);
    if (!button)
        return;
    // A button that loses the focus by being disabled would leave the keyboard nowhere.
    if (!enabled && GetFocus() == button)
        SendMessageA(GetParent(page), WM_NEXTDLGCTL, 0, FALSE);
    EnableWindow(button, enabled);
}

int TableProgramIcon(const char *path)
{
    SHFILEINFOA info = {};
    if (!path || !path[0])
        return -1;
    if (SHGetFileInfoA(path, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
        return info.iIcon;
    if (SHGetFileInfoA(path, FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
        return info.iIcon;
    return -1;
}

// ---------------------------------------------------------------------------
// Commands

static void RunAction(HWND page, int id)
{
    HWND button = GetDlgItem(page, id);
    if (id && button && IsWindowEnabled(button))
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
}

// The selected rows as text: cells separated by tabs, one row per line.
static void CopySelection(HWND page, TableState *state)
{
    size_t size = 1;
    for (int at = -1;;) {
        at = (int)SendMessageA(state->list, LVM_GETNEXTITEM, (WPARAM)at, LVNI_SELECTED);
        if (at < 0 || at >= state->shownCount)
            break;
        for (int c = 0; c < state->def->columnCount; c++)
            size += strlen(CellOf(state, &state->rows[state->shown[at]], c)) + 2;
    }
    if (size == 1)
        return;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    char *text = block ? (char *)GlobalLock(block) : NULL;
    if (!text) {
        ShowActionFailure(page, "The rows could not be copied.", GetLastError());
        if (block)
            GlobalFree(block);
        return;
    }
    char *at = text;
    for (int position = -1;;) {
        position = (int)SendMessageA(state->list, LVM_GETNEXTITEM, (WPARAM)position, LVNI_SELECTED);
        if (position < 0 || position >= state->shownCount)
            break;
        for (int c = 0; c < state->def->columnCount; c++) {
            const char *cell = CellOf(state, &state->rows[state->shown[position]], c);
            size_t len = strlen(cell);
            memcpy(at, cell, len);
            at += len;
            if (c + 1 < state->def->columnCount) {
                *at++ = '\t';
            } else {
                *at++ = '\r';
                *at++ = '\n';
            }
        }
    }
    *at = '\0';
    GlobalUnlock(block);
    if (!OpenClipboard(page)) {
        ShowActionFailure(page, "The clipboard is in use by another program.", GetLastError());
        GlobalFree(block);
        return;
    }
    EmptyClipboard();
    // Once the clipboard has taken the block it is the clipboard's to free.
    if (!SetClipboardData(CF_TEXT, block)) {
        TraceLastError("MyError:  CopySelection SetClipboardData");
        GlobalFree(block);
    }
    CloseClipboard();
}

static void SelectAll(TableState *state)
{
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    SendMessageA(state->list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&item);
}

static void AppendMenuItem(HMENU menu, int id, const char *label, int enabled)
{
    AppendMenuA(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), (UINT_PTR)id, label);
}

// The page's buttons, then Copy and Refresh: the same actions as on screen.
static void ShowContextMenu(HWND page, TableState *state, LPARAM where)
{
    POINT at = {(short)LOWORD(where), (short)HIWORD(where)};
    if (where == (LPARAM)-1) {
        // From the keyboard: under the focused row, or the list's corner.
        RECT item = {};
        int focused = (int)SendMessageA(state->list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED);
        item.left = LVIR_LABEL;
        if (focused < 0 || !SendMessageA(state->list, LVM_GETITEMRECT, (WPARAM)focused, (LPARAM)&item))
            SetRect(&item, 0, 0, 0, 0);
        at.x = item.left;
        at.y = item.bottom;
        ClientToScreen(state->list, &at);
    }
    HMENU menu = CreatePopupMenu();
    if (!menu) {
        TraceLastError("MyError:  ShowContextMenu CreatePopupMenu");
        return;
    }
    for (int i = 0; i < state->def->actionCount; i++) {
        int id = state->def->actions[i];
        char label[MENU_LABEL_MAX] = "";
        GetDlgItemTextA(page, id, label, (int)sizeof(label));
        AppendMenuItem(menu, id, label, IsWindowEnabled(GetDlgItem(page, id)));
    }
    if (state->def->actionCount > 0)
        AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuItem(menu, IDC_TABLE_COPY, "&Copy\tCtrl+C", TableSelectedCount(page) > 0);
    AppendMenuItem(menu, IDC_TABLE_SELECTALL, "Select &all\tCtrl+A", state->shownCount > 0);
    AppendMenuItem(menu, IDC_TABLE_REFRESH, "&Refresh\tF5", 1);
    int chosen = (int)TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, page, NULL);
    DestroyMenu(menu);
    if (chosen)
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(chosen, BN_CLICKED), 0);
}

// ---------------------------------------------------------------------------
// The list itself

static void MakeColumns(HWND page, TableState *state)
{
    for (int c = 0; c < state->def->columnCount; c++) {
        RECT width = {0, 0, state->def->columns[c].width, 0};
        MapDialogRect(page, &width);
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
        column.fmt = state->def->columns[c].sort == SORT_NUMBER ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = width.right;
        column.pszText = (char *)state->def->columns[c].title;
        column.iSubItem = c;
        if (SendMessageA(state->list, LVM_INSERTCOLUMNA, (WPARAM)c, (LPARAM)&column) < 0)
            TestLog("MyError:  MakeColumns LVM_INSERTCOLUMN", state->def->columns[c].title);
    }
    // The first column's cell can only be right-aligned once it is not the first.
    if (state->def->columnCount > 0 && state->def->columns[0].sort == SORT_NUMBER) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT;
        column.fmt = LVCFMT_LEFT;
        SendMessageA(state->list, LVM_SETCOLUMNA, 0, (LPARAM)&column);
    }
}

static void InitTable(HWND page, const TablePageDef *def)
{
    TableState *state = (TableState *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TableState));
    if (!state) {
        TestLog("MyError:  InitTable HeapAlloc", "the page has no list");
        return;
    }
    state->def = def;
    state->list = GetDlgItem(page, IDC_TABLE_LIST);
    state->sortColumn = def->sortColumn;
    state->sortDescending = def->sortDescending;
    SetWindowLongPtrA(page, DWLP_USER, (LONG_PTR)state);
    RECT place = {};
    GetWindowRect(state->list, &place);
    state->listTopLeft.x = place.left;
    state->listTopLeft.y = place.top;
    ScreenToClient(page, &state->listTopLeft);
    SendMessageA(state->list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
    if (def->icons) {
        SHFILEINFOA info = {};
        // The system's own list: the list view shares it and must not destroy it.
        HIMAGELIST icons = (HIMAGELIST)SHGetFileInfoA("C:\\", 0, &info, sizeof(info),
                                                      SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
        if (icons)
            SendMessageA(state->list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)icons);
    }
    MakeColumns(page, state);
}

static void Layout(HWND page, TableState *state)
{
    RECT client, margin = {0, 0, 0, 2};
    GetClientRect(page, &client);
    MapDialogRect(page, &margin);
    int width = client.right - state->listTopLeft.x - margin.left;
    int height = client.bottom - state->listTopLeft.y - margin.bottom;
    SetWindowPos(state->list, NULL, 0, 0, width > 0 ? width : 0, height > 0 ? height : 0,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

static void GiveItemText(TableState *state, NMLVDISPINFOA *info)
{
    int position = info->item.iItem;
    if (position < 0 || position >= state->shownCount)
        return;
    const TableRow *row = &state->rows[state->shown[position]];
    if ((info->item.mask & LVIF_TEXT) && info->item.pszText && info->item.cchTextMax > 0)
        CopyText(info->item.pszText, (size_t)info->item.cchTextMax, CellOf(state, row, info->item.iSubItem));
    if (info->item.mask & LVIF_IMAGE)
        info->item.iImage = info->item.iSubItem == 0 ? row->icon : -1;
}

static void SortBy(HWND page, TableState *state, int column)
{
    if (column < 0 || column >= state->def->columnCount)
        return;
    if (state->sortColumn == column)
        state->sortDescending = !state->sortDescending;
    else
        state->sortDescending = 0;
    state->sortColumn = column;
    LVITEMA clear = {};
    clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(state->list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&clear);
    ArrangeRows(page, state);
}

static int OnListKey(HWND page, TableState *state, WORD key)
{
    int control = GetKeyState(VK_CONTROL) < 0;
    if (key == VK_DELETE && !control) {
        RunAction(page, state->def->deleteAction);
        return 1;
    }
    if (control && key == 'C') {
        CopySelection(page, state);
        return 1;
    }
    if (control && key == 'A') {
        SelectAll(state);
        return 1;
    }
    return 0;
}

static INT_PTR OnListNotify(HWND page, TableState *state, NMHDR *header)
{
    switch (header->code) {
    case LVN_GETDISPINFOA:
        GiveItemText(state, (NMLVDISPINFOA *)header);
        return TRUE;
    case LVN_COLUMNCLICK:
        SortBy(page, state, ((NMLISTVIEW *)header)->iSubItem);
        return TRUE;
    case LVN_ITEMCHANGED:
    case LVN_ODSTATECHANGED:
        if (state->def->selectionChanged)
            state->def->selectionChanged(page);
        return TRUE;
    case NM_DBLCLK:
        if (((NMITEMACTIVATE *)header)->iItem >= 0)
            RunAction(page, state->def->enterAction);
        return TRUE;
    case LVN_KEYDOWN:
        OnListKey(page, state, ((NMLVKEYDOWN *)header)->wVKey);
        return TRUE;
    }
    return FALSE;
}

int TablePageMessage(HWND page, const TablePageDef *def, UINT message, WPARAM wParam, LPARAM lParam,
                     INT_PTR *result)
{
    TableState *state = StateOf(page);
    *result = TRUE;
    switch (message) {
    case WM_INITDIALOG:
        InitTable(page, def);
        // Filled when the page is first shown: a page never looked at costs nothing.
        // The page's own procedure sees the message as well.
        return 0;
    case WM_PAGE_REFRESH:
        TableRefresh(page);
        return 1;
    case WM_SIZE:
        if (state)
            Layout(page, state);
        return 1;
    case WM_NOTIFY:
        if (!state || ((NMHDR *)lParam)->hwndFrom != state->list)
            return 0;
        *result = OnListNotify(page, state, (NMHDR *)lParam);
        return 1;
    case WM_CONTEXTMENU:
        if (!state || (HWND)wParam != state->list)
            return 0;
        ShowContextMenu(page, state, lParam);
        return 1;
    case WM_COMMAND:
        if (!state)
            return 0;
        switch (LOWORD(wParam)) {
        case IDOK:
            if (GetFocus() == state->list)
                RunAction(page, def->enterAction);
            return 1;
        case IDC_TABLE_COPY:
            CopySelection(page, state);
            return 1;
        case IDC_TABLE_SELECTALL:
            SelectAll(state);
            return 1;
        case IDC_TABLE_REFRESH:
            TableRefresh(page);
            return 1;
        }
        return 0;
    case WM_DESTROY:
        if (state) {
            if (def->release && state->pageData)
                def->release(state->pageData);
            FreeRows(state);
            HeapFree(GetProcessHeap(), 0, state->rows);
            HeapFree(GetProcessHeap(), 0, state->shown);
            HeapFree(GetProcessHeap(), 0, state);
            SetWindowLongPtrA(page, DWLP_USER, 0);
        }
        *result = FALSE;
        return 0;
    }
    return 0;
}
