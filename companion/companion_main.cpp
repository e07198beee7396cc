// Brackmoor Explorer: started by the monitor with one switch naming a page.
// Only one explorer window exists; a later start hands its switch to it and ends.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <string.h>

#include "common/appstate.h"
#include "common/files.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "companion/explorer.h"

// A window that is still closing, or a companion that has taken the mutex but not
// yet made its window, is given this long before a start gives up on it.
#define HANDOVER_WAIT_MS 5000
#define CLOSE_WAIT_MS 5000
#define POLL_MS 50
// More explorer windows than this at once would mean something else answers to
// the class; "-EXIT" stops asking then instead of looping.
#define CLOSE_ATTEMPTS_MAX 8

static void SetUpTrace(void)
{
    char folder[MAX_PATH] = "";
    if (GetMyFolder(folder) > 0 && FormatText(TestLogPath, CAP(TestLogPath), "%s\\send2vorn.txt", folder))
        LoadTestLogCounter();
    else
        TestLogPath[0] = '\0';
}

// "-EXIT": the monitor is about to open the explorer afresh and wants the old
// one gone first, so this waits until its process has really ended.
static void CloseRunningExplorer(void)
{
    for (int attempt = 0; attempt < CLOSE_ATTEMPTS_MAX; attempt++) {
        HWND window = FindWindowA(EXPLORER_CLASS, NULL);
        if (!window)
            return;
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        HANDLE process = pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : NULL;
        if (!process)
            TraceLastError("MyError:  CloseRunningExplorer OpenProcess");
        if (!PostMessageA(window, WM_CLOSE, 0, 0))
            TraceLastError("MyError:  CloseRunningExplorer PostMessage");
        if (!process) {
            Sleep(POLL_MS);
            continue;
        }
        DWORD waited = WaitForSingleObject(process, CLOSE_WAIT_MS);
        CloseHandle(process);
        // One that does not end in time will not end by being asked again.
        if (waited != WAIT_OBJECT_0) {
            TestLog("MyError:  CloseRunningExplorer", "the explorer did not end in time");
            return;
        }
    }
    if (FindWindowA(EXPLORER_CLASS, NULL))
        TestLog("MyError:  CloseRunningExplorer", "explorer windows keep answering");
}

// "-RESTART": the user kept the monitor (or asked for it again); when it is not
// running, start it from this folder as a logon would, without arguments.
static void StartMonitorIfMissing(void)
{
    if (IsMonitorRunning())
        return;
    char folder[MAX_PATH] = "";
    char path[MAX_PATH];
    char commandLine[MAX_PATH + 2];
    if (GetMyProgramFolder(folder) <= 0 || !FormatText(path, CAP(path), "%s\\%s", folder, MONITOR_EXE) ||
        !FormatText(commandLine, CAP(commandLine), "\"%s\"", path)) {
        TestLog("MyError:  StartMonitorIfMissing", "no path to the monitor");
        return;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(path, commandLine, NULL, NULL, FALSE, 0, NULL, folder, &startup, &info)) {
        TraceLastError("MyError:  StartMonitorIfMissing CreateProcess");
        return;
    }
    TestLog("StartMonitorIfMissing", path);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

// Gives the switch to a running explorer's window. 1 when it took it.
static int HandOverSwitch(HWND window, const SwitchRow *row)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    // Only the process the user just started may bring a window to the front;
    // the running explorer needs this one's leave to do it.
    if (pid)
        AllowSetForegroundWindow(pid);
    COPYDATASTRUCT data = {};
    data.dwData = COPYDATA_SWITCH;
    data.cbData = (DWORD)strlen(row->text) + 1;
    data.lpData = (void *)row->text;
    DWORD_PTR taken = 0;
    if (!SendMessageTimeoutA(window, WM_COPYDATA, 0, (LPARAM)&data, SMTO_ABORTIFHUNG, HANDOVER_WAIT_MS,
                             &taken)) {
        TraceLastError("MyError:  HandOverSwitch SendMessageTimeout");
        return 0;
    }
    return taken != 0;
}

