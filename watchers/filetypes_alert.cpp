// Dialog 143, the file type alert: the program that opened the extension until
// now beside the one that opens it since the change, and the user's answer.
#include <string.h>

#include "common/file_facts.h"
#include "common/files.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "online/keel_info.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "ui/shared_ui.h"
#include "watchers/filetypes.h"

// The online lookup files these programs under the category code plus this.
#define KEEL_CODE_OFFSET 1000

enum {
    STRING_INFO = 301, STRING_YES = 719, STRING_NO = 720, STRING_INTRO = 756, STRING_OLD = 757,
    STRING_NEW = 758, STRING_QUESTION = 759, STRING_CAPTION = 760, STRING_STOP = 1400,
};

// The controls of one program's column.
typedef struct ProgramColumn {
    int name, icon, path, company;
} ProgramColumn;

static const ProgramColumn OldColumn = {IDC_FT_OLDNAME, IDC_FT_OLDICON, IDC_FT_OLDPATH, IDC_FT_OLDCOMPANY};
static const ProgramColumn NewColumn = {IDC_FT_NEWNAME, IDC_FT_NEWICON, IDC_FT_NEWPATH, IDC_FT_NEWCOMPANY};

static const struct {
    int id;
    UINT text;
} Texts[] = {
    {IDC_FT_INTRO, STRING_INTRO}, {IDC_FT_OLDTEXT, STRING_OLD}, {IDC_FT_NEWTEXT, STRING_NEW},
    {IDC_FT_QUESTION, STRING_QUESTION}, {IDC_FT_OLDINFO, STRING_INFO}, {IDC_FT_NEWINFO, STRING_INFO},
    {IDYES, STRING_YES}, {IDNO, STRING_NO}, {IDC_CHECK, STRING_STOP},
};

// A program's name (its product name, else its file name), maker, icon and path.
static void FillColumn(HWND dialog, const ProgramColumn *column, const char *program, VersionRecord *version)
{
    char name[MAX_PATH] = "";
    if (!GetVersionInfoCached(program, version))
        memset(version, 0, sizeof(*version));
    if (version->ProductName[0])
        CopyText(name, CAP(name), version->ProductName);
    else if (FileNameOf(program, name) <= 0)
        CopyText(name, CAP(name), program);
    SendDlgItemMessageA(dialog, column->name, WM_SETFONT, (WPARAM)ALERT_NAME_FONT, FALSE);
    SetDlgItemTextA(dialog, column->name, name);
    if (version->CompanyName[0])
        SetDlgItemTextA(dialog, column->company, version->CompanyName);
    SetAlertPathControl(dialog, column->path, program);
    SetAlertProgramIcon(dialog, column->icon, program);
}

static BOOL InitFileTypeAlert(HWND dialog, LPARAM param)
{
    static FileTypeAlert NoAlert;
    FileTypeAlert *alert = (FileTypeAlert *)KeepAlertData(dialog, param, &NoAlert, sizeof(NoAlert));
    BeginAlertDialog(dialog, ALERT_HELP_PAGE);
    char caption[LANG_TEXT_MAX];
    if (GetLangString(STRING_CAPTION, CAP(caption), caption) > 0)
        SetWindowTextA(dialog, caption);
    SetAlertHeadingControl(dialog, IDC_FT_EXTENSION, alert->ext);
    VersionRecord *version = (VersionRecord *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(VersionRecord));
    if (version) {
        FillColumn(dialog, &OldColumn, alert->oldProgram, version);
        FillColumn(dialog, &NewColumn, alert->newProgram, version);
        HeapFree(GetProcessHeap(), 0, version);
    }
    for (const auto &text : Texts)
        SetAlertText(dialog, text.id, text.text);
    CheckDlgButton(dialog, IDC_CHECK, BST_UNCHECKED);
    TestLog("NewFileTypeDlgProc", alert->ext);
    PlayAlertSound(SOUND_FILETYPE);
    PlaceAlert(dialog, FAMILY_ALERT);
    return TRUE;
}

static void LookUp(HWND dialog, const char *program)
{
    GetKeelInfo("", program, TYPE_FILETYPE + KEEL_CODE_OFFSET);
    SetAlertNotTopmost(dialog);
}

static BOOL OnCommand(HWND dialog, int id, int notification)
{
    (void)notification;
    FileTypeAlert *alert = (FileTypeAlert *)AlertDataOf(dialog);
    if (!alert)
        return FALSE;
    switch (id) {
    case IDYES:
    case IDCANCEL:      // Esc leaves the new program in place: accepted
        EndDialog(dialog, ANSWER_ACCEPT);
        return TRUE;
    case IDNO:
        EndDialog(dialog, ANSWER_REJECT);
        return TRUE;
    case IDC_CHECK:
        if (IsDlgButtonChecked(dialog, IDC_CHECK) != BST_CHECKED)
            return TRUE;
        alert->stopMonitoring = 1;
        EndDialog(dialog, ANSWER_REJECT);
        return TRUE;
    case IDC_FT_OLDINFO:
        LookUp(dialog, alert->oldProgram);
        return TRUE;
    case IDC_FT_NEWINFO:
        LookUp(dialog, alert->newProgram);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK NewFileTypeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return AlertDialogMessage(dialog, message, wParam, lParam, InitFileTypeAlert, OnCommand, FAMILY_ALERT);
}
