#include "companion/explorer.h"

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "companion/companion_res.h"
#include "common/options.h"

#define NOTICE_TEXT_MAX 160

int IsMonitorRunning(void)
{
    return FindWindowA(MONITOR_CLASS, NULL) != NULL;
}

// The version a user reports is the one in the file's own version record; the
// built-in number only stands in when that record cannot be read.
static void ShowVersion(HWND page)
{
    char path[MAX_PATH] = "";
    DWORD n = GetModuleFileNameA(NULL, path, (DWORD)sizeof(path));
    if (n == 0 || n >= sizeof(path)) {
        TraceLastError("MyError:  ShowVersion GetModuleFileName");
        path[0] = '\0';
    }
    VersionRecord *record = (VersionRecord *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(VersionRecord));
    const char *version = BRACKMOOR_VERSION;
    if (record && path[0] && GetVersionInfo(path, record) && record->ProductVersion[0])
        version = record->ProductVersion;
    else
        TestLog("ShowVersion", "no version record; the built-in number is shown");
    SetDlgItemTextA(page, IDC_ABOUT_VERSION, version);
    if (record)
        HeapFree(GetProcessHeap(), 0, record);
}

static void ShowFolders(HWND page)
{
    char folder[MAX_PATH] = "";
    char history[MAX_PATH] = "";
    if (GetMyFolder(folder) > 0) {
        if (!FormatText(history, CAP(history), "%s\\history.txt", folder))
            TestLog("MyError:  ShowFolders history path too long", folder);
    } else {
        TestLog("MyError:  ShowFolders GetMyFolder", "no data folder");
    }
    SetDlgItemTextA(page, IDC_ABOUT_FOLDER, folder);
    SetDlgItemTextA(page, IDC_ABOUT_HISTORY, history);

    char program[MAX_PATH] = "";
    GetMyProgramFolder(program);
    SetDlgItemTextA(page, IDC_ABOUT_PROGRAM, program);
}

static void ShowStatus(HWND page, const char *laterPage)
{
    SetDlgItemTextA(page, IDC_ABOUT_MONITOR,
                    IsMonitorRunning() ? "The Brackmoor monitor is running."
                                       : "The Brackmoor monitor is not running.");
    char notice[NOTICE_TEXT_MAX] = "";
    if (laterPage)
        FormatText(notice, CAP(notice), "The %s page comes in a later version.", laterPage);
    SetDlgItemTextA(page, IDC_ABOUT_NOTICE, notice);
}

INT_PTR CALLBACK AboutPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)wParam;
    switch (message) {
    case WM_INITDIALOG:
        ShowVersion(page);
        ShowFolders(page);
        ShowStatus(page, NULL);
        return TRUE;
    case WM_PAGE_REFRESH:
        ShowStatus(page, (const char *)lParam);
        return TRUE;
    }
    return FALSE;
}
