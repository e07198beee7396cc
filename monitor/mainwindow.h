// The monitor's one hidden top-level window: the tray icon's owner, the timer's
// target and the receiver of the command ids that the tray menu, the start-up
// code and other programs send.
#pragma once
#include <windows.h>

enum {
    IDM_STARTUP_COMMAND = 6025, IDM_START = 6026, IDM_ABOUT = 6027, IDM_NUTS = 6028, IDM_TASK = 6029,
    IDM_EXIT = 6030, IDM_ALWAYS_RUN = 6031, IDM_OPTIONS = 6032, IDM_RESTART_COMMANDS = 6033, IDM_RESET = 6034,
    IDM_SERVICES = 6038, IDM_SCHEDULE = 6039, IDM_BHO = 6040, IDM_FILETYPES = 6042, IDM_HIDDEN = 6052,
    IDM_TRAY_ICON = 6053, IDM_DELAY = 6055, IDM_ACTIVEX = 6056, IDM_RECENT = 6060, IDM_REGOPTIONS = 6061,
    IDM_GAME_MODE = 6073, IDM_QUICK_SCAN = 6074
};

extern int bTrayBusy;           // a tray notification is being handled
extern UINT_PTR guTimer;        // the main timer, 0 until the start-up command

int RegisterMainClass(void);
HWND CreateMainWindow(void);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void OnMainCommand(HWND window, int id, LPARAM lParam);
// The tray menu as it stands now (game mode, platform); the caller destroys it.
HMENU BuildTrayMenu(void);
void OnTrayNotify(int mouseMessage, int uid);
void AppExit(void);
