// The file change alert (dialog 189): which monitored file changed, Notepad on the
// new and the previous file, and the answers. Accept makes the file the approved
// one (record and previous copy follow it); Reject writes the previous copy back.
#include <string.h>

#include "common/appstate.h"
#include "common/files.h"
#include "common/history.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "resources/resource.h"
#include "ui/alert.h"
#include "ui/shared_ui.h"
#include "watchers/sysfiles.h"

enum {
    STRING_CAPTION = 1000, STRING_HEADING = 1001, STRING_ACCEPT_TEXT = 1002, STRING_REJECT_TEXT = 1003,
    STRING_NAME_LABEL = 1004, STRING_PATH_LABEL = 1005, STRING_VIEW_NEW = 1006, STRING_VIEW_OLD = 1007,
    STRING_ACCEPT = 1008, STRING_REJECT = 1009, STRING_STOP_MONITORING = 1010,
};

static const struct {
    int id;
    UINT text;
} Texts[] = {
    {IDC_SYSFILE_ACCEPTTEXT, STRING_ACCEPT_TEXT}, {IDC_SYSFILE_REJECTTEXT, STRING_REJECT_TEXT},
    {IDC_SYSFILE_NAMELABEL, STRING_NAME_LABEL},   {IDC_SYSFILE_PATHLABEL, STRING_PATH_LABEL},
    {IDC_SYSFILE_VIEWNEW, STRING_VIEW_NEW},       {IDC_SYSFILE_VIEWOLD, STRING_VIEW_OLD},
    {IDC_SYSFILE_ACCEPT, STRING_ACCEPT},          {IDC_SYSFILE_REJECT, STRING_REJECT},
    {IDC_CHECK, STRING_STOP_MONITORING},
};

static BOOL InitSysfilesAlert(HWND dialog, SysfileAlert *alert)
{
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)alert);
    BeginAlertDialog(dialog, ALERT_HELP_PAGE);
    char text[LANG_TEXT_MAX];
    if (GetLangString(STRING_CAPTION, CAP(text), text) > 0)
        SetWindowTextA(dialog, text);
    GetLangString(STRING_HEADING, CAP(text), text);
    SetAlertHeadingControl(dialog, IDC_SYSFILE_HEADING, text);
    for (const auto &row : Texts)
        SetAlertText(dialog, row.id, row.text);
    SetAlertPathControl(dialog, IDC_SYSFILE_NAME, alert->name);
    SetDlgItemTextA(dialog, IDC_SYSFILE_PATH, alert->path);
    char key[MAX_PATH], comment[SYSFILE_VALUE_MAX] = "";
    if (SysfileRecordKey(alert->name, key))
        GetRegString(HKEY_LOCAL_MACHINE, key, "Comment", comment, CAP(comment));
    SetDlgItemTextA(dialog, IDC_SYSFILE_COMMENT, comment);
    PlayAlertSound(SOUND_SYSTEMFILE);
    PlaceAlert(dialog, FAMILY_SYSFILES);
    return TRUE;
}

// The check box: the record goes, so the file is no longer compared (an accept
// writes the date and size again, but no location).
static void StopMonitoring(HWND dialog, const SysfileAlert *alert, const char *tag)
{
    char key[MAX_PATH];
    if (IsDlgButtonChecked(dialog, IDC_CHECK) != BST_CHECKED ||
        !SysfileRecordKey(alert->name, key))
        return;
    LONG rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    if (rc != ERROR_SUCCESS) {
        SetLastError((DWORD)rc);
        TraceLastError(tag);
    }
}

static int AcceptSysfile(HWND dialog, const SysfileAlert *alert)
{
    StopMonitoring(dialog, alert, "SysFiles ACCEPT RegDeleteKey");
    TestLog("SysfilesDlgProc", alert->path);
    char key[MAX_PATH], date[FILE_TIME_TEXT_MAX], size[FILE_TIME_TEXT_MAX], copy[MAX_PATH];
    if (!GetFileDateSize(alert->path, date, size) || !SysfileRecordKey(alert->name, key))
        return 0;
    SetRegString(HKEY_LOCAL_MACHINE, key, "Date", date);
    SetRegString(HKEY_LOCAL_MACHINE, key, "Size", size);
    int copied = SysfilePreviousCopy(alert->name, copy) && CopySysfile(alert->path, copy);
    WriteLog(LOG_SETTING_ACCEPT, CODE_SYSFILE, alert->name, alert->path, size);
    return copied;
}

static void RejectSysfile(HWND dialog, const SysfileAlert *alert)
{
    StopMonitoring(dialog, alert, "SysFiles REJECT RegDeleteKey");
    // The record keeps its date and size: the restored file has a new date, which
    // the next check finds to be the approved contents again.
    char copy[MAX_PATH];
    if (SysfilePreviousCopy(alert->name, copy) && CopySysfile(copy, alert->path)) {
        WriteLog(LOG_SETTING_RESTORE, CODE_SYSFILE, alert->name, alert->path, "");
    }
}

INT_PTR CALLBACK SysfilesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    SysfileAlert *alert = (SysfileAlert *)GetWindowLongPtrA(dialog, DWLP_USER);
    switch (message) {
    case WM_INITDIALOG:
        return InitSysfilesAlert(dialog, (SysfileAlert *)lParam);
    case WM_COMMAND:
        if (!alert)
            return FALSE;
        switch (LOWORD(wParam)) {
        case IDC_SYSFILE_VIEWNEW:
            ViewsysFile(alert->path);
            SetAlertNotTopmost(dialog);
            return TRUE;
        case IDC_SYSFILE_VIEWOLD: {
            char copy[MAX_PATH];
            SysfilePreviousCopy(alert->name, copy);
            ViewsysFile(copy);
            SetAlertNotTopmost(dialog);
            return TRUE;
        }
        case IDC_SYSFILE_ACCEPT:
            EndDialog(dialog, AcceptSysfile(dialog, alert) ? ANSWER_ACCEPT : 0);
            return TRUE;
        case IDC_SYSFILE_REJECT:
            RejectSysfile(dialog, alert);
            EndDialog(dialog, ANSWER_REJECT);
            return TRUE;
        case IDCANCEL:
            // Closed without an answer: nothing changes, and the next check asks again.
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        ReleaseAlertDialog(dialog, FAMILY_SYSFILES);
        return FALSE;
    }
    return FALSE;
}
