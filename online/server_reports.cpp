// Decision and history reports. Each is one GET request: a base (the page on the
// server, ending where its query goes on) and "&key=value" parts, every value
// percent-encoded so that the server reads the text the monitor had. The parts
// are added only while the request stays within 1024 characters.
#include "online/server_reports.h"

#include <wininet.h>
#include <string.h>

#include "common/files.h"
#include "common/history.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "online/web_settings.h"

char gszLastReportFile[MAX_PATH];
int giReportRepeatCount;

// Always from the server, never from a cache, and never a dialog of WinINet's own.
#define REPORT_FLAGS \
    (INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE)
// A run of reports of one file sends the first and then every 51st.
#define REPEATS_LEFT_OUT 50
#define DECISION_REPLY_BYTES 2
#define HISTORY_REPLY_BYTES 32
#define TITLE_MAX 128
#define REPORT_ID_MAX 33
#define IDENTITY_MAX 513
#define HISTORY_BASE_MAX 513
#define LOCATION_MAX 16
#define HISTORY_TIME_TEXT_MAX 64
#define ERROR_TEXT_MAX 512

typedef struct ReportKind {
    const char *trace;           // the trace tag of the kind; NULL: not traced
    const char *page;            // path on the report server, with the "?" of the query
    const char *overrideValue;   // HKLM value replacing the whole base; NULL: none
} ReportKind;

static const ReportKind RemovedKind = {"CLOUD REMOVE", "/cgi-bin/cloudremoved.pl?", "cloudremoved"};
static const ReportKind KeptKind = {"CLOUD KEEP", "/cgi-bin/cloudkept.pl?", "cloudkept"};
static const ReportKind RepeatKind = {"CLOUD REPEAT", "/cgi-bin/repeatfile.pl?", "repeatfile"};
static const ReportKind OtherKind = {NULL, "/cgi-bin/clouderror.pl?", NULL};

static const ReportKind *ReportKindOf(int code)
{
    switch (code) {
    case DECISION_REMOVED:
    case DECISION_REMOVED_FOR_GOOD:
        return &RemovedKind;
    case DECISION_KEPT:
        return &KeptKind;
    case DECISION_REPEAT:
        return &RepeatKind;
    default:
        return &OtherKind;
    }
}

// An override base may be longer than the registry layer's texts (it is then sent
// alone), so it is read here with room for that.
static int ReadOverrideBase(const char *valueName, char *out, size_t cap)
{
    out[0] = '\0';
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, BRACKMOOR_KEY, 0, RegReadAccess, &key) != ERROR_SUCCESS)
        return 0;
    DWORD type = 0, size = (DWORD)cap - 1;
    LONG result = RegQueryValueExA(key, valueName, NULL, &type, (BYTE *)out, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        // Too long a value is a broken setting: the report server's own page serves.
        if (result == ERROR_MORE_DATA)
            TestLog("SendDecisionReport base too long", valueName);
        out[0] = '\0';
        return 0;
    }
    out[size < cap ? size : cap - 1] = '\0';
    return (int)strlen(out);
}

// The whole base of a report kind; 0 when neither the override nor the report
// server is configured.
static int GetReportBase(const ReportKind *kind, char *out, size_t cap)
{
    if (kind->overrideValue && ReadOverrideBase(kind->overrideValue, out, cap) > 0)
        return (int)strlen(out);
    char server[WEB_SETTING_MAX];
    if (ReadWebAddressSetting(HKEY_LOCAL_MACHINE, REPORT_SERVER_VALUE, server, CAP(server)) <= 0) {
        out[0] = '\0';
        return 0;
    }
    FormatText(out, cap, "%s%s", server, kind->page);
    return (int)strlen(out);
}

// key and the encoded value, when the request stays within its limit with them.
static void AppendPart(char *request, size_t cap, const char *key, const char *value)
{
    char encoded[REPORT_REQUEST_LIMIT + 1];
    EncodeForQuery(value ? value : "", encoded, CAP(encoded));
    if (strlen(request) + strlen(key) + strlen(encoded) > REPORT_REQUEST_LIMIT)
        return;
    AppendText(request, cap, key);
    AppendText(request, cap, encoded);
}

