#include <winsock2.h>
#include <ws2tcpip.h>

#include "common/syslog.h"

#include <string.h>

#include "common/history.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"

#define DEFAULT_PORT 514
#define DEFAULT_FACILITY 1          // user-level messages
#define SEVERITY_NOTICE 5
#define HOST_MAX 256
#define CONNECT_WAIT_MS 250         // what a TCP connection or a stalled send may take
#define RETRY_MAX_MS 600000
#define MSGID_MAX 32
#define UTF8_MAX 4096
#define BOM "\xEF\xBB\xBF"

// The history fields as parameters: each value bounded (in characters of the
// system code page) so that the whole element fits the message even when every
// character needs three bytes and an escape.
#define NAME_CHARS 127
#define PATH_CHARS 259
#define DETAIL_CHARS 511
#define PEOPLE_CHARS 127

int giSyslogSent, giSyslogDropped, giSyslogConnects;
int giSyslogRetryMs = 30000;

typedef struct SyslogConfig {
    char host[HOST_MAX];
    int port;
    int tcp;
    int facility;
} SyslogConfig;

// The link to the collector, kept between history lines.
static struct {
    int winsockUp;
    SyslogConfig config;            // what the socket and the address are for
    SOCKET sock;
    int connected;                  // TCP: the connection is up
    int resolved;
    struct sockaddr_storage address;
    int addressLength;
    int failures;                   // TCP connections failed in a row
    DWORD failedAt;
    int namesKnown;
    char hostName[HOST_MAX], machine[MAX_COMPUTERNAME_LENGTH + 1], user[PEOPLE_CHARS + 1];
} Link = {0, {"", 0, 0, 0}, INVALID_SOCKET, 0, 0, {}, 0, 0, 0, 0, "", "", ""};

static int ReadSyslogConfig(SyslogConfig *config)
{
    char text[REG_TEXT_MAX];
    memset(config, 0, sizeof(*config));
    if (GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogHost", text, CAP(text)) <= 0 ||
        !CopyText(config->host, CAP(config->host), text))
        return 0;
    config->port = DEFAULT_PORT;
    if (GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogPort", text, CAP(text)) > 0) {
        int port = TextToInt(text);
        if (port > 0 && port <= 65535)
            config->port = port;
        else
            TestLog("MyError:  ReadSyslogConfig SyslogPort", text);
    }
    config->tcp = GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogProtocol", text, CAP(text)) > 0 &&
                  StrEqualNoCase(text, "tcp") == 0;
    config->facility = DEFAULT_FACILITY;
    if (GetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogFacility", text, CAP(text)) > 0) {
        int facility = TextToInt(text);
        if (facility >= 0 && facility <= 23)
            config->facility = facility;
        else
            TestLog("MyError:  ReadSyslogConfig SyslogFacility", text);
    }
    return 1;
}

static void TraceSocketError(const char *tag)
{
    SetLastError((DWORD)WSAGetLastError());
    TraceLastError(tag);
}

static void DropConnection(void)
{
    if (Link.sock != INVALID_SOCKET)
        closesocket(Link.sock);
    Link.sock = INVALID_SOCKET;
    Link.connected = 0;
}

void CloseSyslog(void)
{
    DropConnection();
    Link.resolved = 0;
    Link.failures = 0;
    memset(&Link.config, 0, sizeof(Link.config));
    if (Link.winsockUp)
        WSACleanup();
    Link.winsockUp = 0;
}

static int StartWinsock(void)
{
    if (!Link.winsockUp) {
        WSADATA data;
        int error = WSAStartup(MAKEWORD(2, 2), &data);
        if (error != 0) {
            SetLastError((DWORD)error);
            TraceLastError("MyError:  SendHistoryToSyslog WSAStartup");
            return 0;
        }
        Link.winsockUp = 1;
    }
    return 1;
}

