#include "support/e2e.h"

#include "common/options.h"
#include "resources/resource.h"
#include "support/test_env.h"

bool StartMonitor(MonitorRun &run, const std::string &args, DWORD ms)
{
    PutOption("Orvalen", "1");
    PutOption("TestLog", "0");
    int timers = TraceCount("Timer set to 2000");
    run.window = nullptr;
    run.process = StartProgram("brackmoor.exe", args, &run.pid);
    if (!run.process)
        return false;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        HWND w = FindWindowA("Brackmoor", NULL);
        DWORD owner = 0;
        if (!run.window && w && GetWindowThreadProcessId(w, &owner) && owner == run.pid)
            run.window = w;
        if (run.window && TraceCount("Timer set to 2000") > timers)
            return true;
        if (WaitForSingleObject(run.process, 50) == WAIT_OBJECT_0)
            return false;
    }
    return false;
}

void PrepareMonitor(std::initializer_list<const char *> off, std::initializer_list<const char *> on)
{
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "", "01/01/2015  12:00 PM");
    for (const char *name : off)
        PutOption(name, "0");
    for (const char *name : on)
        PutOption(name, "1");
}

void PrepareStartupAlerts()
{
    PrepareMonitor({"SuppressExtraAlerts", "HideStartup", "Sound"}, {"ShowAlerts", "RealtimeStartup", "Start"});
}

void SendMonitorCommand(const MonitorRun &run, int id, LPARAM lParam)
{
    PostMessageA(run.window, WM_COMMAND, (WPARAM)id, lParam);
}

bool StopMonitor(MonitorRun &run, DWORD ms)
{
    if (!run.process)
        return true;
    bool ended = WaitForSingleObject(run.process, 0) == WAIT_OBJECT_0;
    if (!ended) {
        RunProgramWait("brackmoor.exe", "-Q", ms);
        ended = WaitForSingleObject(run.process, ms) == WAIT_OBJECT_0;
    }
    if (!ended) {
        TerminateProcess(run.process, 99);
        WaitForSingleObject(run.process, 5000);
    }
    CloseHandle(run.process);
    run.process = nullptr;
    run.window = nullptr;
    return ended;
}

bool ProcessRunning(DWORD pid)
{
    HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!p)
        return false;
    bool running = WaitForSingleObject(p, 0) == WAIT_TIMEOUT;
    CloseHandle(p);
    return running;
}

int CountProcessesNamed(const char *exeName)
{
    return (int)ProcessesNamed(exeName).size();
}

struct DialogSearch {
    const char *caption;   // NULL: any
    bool prefix;
    HWND found;
};

static BOOL CALLBACK FindDialogProc(HWND w, LPARAM lp)
{
    DialogSearch *s = (DialogSearch *)lp;
    char cls[16], title[256];
    if (!GetClassNameA(w, cls, sizeof(cls)) || strcmp(cls, "#32770") != 0 || !IsWindowVisible(w))
        return TRUE;
    GetWindowTextA(w, title, sizeof(title));
    if (s->caption && (s->prefix ? strncmp(title, s->caption, strlen(s->caption)) : strcmp(title, s->caption)))
        return TRUE;
    s->found = w;
    return FALSE;
}

HWND WaitForDialog(const char *caption, DWORD ms, bool prefix)
{
    DWORD start = GetTickCount();
    for (;;) {
        DialogSearch s = {caption, prefix, nullptr};
        EnumWindows(FindDialogProc, (LPARAM)&s);
        if (s.found || GetTickCount() - start > ms)
            return s.found;
        Sleep(50);
    }
}

std::string ControlText(HWND dialog, int id)
{
    char text[4096] = "";
    HWND control = GetDlgItem(dialog, id);
    if (control)
        SendMessageTimeoutA(control, WM_GETTEXT, sizeof(text), (LPARAM)text, SMTO_ABORTIFHUNG, 5000, NULL);
    return text;
}

