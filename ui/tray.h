// The notification-area icon and the help pages it opens.
#pragma once
#include <windows.h>

#define TRAY_ICON_NORMAL 101
#define TRAY_ICON_BUSY 302
#define TRAY_TIP_IDLE 820
#define TRAY_TIP_GAME_MODE 1421
#define TRAY_ICON_UID 6036
#define WM_TRAY_CALLBACK 6035

enum { TRAY_ADD = 0, TRAY_MODIFY = 1, TRAY_DELETE = 2 };

extern int bIconShown;          // the NIM_ADD worked
extern int giHelpPageId;        // help page of the moment: 0 general, alerts set their own

// The icon of the option "TrayIcon"; the normal icon when it names none.
int TrayIconOption(void);
// The user's notification state; below 5 the user is busy (full screen, presenting)
// and nothing should pop up.
int GetUserBusyState(void);
// Tests replace the notification state with their own answer; NULL asks Windows.
extern int (*UserBusyStateOverride)(void);

int TrayIconUpdate(int iconId, int tipId, int operation);
void SetTrayStatus(int iconId, int tipId);
// The page for a command or alert id ("features.html" for all others); returns its length.
int HelpPageName(int id, char *out, size_t cap);
// The address OpenHelpPage opens: a file in the program folder, else the help site.
int HelpPageTarget(int id, char *out, size_t cap);
void OpenHelpPage(int id);
