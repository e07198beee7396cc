#include "support/syslog_collector.h"

#include <ws2tcpip.h>

#include <algorithm>

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
};

sockaddr_in Loopback(int port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((u_short)port);
    return address;
}

int PortOf(SOCKET s)
{
    sockaddr_in address = {};
    int size = sizeof(address);
    getsockname(s, (sockaddr *)&address, &size);
    return ntohs(address.sin_port);
}

bool Readable(SOCKET s, DWORD ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait = {(long)(ms / 1000), (long)(ms % 1000) * 1000};
    return select(0, &set, NULL, NULL, &wait) > 0;
}

bool PrintableField(const std::string &field, size_t max)
{
    if (field.empty() || field.size() > max)
        return false;
    for (unsigned char c : field)
        if (c < 33 || c > 126)
            return false;
    return true;
}

}  // namespace

static Winsock winsock;

SOCKET ListenOn(int port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(port);
    if (bind(s, (sockaddr *)&address, sizeof(address)) != 0 || listen(s, 4) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

int FreeTcpPort()
{
    SOCKET s = ListenOn(0);
    int port = PortOf(s);
    closesocket(s);
    return port;
}

std::string Utf8Of(const std::string &ansi)
{
    if (ansi.empty())
        return "";
    std::wstring wide(ansi.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, ansi.data(), (int)ansi.size(), &wide[0], (int)wide.size()));
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &utf8[0], (int)utf8.size(), NULL, NULL));
    return utf8;
}

SyslogCollector::SyslogCollector()
{
    udp_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in address = Loopback(0);
    bind(udp_, (sockaddr *)&address, sizeof(address));
    udpPort = PortOf(udp_);
    listener_ = ListenOn(0);
    tcpPort = PortOf(listener_);
}

SyslogCollector::~SyslogCollector()
{
    for (SOCKET s : connections_)
        closesocket(s);
    closesocket(udp_);
    closesocket(listener_);
}

std::vector<std::string> SyslogCollector::ReceiveUdp(size_t count, DWORD ms)
{
    std::vector<std::string> got;
    for (DWORD start = GetTickCount(); got.size() < count && GetTickCount() - start < ms;) {
        if (!Readable(udp_, 100))
            continue;
        char buffer[65536];
        int n = recv(udp_, buffer, sizeof(buffer), 0);
        if (n > 0)
            got.emplace_back(buffer, n);
    }
    return got;
}

std::vector<std::string> SyslogCollector::ReceiveTcp(size_t count, DWORD ms)
{
    std::vector<std::string> got;
    for (DWORD start = GetTickCount(); got.size() < count && GetTickCount() - start < ms;) {
        if (Readable(listener_, 0))
            connections_.push_back(accept(listener_, NULL, NULL));
        for (SOCKET s : connections_) {
            char buffer[65536];
            if (Readable(s, 50)) {
                int n = recv(s, buffer, sizeof(buffer), 0);
                if (n > 0)
                    pending_.append(buffer, n);
            }
        }
        // Frames: the length in digits, one blank, that many bytes.
        size_t blank;
        while ((blank = pending_.find(' ')) != std::string::npos) {
            size_t length = strtoul(pending_.substr(0, blank).c_str(), NULL, 10);
            if (pending_.size() < blank + 1 + length)
                break;
            got.push_back(pending_.substr(blank + 1, length));
            pending_.erase(0, blank + 1 + length);
        }
        Sleep(10);
    }
    return got;
}

std::string ParseSyslog(const std::string &text, SyslogMessage &out)
{
    size_t at = 0;
    auto token = [&](size_t max, std::string &field) {
        size_t blank = text.find(' ', at);
        if (blank == std::string::npos)
            return false;
        field = text.substr(at, blank - at);
        at = blank + 1;
        return PrintableField(field, max);
    };
    if (text.empty() || text[0] != '<')
        return "no priority";
    size_t close = text.find('>');
    if (close < 2 || close > 4)
        return "bad priority";
    out.priority = atoi(text.substr(1, close - 1).c_str());
    if (out.priority > 191 || text.compare(close + 1, 2, "1 ") != 0)
        return "bad priority or version";
    at = close + 3;
    if (!token(64, out.timestamp) || out.timestamp.size() < 20 || out.timestamp[4] != '-' ||
        out.timestamp[10] != 'T' || out.timestamp[13] != ':' ||
        (out.timestamp.back() != 'Z' && out.timestamp[out.timestamp.size() - 6] != '+' &&
         out.timestamp[out.timestamp.size() - 6] != '-'))
        return "bad timestamp " + out.timestamp;
    if (!token(255, out.host) || !token(48, out.app) || !token(128, out.procid) || !token(32, out.msgid))
        return "bad header field";
    if (at >= text.size() || text[at] != '[')
        return "no structured data";
    size_t idEnd = text.find_first_of(" ]", at);
    if (idEnd == std::string::npos)
        return "bad SD-ID";
    out.sdId = text.substr(at + 1, idEnd - at - 1);
    at = idEnd;
    while (at < text.size() && text[at] == ' ') {
        size_t equals = text.find('=', at);
        if (equals == std::string::npos || equals + 1 >= text.size() || text[equals + 1] != '"')
            return "bad SD-PARAM";
        std::string name = text.substr(at + 1, equals - at - 1), value;
        if (!PrintableField(name, 32))
            return "bad SD-NAME " + name;
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
    if (text.compare(at, 2, "] ") != 0)
        return "structured data not closed";
    at += 2;
    if (text.compare(at, 3, "\xEF\xBB\xBF") != 0)
        return "no byte order mark";
    out.msg = text.substr(at + 3);
    return "";
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
    for (size_t extra = 6; extra < fields.size(); extra++)
        fields[5] += "\t" + fields[extra];
    fields.resize(std::min<size_t>(fields.size(), 6));
    if (fields.size() != 6)
        return "history line without six fields: " + historyLine;
    char machine[MAX_COMPUTERNAME_LENGTH + 1] = "", user[256] = "";
    DWORD size = sizeof(machine);
    GetComputerNameA(machine, &size);
    size = sizeof(user);
    GetUserNameA(user, &size);
    const std::pair<std::string, std::string> expected[] = {
        {"time", fields[0]}, {"action", fields[1]}, {"type", fields[2]}, {"name", fields[3]},
        {"path", fields[4]}, {"detail", fields[5]}, {"machine", machine}, {"user", user},
    };
    for (const auto &param : expected)
        if (m.params[param.first] != Utf8Of(param.second))
            return param.first + " is \"" + m.params[param.first] + "\", history has \"" + param.second + "\"";
    if (m.params.size() != sizeof expected / sizeof expected[0])
        return "other parameters than the history's";
    if (m.msgid != fields[1] || m.app != "Brackmoor" || m.sdId.find('@') == std::string::npos)
        return "header " + m.app + " " + m.msgid + " " + m.sdId;
    if (m.msg != Utf8Of(historyLine))
        return "message \"" + m.msg + "\"";
    return "";
}