// Printable US-ASCII without blanks, as the header fields must be; "-" for nothing.
static void HeaderField(const char *text, size_t max, char *out, size_t cap)
{
    size_t n = 0;
    for (; text && text[n] && n < max && n + 1 < cap; n++) {
        unsigned char c = (unsigned char)text[n];
        out[n] = (c > 32 && c < 127) ? (char)c : '_';
    }
    out[n] = '\0';
    if (n == 0)
        CopyText(out, cap, "-");
}

static void LearnNames(void)
{
    if (Link.namesKnown)
        return;
    Link.namesKnown = 1;
    DWORD size = CAP(Link.machine);
    if (!GetComputerNameA(Link.machine, &size))
        Link.machine[0] = '\0';
    char full[HOST_MAX] = "";
    size = CAP(full);
    // The fully qualified name where the machine has one, as the header prefers.
    if (!GetComputerNameExA(ComputerNameDnsFullyQualified, full, &size) || !full[0])
        CopyText(full, CAP(full), Link.machine);
    HeaderField(full, HOST_MAX - 1, Link.hostName, CAP(Link.hostName));
    size = CAP(Link.user);
    if (!GetUserNameA(Link.user, &size))
        Link.user[0] = '\0';
}

// Appends text of the system code page as UTF-8, at most maxChars of it; with
// escape, '"', '\' and ']' get a backslash as parameter values need. A character
// or escape that does not fit whole is left out with all that follows.
static void AppendUtf8(char *out, size_t cap, const char *text, int maxChars, int escape)
{
    WCHAR wide[UTF8_MAX];
    char utf8[3 * UTF8_MAX];
    int chars = (int)strlen(text ? text : "");
    if (chars > maxChars)
        chars = maxChars;
    int wideLength = chars ? MultiByteToWideChar(CP_ACP, 0, text, chars, wide, UTF8_MAX) : 0;
    int length = wideLength ? WideCharToMultiByte(CP_UTF8, 0, wide, wideLength, utf8, CAP(utf8), NULL, NULL) : 0;
    size_t used = strlen(out);
    for (int i = 0; i < length;) {
        int unit = 1;
        while (i + unit < length && ((unsigned char)utf8[i + unit] & 0xC0) == 0x80)
            unit++;
        int escaped = escape && (utf8[i] == '"' || utf8[i] == '\\' || utf8[i] == ']');
        if (used + (size_t)unit + (size_t)escaped + 1 > cap)
            break;
        if (escaped)
            out[used++] = '\\';
        memcpy(out + used, utf8 + i, (size_t)unit);
        used += (size_t)unit;
        i += unit;
    }
    out[used] = '\0';
}

static void AppendParam(char *out, size_t cap, const char *name, const char *value, int maxChars)
{
    AppendFormat(out, cap, " %s=\"", name);
    AppendUtf8(out, cap, value, maxChars, 1);
    AppendText(out, cap, "\"");
}

