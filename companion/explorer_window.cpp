#include "companion/explorer.h"

#include "common/text.h"
#include "common/tracelog.h"
#include "companion/companion_res.h"

typedef struct PageTemplate {
    int templateId;
    int windowId;           // the page window's control id, for other programs
    int tabId;
    DLGPROC procedure;
} PageTemplate;

static INT_PTR CALLBACK ExplorerDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

static const PageTemplate PageTemplates[PAGE_COUNT] = {
    {IDD_ABOUTPAGE, IDC_PAGE_ABOUT, IDC_TAB_ABOUT, AboutPageDlgProc},
    {IDD_OPTIONSPAGE, IDC_PAGE_OPTIONS, IDC_TAB_OPTIONS, OptionsPageDlgProc},
};

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

// Where the pages lie in the window, in dialog units: below the row of page
// buttons and above the Close button.
static const RECT PageArea = {4, 22, 356, 216};

static void CreatePages(HWND window, ExplorerState *state)
{
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE);
    RECT area = PageArea;
    MapDialogRect(window, &area);
    // After the page buttons in the z-order, which is also the tab order.
    HWND before = GetDlgItem(window, IDC_TAB_OPTIONS);
    for (int i = 0; i < PAGE_COUNT; i++) {
        HWND page = CreateDialogParamA(instance, MAKEINTRESOURCEA(PageTemplates[i].templateId), window,
                                       PageTemplates[i].procedure, 0);
        state->pages[i] = page;
        if (!page) {
            TraceLastError("MyError:  CreatePages CreateDialogParam");
            continue;
        }
        SetWindowLongPtrA(page, GWLP_ID, PageTemplates[i].windowId);
        SetWindowPos(page, before, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOACTIVATE);
        before = page;
    }
}

static void ShowPage(HWND window, ExplorerState *state, int pageIndex, const char *laterPage)
{
    if (pageIndex < 0 || pageIndex >= PAGE_COUNT || !state->pages[pageIndex])
        pageIndex = PAGE_ABOUT;
    state->page = pageIndex;
    CheckRadioButton(window, IDC_TAB_ABOUT, IDC_TAB_OPTIONS, PageTemplates[pageIndex].tabId);
    HWND shown = state->pages[pageIndex];
    // Refreshed before it appears: the monitor or another program may have
    // changed what the page shows since it was last on screen.
    if (shown)
        SendMessageA(shown, WM_PAGE_REFRESH, 0, (LPARAM)laterPage);
    for (int i = 0; i < PAGE_COUNT; i++)
        if (state->pages[i])
            ShowWindow(state->pages[i], i == pageIndex ? SW_SHOW : SW_HIDE);
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
    case IDC_TAB_ABOUT:
    case IDC_TAB_OPTIONS:
        if (code == BN_CLICKED)
            ShowPage(window, state, id == IDC_TAB_ABOUT ? PAGE_ABOUT : PAGE_OPTIONS, NULL);
        break;
    case IDCANCEL:
        DestroyWindow(window);
        break;
    default:
        // Enter reaches the top-level dialog as IDOK or as the id of a page's
        // default button; the page in view decides what it means.
        if (state->pages[state->page])
            SendMessageA(state->pages[state->page], WM_COMMAND, MAKEWPARAM(id, code), 0);
        break;
    }
}

static INT_PTR CALLBACK ExplorerDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ExplorerState *state = StateOf(window);
    switch (message) {
    case WM_INITDIALOG:
        state = (ExplorerState *)lParam;
        SetWindowLongPtrA(window, DWLP_USER, (LONG_PTR)state);
        CreatePages(window, state);
        ShowPage(window, state, state->first ? state->first->page : PAGE_ABOUT,
                 state->first ? state->first->laterPage : NULL);
        return TRUE;
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
        SetWindowLongPtrA(window, DWLP_USER, 0);
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}
