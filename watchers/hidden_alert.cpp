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
#include "resources/resource.h"
#include "ui/alert.h"
#include "ui/tray.h"
#include "watchers/alert_tools.h"
#include "watchers/hidden.h"

// The online lookup and the detection records file hidden files under this code.
#define KEEL_CODE_HIDDEN 1030

enum {
    STRING_EXIT = 508, STRING_INFO = 641, STRING_HIDDEN_FILES = 695,
    STRING_DELETE = 925, STRING_MESSAGE = 1015, TIP_DELETE = 3071,
};

static const int TextButtons[] = {IDC_ABORT};

static BOOL InitHiddenAlert(HWND dialog, LPARAM param)
{
    static HiddenAlert NoAlert;
    HiddenAlert *alert = (HiddenAlert *)KeepAlertData(dialog, param, &NoAlert, sizeof(NoAlert));
    BeginAlertDialog(dialog, ALERT_HELP_PAGE);
    VersionRecord *version = ReadVersionRecord(alert->path);
    SetAlertPathControl(dialog, IDC_PATH, alert->path);
    SetAlertCaption(dialog, STRING_HIDDEN_FILES);
    SetAlertProgramBlock(dialog, version && version->ProductName[0] ? version->ProductName : alert->name, version);
    SetAlertLegalNotice(dialog, version);
    SetAlertText(dialog, IDC_MESSAGE, STRING_MESSAGE);
    SetAlertText(dialog, IDC_INFO, STRING_INFO);
    SetAlertText(dialog, IDCANCEL, STRING_DELETE);
    SetAlertText(dialog, IDC_ABORT, STRING_EXIT);
    MakeTextButtons(dialog, TextButtons, (int)(sizeof(TextButtons) / sizeof(TextButtons[0])));
    AddToolTip(dialog, IDCANCEL, TIP_DELETE);
    TestLog("NewHiddenDlgProc", alert->path);
    WriteLog(LOG_HIDDEN_ALERT, TYPE_HIDDEN, alert->name, alert->path, version ? version->FileDescription : "");
    FreeVersionRecord(version);
    PlayAlertSound(SOUND_HIDDEN);
    PlaceAlert(dialog, FAMILY_ALERT);
    return TRUE;
}

static BOOL OnCommand(HWND dialog, int id, int notification)
{
    HiddenAlert *alert = (HiddenAlert *)AlertDataOf(dialog);
    if (!alert)
        return FALSE;
    switch (id) {
    case IDOK:
        EndDialog(dialog, ANSWER_ACCEPT);
        return TRUE;
    case IDCANCEL:      // Delete, and Esc: a file the user does not want to know about goes
        EndDialog(dialog, ANSWER_REJECT);
        return TRUE;
    }
    return AlertToolCommand(dialog, id, notification, alert->name, alert->path, alert->path, KEEL_CODE_HIDDEN);
}

INT_PTR CALLBACK NewHiddenDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return AlertDialogMessage(dialog, message, wParam, lParam, InitHiddenAlert, OnCommand, FAMILY_ALERT);
}
