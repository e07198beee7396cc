#include "common/history.h"

#include <string.h>

#include "common/files.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/options.h"
#include "common/syslog.h"

#define HISTORY_NAME_MAX 48         // action and type names: 47 characters
#define HISTORY_TIME_MAX 512
#define STRING_NEVER 686
#define ERROR_TEXT_MAX 512
#define HISTORY_ITEM_NAME_MAX 128   // the item name handed to the reporter: 127 characters

static HistoryReporterProc HistoryReporter;

void SetHistoryReporter(HistoryReporterProc reporter)
{
    HistoryReporter = reporter;
}

typedef struct HistoryRow {
    int code;
    const char *name;
} HistoryRow;

// Searched in this order, first match wins. The codes are the location and
// category codes of the run entries and of the watchers; 3000 is the category
// of an entry whose location could not be told, and it reads as such.
static const HistoryRow HistoryTypeTable[] = {
    {1, "MACHINE_RUN"},
    {2, "MACHINE_RUNONCE"},
    {3, "MACHINE_RUNONCEEX"},
    {4, "MACHINE_RUNSERVICES"},
    {5, "MACHINE_RUNSERVICESONCE"},
    {11, "CURRENT_RUN"},
    {12, "CURRENT_RUNONCE"},
    {13, "CURRENT_RUNONCEEX"},
    {14, "CURRENT_RUNSERVICES"},
    {15, "CURRENT_RUNSERVICESONCE"},
    {21, "WOW64_RUN"},
    {22, "WOW64_RUNONCE"},
    {23, "WOW64_RUNONCEEX"},
    {24, "WOW64_RUNSERVICES"},
    {25, "WOW64_RUNSERVICESONCE"},
    {31, "BRACKMOOR_RUN"},
    {32, "BRACKMOOR_RUNONCE"},
    {33, "BRACKMOOR_RUNONCEEX"},
    {34, "BRACKMOOR_RUNSERVICES"},
    {35, "BRACKMOOR_RUNSERVICESONCE"},
    {100, "WIN_LOAD"},
    {101, "WIN_RUN"},
    {200, "GROUP_STARTUP"},
    {250, "WINLOGON_Userinit"},
    {251, "WINLOGON_Shell"},
    {252, "REG_Delayload"},
    {253, "REG_TaskScheduler"},
    {254, "REG_ShellExecuteHook"},
    {255, "REG_AppInitDLLs"},
    {500, "INFO_COOKIE"},
    {501, "INFO_NETCOOKIE"},
    {502, "INFO_SAVECOOKIE"},
    {503, "INFO_NUTS"},
    {600, "INFO_TASK"},
    {700, "SERVICE_EXE"},
    {701, "SERVICE_SVCHOST"},
    {800, "TASK_SCHEDULED"},
    {900, "TYPE_BHO"},
    {300, "RESTART_DELETE"},
    {301, "RESTART_RENAME"},
    {901, "TYPE_TOOLBAR"},
    {902, "TYPE_EXTENSION"},
    {350, "TYPE_MONITOR"},
    {360, "TYPE_BLACKLIST"},
    {450, "TYPE_PROSEARCH"},
    {400, "TYPE_FILETYPE"},
    {370, "TYPE_HIDDEN"},
    {256, "RUN_WINLOGONNOTIFY"},
    // The autostart places beyond the classic startup locations.
    {260, "MACHINE_RUNONCEEX_ITEM"},
    {261, "CURRENT_RUNONCEEX_ITEM"},
    {262, "WOW64_RUNONCEEX_ITEM"},
    {263, "USER_STARTUP_FOLDER"},
    {264, "COMMON_STARTUP_FOLDER"},
    {265, "BOOT_EXECUTE"},
    {266, "IFEO_DEBUGGER"},
    {267, "MACHINE_CMD_AUTORUN"},
    {268, "CURRENT_CMD_AUTORUN"},
    {269, "WOW64_CMD_AUTORUN"},
    {270, "ACTIVE_SETUP"},
    {271, "WOW64_ACTIVE_SETUP"},
    {272, "APPCERT_DLLS"},
    {273, "RDP_STARTUP_PROGRAMS"},
    {274, "BOOT_VERIFICATION"},
    {275, "MACHINE_SHELL_OPEN"},
    {276, "CURRENT_SHELL_OPEN"},
    {277, "WOW64_SHELL_OPEN"},
    {6, "MACHINE_RUNONCESETUP"},
    {7, "MACHINE_RUNPOLICY"},
    {1200, "TYPE_ACTIVEX"},
    {1300, "TYPE_SYSFILE"},
    {1310, "TYPE_REGVALUE"},
    {1320, "TYPE_BROWSERPAGE"},
    {1330, "TYPE_AUTOUPDATE"},
    {3000, "TYPE_UNKNOWN"},
};

