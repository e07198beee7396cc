#include "common/tracelog.h"

#include <string.h>

#include "common/text.h"
#include "common/options.h"

char TestLogPath[MAX_PATH];
int TestLogCounter = TESTLOG_OFF;

#define TRACE_KEY_MAX 32
#define TRACE_VALUE_MAX 2048
#define TRACE_STAMP_MAX 64
#define ERROR_TEXT_MAX 512

void LoadTestLogCounter(void)
{
    // Every load starts the count again: a user who sets "TestLog" gets a fresh run.
    TestLogCounter = ReadOptionInt("TestLog", TESTLOG_OFF);
}

int TraceConfigured(void)
{
    return TestLogCounter < TESTLOG_OFF;
}

int TestLog(const char *tag, const char *message)
{
    if (TestLogCounter > TESTLOG_LAST)
        return 0;
    DWORD tick = GetTickCount();
    TestLogCounter++;

    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[TRACE_STAMP_MAX];
    FormatText(stamp, CAP(stamp), "%04d-%02d-%02d  %02d:%02d:%02d:%02d", now.wYear, now.wMonth,
               now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    // The counter makes the key unique even for two entries in one millisecond.
    char key[TRACE_KEY_MAX];
    FormatText(key, CAP(key), "%d.%d", (int)tick, TestLogCounter);
    char value[TRACE_VALUE_MAX];
    FormatText(value, CAP(value), "%s - %s: %s", stamp, tag ? tag : "", message ? message : "");
    // A line break in a message (system error texts end with one) would split the
    // entry over two lines of the profile file; the second would be lost.
    for (char *p = value; *p; p++)
        if (*p == '\r' || *p == '\n')
            *p = ' ';

    // Without a path the profile call would write into the Windows folder.
    if (TestLogPath[0])
        WritePrivateProfileStringA("TestLog", key, value, TestLogPath);
    return 1;
}

void FormatSystemError(DWORD code, char *out, size_t cap)
{
    char *text = NULL;
    // Inserts are ignored: there are no arguments to fill them, and a message
    // such as "%1 is not a valid Win32 application" must not read any.
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   NULL, code, 0x400, (LPSTR)&text, 0, NULL);
    if (text) {
        // The system text ends with a line break that the trace entry does not want.
        size_t len = strlen(text);
        while (len > 0 && (text[len - 1] == '\r' || text[len - 1] == '\n' || text[len - 1] == ' '))
            text[--len] = '\0';
    }
    FormatText(out, cap, "%d  %s", (int)code, text ? text : "");
    if (text)
        LocalFree(text);
}

int TraceLastError(const char *tag)
{
    DWORD code = GetLastError();
    // Nothing to look up when the entry would not be written anyway.
    if (TestLogCounter > TESTLOG_LAST)
        return 0;
    char message[ERROR_TEXT_MAX];
    FormatSystemError(code, message, CAP(message));
    int written = TestLog(tag, message);
    // The caller may still want to look at the error after tracing it.
    SetLastError(code);
    return written;
}
