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
// Where the window's place and size are kept between runs (HKCU).
#define EXPLORER_KEY "Software\\Dunmere Works\\Brackmoor\\Explorer"

// The pages in the order of the page list.
enum {
    PAGE_STARTUP, PAGE_DELAY, PAGE_TASKS, PAGE_HISTORY, PAGE_RESET, PAGE_OPTIONS, PAGE_ABOUT, PAGE_COUNT
};
enum { SWITCH_SHOW, SWITCH_EXIT, SWITCH_RESTART };

typedef struct SwitchRow {
    const char *text;           // as the monitor sends it; compared without case
    int action;                 // SWITCH_SHOW, SWITCH_EXIT or SWITCH_RESTART
    int page;                   // one of PAGE_...
    const char *laterPage;      // the page the switch names that this program lacks, or NULL
} SwitchRow;

// The row of a command line; an empty or unknown one gives the About row.
const SwitchRow *FindSwitch(const char *commandLine);

// Sent by the main window to a page each time it is shown, and for F5. The About
// page takes lParam as the name of a page this build does not have (NULL: none).
#define WM_PAGE_REFRESH (WM_APP + 1)

typedef struct ExplorerState {
    HWND pages[PAGE_COUNT];
    int page;
    const SwitchRow *first;     // the switch the window opens with
    HWND status;
    HACCEL keys;
    int maximized;              // the window was left maximized last time
} ExplorerState;

int RegisterExplorerClass(HINSTANCE instance);
HWND CreateExplorerWindow(HINSTANCE instance, ExplorerState *state);
// Shows the page of a switch and brings the window to the front.
void ShowSwitchPage(HWND explorer, const SwitchRow *row);
// The status line under the pages, while this page is the one in view.
void SetExplorerStatus(HWND page, const char *text);

INT_PTR CALLBACK AboutPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OptionsPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK StartupPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DelayPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TasksPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK HistoryPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ResetPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
int IsMonitorRunning(void);

// What every page tells the user: a yes/no question (1 for yes), and the
// failure of an action with the system's reason for error (0: the text alone).
int AskUser(HWND owner, const char *question);
void ShowActionFailure(HWND owner, const char *what, DWORD error);
// The error that keeps a registry key from taking values; ERROR_SUCCESS when it
// can (the key is made when missing, as the write that follows would make it).
// Asked before a change, so that a change that cannot be made is not begun.
DWORD CheckKeyWritable(HKEY root, const char *path, REGSAM view);
// The file part of a path into a buffer of cap characters (the whole path when it
// has no folder); its length.
int FileTitleOf(const char *path, char *out, size_t cap);
// A short name of a startup location code, as the lists show it.
void StartupLocationName(int code, char *out, size_t cap);
// The actions that every program list offers; each tells the user when it fails.
void OpenProgramFolder(HWND owner, const char *program);
void ShowProgramProperties(HWND owner, const char *program);
void ShowOnlineInformation(HWND owner, const char *name, const char *program, int code);