// One history record as a syslog message, without framing; its length.
static int FormatSyslogMessage(int facility, int action, int type, const char *name, const char *path,
                               const char *detail, const char *line, char *out, size_t cap)
{
    LearnNames();
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    char msgid[MSGID_MAX + 1];
    HeaderField(HistoryActionName(action), MSGID_MAX, msgid, CAP(msgid));
    FormatText(out, cap, "<%d>1 %04u-%02u-%02uT%02u:%02u:%02u.%03uZ %s %s %lu %s [%s", facility * 8 + SEVERITY_NOTICE,
               utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond, utc.wMilliseconds,
               Link.hostName, SYSLOG_APP_NAME, (unsigned long)GetCurrentProcessId(), msgid, SYSLOG_SD_ID);

    // The history line's own fields, then who and where.
    char timeText[HISTORY_LINE_MAX] = "";
    const char *tab = line ? strchr(line, '\t') : NULL;
    if (tab)
        CopyTextN(timeText, CAP(timeText), line, (size_t)(tab - line));
    AppendParam(out, cap, "time", timeText, NAME_CHARS);
    AppendParam(out, cap, "action", HistoryActionName(action), NAME_CHARS);
    AppendParam(out, cap, "type", HistoryTypeName(type), NAME_CHARS);
    AppendParam(out, cap, "name", name, NAME_CHARS);
    AppendParam(out, cap, "path", path, PATH_CHARS);
    AppendParam(out, cap, "detail", detail, DETAIL_CHARS);
    AppendParam(out, cap, "user", Link.user, PEOPLE_CHARS);
    AppendParam(out, cap, "machine", Link.machine, PEOPLE_CHARS);
    AppendText(out, cap, "] " BOM);

    // The line itself as the message, without its line end.
    char message[HISTORY_LINE_MAX];
    CopyText(message, CAP(message), line ? line : "");
    size_t end = strlen(message);
    while (end > 0 && (message[end - 1] == '\r' || message[end - 1] == '\n'))
        message[--end] = '\0';
    AppendUtf8(out, cap, message, HISTORY_LINE_MAX, 0);
    return (int)strlen(out);
}

// The collector's address, from the numbers when it is written as one, else by a
// name lookup (which may wait on the name server: a deployment that cannot have
// that writes the address).
static int ResolveCollector(const SyslogConfig *config)
{
    if (Link.resolved)
        return 1;
    char port[16];
    FormatText(port, CAP(port), "%d", config->port);
    struct addrinfo hints, *found = NULL;
    memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = config->tcp ? SOCK_STREAM : SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST;
    int error = getaddrinfo(config->host, port, &hints, &found);
    if (error != 0) {
        hints.ai_flags = 0;
        error = getaddrinfo(config->host, port, &hints, &found);
    }
    if (error != 0 || !found || found->ai_addrlen > sizeof(Link.address)) {
        SetLastError((DWORD)error);
        TraceLastError("MyError:  SendHistoryToSyslog getaddrinfo");
        if (found)
            freeaddrinfo(found);
        return 0;
    }
    memcpy(&Link.address, found->ai_addr, found->ai_addrlen);
    Link.addressLength = (int)found->ai_addrlen;
    freeaddrinfo(found);
    Link.resolved = 1;
    return 1;
}

static int OpenSocket(int tcp)
{
    if (Link.sock != INVALID_SOCKET)
        return 1;
    Link.sock = socket(Link.address.ss_family, tcp ? SOCK_STREAM : SOCK_DGRAM, tcp ? IPPROTO_TCP : IPPROTO_UDP);
    if (Link.sock == INVALID_SOCKET) {
        TraceSocketError("MyError:  SendHistoryToSyslog socket");
        return 0;
    }
    // Nothing on this socket ever waits: a full buffer drops the message instead.
    u_long nonBlocking = 1;
    ioctlsocket(Link.sock, FIONBIO, &nonBlocking);
    return 1;
}

// Waits up to ms for the socket to become writable; 1 when it did.
static int WaitWritable(DWORD ms)
{
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(Link.sock, &writable);
    FD_SET(Link.sock, &failed);
    struct timeval wait = {(long)(ms / 1000), (long)(ms % 1000) * 1000};
    return select(0, NULL, &writable, &failed, &wait) > 0 && FD_ISSET(Link.sock, &writable);
}

// A connection the collector closed reads as readable: its end (or reset) is waiting.
static int PeerClosed(void)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Link.sock, &readable);
    struct timeval now = {0, 0};
    if (select(0, &readable, NULL, NULL, &now) <= 0)
        return 0;
    char byte;
    int got = recv(Link.sock, &byte, 1, MSG_PEEK);
    return got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK);
}

