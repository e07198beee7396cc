// The new IE helper alert (dialog 140): the add-on's program, the question, and the
// answers. A helper the user keeps rejecting comes back by itself each time; on its
// third alert in a row the dialog takes it as accepted and sends the user to the
// page that explains what keeps bringing it back.
#include <string.h>

#include "common/files.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/processes.h"
#include "online/server_reports.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "ui/tray.h"
#include "watchers/alert_tools.h"
#include "watchers/ie_helpers.h"

enum { STRING_IE_HELPER = 694, STRING_MESSAGE = 701, STRING_EXIT = 508, STRING_OPEN_FOLDER = 1200,
       STRING_PROPERTIES = 1201 };
// The online lookup files helpers under this code (their detection category).
#define KEEL_CODE_IEHELPER 1040
// A path longer than this is shown in the smaller face.
#define LONG_HELPER_PATH 64
// Rejected on its third alert in a row (two repeats): the helper keeps coming back.
#define REPEATS_BEFORE_GIVING_UP 2
#define REMOVAL_QUIET_SCANS 8

static const AlertButton Buttons[] = {
    {IDYES, 0, 3020}, {IDNO, 0, 3021}, {IDC_LOCATION, STRING_OPEN_FOLDER, 3004},
    {IDC_PROPERTIES, STRING_PROPERTIES, 3005}, {IDC_ABORT, STRING_EXIT, 3006},
};
static const int TextButtons[] = {IDC_LOCATION, IDC_PROPERTIES, IDC_ABORT};

static BOOL InitNewBHO(HWND dialog, LPARAM param)
{
    AddonAlert *entry = InitAddonAlert(dialog, param, STRING_IE_HELPER, STRING_MESSAGE, LONG_HELPER_PATH);
    CountAlertRepeat(entry->path);
    SetAlertButtons(dialog, Buttons, ALERT_COUNT(Buttons), TextButtons, ALERT_COUNT(TextButtons));
    PlaceAlert(dialog, FAMILY_ALERT);
    PlayAlertSound(SOUND_IEHELPER);
    return TRUE;
}

static void AnswerReject(HWND dialog, AddonAlert *entry)
{
    KillStartupTask(entry->name, entry->path);
    entry->programEnded = 1;
    if (giRepeatAlertCount != REPEATS_BEFORE_GIVING_UP) {
        EndDialog(dialog, ANSWER_REJECT);
        return;
    }
    // Removed twice and back a third time: removing it once more would not keep it
    // away either. It is let be, and the help page says how to find what restores it.
    ReportDecision(entry->name, entry->path, DECISION_REPEAT);
    giRepeatAlertCount = 0;
    gszLastAlertPath[0] = '\0';
    RemovalQuietScans = REMOVAL_QUIET_SCANS;
    EndDialog(dialog, ANSWER_DISABLE);
    AlertHelpOpener(HELP_PAGE_HELPME);
}

static BOOL OnCommand(HWND dialog, int id, int notification)
{
    AddonAlert *entry = (AddonAlert *)AlertDataOf(dialog);
    if (!entry)
        return FALSE;
    switch (id) {
    case IDYES:
    case IDCANCEL:      // Escape leaves the helper as it is: accepted
        EndDialog(dialog, ANSWER_ACCEPT);
        return TRUE;
    case IDNO:
        AnswerReject(dialog, entry);
        return TRUE;
    }
    return AlertToolCommand(dialog, id, notification, entry->name, entry->path, entry->path, KEEL_CODE_IEHELPER);
}

INT_PTR CALLBACK NewBHODlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return AlertDialogMessage(dialog, message, wParam, lParam, InitNewBHO, OnCommand, FAMILY_ALERT);
}
