#include "monitor/mainwindow.h"

#include <objbase.h>

#include "common/file_facts.h"
#include "common/service_control.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/winver.h"
#include "ui/alert.h"
#include "common/appstate.h"
#include "ui/companion.h"
#include "common/options.h"
#include "monitor/own_run_entry.h"
#include "startup/startup_alert.h"
#include "monitor/scan_cycle.h"
#include "ui/shared_ui.h"
#include "monitor/tallowpro_link.h"
#include "monitor/timer.h"
#include "ui/tray.h"

int bTrayBusy;
UINT_PTR guTimer;
// WM_CLOSE has asked and the user said yes; the WM_DESTROY that follows does not ask again.
static int bExitConfirmed;

int RegisterMainClass(void)
{
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(TrayIconOption()));
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(LTGRAY_BRUSH);
    wc.lpszClassName = gszClassName;
    return RegisterClassA(&wc) != 0;
}

HWND CreateMainWindow(void)
{
    ghMainWnd = CreateWindowExA(0, gszClassName, gszTitle, WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, NULL, NULL,
                                hInstance, NULL);
    if (ghMainWnd)
        CreateSharedUi();
    return ghMainWnd;
}

static void StartupCommand(HWND window)
{
    bTrayBusy = 0;
    gdwLaunchTick = GetTickCount();
    bIconShown = TrayIconUpdate(TRAY_ICON_NORMAL, TRAY_TIP_IDLE, TRAY_ADD);
    giLastTaskCount = 0;
    AlertCount = 0;
    HideChoice = ANSWER_ACCEPT;
    // A restart is no repeat of the last alert before it.
    giRepeatAlertCount = 0;
    gszLastAlertPath[0] = '\0';
    guTimer = 0;
    giVerifyTicks = 0;
    giRIDCount = 0;
    guTimer = SetTimer(window, MAIN_TIMER_ID, MAIN_TIMER_PERIOD, NULL);
    TestLog("Timer", "Timer set to 2000");
}

// Commands that only open a page of the companion program.
static const struct { int id; const char *page; } CompanionPages[] = {
    {IDM_START, "-START"}, {IDM_ABOUT, "-KEEL"}, {IDM_NUTS, "-NUTS"}, {IDM_TASK, "-TASK"},
    {IDM_OPTIONS, "-OPTIONS"}, {IDM_RESET, "-RESET"}, {IDM_SERVICES, "-SERVICE"}, {IDM_SCHEDULE, "-SCHEDULE"},
    {IDM_BHO, "-BHO"}, {IDM_FILETYPES, "-FILETYPES"}, {IDM_HIDDEN, "-HIDDEN"}, {IDM_DELAY, "-DELAY"},
    {IDM_ACTIVEX, "-ACTIVEX"}, {IDM_RECENT, "-RECENT"}, {IDM_REGOPTIONS, "-REGOPTIONS"},
};

void OnMainCommand(HWND window, int id, LPARAM lParam)
{
    for (const auto &row : CompanionPages) {
        if (row.id == id) {
            LaunchBrackmoorExplorer(row.page);
            return;
        }
    }
    switch (id) {
    case IDM_STARTUP_COMMAND:
        StartupCommand(window);
        break;
    case IDM_EXIT:
        PostMessageA(window, WM_DESTROY, 0, 0);
        break;
    case IDM_ALWAYS_RUN:
        SetAlwaysRun(!RunAlways);
        break;
    case IDM_RESTART_COMMANDS:
        if (gScanWatchers.showRestartCommands)
            gScanWatchers.showRestartCommands();
        break;
    case IDM_TRAY_ICON:
        // The flag follows the icon: status changes go to a shown icon only, and
        // a removed one is added again by the next pass.
        if (lParam == 0) {
            if (TrayIconUpdate(TRAY_ICON_NORMAL, TRAY_TIP_IDLE, TRAY_ADD))
                bIconShown = 1;
        } else if (bIconShown && TrayIconUpdate(0, 0, TRAY_DELETE)) {
            bIconShown = 0;
        }
        break;
    case IDM_GAME_MODE:
        giGameMode = !giGameMode;
        if (giGameMode)
            SetTrayStatus(TRAY_ICON_BUSY, TRAY_TIP_GAME_MODE);
        else
            SetTrayStatus(TRAY_ICON_NORMAL, TRAY_TIP_IDLE);
        break;
    case IDM_QUICK_SCAN:
        QuickScanFlag = 1;
        verifyForceVerify();
        TestLog("VerifyData", "QUICK SCAN");
        break;
    default:
        break;
    }
}

static void AppendItem(HMENU menu, UINT stringId, int command)
{
    char text[128];
    GetLangString(stringId, CAP(text), text);
    AppendMenuA(menu, MF_STRING, (UINT_PTR)command, text);
}