static int Owns(DWORD waitResult)
{
    // An abandoned mutex belonged to an explorer that was killed: ours now.
    return waitResult == WAIT_OBJECT_0 || waitResult == WAIT_ABANDONED;
}

// 1 when this start is to open the window. Otherwise another explorer holds the
// mutex: its window takes the switch, or, while it is still being made or is
// closing ("-EXIT" just before "-KEEL"), this start waits a little for either.
static int TakeOverOrHandOver(HANDLE once, const SwitchRow *row)
{
    if (!once)
        return 1;
    DWORD start = GetTickCount();
    do {
        if (Owns(WaitForSingleObject(once, 0)))
            return 1;
        HWND window = FindWindowA(EXPLORER_CLASS, NULL);
        if (window && HandOverSwitch(window, row))
            return 0;
        Sleep(POLL_MS);
    } while (GetTickCount() - start < HANDOVER_WAIT_MS);
    TestLog("MyError:  TakeOverOrHandOver", "the running explorer neither answers nor ends");
    return 0;
}

// The pages act through the monitor's own routines, which read the options, the
// registry view of this Windows and the program's texts as the monitor has them.
static void PrepareMonitorCode(HINSTANCE instance)
{
    hInstance = instance;
    char code[8] = "";
    GetLangString(634, CAP(code), code);
    UILanguage = ChooseUILanguage(code);
    if (GetLangString(2, WINDOW_NAME_MAX, gszTitle) <= 0)
        CopyText(gszTitle, CAP(gszTitle), EXPLORER_TITLE);
    DetectIs64BitWindows();
    ReadOptions();
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
    if (!InitCommonControlsEx(&controls))
        TraceLastError("MyError:  PrepareMonitorCode InitCommonControlsEx");
}

static int RunExplorerWindow(HINSTANCE instance, const SwitchRow *row, int show)
{
    ExplorerState state = {};
    state.first = row;
    if (!RegisterExplorerClass(instance))
        return 1;
    // Shortcuts of the startup folders are read through the shell's link object.
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    HWND window = CreateExplorerWindow(instance, &state);
    if (!window) {
        if (SUCCEEDED(com))
            CoUninitialize();
        return 1;
    }
    // Questions the monitor's routines ask (a shell hook's removal) belong to this window.
    ghMainWnd = window;
    ShowWindow(window, state.maximized ? SW_SHOWMAXIMIZED : show);
    SetForegroundWindow(window);
    MSG message;
    int got;
    while ((got = GetMessageA(&message, NULL, 0, 0)) != 0) {
        if (got == -1) {
            TraceLastError("MyError:  RunExplorerWindow GetMessage");
            break;
        }
        // The window may be gone while messages for it are still queued.
        if (IsWindow(window) && state.keys && TranslateAcceleratorA(window, state.keys, &message))
            continue;
        if (IsWindow(window) && IsDialogMessageA(window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    ghMainWnd = NULL;
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)previous;
    SetUpTrace();
    PrepareMonitorCode(instance);
    TestLog("Brackmoor Explorer", commandLine);
    const SwitchRow *row = FindSwitch(commandLine);
    if (row->action == SWITCH_EXIT) {
        CloseRunningExplorer();
        return 0;
    }
    if (row->action == SWITCH_RESTART)
        StartMonitorIfMissing();

    HANDLE once = CreateMutexA(NULL, FALSE, EXPLORER_MUTEX);
    if (!once)
        TraceLastError("MyError:  WinMain CreateMutex");
    int owner = TakeOverOrHandOver(once, row);
    int result = 0;
    // A hidden explorer would still hold the one place and swallow every later
    // switch, so a start asked to hide shows the window all the same.
    if (owner)
        result = RunExplorerWindow(instance, row, show == SW_HIDE ? SW_SHOWNORMAL : show);
    if (once) {
        if (owner)
            ReleaseMutex(once);
        CloseHandle(once);
    }
    return result;
}
