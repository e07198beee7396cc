// Brackmoor Explorer, the companion program: the switches the monitor starts it
// with, its one main window and the pages inside it.
#pragma once
#include <windows.h>

#define EXPLORER_CLASS "BrackmoorExplorer"
#define EXPLORER_TITLE "Brackmoor Explorer"
// Held by the one companion that owns the window, from before its window exists
// until it ends, so that two starts at the same moment do not both open one.
#define EXPLORER_MUTEX "BrackmoorExplorerOnce"
// The monitor's hidden main window (its class is the monitor's string 1).
#define MONITOR_CLASS "Brackmoor"
#define MONITOR_EXE "brackmoor.exe"
// WM_COPYDATA tag of a switch handed from a second start to the running companion.
#define COPYDATA_SWITCH 0x42584558
#define SWITCH_TEXT_MAX 32

enum { PAGE_ABOUT, PAGE_OPTIONS, PAGE_COUNT };
enum { SWITCH_SHOW, SWITCH_EXIT, SWITCH_RESTART };

typedef struct SwitchRow {
    const char *text;           // as the monitor sends it; compared without case
    int action;                 // SWITCH_SHOW, SWITCH_EXIT or SWITCH_RESTART
    int page;                   // PAGE_ABOUT or PAGE_OPTIONS
    const char *laterPage;      // the page the switch names that this program does not have, or NULL
} SwitchRow;

// The row of a command line; an empty or unknown one gives the About row.
const SwitchRow *FindSwitch(const char *commandLine);

// Sent by the main window to a page each time it is shown. The About page takes
// lParam as the name of a page this build does not have (NULL: none).
#define WM_PAGE_REFRESH (WM_APP + 1)

typedef struct ExplorerState {
    HWND pages[PAGE_COUNT];
    int page;
    const SwitchRow *first;     // the switch the window opens with
} ExplorerState;

int RegisterExplorerClass(HINSTANCE instance);
HWND CreateExplorerWindow(HINSTANCE instance, ExplorerState *state);
// Shows the page of a switch and brings the window to the front.
void ShowSwitchPage(HWND explorer, const SwitchRow *row);

INT_PTR CALLBACK AboutPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OptionsPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
int IsMonitorRunning(void);

// The options page lists the monitor's own option table (monitor/options.h).
