#include "companion/explorer.h"

#include <commctrl.h>

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "companion/companion_res.h"

typedef struct PageTemplate {
    const char *name;       // in the page list
    int templateId;
    int windowId;           // the page window's control id, for other programs
    DLGPROC procedure;
} PageTemplate;

static INT_PTR CALLBACK ExplorerDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

static const PageTemplate PageTemplates[PAGE_COUNT] = {
    {"Startup Programs", IDD_STARTUPPAGE, IDC_PAGE_STARTUP, StartupPageDlgProc},
    {"Delayed Start", IDD_DELAYPAGE, IDC_PAGE_DELAY, DelayPageDlgProc},
    {"Running Programs", IDD_TASKSPAGE, IDC_PAGE_TASKS, TasksPageDlgProc},
    {"Recent History", IDD_HISTORYPAGE, IDC_PAGE_HISTORY, HistoryPageDlgProc},
    {"Reset", IDD_RESETPAGE, IDC_PAGE_RESET, ResetPageDlgProc},
    {"Options", IDD_OPTIONSPAGE, IDC_PAGE_OPTIONS, OptionsPageDlgProc},
    {"About", IDD_ABOUTPAGE, IDC_PAGE_ABOUT, AboutPageDlgProc},
};

// Dialog units: the page list's width, the gaps, and the smallest window.
#define PAGE_LIST_WIDTH 84
#define GAP 4
#define MIN_WIDTH 400
#define MIN_HEIGHT 220
#define PLACE_TEXT_MAX 16

int RegisterExplorerClass(HINSTANCE instance)
{
    // The window is a dialog from a template that names this class, so a second
    // start (and the tests) can find it by class; the dialog manager
    // needs its own procedure and extra bytes in such a class.
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefDlgProcA;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_COMPANION));
    wc.hIconSm = (HICON)LoadImageA(instance, MAKEINTRESOURCEA(IDI_COMPANION), IMAGE_ICON,
                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = EXPLORER_CLASS;
    if (!RegisterClassExA(&wc)) {
        TraceLastError("MyError:  RegisterExplorerClass RegisterClassEx");
        return 0;
    }
    return 1;
}

HWND CreateExplorerWindow(HINSTANCE instance, ExplorerState *state)
{
    state->keys = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_EXPLORER_KEYS));
    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_EXPLORER), NULL,
                                     ExplorerDlgProc, (LPARAM)state);
    if (!window)
        TraceLastError("MyError:  CreateExplorerWindow CreateDialogParam");
    return window;
}

static ExplorerState *StateOf(HWND window)
{
    return (ExplorerState *)GetWindowLongPtrA(window, DWLP_USER);
}

// ---------------------------------------------------------------------------
// Place and size, kept between runs

static int ReadPlaceValue(const char *name, int *value)
{
    char text[PLACE_TEXT_MAX];
    if (GetRegString(HKEY_CURRENT_USER, EXPLORER_KEY, name, text, CAP(text)) <= 0)
        return 0;
    *value = TextToInt(text);
    return 1;
}

static void WritePlaceValue(const char *name, int value)
{
    char text[PLACE_TEXT_MAX];
    FormatText(text, CAP(text), "%d", value);
    if (!SetRegString(HKEY_CURRENT_USER, EXPLORER_KEY, name, text))
        TestLog("MyError:  SaveExplorerPlace SetRegString", name);
}

// The last place and size, when they still lie on a screen (a monitor may be
// gone); the window is still hidden. 1 when it was maximized.
static int RestorePlace(HWND window)
{
    int left = 0, top = 0, width = 0, height = 0, maximized = 0;
    if (!ReadPlaceValue("Left", &left) || !ReadPlaceValue("Top", &top) || !ReadPlaceValue("Width", &width) ||
        !ReadPlaceValue("Height", &height))
        return 0;
    ReadPlaceValue("Maximized", &maximized);
    RECT smallest = {0, 0, MIN_WIDTH, MIN_HEIGHT};
    MapDialogRect(window, &smallest);
    RECT place = {left, top, left + width, top + height};
    if (width < smallest.right || height < smallest.bottom || !MonitorFromRect(&place, MONITOR_DEFAULTTONULL))
        return 0;
    WINDOWPLACEMENT shown = {};
    shown.length = sizeof(shown);
    GetWindowPlacement(window, &shown);
    shown.rcNormalPosition = place;
    shown.showCmd = SW_HIDE;
    SetWindowPlacement(window, &shown);
    return maximized != 0;
}