std::string WindowText(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

std::string DialogTexts(HWND dialog, bool buttons)
{
    std::string all;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[16], text[4096] = "";
        GetClassNameA(c, cls, sizeof(cls));
        if (lstrcmpiA(cls, "Static") != 0 && !(buttons && lstrcmpiA(cls, "Button") == 0))
            continue;
        SendMessageTimeoutA(c, WM_GETTEXT, sizeof(text), (LPARAM)text, SMTO_ABORTIFHUNG, 5000, NULL);
        if (text[0])
            all += std::string(text) + "\n";
    }
    return all;
}

void PressButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

bool PressToClose(HWND dialog, int id, DWORD ms)
{
    PressButton(dialog, id);
    for (DWORD start = GetTickCount(); IsWindow(dialog) && GetTickCount() - start < ms;)
        Sleep(50);
    return !IsWindow(dialog);
}

bool QuickScanPass(const MonitorRun &run, const std::string &stopAt, DWORD ms)
{
    int before = QuickScansDone();
    SendMonitorCommand(run, 6074);
    return WaitQuickScanDone(before, ms, stopAt.c_str(), true);
}

HWND QuickScanOrAlert(const MonitorRun &run, const std::vector<std::string> &captions, int *before, DWORD ms)
{
    *before = QuickScansDone();
    SendMonitorCommand(run, 6074);
    bool ended = false;
    HWND alert = WaitScanOrDialog(*before, captions, ms, &ended);
    EXPECT_TRUE(alert || ended) << "the pass neither ended nor asked";
    return alert;
}

bool WaitForTrace(const std::string &part, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (TraceHas(part))
            return true;
        if (GetTickCount() - start > ms)
            return false;
        Sleep(200);
    }
}

HWND FindThreadDialog(DWORD threadId)
{
    DialogSearch s = {nullptr, false, nullptr};
    EnumThreadWindows(threadId, FindDialogProc, (LPARAM)&s);
    return s.found;
}

DialogDriver::DialogDriver(std::vector<std::vector<int>> script)
    : script_(std::move(script)), owner_(GetCurrentThreadId()), worker_([this] { Run(); })
{
}

DialogDriver::DialogDriver(std::function<int(HWND)> answer)
    : answer_(std::move(answer)), owner_(GetCurrentThreadId()), worker_([this] { Run(); })
{
}

std::vector<SeenDialog> DialogDriver::Stop()
{
    done_ = true;
    if (worker_.joinable())
        worker_.join();
    return seen_;
}

void DialogDriver::Run()
{
    for (size_t next = 0; !done_; next++) {
        HWND d = NULL;
        while (!done_ && !(d = FindThreadDialog(owner_)))
            Sleep(20);
        if (!d)
            return;
        RECT rect = {};
        GetWindowRect(d, &rect);
        seen_.push_back({WindowText(d), ControlText(d, IDC_PRODUCTNAME), ControlText(d, IDC_PATH),
                         ControlText(d, IDC_MESSAGE), DialogTexts(d, true), IsWindowVisible(GetDlgItem(d, IDC_CHECK)) != FALSE,
                         {rect.left, rect.top}});
        if (answer_)
            PressButton(d, answer_(d));
        for (int id : answer_ ? std::vector<int>{} : next < script_.size() ? script_[next] : std::vector<int>{IDYES})
            PressButton(d, id);
        for (int wait = 0; wait < 500 && IsWindow(d) && IsWindowVisible(d); wait++)
            Sleep(20);
    }
}

int QuickScansDone()
{
    return TraceCount("QUICKSCAN DONE");
}

bool WaitQuickScanDone(int before, DWORD ms, const char *stopCaption, bool prefix)
{
    bool ended = false;
    WaitScanOrDialog(before, {stopCaption}, ms, &ended, prefix);
    return ended;
}

HWND WaitScanOrDialog(int before, const std::vector<std::string> &captions, DWORD ms, bool *passEnded, bool prefix)
{
    *passEnded = false;
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(250)) {
        if (QuickScansDone() > before) {
            *passEnded = true;
            return nullptr;
        }
        for (const std::string &caption : captions)
            if (HWND dialog = WaitForDialog(caption.c_str(), 0, prefix))
                return dialog;
    }
    return nullptr;
}
