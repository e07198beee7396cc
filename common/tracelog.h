// Trace log "send2vorn.txt": a diagnostic INI file written only while the
// "TestLog" counter is at most 9990; each entry counts one.
#pragma once
#include <windows.h>

#define TESTLOG_OFF 9999        // the default counter: nothing is written
#define TESTLOG_LAST 9990       // entries are written while the counter is at most this

extern char TestLogPath[MAX_PATH];
extern int TestLogCounter;

// Loads the counter from the option "TestLog" (9999 when absent or empty).
void LoadTestLogCounter(void);
// Tracing is configured: other code writes its detailed entries only then.
int TraceConfigured(void);

int TestLog(const char *tag, const char *message);
int TraceLastError(const char *tag);
// "%d  %s" of an error code and its system text, bounded to cap.
void FormatSystemError(DWORD code, char *out, size_t cap);