static void SavePlace(HWND window)
{
    WINDOWPLACEMENT shown = {};
    shown.length = sizeof(shown);
    if (!GetWindowPlacement(window, &shown)) {
        TraceLastError("MyError:  SaveExplorerPlace GetWindowPlacement");
        return;
    }
    const RECT *place = &shown.rcNormalPosition;
    WritePlaceValue("Left", place->left);
    WritePlaceValue("Top", place->top);
    WritePlaceValue("Width", place->right - place->left);
    WritePlaceValue("Height", place->bottom - place->top);
    WritePlaceValue("Maximized", shown.showCmd == SW_SHOWMAXIMIZED || IsZoomed(window));
}

// ---------------------------------------------------------------------------
// Pages

static void Layout(HWND window, ExplorerState *state)
{
    RECT client, units = {GAP, GAP, PAGE_LIST_WIDTH, 0};
    GetClientRect(window, &client);
    MapDialogRect(window, &units);
    int statusHeight = 0;
    if (state->status) {
        SendMessageA(state->status, WM_SIZE, 0, 0);
        RECT bar;
        GetWindowRect(state->status, &bar);
        statusHeight = bar.bottom - bar.top;
    }
    int gap = units.left, top = units.top;
    int height = client.bottom - statusHeight - top - gap;
    if (height < 0)
        height = 0;
    SetWindowPos(GetDlgItem(window, IDC_PAGE_LIST), NULL, gap, top, units.right, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    int left = gap + units.right + gap;
    int width = client.right - left - gap;
    for (int i = 0; i < PAGE_COUNT; i++)
        if (state->pages[i])
            SetWindowPos(state->pages[i], NULL, left, top, width > 0 ? width : 0, height,
                         SWP_NOZORDER | SWP_NOACTIVATE);
}

static void CreatePages(HWND window, ExplorerState *state)
{
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE);
    HWND pageList = GetDlgItem(window, IDC_PAGE_LIST);
    // After the page list in the z-order, which is also the tab order.
    HWND before = pageList;
    for (int i = 0; i < PAGE_COUNT; i++) {
        SendMessageA(pageList, LB_ADDSTRING, 0, (LPARAM)PageTemplates[i].name);
        HWND page = CreateDialogParamA(instance, MAKEINTRESOURCEA(PageTemplates[i].templateId), window,
                                       PageTemplates[i].procedure, 0);
        state->pages[i] = page;
        if (!page) {
            TraceLastError("MyError:  CreatePages CreateDialogParam");
            continue;
        }
        SetWindowLongPtrA(page, GWLP_ID, PageTemplates[i].windowId);
        SetWindowPos(page, before, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
        before = page;
    }
    state->status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                    window, (HMENU)(INT_PTR)IDC_STATUS, instance, NULL);
    if (!state->status)
        TraceLastError("MyError:  CreatePages status bar");
}

static void ShowPage(HWND window, ExplorerState *state, int pageIndex, const char *laterPage)
{
    if (pageIndex < 0 || pageIndex >= PAGE_COUNT || !state->pages[pageIndex])
        pageIndex = PAGE_ABOUT;
    state->page = pageIndex;
    SendDlgItemMessageA(window, IDC_PAGE_LIST, LB_SETCURSEL, (WPARAM)pageIndex, 0);
    if (state->status)
        SendMessageA(state->status, SB_SETTEXTA, 0, (LPARAM)"");
    HWND shown = state->pages[pageIndex];
    // Refreshed before it appears: the monitor or another program may have
    // changed what the page shows since it was last on screen.
    if (shown)
        SendMessageA(shown, WM_PAGE_REFRESH, 0, (LPARAM)laterPage);
    for (int i = 0; i < PAGE_COUNT; i++)
        if (state->pages[i])
            ShowWindow(state->pages[i], i == pageIndex ? SW_SHOW : SW_HIDE);
}