// Searched in this order, first match wins. Codes 16 and 27 have no row, so a
// caller passing them gets "LOG_UNKNOWN" like any other unknown code.
static const HistoryRow HistoryActionTable[] = {
    {0, "*START_Remove"},
    {1, "START_Disable"},
    {2, "START_Enable"},
    {3, "IEHELPER_Remove"},
    {4, "TASK_Remove"},
    {5, "TASK_Kill"},
    {6, "START_Alert"},
    {7, "TASK_Alert"},
    {8, "IEHELPER_Alert"},
    {9, "SERVICE_Stop"},
    {10, "SERVICE_Automatic"},
    {11, "SERVICE_Manual"},
    {12, "SERVICE_Disabled"},
    {34, "START_Restore"},
    {13, "TASK_Restore"},
    {14, "IEHELPER_Restore"},
    {15, "ScheduledTask_Remove"},
    {17, "SERVICE_from_Automatic"},
    {18, "SERVICE_from_Manual"},
    {19, "SERVICE_from_Disabled"},
    {20, "SERVICE__from_AutomaticDelayed"},
    {21, "RESET_USERINIT"},
    {22, "RESET_SHELL"},
    {23, "REMOVE_TaskScheduler"},
    {24, "REMOVE_DELAYLOAD"},
    {25, "REMOVE_SHELLEXECUTEHOOK"},
    {26, "REMOVE_APPINIT"},
    {28, "HIDDEN_Alert"},
    {29, "*HIDDEN_DeleteFile"},
    {30, "REMOVE_WinLogonNotify"},
    {31, "LOG_ALERT_ACTIVEX"},
    {32, "LOG_ALERT_FILETYPE"},
    {33, "LOG_UNKNOWN"},
    // The settings watchers: a change taken in, a setting put back, the restart
    // commands file deleted.
    {40, "SETTING_Accept"},
    {41, "*SETTING_Restore"},
    {42, "*WININIT_Delete"},
};

static const char *LookUpHistoryName(const HistoryRow *rows, size_t count, int code,
                                     const char *fallback)
{
    for (size_t i = 0; i < count; i++)
        if (rows[i].code == code)
            return rows[i].name;
    return fallback;
}

const char *HistoryTypeName(int code)
{
    return LookUpHistoryName(HistoryTypeTable,
                             sizeof(HistoryTypeTable) / sizeof(HistoryTypeTable[0]), code,
                             "TYPE_UNKNOWN");
}

const char *HistoryActionName(int code)
{
    return LookUpHistoryName(HistoryActionTable,
                             sizeof(HistoryActionTable) / sizeof(HistoryActionTable[0]), code,
                             "LOG_UNKNOWN");
}

int FormatHistoryTime(SYSTEMTIME t, char *out, size_t cap)
{
    if (!out || cap == 0)
        return 1;
    // An item that was never seen carries an all-zero date.
    if (t.wYear == 0 && t.wMonth == 0 && t.wDay == 0) {
        int limit = cap > LANG_TEXT_MAX ? LANG_TEXT_MAX : (int)cap;
        out[0] = '\0';
        GetLangString(STRING_NEVER, limit, out);
        return 1;
    }
    unsigned hour = t.wHour % 12;
    if (hour == 0)
        hour = 12;
    FormatText(out, cap, "%02u/%02u/%04u  %u:%02u %s", (unsigned)t.wMonth, (unsigned)t.wDay,
               (unsigned)t.wYear, hour, (unsigned)t.wMinute, t.wHour < 12 ? "AM" : "PM");
    return 1;
}

int FormatHistoryLine(const SYSTEMTIME *t, int action, int type, const char *name,
                      const char *path, const char *detail, char *out, size_t cap)
{
    char timeText[HISTORY_TIME_MAX];
    char actionName[HISTORY_NAME_MAX];
    char typeName[HISTORY_NAME_MAX];
    if (!out || cap == 0)
        return 0;
    FormatHistoryTime(*t, timeText, CAP(timeText));
    CopyText(actionName, CAP(actionName), HistoryActionName(action));
    CopyText(typeName, CAP(typeName), HistoryTypeName(type));
    // Fields are written as given: a tab inside a name is not escaped.
    FormatText(out, cap, "%s\t%s\t%s\t%s\t%s\t%s\r\n", timeText, actionName, typeName,
               name ? name : "", path ? path : "", detail ? detail : "");
    return (int)strlen(out);
}

int GetHistoryPath(char *out)
{
    static const char HistoryFileName[] = "\\history.txt";
    out[0] = '\0';
    GetMyFolder(out);
    // A cut name would name some other file; without the name (the folder alone)
    // an open fails and is traced.
    if (strlen(out) + strlen(HistoryFileName) >= MAX_PATH)
        return 0;
    AppendText(out, MAX_PATH, HistoryFileName);
    return (int)strlen(out);
}

