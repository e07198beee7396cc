// Driving the real programs as a user would: start brackmoor.exe under Wine with a
// prepared registry, send its hidden window commands, find alerts and message
// boxes by caption, read their controls, press their buttons, and stop it again.
#pragma once
#include <windows.h>
#include <string>

struct MonitorRun {
    HANDLE process = nullptr;
    DWORD pid = 0;
    HWND window = nullptr;
};

// Prepares "Orvalen" = 1 (no start-up wait) and "TestLog" = 0 (trace on), starts the
// monitor with the arguments and waits for its hidden window.
bool StartMonitor(MonitorRun &run, const std::string &args = "", DWORD ms = 30000);
void SendMonitorCommand(const MonitorRun &run, int id, LPARAM lParam = 0);
// Asks the monitor to exit ("-Q" from a second process) and waits; kills it when it hangs.
bool StopMonitor(MonitorRun &run, DWORD ms = 20000);
bool ProcessRunning(DWORD pid);
int CountProcessesNamed(const char *exeName);

// A visible dialog or message box ("#32770") with this caption (or, with prefix,
// whose caption begins with it).
HWND WaitForDialog(const char *caption, DWORD ms, bool prefix = false);
std::string ControlText(HWND dialog, int id);
// All static texts of a message box, joined by "\n" (its message is one of them).
std::string DialogTexts(HWND dialog);
void PressButton(HWND dialog, int id);
// Waits until the trace log holds the text; the trace file is the monitor's own.
bool WaitForTrace(const std::string &part, DWORD ms);
// Quick Scan passes the monitor has finished so far (its "QUICKSCAN DONE" entries).
int QuickScansDone();
// Waits until more than `before` Quick Scan passes are done; false when a dialog with
// the caption shows first (the pass is held up by it), or after ms.
bool WaitQuickScanDone(int before, DWORD ms, const char *stopCaption);
