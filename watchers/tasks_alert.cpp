// The new-task alert (dialog 138): the task's name, what its program says of
// itself, and the answer. The scan step deletes a rejected task after the dialog
// has closed.
#include "watchers/tasks.h"

#include <string.h>

#include "common/file_facts.h"
#include "common/files.h"
#include "common/history.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "ui/tray.h"
#include "watchers/alert_tools.h"

enum {
    STRING_QUESTION = 692, STRING_INFO = 641, STRING_TASK = 680,
    STRING_ACCEPT = 1008, STRING_REJECT = 1009,
};

// The program file of the task and its version record (empty fields when it has none).
static VersionRecord *ReadProgram(const char *path, char *program)
{
    AlertProgramFile(path, program);
    return ReadVersionRecord(program);
}

void LogTaskAlert(const AlertItem *entry)
{
    char program[MAX_PATH], shown[RUN_NAME_MAX];
    VersionRecord *version = ReadProgram(entry->path, program);
    if (!version)
        return;
    // A program that does not name its product is told by the task's own name.
    TaskDisplayName(entry->name, shown, CAP(shown));
    WriteLog(LOG_TASK_ALERT, CODE_TASK_SCHEDULED, version->ProductName[0] ? version->ProductName : shown, program,
             version->FileDescription);
    FreeVersionRecord(version);
}

static BOOL InitNewTask(HWND dialog, LPARAM param)
{
    AlertItem *entry = SetAlertItem(dialog, param);
    BeginAlertDialog(dialog, ALERT_HELP_PAGE);

    char program[MAX_PATH], shown[RUN_NAME_MAX];
    VersionRecord *version = ReadProgram(entry->path, program);
    SetAlertPathControl(dialog, IDC_PATH, entry->path);
    SetAlertCaption(dialog, STRING_TASK);
    TestLog("NewTaskDlgProc", entry->path);
    TaskDisplayName(entry->name, shown, CAP(shown));
    SetAlertProgramBlock(dialog, shown, version);
    SetAlertLegalNotice(dialog, version);
    FreeVersionRecord(version);

    SetAlertText(dialog, IDC_MESSAGE, STRING_QUESTION);
    SetAlertText(dialog, IDC_INFO, STRING_INFO);
    SetAlertText(dialog, IDYES, STRING_ACCEPT);
    SetAlertText(dialog, IDNO, STRING_REJECT);
    AddToolTip(dialog, IDYES, 3050);
    AddToolTip(dialog, IDNO, 3051);
    LogTaskAlert(entry);
    PlaceAlert(dialog, FAMILY_ALERT);
    PlayAlertSound(SOUND_TASK);
    return TRUE;
}

static BOOL OnCommand(HWND dialog, int id, int notification)
{
    AlertItem *entry = AlertItemOf(dialog);
    if (!entry)
        return FALSE;
    switch (id) {
    case IDYES:
    case IDCANCEL:      // Esc and the close box keep the task: the user let it be
        AnswerAlertItem(dialog, ANSWER_ACCEPT);
        return TRUE;
    case IDNO:
        AnswerAlertItem(dialog, ANSWER_REJECT);
        return TRUE;
    }
    return AlertItemToolCommand(dialog, entry, id, notification);
}

INT_PTR CALLBACK NewTaskDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return AlertDialogMessage(dialog, message, wParam, lParam, InitNewTask, OnCommand, FAMILY_ALERT);
}
