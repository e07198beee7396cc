// The two informational watchers beside the new-startup alert: a program that no
// longer starts by itself, and a program whose Windows uninstall entry is gone.
// Each keeps its own baseline and shows notice 194, whose check box turns the
// watcher off; neither changes anything on the system.
#pragma once
#include <windows.h>

#include "common/options.h"
#include "common/scan_pass.h"

// Uninstall baselines (HKCU): one value per uninstall entry that has a display
// name; value name = the entry's subkey name, data = its display name.
#define UNINSTALL_BASELINE_KEY BRACKMOOR_KEY "\\UnInstall"          // HKLM, the monitor's own view
#define UNINSTALL_USER_BASELINE_KEY BRACKMOOR_KEY "\\UnInstallUSER" // HKCU
#define UNINSTALL64_BASELINE_KEY BRACKMOOR_KEY "\\UnInstall64"      // HKLM, 64-bit view (64-bit Windows)
#define WINDOWS_UNINSTALL_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"

#define NOTICE_TEXT_MAX 512

// What notice 194 shows: the entry's name (or display name) and, for the
// missing-startup notice, its program path. Passed as the dialog's lParam.
typedef struct StartupNotice {
    char name[NOTICE_TEXT_MAX];
    char path[NOTICE_TEXT_MAX];
} StartupNotice;

// One missing-startup check. 0 when it did not run (alerts off, or an alert is
// open), 7 when it showed no notice, else the notice's answer. The baseline is
// rebuilt afterwards, so each disappearance is reported once.
int VerifyMissingRunPrograms(ScanPass *pass);
// Rebuilds the three uninstall baselines.
void InitUninstallPrograms(void);
// One uninstall check: 0 when nothing disappeared, 6 for a "Microsoft" entry
// passed over, 7 while the extra-alert suppression runs, else the notice's answer.
// The baselines are rebuilt afterwards.
int VerifyUninstallPrograms(void);

// Notice 194 in its two forms; lParam: the StartupNotice. OK (or the close box)
// sets the watcher's option from the check box and ends with 6.
INT_PTR CALLBACK MissingRunDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK UninstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Start-up: the baselines of the switched-on watchers, taken once per version
// (options "MissingUninstall" and "MissingRun" remember it).
void InitStartupNoticeBaselines(void);