HMENU BuildTrayMenu(void)
{
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return NULL;
    int nt = IsNTPlatform();
    AppendItem(menu, 501, IDM_ABOUT);
    AppendItem(menu, 610, IDM_OPTIONS);
    AppendItem(menu, 1418, IDM_RESET);
    AppendItem(menu, giGameMode ? 1419 : 1420, IDM_GAME_MODE);
    AppendItem(menu, 1422, IDM_QUICK_SCAN);
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendItem(menu, 503, IDM_START);
    AppendItem(menu, 1020, IDM_DELAY);
    AppendItem(menu, 697, IDM_BHO);
    if (nt)
        AppendItem(menu, 509, IDM_SERVICES);
    AppendItem(menu, 685, IDM_SCHEDULE);
    AppendItem(menu, 1067, IDM_ACTIVEX);
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendItem(menu, 504, IDM_TASK);
    AppendItem(menu, 505, IDM_NUTS);
    AppendItem(menu, 510, IDM_FILETYPES);
    AppendItem(menu, 1018, IDM_HIDDEN);
    AppendItem(menu, 1192, IDM_RECENT);
    AppendItem(menu, 1403, IDM_REGOPTIONS);
    if (!nt)
        AppendItem(menu, 507, IDM_RESTART_COMMANDS);
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendItem(menu, 508, IDM_EXIT);
    return menu;
}

void OnTrayNotify(int mouseMessage, int uid)
{
    if (bTrayBusy) {
        TestLog("TaskBarActive", "System resources available to other programs");
        return;
    }
    bTrayBusy = 1;
    POINT cursor;
    GetCursorPos(&cursor);
    if (mouseMessage == WM_HELP) {
        OpenHelpPage(giHelpPageId);
    } else if (mouseMessage == WM_LBUTTONDBLCLK) {
        TestLog("Tray Action", "Left Button Double Click");
        SetForegroundWindow(ghMainWnd);
        PostMessageA(ghMainWnd, WM_COMMAND, IDM_START, 0);
    } else if (mouseMessage == WM_RBUTTONUP && uid == TRAY_ICON_UID) {
        HMENU menu = BuildTrayMenu();
        SetForegroundWindow(ghMainWnd);
        TestLog("Tray Action", "Right Button Up");
        if (menu) {
            // The menu runs a modal loop: a second click meanwhile meets the busy flag.
            TrackPopupMenuEx(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, ghMainWnd, NULL);
            DestroyMenu(menu);
        }
        PostMessageA(ghMainWnd, WM_NULL, 0, 0);
    }
    bTrayBusy = 0;
}

void AppExit(void)
{
    TallowProStop();
    if (bIconShown) {
        TrayIconUpdate(0, 0, TRAY_DELETE);
        bIconShown = 0;
    }
    if (guTimer) {
        KillTimer(ghMainWnd, MAIN_TIMER_ID);
        guTimer = 0;
    }
    TestLog("Application Exit", gszClassName);
    FreeSharedUi();
    FreeFileFacts();
    FreeServiceNames();
    CoUninitialize();
}

// Returns 1 when the monitor goes on (the user declined to exit).
static int ConfirmExitDeclined(void)
{
    if (ReadOptionInt("ConfirmExit", 0) == 0)
        return 0;
    char text[LANG_TEXT_MAX];
    GetLangString(17, CAP(text), text);
    if (MessageBoxExA(NULL, text, gszTitle, MB_YESNO | MB_ICONQUESTION | MB_TOPMOST, UILanguage) != IDNO)
        return 0;
    WinExec(COMPANION_EXE " -RESTART", SW_SHOW);
    return 1;
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        if (LOWORD(wParam) == 0 && !bExitConfirmed && ConfirmExitDeclined())
            return 0;
        AppExit();
        PostQuitMessage(0);
        break;
    case WM_TIMER:
        if (wParam == MAIN_TIMER_ID)
            OnTimerTick();
        break;
    case WM_COMMAND:
        OnMainCommand(window, LOWORD(wParam), lParam);
        break;
    case WM_TRAY_CALLBACK:
        OnTrayNotify((int)lParam, (int)wParam);
        break;
    case WM_TASK_STARTED:
    case WM_TASK_ENDED:
        OnTaskChangeMessage();
        break;
    case WM_HELP:
        OpenHelpPage(giHelpPageId);
        break;
    case WM_CLOSE:
        // Asked before the window goes: a declined exit leaves the window, its
        // timer and icon as they were (the question is not asked twice).
        if (ConfirmExitDeclined())
            return 0;
        bExitConfirmed = 1;
        DestroyWindow(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return IsWindow(window) ? DefWindowProcA(window, message, LOWORD(wParam), lParam) : 0;
}
