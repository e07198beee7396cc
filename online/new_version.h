// The new-version notice (template 195): told once, at the end of a pass, after
// the report server announced a newer version. Closing it in any way marks it
// seen; its box lets the user stop it for good.
#pragma once
#include <windows.h>

#define NEW_VERSION_DOWNLOAD_PAGE "download.html"
#define NEW_VERSION_UPGRADE_PAGE "upgrade.html"

INT_PTR CALLBACK NewVersionDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Shows the notice over the main window; its answer (6), or -1 when the dialog
// could not be made. The pass calls it while "NewVersionAvailable" is 1 and
// "NewVersionIgnore" is 0.
int ShowNewVersionNotice(void);