// The system's text of the last error, traced under the tag (WinINet's own codes
// have no system text; their number still tells).
static void TraceFailure(const char *caller, const char *call)
{
    char tag[64], text[ERROR_TEXT_MAX];
    DWORD error = GetLastError();
    FormatText(tag, CAP(tag), "MyError:  %s %s", caller, call);
    FormatSystemError(error, text, CAP(text));
    if (!text[0])
        FormatText(text, CAP(text), "%lu", (unsigned long)error);
    TestLog(tag, text);
}

// The request runs on the monitor's only thread: the system's defaults (a minute
// and more per step, several connect attempts) would freeze it. Set on every
// handle of the chain: Windows hands them down from the session, Wine only
// honours what the request handle itself was given.
static void LimitWaits(HINTERNET handle, const char *caller)
{
    DWORD timeout = REPORT_TIMEOUT_MS, retries = 1;
    const DWORD timeouts[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                              INTERNET_OPTION_RECEIVE_TIMEOUT};
    for (DWORD option : timeouts)
        if (!InternetSetOptionA(handle, option, &timeout, sizeof(timeout)))
            TraceFailure(caller, "InternetSetOptionA");
    if (!InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_RETRIES, &retries, sizeof(retries)))
        TraceFailure(caller, "InternetSetOptionA");
}

// The parts of a request address that the connection and the request take.
typedef struct RequestParts {
    char host[INTERNET_MAX_HOST_NAME_LENGTH];
    char object[REPORT_BASE_MAX];   // path and query, escapes left as they are
    INTERNET_PORT port;
    int secure;
} RequestParts;

static int SplitRequest(const char *request, RequestParts *parts)
{
    char path[REPORT_BASE_MAX], query[REPORT_BASE_MAX];
    URL_COMPONENTSA url;
    memset(&url, 0, sizeof(url));
    url.dwStructSize = sizeof(url);
    url.lpszHostName = parts->host;
    url.dwHostNameLength = sizeof(parts->host);
    url.lpszUrlPath = path;
    url.dwUrlPathLength = sizeof(path);
    url.lpszExtraInfo = query;
    url.dwExtraInfoLength = sizeof(query);
    if (!InternetCrackUrlA(request, 0, 0, &url))
        return 0;
    if (url.nScheme != INTERNET_SCHEME_HTTP && url.nScheme != INTERNET_SCHEME_HTTPS) {
        SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        return 0;
    }
    parts->port = url.nPort;
    parts->secure = url.nScheme == INTERNET_SCHEME_HTTPS;
    FormatText(parts->object, CAP(parts->object), "%s%s", path[0] ? path : "/", query);
    return 1;
}

// One GET of the request with one read of at most toRead bytes of the reply
// (reply holds toRead + 1). The number of bytes read, -1 when the request failed.
static int FetchReply(const char *agent, const char *caller, const char *request, char *reply, DWORD toRead)
{
    reply[0] = '\0';
    RequestParts parts;
    HINTERNET session = NULL, connection = NULL, page = NULL;
    int got = -1;
    if (!SplitRequest(request, &parts)) {
        TraceFailure(caller, "InternetCrackUrlA");
        goto done;
    }
    session = InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    if (!session) {
        TraceFailure(caller, "InternetOpenA");
        goto done;
    }
    LimitWaits(session, caller);
    connection = InternetConnectA(session, parts.host, parts.port, NULL, NULL, INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection) {
        TraceFailure(caller, "InternetConnectA");
        goto done;
    }
    LimitWaits(connection, caller);
    page = HttpOpenRequestA(connection, "GET", parts.object, NULL, NULL, NULL,
                            REPORT_FLAGS | (parts.secure ? INTERNET_FLAG_SECURE : 0), 0);
    if (!page) {
        TraceFailure(caller, "HttpOpenRequestA");
        goto done;
    }
    LimitWaits(page, caller);
    if (!HttpSendRequestA(page, NULL, 0, NULL, 0)) {
        TraceFailure(caller, "HttpSendRequestA");
        goto done;
    }
    DWORD read;
    read = 0;
    if (InternetReadFile(page, reply, toRead, &read)) {
        reply[read <= toRead ? read : toRead] = '\0';
        got = (int)read;
    } else {
        TraceFailure(caller, "InternetReadFile");
    }
done:
    if (page)
        InternetCloseHandle(page);
    if (connection)
        InternetCloseHandle(connection);
    if (session)
        InternetCloseHandle(session);
    return got;
}