void WriteLog(int action, int type, const char *name, const char *path, const char *detail)
{
    if (giHistory <= 0)
        return;

    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[HISTORY_LINE_MAX];
    int length = FormatHistoryLine(&now, action, type, name, path, detail, line, CAP(line));

    char historyPath[MAX_PATH];
    GetHistoryPath(historyPath);

    if (HistoryReporter) {
        char actionName[HISTORY_NAME_MAX], typeName[HISTORY_NAME_MAX];
        char itemName[HISTORY_ITEM_NAME_MAX], itemPath[MAX_PATH];
        CopyText(actionName, CAP(actionName), HistoryActionName(action));
        CopyText(typeName, CAP(typeName), HistoryTypeName(type));
        CopyText(itemName, CAP(itemName), name ? name : "");
        CopyText(itemPath, CAP(itemPath), path ? path : "");
        HistoryReporter(actionName, typeName, itemName, itemPath);
    }

    // Exclusive open: a second writer (or another program holding the file) makes
    // this fail, and the line is lost with a trace rather than interleaved.
    HANDLE file = CreateFileA(historyPath, GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        char message[ERROR_TEXT_MAX];
        FormatSystemError(GetLastError(), message, CAP(message));
        TestLog("WriteLog CreateFile", message);
    } else {
        SetFilePointer(file, 0, NULL, FILE_END);
        DWORD written = 0;
        WriteFile(file, line, (DWORD)length, &written, NULL);
        CloseHandle(file);
    }

    // The company's collector gets the line after the file has it, and even when
    // the file could not take it.
    SendHistoryToSyslog(action, type, name, path, detail, line);
}

int SplitHistoryLine(char *line, char *fields[HISTORY_FIELDS])
{
    static char Empty[] = "";
    char *pieces[HISTORY_LINE_MAX];
    int count = 0;
    for (char *p = line; count < HISTORY_LINE_MAX;) {
        pieces[count++] = p;
        char *tab = strchr(p, '\t');
        if (!tab)
            break;
        *tab = '\0';
        p = tab + 1;
    }
    for (int i = 0; i < HISTORY_FIELDS; i++)
        fields[i] = Empty;
    if (count <= HISTORY_FIELDS) {
        for (int i = 0; i < count; i++)
            fields[i] = pieces[i];
        return count;
    }
    // More pieces than fields: the separators in the middle belong to the path.
    for (int i = 0; i < 4; i++)
        fields[i] = pieces[i];
    fields[4] = pieces[4];
    for (int i = 5; i < count - 1; i++)
        pieces[i][-1] = '\t';
    fields[5] = pieces[count - 1];
    return HISTORY_FIELDS;
}

// The newest maxBytes of the file, NUL-terminated, on the process heap; NULL when
// it cannot be read (*size 0 and no error for a missing file).
static char *ReadHistoryTail(DWORD maxBytes, DWORD *size)
{
    char path[MAX_PATH];
    *size = 0;
    if (!GetHistoryPath(path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return NULL;
    }
    // The monitor opens the file exclusively to append: sharing writes here would
    // not help it, so the file is held only for the one read.
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND)
            SetLastError(ERROR_SUCCESS);
        return NULL;
    }
    char *text = NULL;
    LARGE_INTEGER length;
    if (GetFileSizeEx(file, &length)) {
        DWORD want = length.QuadPart > (LONGLONG)maxBytes ? maxBytes : (DWORD)length.QuadPart;
        LARGE_INTEGER start;
        start.QuadPart = length.QuadPart - want;
        text = (char *)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)want + 1);
        DWORD got = 0;
        if (text && SetFilePointerEx(file, start, NULL, FILE_BEGIN) && ReadFile(file, text, want, &got, NULL)) {
            text[got] = '\0';
            *size = got;
            // A read that began inside a line starts after its end.
            if (start.QuadPart > 0) {
                char *lineEnd = (char *)memchr(text, '\n', got);
                DWORD skip = lineEnd ? (DWORD)(lineEnd - text) + 1 : got;
                memmove(text, text + skip, got - skip + 1);
                *size = got - skip;
            }
        } else if (text) {
            DWORD error = GetLastError();
            HeapFree(GetProcessHeap(), 0, text);
            text = NULL;
            SetLastError(error);
        }
    }
    DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return text;
}

int ReadHistoryLog(DWORD maxBytes, HistoryLineProc visit, void *context)
{
    DWORD size = 0;
    SetLastError(ERROR_SUCCESS);
    char *text = ReadHistoryTail(maxBytes, &size);
    if (!text)
        return GetLastError() == ERROR_SUCCESS ? 0 : -1;
    int lines = 0;
    char *stop = text + size;
    for (char *p = text; p < stop;) {
        char *end = (char *)memchr(p, '\n', (size_t)(stop - p));
        char *next = end ? end + 1 : stop;
        if (end)
            *end = '\0';
        size_t len = strlen(p);
        if (len > 0 && p[len - 1] == '\r')
            p[--len] = '\0';
        // A binary zero inside the file ends the line early; the rest of it is lost, not the file.
        if (len > 0) {
            char *fields[HISTORY_FIELDS];
            SplitHistoryLine(p, fields);
            if (visit)
                visit(fields, context);
            lines++;
        }
        p = next;
    }
    HeapFree(GetProcessHeap(), 0, text);
    return lines;
}
