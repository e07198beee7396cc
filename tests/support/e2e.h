// Driving the real programs as a user would: start brackmoor.exe under Wine with a
// prepared registry, send its hidden window commands, find alerts and message
// boxes by caption, read their controls, press their buttons, and stop it again.
#pragma once
#include <windows.h>
#include <atomic>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

const DWORD kPassWait = 90000;     // a pass, or the alert it brings, under a busy Wine

struct MonitorRun {
    HANDLE process = nullptr;
    DWORD pid = 0;
    HWND window = nullptr;
};

// Prepares "Orvalen" = 1 (no start-up wait) and "TestLog" = 0 (trace on), starts the
// monitor with the arguments and waits for its hidden window and its timer (a
// command posted before the timer runs would be undone by the start-up command).
bool StartMonitor(MonitorRun &run, const std::string &args = "", DWORD ms = 30000);
void SendMonitorCommand(const MonitorRun &run, int id, LPARAM lParam = 0);
// Not a first start (which would open the companion program), the options named in
// off set to 0 and those in on to 1.
void PrepareMonitor(std::initializer_list<const char *> off, std::initializer_list<const char *> on = {});
// Options for a startup test: the startup check on every pass, one alert at a time, every alert shown.
void PrepareStartupAlerts();
// Asks the monitor to exit ("-Q" from a second process) and waits; kills it when it hangs.
bool StopMonitor(MonitorRun &run, DWORD ms = 20000);
bool ProcessRunning(DWORD pid);
int CountProcessesNamed(const char *exeName);

// A visible dialog or message box ("#32770") with this caption (or, with prefix,
// whose caption begins with it).
HWND WaitForDialog(const char *caption, DWORD ms, bool prefix = false);
std::string ControlText(HWND dialog, int id);
// A window's own text (a dialog's caption).
std::string WindowText(HWND window);
// All static texts of a dialog or message box (its message is one of them), and
// with buttons its button texts too, joined by "\n".
std::string DialogTexts(HWND dialog, bool buttons = false);
void PressButton(HWND dialog, int id);
// Presses the button and waits for the dialog to go; false when it stays.
bool PressToClose(HWND dialog, int id, DWORD ms = 90000);
// Sends Quick Scan and waits for its pass to end: true; false when a dialog whose
// caption begins with stopAt shows first, or when it takes longer than ms.
bool QuickScanPass(const MonitorRun &run, const std::string &stopAt, DWORD ms = 90000);
// Sends Quick Scan (*before gets the passes done before it): the dialog with one of the
// captions that the pass brings up, or nullptr once the pass ended (a failure when
// neither happens within ms).
HWND QuickScanOrAlert(const MonitorRun &run, const std::vector<std::string> &captions, int *before,
                      DWORD ms = kPassWait);
// Waits until the trace log holds the text; the trace file is the monitor's own.
bool WaitForTrace(const std::string &part, DWORD ms);
// Quick Scan passes the monitor has finished so far (its "QUICKSCAN DONE" entries).
int QuickScansDone();
// Waits until more than `before` Quick Scan passes are done; false when a dialog with
// the caption (with prefix: whose caption begins with it) shows first (the pass is
// held up by it), or after ms.
bool WaitQuickScanDone(int before, DWORD ms, const char *stopCaption, bool prefix = false);
// Waits until more than `before` Quick Scan passes have ended (returns nullptr and sets
// *passEnded), or until a dialog with one of the captions (with prefix: whose caption
// begins with one) shows (returns it); nullptr with *passEnded false when neither happened in ms.
HWND WaitScanOrDialog(int before, const std::vector<std::string> &captions, DWORD ms, bool *passEnded,
                      bool prefix = false);

// The first visible dialog ("#32770", message boxes too) of a thread; NULL when none.
HWND FindThreadDialog(DWORD threadId);

// What a dialog showed: caption, product name, path and message controls, all its
// static and button texts, whether its check box was visible, and where it stood.
struct SeenDialog {
    std::string caption, name, path, message, texts;
    bool checkVisible;
    POINT at;
};

// Answers the dialogs that the thread which made it opens (the test thread runs
// them modally), pressing the buttons of one script row per dialog, IDYES once
// the script has run out; Stop() ends it and gives what each dialog showed.
// Or, given an answer, that decides each dialog: it reads what it needs (and may
// change the system while the dialog is open) and names the button to press.
class DialogDriver {
public:
    explicit DialogDriver(std::vector<std::vector<int>> script = {});
    explicit DialogDriver(std::function<int(HWND)> answer);
    ~DialogDriver() { Stop(); }
    std::vector<SeenDialog> Stop();

private:
    void Run();
    std::vector<std::vector<int>> script_;
    std::function<int(HWND)> answer_;
    std::vector<SeenDialog> seen_;
    DWORD owner_;
    std::atomic<bool> done_{false};
    std::thread worker_;
};