// After a failure the collector is left alone for a while, longer each time.
static int InRetryWait(void)
{
    if (Link.failures <= 0)
        return 0;
    DWORD wait = (DWORD)giSyslogRetryMs;
    for (int i = 1; i < Link.failures && wait < RETRY_MAX_MS; i++)
        wait *= 2;
    if (wait > RETRY_MAX_MS)
        wait = RETRY_MAX_MS;
    return GetTickCount() - Link.failedAt < wait;
}

// The collector could not be reached: the wait starts, and its name is looked up
// again afterwards (it may have moved).
static void Failed(void)
{
    DropConnection();
    Link.resolved = 0;
    Link.failures++;
    Link.failedAt = GetTickCount();
}

static int Connect(void)
{
    if (Link.connected && !PeerClosed())
        return 1;
    DropConnection();
    if (!OpenSocket(1))
        return 0;
    giSyslogConnects++;
    int done = connect(Link.sock, (struct sockaddr *)&Link.address, Link.addressLength) == 0;
    if (!done && WSAGetLastError() == WSAEWOULDBLOCK && WaitWritable(CONNECT_WAIT_MS)) {
        int error = 0, size = sizeof(error);
        done = getsockopt(Link.sock, SOL_SOCKET, SO_ERROR, (char *)&error, &size) == 0 && error == 0;
    }
    if (!done) {
        TraceSocketError("MyError:  SendHistoryToSyslog connect");
        Failed();
        return 0;
    }
    Link.connected = 1;
    Link.failures = 0;
    return 1;
}

// One frame "<length> <message>" on the connection; a frame that cannot go whole
// ends the connection, since half a frame would garble the next.
static int SendFrame(const char *message, int length)
{
    char frame[SYSLOG_MESSAGE_MAX + 16];
    int framed = FormatText(frame, CAP(frame), "%d %s", length, message) ? (int)strlen(frame) : 0;
    DWORD start = GetTickCount();
    for (int sent = 0; framed > 0 && sent < framed;) {
        int n = send(Link.sock, frame + sent, framed - sent, 0);
        if (n > 0) {
            sent += n;
            continue;
        }
        DWORD spent = GetTickCount() - start;
        if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK && spent < CONNECT_WAIT_MS &&
            WaitWritable(CONNECT_WAIT_MS - spent))
            continue;
        TraceSocketError("MyError:  SendHistoryToSyslog send");
        DropConnection();
        return 0;
    }
    return framed > 0;
}

static int SendToCollector(const SyslogConfig *config, const char *message, int length)
{
    if (InRetryWait())
        return 0;
    if (!ResolveCollector(config)) {
        Failed();
        return 0;
    }
    if (config->tcp)
        return Connect() && SendFrame(message, length);
    // A socket that had an earlier datagram refused may report that now: one more
    // try on a new socket; a datagram the stack will not take is lost.
    for (int attempt = 0; attempt < 2; attempt++) {
        if (!OpenSocket(0))
            return 0;
        if (sendto(Link.sock, message, length, 0, (struct sockaddr *)&Link.address, Link.addressLength) == length)
            return 1;
        TraceSocketError("MyError:  SendHistoryToSyslog sendto");
        DropConnection();
    }
    return 0;
}

void SendHistoryToSyslog(int action, int type, const char *name, const char *path, const char *detail,
                         const char *line)
{
    // Without a collector the link stays as it was: a setting taken away and put
    // back does not start the wait after a failure over.
    SyslogConfig config;
    if (!ReadSyslogConfig(&config) || !StartWinsock())
        return;
    // Another collector: the link starts over.
    if (strcmp(config.host, Link.config.host) != 0 || config.port != Link.config.port ||
        config.tcp != Link.config.tcp) {
        DropConnection();
        Link.resolved = 0;
        Link.failures = 0;
        Link.config = config;
    }
    char message[SYSLOG_MESSAGE_MAX];
    int length = FormatSyslogMessage(config.facility, action, type, name, path, detail, line, message, CAP(message));
    if (SendToCollector(&config, message, length))
        giSyslogSent++;
    else
        giSyslogDropped++;
}
