#include "online/new_version.h"

#include "common/appstate.h"
#include "common/files.h"
#include "common/options.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "online/keel_info.h"
#include "online/web_settings.h"
#include "resources/resource.h"
#include "ui/alert.h"

#define NOTICE_ALPHA 234
#define SEEN 2

typedef struct NoticeText {
    int id;
    UINT text, tip;   // string ids; 0: none
} NoticeText;

static const NoticeText NoticeTexts[] = {
    {IDC_NEWVERSION_TEXT, 1413, 0},
    {IDC_UPGRADE_NOW, 1414, 3040},
    {IDC_WHATS_NEW, 1416, 3041},
    {IDC_CHECK, 1415, 3043},
    {IDOK, 0, 3042},
};

static BOOL InitNotice(HWND dialog)
{
    char title[LANG_TEXT_MAX];
    if (GetLangString(1417, CAP(title), title) > 0)
        SetWindowTextA(dialog, title);
    for (const NoticeText &row : NoticeTexts) {
        if (row.text)
            SetAlertText(dialog, row.id, row.text);
        if (row.tip)
            AddToolTip(dialog, row.id, row.tip);
    }
    CheckDlgButton(dialog, IDC_CHECK, giNewVersionIgnore ? BST_CHECKED : BST_UNCHECKED);
    PlaceAlertTopRight(dialog, NOTICE_ALPHA);
    PlayAlertSound(SOUND_STARTUP);
    return TRUE;
}

// However the notice closes, it has been seen; the box says whether the user
// wants to hear of this version again. Both writes tell the companion ("Update").
static void MarkNoticeSeen(HWND dialog)
{
    WriteOptionInt("NewVersionIgnore", IsDlgButtonChecked(dialog, IDC_CHECK) == BST_CHECKED ? 1 : 0);
    WriteOptionInt("NewVersionAvailable", SEEN);
}

static void OpenWebSitePage(const char *page, int alwaysTrace)
{
    char address[WEB_SETTING_MAX + 32];
    GetWebSitePage(page, address, CAP(address));
    INT_PTR result = KeelOpener(address, 0);
    if (result <= 31 && (alwaysTrace || TraceConfigured()))
        TraceShellExecuteError(1, (int)result, "NewVersionDlgProc ShellExecute ---");
}

INT_PTR CALLBACK NewVersionDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return InitNotice(dialog);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            MarkNoticeSeen(dialog);
            EndDialog(dialog, ANSWER_ACCEPT);
            return TRUE;
        case IDC_UPGRADE_NOW:
            MarkNoticeSeen(dialog);
            OpenWebSitePage(NEW_VERSION_DOWNLOAD_PAGE, 1);
            EndDialog(dialog, ANSWER_ACCEPT);
            return TRUE;
        case IDC_WHATS_NEW:
            MarkNoticeSeen(dialog);
            OpenWebSitePage(NEW_VERSION_UPGRADE_PAGE, 0);
            EndDialog(dialog, ANSWER_ACCEPT);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int ShowNewVersionNotice(void)
{
    int answer = (int)DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_NEWVERSION), ghMainWnd, NewVersionDlgProc, 0);
    if (answer == -1)
        TraceLastError("MyError:  ShowNewVersionNotice DialogBoxParamA");
    return answer;
}
