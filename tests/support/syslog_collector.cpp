#include "support/syslog_collector.h"

#include <ws2tcpip.h>

#include <regex>

#include "support/system_state.h"
#include "support/test_env.h"

namespace {

struct Winsock {
    Winsock()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~Winsock() { WSACleanup(); }
} winsock;

SOCKET Bound(int type, int port, int *chosen)
{
    SOCKET s = socket(AF_INET, type, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((u_short)port);
    int size = sizeof(address);
    if (bind(s, (sockaddr *)&address, size) != 0 || (type == SOCK_STREAM && listen(s, 4) != 0)) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    getsockname(s, (sockaddr *)&address, &size);
    if (chosen)
        *chosen = ntohs(address.sin_port);
    return s;
}

bool Readable(SOCKET s, long ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait = {ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, NULL, NULL, &wait) > 0;
}

std::string Utf8Of(const std::string &ansi)
{
    std::wstring wide(ansi.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, ansi.data(), (int)ansi.size(), &wide[0], (int)wide.size()));
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &utf8[0], (int)utf8.size(), NULL, NULL));
    return utf8;
}

// "" when text is a message as RFC 5424 has it; else what is wrong.
std::string ParseSyslog(const std::string &text, SyslogMessage &out)
{
    // PRI, VERSION 1, an RFC 3339 TIMESTAMP, then HOSTNAME, APP-NAME, PROCID and MSGID
    // (printable, no blanks, at most 255, 48, 128 and 32 long) and an SD-ID.
    static const std::regex header("<([0-9]{1,3})>1 [0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}"
                                   "(\\.[0-9]{1,6})?(Z|[+-][0-9]{2}:[0-9]{2}) ([!-~]{1,255}) ([!-~]{1,48}) "
                                   "([!-~]{1,128}) ([!-~]{1,32}) \\[([^ =\\]\"]{1,32})");
    std::smatch m;
    if (!std::regex_search(text, m, header, std::regex_constants::match_continuous))
        return "bad header";
    out.priority = std::stoi(m[1]);
    out.host = m[4], out.app = m[5], out.procid = m[6], out.msgid = m[7], out.sdId = m[8];
    size_t at = m.length(0);
    while (text.compare(at, 1, " ") == 0) {
        size_t equals = text.find("=\"", at);
        if (equals == std::string::npos)
            return "bad SD-PARAM";
        std::string name = text.substr(at + 1, equals - at - 1), value;
        for (at = equals + 2; at < text.size() && text[at] != '"'; at++) {
            if (text[at] == ']')
                return "unescaped ] in " + name;
            if (text[at] == '\\' && at + 1 < text.size() && strchr("\"\\]", text[at + 1]))
                at++;
            value += text[at];
        }
        if (at >= text.size())
            return "unterminated value of " + name;
        out.params[name] = value;
        at++;
    }
    if (out.priority > 191 || text.compare(at, 5, "] \xEF\xBB\xBF") != 0)
        return "bad priority, or no end of the structured data and byte order mark";
    out.msg = text.substr(at + 5);
    return "";
}

}  // namespace

SOCKET ListenOn(int port, int *chosen)
{
    return Bound(SOCK_STREAM, port, chosen);
}

int FreeTcpPort()
{
    int port = 0;
    closesocket(ListenOn(0, &port));
    return port;
}

SyslogCollector::SyslogCollector(int port)
{
    udp_ = Bound(SOCK_DGRAM, 0, &udpPort);
    listener_ = ListenOn(port, &tcpPort);
}

SyslogCollector::~SyslogCollector()
{
    for (SOCKET s : connections_)
        closesocket(s);
    closesocket(udp_);
    closesocket(listener_);
}

std::vector<std::string> SyslogCollector::Receive(bool tcp, size_t count, DWORD ms)
{
    std::vector<std::string> got;
    char buffer[65536];
    for (DWORD start = GetTickCount(); got.size() < count && GetTickCount() - start < ms;) {
        if (!tcp) {
            int n = Readable(udp_, 100) ? recv(udp_, buffer, sizeof(buffer), 0) : 0;
            if (n > 0)
                got.emplace_back(buffer, n);
            continue;
        }
        if (Readable(listener_, 0))
            connections_.push_back(accept(listener_, NULL, NULL));
        for (SOCKET s : connections_) {
            int n = Readable(s, 50) ? recv(s, buffer, sizeof(buffer), 0) : 0;
            if (n > 0)
                pending_.append(buffer, n);
        }
        // Frames: the length in digits, one blank, that many bytes.
        for (size_t blank; (blank = pending_.find(' ')) != std::string::npos;) {
            size_t length = strtoul(pending_.c_str(), NULL, 10);
            if (pending_.size() < blank + 1 + length)
                break;
            got.push_back(pending_.substr(blank + 1, length));
            pending_.erase(0, blank + 1 + length);
        }
    }
    return got;
}

std::vector<std::string> HistoryFileLines()
{
    std::vector<std::string> lines = SplitText(HistoryText(), "\r\n");
    lines.pop_back();   // after the last line end
    return lines;
}

std::string CompareWithHistory(const std::string &message, const std::string &historyLine, SyslogMessage *parsed)
{
    SyslogMessage m;
    std::string why = ParseSyslog(message, m);
    if (!why.empty())
        return why + " in: " + message;
    if (parsed)
        *parsed = m;
    // The detail is the rest of the line: a tab inside a field is not escaped.
    std::vector<std::string> fields = SplitText(historyLine, "\t");
    if (fields.size() < 6)
        return "history line without six fields: " + historyLine;
    for (size_t extra = 6; extra < fields.size(); extra++)
        fields[5] += "\t" + fields[extra];
    char machine[MAX_COMPUTERNAME_LENGTH + 1] = "", user[256] = "";
    DWORD size = sizeof(machine);
    GetComputerNameA(machine, &size);
    size = sizeof(user);
    GetUserNameA(user, &size);
    const std::map<std::string, std::string> expected = {
        {"time", Utf8Of(fields[0])}, {"action", Utf8Of(fields[1])}, {"type", Utf8Of(fields[2])},
        {"name", Utf8Of(fields[3])}, {"path", Utf8Of(fields[4])},   {"detail", Utf8Of(fields[5])},
        {"machine", Utf8Of(machine)}, {"user", Utf8Of(user)},
    };
    if (m.params != expected)
        return "parameters differ from the history line in: " + message;
    if (m.msgid != fields[1] || m.app != "Brackmoor" || m.sdId.find('@') == std::string::npos)
        return "header " + m.app + " " + m.msgid + " " + m.sdId;
    if (m.msg != Utf8Of(historyLine))
        return "message \"" + m.msg + "\"";
    return "";
}
