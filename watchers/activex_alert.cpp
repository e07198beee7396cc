// The new ActiveX alert (dialog 193): the control's program and the question whether
// the browser may go on loading it. The check has already taken the control into
// its baseline; the answer only decides whether its kill bit is set.
#include "online/keel_info.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "watchers/ie_helpers.h"

enum { STRING_ACTIVEX = 1155, STRING_MESSAGE = 1066, TIP_ACCEPT = 3060, TIP_REJECT = 3061 };
// The online lookup files controls under this code (their detection category).
#define KEEL_CODE_ACTIVEX 1020

// Paths longer than this show in the smaller face.
#define LONG_CONTROL_PATH 80

static BOOL InitNewActiveX(HWND dialog, LPARAM param)
{
    InitAddonAlert(dialog, param, STRING_ACTIVEX, STRING_MESSAGE, LONG_CONTROL_PATH);
    AddToolTip(dialog, IDYES, TIP_ACCEPT);
    AddToolTip(dialog, IDNO, TIP_REJECT);
    PlaceAlert(dialog, FAMILY_ALERT);
    PlayAlertSound(SOUND_ACTIVEX);
    return TRUE;
}

static BOOL OnCommand(HWND dialog, int id, int notification)
{
    (void)notification;
    const AddonAlert *entry = (const AddonAlert *)AlertDataOf(dialog);
    if (!entry)
        return FALSE;
    switch (id) {
    case IDYES:
    case IDCANCEL:      // Escape lets the control be
        EndDialog(dialog, ANSWER_ACCEPT);
        return TRUE;
    case IDNO:
        EndDialog(dialog, ANSWER_REJECT);
        return TRUE;
    case IDC_ABORT:
        AlertExitMonitor();
        return TRUE;
    case IDHELP:
        AlertHelpOpener(ALERT_HELP_PAGE);
        return TRUE;
    case IDC_INFO:
        GetKeelInfo(entry->name, entry->path, KEEL_CODE_ACTIVEX);
        SetAlertNotTopmost(dialog);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK NewActiveXDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return AlertDialogMessage(dialog, message, wParam, lParam, InitNewActiveX, OnCommand, FAMILY_ALERT);
}
