#include "monitor/tallowpro_link.h"

#include "common/files.h"
#include "common/text.h"
#include "common/tracelog.h"

typedef int(__cdecl *TallowStartProc)(HWND);
typedef int(__cdecl *TallowStopProc)(void);

static HMODULE TallowModule;

void TallowProStart(HWND mainWindow)
{
    // Only the library beside the program: never one found along the search path.
    if (!TallowModule) {
        char path[MAX_PATH];
        GetMyProgramFolder(path);
        if (AppendText(path, CAP(path), "\\tallowpro.dll"))
            TallowModule = LoadLibraryA(path);
    }
    if (!TallowModule) {
        TestLog("TallowPro LoadLibrary", "not found");
        return;
    }
    TallowStartProc start = (TallowStartProc)(void *)GetProcAddress(TallowModule, MAKEINTRESOURCEA(2));
    if (start)
        start(mainWindow);
}

void TallowProStop(void)
{
    if (!TallowModule)
        return;
    TallowStopProc stop = (TallowStopProc)(void *)GetProcAddress(TallowModule, MAKEINTRESOURCEA(3));
    if (stop)
        stop();
    FreeLibrary(TallowModule);
    TallowModule = NULL;
}
