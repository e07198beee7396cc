// Dialog 191, the new hidden file alert: what the file says of itself and where
// it lies, with Allow and Delete (Esc deletes too).
#include <string.h>

#include "common/appstate.h"
#include "common/file_facts.h"
#include "common/history.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "online/keel_info.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "ui/tray.h"
#include "watchers/hidden.h"

// The online lookup and the detection records file hidden files under this code.
#define KEEL_CODE_HIDDEN 1030
#define HELP_PAGE_ABORT 6066

enum {
    STRING_EXIT = 508, STRING_INFO = 641, STRING_VERSION = 644, STRING_HIDDEN_FILES = 695,
    STRING_DELETE = 925, STRING_MESSAGE = 1015, TIP_DELETE = 3071,
};

static const int TextButtons[] = {IDC_ABORT};

static HiddenAlert *AlertOf(HWND dialog)
{
    return (HiddenAlert *)GetWindowLongPtrA(dialog, DWLP_USER);
}

static BOOL InitHiddenAlert(HWND dialog, HiddenAlert *alert)
{
    // A dialog opened without an alert still shows (empty) and answers.
    static HiddenAlert NoAlert;
    if (!alert) {
        memset(&NoAlert, 0, sizeof(NoAlert));
        alert = &NoAlert;
    }
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)alert);
    BeginAlertDialog(dialog, ALERT_HELP_PAGE);
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(VersionRecord));
    if (version && !GetVersionInfoCached(alert->path, version))
        memset(version, 0, sizeof(VersionRecord));
    SetAlertPathControl(dialog, IDC_PATH, alert->path);
    SetAlertCaption(dialog, STRING_HIDDEN_FILES);
    SetAlertProgramBlock(dialog, version && version->ProductName[0] ? version->ProductName : alert->name, version);
    SetAlertText(dialog, IDC_VERSIONLABEL, STRING_VERSION);
    if (version && version->LegalCopyright[0])
        SetDlgItemTextA(dialog, IDC_LEGAL, version->LegalCopyright);
    SetAlertText(dialog, IDC_MESSAGE, STRING_MESSAGE);
    SetAlertText(dialog, IDC_INFO, STRING_INFO);
    SetAlertText(dialog, IDCANCEL, STRING_DELETE);
    SetAlertText(dialog, IDC_ABORT, STRING_EXIT);
    MakeTextButtons(dialog, TextButtons, (int)(sizeof(TextButtons) / sizeof(TextButtons[0])));
    AddToolTip(dialog, IDCANCEL, TIP_DELETE);
    TestLog("NewHiddenDlgProc", alert->path);
    WriteLog(LOG_HIDDEN_ALERT, TYPE_HIDDEN, alert->name, alert->path, version ? version->FileDescription : "");
    if (version)
        HeapFree(GetProcessHeap(), 0, version);
    PlayAlertSound(SOUND_HIDDEN);
    PlaceAlert(dialog, FAMILY_ALERT);
    return TRUE;
}

static BOOL OnCommand(HWND dialog, int id)
{
    HiddenAlert *alert = AlertOf(dialog);
    if (!alert)
        return FALSE;
    switch (id) {
    case IDOK:
        EndDialog(dialog, ANSWER_ACCEPT);
        return TRUE;
    case IDCANCEL:      // Delete, and Esc: a file the user does not want to know about goes
        EndDialog(dialog, ANSWER_REJECT);
        return TRUE;
    case IDC_ABORT:
        // The main window's shutdown ends this dialog's loop with the rest.
        OpenHelpPage(HELP_PAGE_ABORT);
        if (ghMainWnd)
            PostMessageA(ghMainWnd, WM_DESTROY, 0, 0);
        return TRUE;
    case IDHELP:
        OpenHelpPage(ALERT_HELP_PAGE);
        SetAlertNotTopmost(dialog);
        return TRUE;
    case IDC_INFO:
        GetKeelInfo(alert->name, alert->path, KEEL_CODE_HIDDEN);
        SetAlertNotTopmost(dialog);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK NewHiddenDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (AlertButtonMessage(dialog, message, wParam, lParam))
        return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        return InitHiddenAlert(dialog, (HiddenAlert *)lParam);
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam));
    case WM_DESTROY:
        ReleaseAlertDialog(dialog, FAMILY_ALERT);
        return FALSE;
    }
    return FALSE;
}
