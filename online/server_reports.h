// Reports to servers: each decision on a watched item goes to the vendor's
// report server, whose one-character reply tells whether a newer version of the
// monitor exists; each history line goes to a server that the company's
// administrator configured. Both are plain GET requests on the monitor's thread,
// bounded by short time-outs, and every failure is only traced.
#pragma once
#include <windows.h>

// Configuration under BRACKMOOR_KEY (REG_SZ). HKEY_LOCAL_MACHINE: the report
// server ("http://host[:port]", no path; without it and without an override
// base no decision report is sent), the override bases of the report kinds and
// the installation id. HKEY_CURRENT_USER: the history server's base and the
// three identity values sent with each history line.
#define REPORT_SERVER_VALUE "ReportServer"
#define REPORT_ID_VALUE "bmid"
#define HISTORY_SERVER_VALUE "bmserver"

// Decision codes: kept and removed (the alert answers 6 and 7), removed for good
// (sent with "&rm=1"), and the same program met again by the startup or
// browser-helper alert. The checks that pass their own answer send it as it is.
#define DECISION_KEPT 6
#define DECISION_REMOVED 7
#define DECISION_REMOVED_FOR_GOOD 6030
#define DECISION_REPEAT 6051

// A request is at most 1024 characters, except that an override base longer than
// that is sent alone, whole (up to REPORT_BASE_MAX - 1 characters).
#define REPORT_REQUEST_LIMIT 1024
#define REPORT_BASE_MAX 2048
// Connect, send and receive each give up after this long, so a dead or silent
// server costs the pass a few seconds at most.
#define REPORT_TIMEOUT_MS 4000
// The reply of a decision report that announces a newer version.
#define REPLY_NEW_VERSION '3'
// SendDecisionReport's answer when nothing was asked (no server, or a repeat).
#define REPLY_NOT_SENT (-1)

// The file name of the last decision report and how many reports of that same
// file in a row were left out since it was last sent.
extern char gszLastReportFile[MAX_PATH];
extern int giReportRepeatCount;

// One decision report: code, the item's file name (no folder) and its title.
// Result: the reply's first character, 0 when no reply came (a failure),
// REPLY_NOT_SENT when nothing was sent.
int SendDecisionReport(int code, const char *fileName, const char *title);

// The monitor's report of a decision on an item: name is its title, path its
// command line or file (the program's file name is sent); code 6 kept, 7
// removed, 6030 removed for good, 6051 met again, or the answer of a check.
// Nothing happens while the option "CloudData" is 0. A reply "3" makes the
// new-version notice due ("NewVersionAvailable" 0 -> 1; 2, already shown,
// stays); any other reply, or none, takes back an announced version (-> 0).
// Result as SendDecisionReport.
int ReportDecision(const char *name, const char *path, int code);

// The history writer's reporter (SetHistoryReporter): one request per history
// line to the "bmserver" base; nothing without it.
void SendHistoryData(const char *action, const char *type, const char *name, const char *path);
