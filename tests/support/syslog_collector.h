// A syslog collector on the loopback address for the tests: a UDP socket and a TCP
// listener on ports of the system's choosing, and a reader of RFC 5424 messages
// that refuses what a strict collector would refuse.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct SyslogMessage {
    int priority = -1;
    std::string timestamp, host, app, procid, msgid, sdId;
    std::map<std::string, std::string> params;  // unescaped
    std::string msg;                            // after the byte order mark
};

// "" when text is a well-formed RFC 5424 message with one structured-data
// element and a UTF-8 message behind a byte order mark; else what is wrong.
std::string ParseSyslog(const std::string &text, SyslogMessage &out);

class SyslogCollector {
public:
    SyslogCollector();
    ~SyslogCollector();
    int udpPort = 0, tcpPort = 0;
    // Messages received within ms, until count of them have come.
    std::vector<std::string> ReceiveUdp(size_t count, DWORD ms);
    // Accepts connections and reads octet-counted frames.
    std::vector<std::string> ReceiveTcp(size_t count, DWORD ms);

private:
    SOCKET udp_ = INVALID_SOCKET, listener_ = INVALID_SOCKET;
    std::vector<SOCKET> connections_;
    std::string pending_;
};

// A loopback TCP port nobody listens on (taken and given back at once), and a
// listener on a given port.
int FreeTcpPort();
SOCKET ListenOn(int port);
// Text of the system code page as UTF-8.
std::string Utf8Of(const std::string &ansi);

// The history file's lines, without their line ends.
std::vector<std::string> HistoryFileLines();
// "" when the message is well formed and carries the history line: its fields as
// the message id and parameters, the line as the message, this machine and user;
// else what differs.
std::string CompareWithHistory(const std::string &message, const std::string &historyLine,
                               SyslogMessage *parsed = nullptr);