void SetExplorerStatus(HWND page, const char *text)
{
    HWND window = GetParent(page);
    ExplorerState *state = window ? StateOf(window) : NULL;
    if (state && state->status && state->pages[state->page] == page)
        SendMessageA(state->status, SB_SETTEXTA, 0, (LPARAM)text);
}

void ShowSwitchPage(HWND explorer, const SwitchRow *row)
{
    ExplorerState *state = StateOf(explorer);
    if (!state || !row)
        return;
    if (row->action == SWITCH_EXIT) {
        PostMessageA(explorer, WM_CLOSE, 0, 0);
        return;
    }
    ShowPage(explorer, state, row->page, row->laterPage);
    if (IsIconic(explorer))
        ShowWindow(explorer, SW_RESTORE);
    else
        ShowWindow(explorer, SW_SHOW);
    SetForegroundWindow(explorer);
}

// A second start hands its switch over and ends; the page opens here.
static BOOL OnCopyData(HWND window, const COPYDATASTRUCT *data)
{
    if (!data || data->dwData != COPYDATA_SWITCH || !data->lpData || data->cbData > SWITCH_TEXT_MAX)
        return FALSE;
    // The sender's text need not end in a NUL within cbData.
    char text[SWITCH_TEXT_MAX + 1];
    CopyTextN(text, CAP(text), (const char *)data->lpData, data->cbData);
    TestLog("Brackmoor Explorer switch handed over", text);
    ShowSwitchPage(window, FindSwitch(text));
    return TRUE;
}

static void OnCommand(HWND window, ExplorerState *state, int id, int code)
{
    switch (id) {
    case IDC_PAGE_LIST:
        if (code == LBN_SELCHANGE) {
            int chosen = (int)SendDlgItemMessageA(window, IDC_PAGE_LIST, LB_GETCURSEL, 0, 0);
            if (chosen != state->page)
                ShowPage(window, state, chosen, NULL);
        }
        break;
    case IDC_TABLE_REFRESH:
        if (state->pages[state->page])
            SendMessageA(state->pages[state->page], WM_PAGE_REFRESH, 0, 0);
        break;
    case IDCANCEL:
        // Esc is no way to lose a window of lists; the close box and Alt+F4 are.
        break;
    default:
        // Enter reaches the top-level dialog as IDOK or as the id of a page's
        // default button; the page in view decides what it means.
        if (state->pages[state->page])
            SendMessageA(state->pages[state->page], WM_COMMAND, MAKEWPARAM(id, code), 0);
        break;
    }
}

static void OnInit(HWND window, ExplorerState *state)
{
    SetWindowLongPtrA(window, DWLP_USER, (LONG_PTR)state);
    CreatePages(window, state);
    state->maximized = RestorePlace(window);
    Layout(window, state);
    ShowPage(window, state, state->first ? state->first->page : PAGE_ABOUT,
             state->first ? state->first->laterPage : NULL);
}

static INT_PTR CALLBACK ExplorerDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ExplorerState *state = StateOf(window);
    switch (message) {
    case WM_INITDIALOG:
        OnInit(window, (ExplorerState *)lParam);
        return TRUE;
    case WM_SIZE:
        if (state)
            Layout(window, state);
        return TRUE;
    case WM_GETMINMAXINFO: {
        RECT smallest = {0, 0, MIN_WIDTH, MIN_HEIGHT};
        MapDialogRect(window, &smallest);
        ((MINMAXINFO *)lParam)->ptMinTrackSize.x = smallest.right;
        ((MINMAXINFO *)lParam)->ptMinTrackSize.y = smallest.bottom;
        return TRUE;
    }
    case WM_COMMAND:
        if (state)
            OnCommand(window, state, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_COPYDATA:
        SetWindowLongPtrA(window, DWLP_MSGRESULT, OnCopyData(window, (const COPYDATASTRUCT *)lParam));
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return TRUE;
    case WM_DESTROY:
        SavePlace(window);
        SetWindowLongPtrA(window, DWLP_USER, 0);
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}
