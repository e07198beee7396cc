#include "ui/companion.h"

#include <windows.h>
#include <shellapi.h>

#include "common/files.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/appstate.h"
#include "common/options.h"

#define QUIET_ERROR_MODE 0x01F40001

void LaunchBrackmoorExplorer(const char *switchText)
{
    UINT oldMode = SetErrorMode(QUIET_ERROR_MODE);
    TestLog("LaunchBrackmoorExplorer", switchText);
    char folder[MAX_PATH], path[MAX_PATH];
    GetMyProgramFolder(folder);
    CopyText(path, CAP(path), folder);
    AppendText(path, CAP(path), "\\" COMPANION_EXE);
    HINSTANCE result = ShellExecuteA(ghMainWnd, "open", path, switchText, folder, SW_SHOWNORMAL);
    if ((INT_PTR)result < 32) {
        char text[LANG_TEXT_MAX];
        GetLangString(795, CAP(text), text);
        MessageBoxExA(ghMainWnd, text, gszTitle, MB_ICONERROR | MB_TOPMOST, UILanguage);
    }
    SetErrorMode(oldMode);
}

void RestartExplorer(void)
{
    TestLog("Restart Brackmoor Explorer", "");
    LaunchBrackmoorExplorer("-EXIT");
    Sleep(1500);
    LaunchBrackmoorExplorer("-KEEL");
}
