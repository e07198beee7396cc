// The setting alert (dialog 184) of the browser pages and of Windows Update: the
// watcher's title and message, Accept, Reject and (for the pages) Help, each ending
// the dialog with its own id. It always opens in the top right corner.
#include "common/options.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "watchers/pages.h"

#define SETTING_ALERT_ALPHA 234
enum { STRING_ACCEPT = 1008, STRING_REJECT = 1009, STRING_HELP = 793 };

static BOOL InitSettingAlert(HWND dialog, const SettingAlert *alert)
{
    BeginAlertDialog(dialog, alert->helpPage);
    SetWindowTextA(dialog, alert->title);
    SetDlgItemTextA(dialog, IDC_SETTING_MESSAGE, alert->message);
    SetAlertText(dialog, IDYES, STRING_ACCEPT);
    SetAlertText(dialog, IDNO, STRING_REJECT);
    SetAlertText(dialog, IDC_SETTING_HELP, STRING_HELP);
    if (!alert->helpPage) {
        HWND help = GetDlgItem(dialog, IDC_SETTING_HELP);
        EnableWindow(help, FALSE);
        ShowWindow(help, SW_HIDE);
    }
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)alert);
    PlaceAlertTopRight(dialog, SETTING_ALERT_ALPHA);
    return TRUE;
}

INT_PTR CALLBACK SettingAlertDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    const SettingAlert *alert = (const SettingAlert *)GetWindowLongPtrA(dialog, DWLP_USER);
    if (message == WM_INITDIALOG)
        return InitSettingAlert(dialog, (const SettingAlert *)lParam);
    if (message != WM_COMMAND || !alert)
        return FALSE;
    int id = LOWORD(wParam);
    // Escape and the close box answer nothing: the watcher decides what that means.
    if (id == IDYES || id == IDNO || id == IDCANCEL || (id == IDC_SETTING_HELP && alert->helpPage)) {
        EndDialog(dialog, id);
        return TRUE;
    }
    return FALSE;
}
