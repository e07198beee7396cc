// Restart commands: on Windows 9x, wininit.exe carries out the renames and
// deletions listed in the Windows folder's wininit.ini at the next restart. The
// watcher notices a non-empty file; the Restart Commands window shows it and can
// delete it.
#include <string.h>

#include "common/appstate.h"
#include "common/files.h"
#include "common/history.h"
#include "common/options.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "resources/resource.h"
#include "watchers/sysfiles.h"

#define RESTART_TEXT_MAX 16384
enum {
    STRING_CAPTION = 30, STRING_NO_COMMANDS = 59, STRING_CLOSE = 304, STRING_DELETE = 614, STRING_LEGEND = 702,
};

typedef struct RestartView {
    char caption[LANG_TEXT_MAX];
    char path[MAX_PATH];
} RestartView;

// The file's contents (at most RESTART_TEXT_MAX bytes, text up to a NUL) in the edit.
static void ShowRestartText(HWND dialog, const char *path)
{
    char *text = (char *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, RESTART_TEXT_MAX + 1);
    if (!text)
        return;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    DWORD got = 0;
    if (file != INVALID_HANDLE_VALUE) {
        if (!ReadFile(file, text, RESTART_TEXT_MAX, &got, NULL))
            TraceLastError("MyError:  RestartCommandsDlgProc ReadFile");
        CloseHandle(file);
    }
    SetDlgItemTextA(dialog, IDC_RESTART_TEXT, text);
    HeapFree(GetProcessHeap(), 0, text);
}

INT_PTR CALLBACK RestartCommandsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    RestartView *view = (RestartView *)GetWindowLongPtrA(dialog, DWLP_USER);
    switch (message) {
    case WM_INITDIALOG: {
        view = (RestartView *)lParam;
        SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)view);
        SetWindowTextA(dialog, view->caption);
        ShowRestartText(dialog, view->path);
        char text[LANG_TEXT_MAX];
        const struct { int id; UINT text; } texts[] = {
            {IDC_RESTART_DELETE, STRING_DELETE}, {IDOK, STRING_CLOSE}, {IDC_RESTART_LEGEND, STRING_LEGEND}};
        for (const auto &row : texts)
            if (GetLangString(row.text, CAP(text), text) > 0)
                SetDlgItemTextA(dialog, row.id, text);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_RESTART_DELETE:
            if (view && fileRemoveFile(view->path)) {
                WriteLog(LOG_WININIT_DELETE, CODE_RESTART_DELETE, "wininit.ini", view->path, "");
            }
            EndDialog(dialog, 1);
            return TRUE;
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, 1);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// wininit.ini of the Windows folder, and whether it holds anything; only where
// wininit.exe is there to carry it out.
static LONGLONG RestartFileSize(char *iniPath)
{
    char folder[MAX_PATH], program[MAX_PATH];
    UINT n = GetWindowsDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || !FormatText(program, CAP(program), "%s\\wininit.exe", folder) ||
        !FormatText(iniPath, MAX_PATH, "%s\\wininit.ini", folder))
        return 0;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesA(program) == INVALID_FILE_ATTRIBUTES ||
        !GetFileAttributesExA(iniPath, GetFileExInfoStandard, &data))
        return 0;
    return ((LONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

int RestartFile(int checkOnly)
{
    RestartView view;
    GetLangString(STRING_CAPTION, CAP(view.caption), view.caption);
    int found = RestartFileSize(view.path) > 0;
    if (checkOnly)
        return found;
    if (found) {
        if (DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_RESTARTCOMMANDS), ghMainWnd, RestartCommandsDlgProc,
                            (LPARAM)&view) == -1)
            TraceLastError("MyError:  RestartFile DialogBoxParam");
        return 1;
    }
    char text[LANG_TEXT_MAX];
    GetLangString(STRING_NO_COMMANDS, CAP(text), text);
    MessageBoxExA(ghMainWnd, text, gszTitle, MB_ICONINFORMATION | MB_TOPMOST, UILanguage);
    return 0;
}

int RestartCommandsFound(void)
{
    return RestartFile(1);
}

int ShowRestartCommands(void)
{
    return RestartFile(0);
}
