// Internet Explorer add-ons: browser helper objects, toolbars and extensions (the
// buttons and menu items), and the ActiveX controls the browser has started to use.
// Each kind is listed into a run list, looked up in its baseline and put to the user
// in its alert; reject removes the add-on's registration or blocks the control.
#pragma once
#include <windows.h>

#include "common/runlist.h"
#include "common/scan_pass.h"

#define CODE_BHO 900
#define CODE_TOOLBAR 901
#define CODE_EXTENSION 902
#define CODE_ACTIVEX 1200

#define BHO_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects"
#define TOOLBAR_KEY "SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar"
#define EXTENSIONS_KEY "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions"
// HKCU: one subkey per class id the browser has used, with its subkey "iexplore".
#define EXT_STATS_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats"
// HKLM: "<key>\<clsid>" holds the DWORD "Compatibility Flags"; 0x400 stops loading.
#define ACTIVEX_COMPAT_KEY "SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility"
#define KILL_BIT 0x400
// Baselines (HKCU): helpers by record name, controls by class id; data = the code.
// The ActiveX key's default value "P" says it is built.
#define IEHELPERS_BASELINE_KEY "Software\\Dunmere Works\\Brackmoor\\IEHelpers"
#define ACTIVEX_KEY "Software\\Dunmere Works\\Brackmoor\\ActiveX"

// The finding an add-on alert is about, handed to the dialog as its lParam.
typedef struct AddonAlert {
    char name[RUN_NAME_MAX];
    char path[MAX_PATH];        // the program (a class id when it has none)
    char clsid[MAX_PATH];
    int code;
    int shown;                  // the dialog opened: it wrote the history line
    int programEnded;           // the dialog has ended the running program
} AddonAlert;

// Helper records: name, path (the program; an extension's class id), sourcePath
// (the class id; an extension's program), details (toolbar: ProductVersion;
// extension: HotIcon or program), extra (the registry view the helper was found
// in: KEY_WOW64_32KEY, KEY_WOW64_64KEY, or 0 for the process's own).
int ListIEHelpers(RunList *list);
int VerifyIEHelpers(ScanPass *pass);
// Removes the registration of record i (whose program is path) in the view it was
// found in, and unregisters the program; the removal line only when it is gone.
// 1 when the registration was removed.
int RemoveIEHelper(const RunList *list, const char *path, int i);
// The baseline rebuilt from what is registered now.
void InitIEHelpers(void);
// Dialog 140: 6 accept, 7 reject, 11 the helper keeps returning (taken as accepted).
INT_PTR CALLBACK NewBHODlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Control records: name, path (the program), sourcePath (the class id), details
// (ProductVersion), extra (its compatibility flags).
DWORD GetCompatibilityFlags(const char *clsid);
// Sets the kill bit in every registry view, keeping the other flags; 1 when written.
int SetKillBit(const char *clsid);
int ListActiveX(RunList *list);
int VerifyActiveX(ScanPass *pass);
void InitActiveX(void);
// Dialog 193: 6 accept, 7 reject.
INT_PTR CALLBACK NewActiveXDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// What both watchers share. A helper or control is known when its baseline value
// exists, is at most 16 characters long and is not 0; the value is its code.
int IsKnownAddon(const char *baselineKey, const char *name);
void WriteAddonBaseline(const char *baselineKey, const char *name, int code);
// WM_INITDIALOG of both alerts: the entry (param) kept with the dialog, the alert help
// page, the path (in the smaller face beyond longPath characters), the caption of
// string 718 and captionPart, the program block with its version label and legal
// notice, the message and the answer buttons; and the alert's history line.
AddonAlert *InitAddonAlert(HWND dialog, LPARAM param, UINT captionPart, UINT messageId, size_t longPath);
// A decision taken without the dialog gets the line the dialog would have written.
void WriteAddonAlertLine(const AddonAlert *entry);
