// History log "history.txt": one tab-separated line per decision or action.
#pragma once
#include <windows.h>

// Action codes of the history (names in HistoryActionName).
enum {
    LOG_START_REMOVE = 0, LOG_START_DISABLE = 1, LOG_START_ENABLE = 2, LOG_IEHELPER_REMOVE = 3,
    LOG_TASK_REMOVE = 4, LOG_TASK_KILL = 5, LOG_START_ALERT = 6, LOG_TASK_ALERT = 7,
    LOG_IEHELPER_ALERT = 8, LOG_SERVICE_STOP = 9, LOG_SERVICE_AUTOMATIC = 10,
    LOG_SERVICE_MANUAL = 11, LOG_SERVICE_DISABLED = 12, LOG_TASK_RESTORE = 13,
    LOG_IEHELPER_RESTORE = 14, LOG_SCHEDULEDTASK_REMOVE = 15, LOG_SERVICE_FROM_AUTOMATIC = 17,
    LOG_SERVICE_FROM_MANUAL = 18, LOG_SERVICE_FROM_DISABLED = 19,
    LOG_SERVICE_FROM_AUTOMATICDELAYED = 20, LOG_RESET_USERINIT = 21, LOG_RESET_SHELL = 22,
    LOG_REMOVE_TASKSCHEDULER = 23, LOG_REMOVE_DELAYLOAD = 24, LOG_REMOVE_SHELLEXECUTEHOOK = 25,
    LOG_REMOVE_APPINIT = 26, LOG_HIDDEN_ALERT = 28, LOG_HIDDEN_DELETEFILE = 29,
    LOG_REMOVE_WINLOGONNOTIFY = 30, LOG_ALERT_ACTIVEX = 31, LOG_ALERT_FILETYPE = 32,
    LOG_UNKNOWN_ACTION = 33, LOG_START_RESTORE = 34, LOG_SETTING_ACCEPT = 40,
    LOG_SETTING_RESTORE = 41, LOG_WININIT_DELETE = 42
};

// Type codes of the settings watchers' lines (the startup and other watchers use
// their location and category codes).
enum {
    CODE_RESTART_DELETE = 300, CODE_SYSFILE = 1300, CODE_REGVALUE = 1310, CODE_BROWSERPAGE = 1320,
    CODE_AUTOUPDATE = 1330
};

#define HISTORY_LINE_MAX 1024   // the line is built in this buffer: 1023 characters at most

const char *HistoryTypeName(int code);      // "TYPE_UNKNOWN" when the code has no row
const char *HistoryActionName(int code);    // "LOG_UNKNOWN" when the code has no row
// "%02u/%02u/%04u  %u:%02u AM|PM", or string 686 ("Never") for an all-zero date.
int FormatHistoryTime(SYSTEMTIME t, char *out, size_t cap);
// Builds one line (without writing it); returns its length. Shared by WriteLog and the tests.
int FormatHistoryLine(const SYSTEMTIME *t, int action, int type, const char *name,
                      const char *path, const char *detail, char *out, size_t cap);
void WriteLog(int action, int type, const char *name, const char *path, const char *detail);
// The history file: the data folder + "\\history.txt" (MAX_PATH out); its length, 0
// when the name does not fit.
int GetHistoryPath(char *out);

// Reading the history back. A line has six fields: time, action, type, name,
// path, detail. Nothing escapes a tab inside a field, so a line may hold more
// tabs than separators: the first three fields never contain one, the name
// rarely does, and the detail is the last field, so the pieces in between are
// taken as the path (a command line with tabs in its arguments).
#define HISTORY_FIELDS 6
// Splits one line (without its line end) in place; fields of a short line are
// empty. Returns the number of fields the line really had (at most 6).
int SplitHistoryLine(char *line, char *fields[HISTORY_FIELDS]);
// Hands each line of the file, oldest first, to visit: only the newest maxBytes
// of the file are read (a line cut by that limit is left out). The file is open
// only while it is read, so that the monitor's next line is not lost. Returns the
// number of lines, or -1 when the file cannot be read (GetLastError says why; a
// missing file is 0 lines).
typedef void (*HistoryLineProc)(char *fields[HISTORY_FIELDS], void *context);
int ReadHistoryLog(DWORD maxBytes, HistoryLineProc visit, void *context);

// Who else hears of each history line: the reporter gets the line's action and
// type names and its item name and path (bounded to 47, 47, 127 and 259
// characters) before the line is written, and decides by itself whether it
// sends anything. NULL (the start value) tells no one.
typedef void (*HistoryReporterProc)(const char *action, const char *type, const char *name,
                                    const char *path);
void SetHistoryReporter(HistoryReporterProc reporter);
