// The browser's start, search and desktop pages and the Windows Update mode: each
// compared with the copy of the value the user last approved, kept under HKCU
// "...\Brackmoor" ("StartPage", "SearchPage", "SourcePage", "AUOptions").
#pragma once
#include <windows.h>

#include "common/scan_pass.h"

#define AUTO_UPDATE_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update"
#define PAGE_TEXT_MAX 513           // a page of up to 512 characters

// What the setting alert (dialog 184) shows; helpPage 0 hides its Help button.
typedef struct SettingAlert {
    char title[512];
    char message[2048];
    int helpPage;
} SettingAlert;

INT_PTR CALLBACK SettingAlertDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The scan step of the three pages: a page without an approved copy is adopted, a
// different one (ignoring letter case and one trailing "/") is asked about.
// Returns the changes found.
int VerifyStartPages(ScanPass *pass);
// A new or updated install keeps the pages found then ("OriginalStartPage",
// "OriginalSearchPage"), each when longer than 5 characters.
void RecordOriginalPages(void);
// Opens the help page of a page alert's Help answer (tests put their own in).
typedef void (*PageHelpOpenerProc)(int id);
extern PageHelpOpenerProc PageHelpOpener;

// The scan step of the Windows Update mode. Returns 1 when it had changed.
int VerifyAutomaticUpdates(ScanPass *pass);
// The approved copy taken from the system's mode (when that is not 0): always, or
// only while the copy is no mode a user approves (1 to 4). The caller chooses the
// registry view.
void CopyAutoUpdateSetting(int always);
