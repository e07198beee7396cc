// The new-service alert (dialog 171): the service's name and program, how it is
// set to start and whether it runs, and the answer. The scan step carries the
// answer out after the dialog has closed.
#include "watchers/services.h"

#include <string.h>

#include "common/appstate.h"
#include "common/file_facts.h"
#include "common/files.h"
#include "common/registry.h"
#include "common/service_control.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "ui/shared_ui.h"
#include "ui/tray.h"
#include "watchers/alert_tools.h"

enum {
    STRING_STATUS = 901, STRING_REGISTERED = 900, STRING_UNKNOWN = 616, STRING_INFO = 641,
    STRING_SERVICE = 636, STRING_ACCEPT = 1008, STRING_REJECT = 1009,
    STRING_EXIT = 508, STRING_OPEN_FOLDER = 1200, STRING_PROPERTIES = 1201,
};

static const AlertButton Buttons[] = {
    {IDC_INFO, STRING_INFO, 0},          {IDYES, STRING_ACCEPT, 3030},
    {IDNO, STRING_REJECT, 3031},         {IDC_ABORT, STRING_EXIT, 3006},
    {IDC_LOCATION, STRING_OPEN_FOLDER, 3004}, {IDC_PROPERTIES, STRING_PROPERTIES, 3005},
};

static const int TextButtons[] = {IDC_LOCATION, IDC_PROPERTIES, IDC_ABORT};

int FormatServiceStatusText(const char *displayName, char *out, size_t cap)
{
    char pattern[LANG_TEXT_MAX], keyName[SERVICE_DISPLAY_NAME_MAX], keyPath[MAX_PATH];
    char startText[SERVICE_START_TEXT_MAX] = "", activeText[SERVICE_ACTIVE_TEXT_MAX] = "";
    // The start type lives under the key name, which the manager knows from the
    // display name; a service it does not know is looked for under the name itself.
    if (!LookupServiceKeyName(displayName, keyName, CAP(keyName)))
        CopyText(keyName, CAP(keyName), displayName ? displayName : "");
    if (!FormatText(keyPath, CAP(keyPath), "%s\\%s", SERVICES_KEY, keyName) ||
        ServiceStartText(keyPath, startText) <= 0)
        GetLangString(STRING_UNKNOWN, CAP(startText), startText);
    ServiceActiveText(displayName, activeText);
    if (GetLangString(STRING_STATUS, CAP(pattern), pattern) <= 0)
        pattern[0] = '\0';
    const char *values[] = {startText, activeText};
    SubstituteText(out, cap, pattern, values, 2);
    return (int)strlen(out);
}

static BOOL InitNewService(HWND dialog, LPARAM param)
{
    AlertItem *entry = SetAlertItem(dialog, param);
    BeginAlertDialog(dialog, ALERT_HELP_PAGE);

    char program[MAX_PATH];
    AlertProgramFile(entry->path, program);
    VersionRecord *version = ReadVersionRecord(program);
    SetAlertPathControl(dialog, IDC_PATH, entry->path);
    SetAlertCaption(dialog, STRING_SERVICE);
    TestLog("NewServicesDlgProc", program);
    SetAlertProgramIcon(dialog, IDC_PROGICON, program);
    // The block's name line is the service's name, in the large shared font.
    SetAlertProgramBlock(dialog, entry->name, version);
    FreeVersionRecord(version);

    HWND upper = GetDlgItem(dialog, IDC_UPPERTEXT);
    if (upper && ghFont14Semibold)
        SendMessageA(upper, WM_SETFONT, (WPARAM)ghFont14Semibold, FALSE);
    SetAlertText(dialog, IDC_UPPERTEXT, STRING_REGISTERED);
    char status[2 * LANG_TEXT_MAX];
    FormatServiceStatusText(entry->name, status, CAP(status));
    SetDlgItemTextA(dialog, IDC_LOWERTEXT, status);

    SetAlertButtons(dialog, Buttons, ALERT_COUNT(Buttons), TextButtons, ALERT_COUNT(TextButtons));
    PlayAlertSound(SOUND_SERVICE);
    PlaceAlert(dialog, FAMILY_ALERT);
    return TRUE;
}

static BOOL OnCommand(HWND dialog, int id, int notification)
{
    AlertItem *entry = AlertItemOf(dialog);
    if (!entry)
        return FALSE;
    switch (id) {
    case IDYES:
        AnswerAlertItem(dialog, ANSWER_ACCEPT);
        return TRUE;
    case IDNO:
    case IDCANCEL:      // Esc and the close box: a service nobody asked for is rejected
        AnswerAlertItem(dialog, ANSWER_REJECT);
        return TRUE;
    }
    return AlertItemToolCommand(dialog, entry, id, notification);
}

INT_PTR CALLBACK NewServicesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return AlertDialogMessage(dialog, message, wParam, lParam, InitNewService, OnCommand, FAMILY_ALERT);
}