// A file reported again right after itself is left out, except every 51st time.
static int LeaveOutRepeat(const char *fileName)
{
    if (strcmp(fileName, gszLastReportFile) == 0) {
        int before = giReportRepeatCount++;
        if (before != REPEATS_LEFT_OUT)
            return 1;
    }
    giReportRepeatCount = 0;
    CopyText(gszLastReportFile, CAP(gszLastReportFile), fileName);
    return 0;
}

int SendDecisionReport(int code, const char *fileName, const char *title)
{
    if (!fileName)
        fileName = "";
    const ReportKind *kind = ReportKindOf(code);
    char request[REPORT_BASE_MAX];
    // Without a configured server nothing is sent, and nothing counts as sent.
    if (GetReportBase(kind, request, CAP(request)) <= 0)
        return REPLY_NOT_SENT;
    if (LeaveOutRepeat(fileName))
        return REPLY_NOT_SENT;

    char reportId[REPORT_ID_MAX];
    AppendPart(request, CAP(request), "file=", fileName);
    AppendPart(request, CAP(request), "&title=", title);
    AppendPart(request, CAP(request), "&version=", BRACKMOOR_VERSION);
    AppendPart(request, CAP(request), "&rm=", code == DECISION_REMOVED_FOR_GOOD ? "1" : "0");
    if (GetRegString(HKEY_LOCAL_MACHINE, BRACKMOOR_KEY, REPORT_ID_VALUE, reportId, CAP(reportId)) > 0)
        AppendPart(request, CAP(request), "&bmid=", reportId);
    if (kind->trace)
        TestLog(kind->trace, request);

    char reply[DECISION_REPLY_BYTES + 1];
    if (FetchReply("Brackmoor", "SendDecisionReport", request, reply, DECISION_REPLY_BYTES) <= 0)
        return 0;
    return (unsigned char)reply[0];
}

// The file name the report carries: the program of a command line, else the
// last part of whatever path the item has.
static void ReportFileName(const char *path, char *out, size_t cap)
{
    if (GetProgramFileName(path, out, cap) > 0)
        return;
    const char *slash = strrchr(path, '\\');
    CopyText(out, cap, slash ? slash + 1 : path);
}

int ReportDecision(const char *name, const char *path, int code)
{
    if (giCloudData == 0)
        return REPLY_NOT_SENT;
    char title[TITLE_MAX], fileName[MAX_PATH];
    CopyText(title, CAP(title), name ? name : "");
    ReportFileName(path ? path : "", fileName, CAP(fileName));

    int reply = SendDecisionReport(code, fileName, title);
    if (reply == REPLY_NOT_SENT)
        return reply;
    // Written only when it changes: every write makes the next pass read all
    // the options again, which starts the countdowns over.
    int available = ReadOptionInt("NewVersionAvailable", 0);
    if (reply == REPLY_NEW_VERSION) {
        if (available < 1) {
            WriteOptionInt("NewVersionAvailable", 1);
            TestLog("ReportDecision", "New version available");
        }
    } else if (available >= 1) {
        WriteOptionInt("NewVersionAvailable", 0);
    }
    return reply;
}

void SendHistoryData(const char *action, const char *type, const char *name, const char *path)
{
    char request[REPORT_REQUEST_LIMIT + 1];
    if (GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, HISTORY_SERVER_VALUE, request, HISTORY_BASE_MAX) <= 0)
        return;
    static const char *const Identity[][2] = {
        {"&send_to=", "admin_email"}, {"&group=", "admin_company"}, {"&name=", "User"}};
    for (const auto &part : Identity) {
        char value[IDENTITY_MAX];
        if (GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, part[1], value, CAP(value)) <= 0)
            value[0] = '\0';
        AppendPart(request, CAP(request), part[0], value);
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    char timeText[HISTORY_TIME_TEXT_MAX], location[LOCATION_MAX];
    FormatHistoryTime(now, timeText, CAP(timeText));
    if (GetLangString(634, LOCATION_MAX, location) <= 0 || !location[0])
        CopyText(location, CAP(location), "en");
    AppendPart(request, CAP(request), "&time=", timeText);
    AppendPart(request, CAP(request), "&action=", action);
    AppendPart(request, CAP(request), "&type=", type);
    AppendPart(request, CAP(request), "&title=", name);
    AppendPart(request, CAP(request), "&path=", path);
    AppendPart(request, CAP(request), "&loc=", location);

    char reply[HISTORY_REPLY_BYTES + 1];
    FetchReply("History", "SendHistoryData", request, reply, HISTORY_REPLY_BYTES);
}
