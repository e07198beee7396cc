// The history lines for a company's log pipeline: when a collector is configured
// (values "SyslogHost", "SyslogPort", "SyslogProtocol" and "SyslogFacility" under
// the program's key), every history line also goes out as an RFC 5424 message,
// over UDP or over TCP with octet-counting frames (RFC 6587). Sending never holds a
// pass up for more than a moment: UDP does not wait at all, a TCP connection gets a
// short time to come up, and after it failed no new one is tried for a while.
#pragma once
#include <windows.h>
#include <stddef.h>

#define SYSLOG_APP_NAME "Brackmoor"
// The structured-data element of the history fields (32473: the example enterprise
// number kept for documentation, RFC 5612).
#define SYSLOG_SD_ID "brackmoor@32473"
#define SYSLOG_MESSAGE_MAX 8192

// Counters for tests and the benchmark: messages handed to the network, messages
// dropped (no collector reachable), and TCP connections tried.
extern int giSyslogSent, giSyslogDropped, giSyslogConnects;

// The first wait after a failed TCP connection before the next is tried; it
// doubles with each further failure, up to ten minutes.
extern int giSyslogRetryMs;

// Sends the record (its fields, and the history line as written to the file) to
// the configured collector; nothing when none is configured.
void SendHistoryToSyslog(int action, int type, const char *name, const char *path, const char *detail,
                         const char *line);
// Closes the connection and gives Winsock back (at exit, and by tests).
void CloseSyslog(void);
