// The program's entry: forwarder, one-shot job or the monitor itself.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <string.h>

#include "common/files.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/appstate.h"
#include "ui/companion.h"
#include "monitor/mainwindow.h"
#include "common/options.h"
#include "monitor/initial_values.h"
#include "monitor/restore_disabled.h"
#include "monitor/tallowpro_link.h"
#include "monitor/testlog_report.h"
#include "ui/alert.h"
#include "monitor/scan_cycle.h"
#include "monitor/timer.h"
#include "online/keel_info.h"
#include "online/new_version.h"
#include "online/server_reports.h"
#include "common/history.h"

static void TraceComError(const char *tag, HRESULT hr)
{
    char text[512];
    FormatSystemError((DWORD)hr, text, CAP(text));
    TestLog(tag, text);
}

static void InitCom(void)
{
    HRESULT hr = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (FAILED(hr)) {
        TraceComError("CoInitializeEx", hr);
        CoUninitialize();
        hr = CoInitialize(NULL);
        if (FAILED(hr))
            TraceComError("CoInitialize", hr);
    }
    hr = CoInitializeSecurity(NULL, -1, NULL, NULL, RPC_C_AUTHN_LEVEL_PKT_PRIVACY, RPC_C_IMP_LEVEL_IMPERSONATE,
                              NULL, EOAC_NONE, NULL);
    if (FAILED(hr))
        TraceComError("CoInitializeSecurity", hr);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    const char *args = commandLine ? commandLine : "";
    hInstance = instance;
    if (GetLangString(1, WINDOW_NAME_MAX, gszClassName) <= 0 || GetLangString(2, WINDOW_NAME_MAX, gszTitle) <= 0)
        return 0;

    // One monitor per desktop: a second start only forwards "-Q".
    HWND running = FindWindowA(gszClassName, NULL);
    if (running) {
        if (StrContains(args, "-Q"))
            PostMessageA(running, WM_COMMAND, IDM_EXIT, 0);
        return 0;
    }
    // The Explorer menu entry starts the program with a file: a one-shot lookup.
    if (StrContains(args, ".exe")) {
        KeelLookupFromCommandLine(args, KEEL_CODE_EXE);
        return 0;
    }
    if (StrContains(args, ".dll")) {
        KeelLookupFromCommandLine(args, KEEL_CODE_DLL);
        return 0;
    }
    if (StrContains(args, "-RESTART")) {
        RestartExplorer();
        return 0;
    }
    // The uninstaller's jobs: the exit code is the number of programs held disabled.
    if (StrContains(args, SWITCH_COUNT_DISABLED))
        return DisabledStartupJob(0);
    if (StrContains(args, SWITCH_RESTORE_DISABLED))
        return DisabledStartupJob(1);
    if (ReadOptionInt("Orvalen", 0) == 0) {
        LaunchBrackmoorExplorer("-KEEL");
        Sleep(8000);
    }
    if (StrContains(args, "-Open"))
        LaunchBrackmoorExplorer("-START");
    if (StrContains(args, "-Q"))
        return 0;

    if (!RegisterMainClass() || !CreateMainWindow())
        return 0;
    ShowWindow(ghMainWnd, SW_HIDE);
    UpdateWindow(ghMainWnd);
    giExpressCount = StrContains(args, "-express") ? 30 : 0;
    giTaskMessages = 0;

    GetMyFolder(TestLogPath);
    if (strlen(TestLogPath) + sizeof("\\send2vorn.txt") <= sizeof(TestLogPath))
        AppendText(TestLogPath, CAP(TestLogPath), "\\send2vorn.txt");
    LoadTestLogCounter();
    InitCom();
    InitCommonControls();
    LoadTestLogCounter();
    if (TestLogCounter < TESTLOG_OFF)
        InitTestLog();

    // The monitor's own wiring: history lines also go to the administrator's
    // server, and the last stage of a pass tells of a new version.
    SetHistoryReporter(SendHistoryData);
    gScanWatchers.newVersion = ShowNewVersionNotice;
    bMsgOpen = 0;
    giWinInitCount = 0;
    GetInitalValues();
    giLastTaskCount = 0;
    bTaskChange = 0;
    giGameMode = 0;

    TallowProStart(ghMainWnd);
    TestLog("TallowPro Initialized", "**");
    giShowAllFiles = 0;
    giIdleTicks = 0;
    PostMessageA(ghMainWnd, WM_COMMAND, IDM_STARTUP_COMMAND, 0);

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
