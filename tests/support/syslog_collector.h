// A syslog collector on the loopback address for the tests: a UDP socket and a TCP
// listener on ports of the system's choosing, and a strict reader of RFC 5424.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct SyslogMessage {
    int priority = -1;
    std::string host, app, procid, msgid, sdId;
    std::map<std::string, std::string> params;  // unescaped
    std::string msg;                            // after the byte order mark
};

class SyslogCollector {
public:
    // tcpPort: the port to listen on (0: one the system picks).
    explicit SyslogCollector(int tcpPort = 0);
    ~SyslogCollector();
    int udpPort = 0, tcpPort = 0;
    // The messages that came within ms (until count of them): datagrams, or the
    // octet-counted frames of the connections accepted meanwhile.
    std::vector<std::string> Receive(bool tcp, size_t count, DWORD ms);

private:
    SOCKET udp_ = INVALID_SOCKET, listener_ = INVALID_SOCKET;
    std::vector<SOCKET> connections_;
    std::string pending_;
};

// A TCP listener on a loopback port (0: one the system picks) and its port.
SOCKET ListenOn(int port, int *chosen = nullptr);
// A loopback TCP port nobody listens on.
int FreeTcpPort();
// The history file's lines, without their line ends.
std::vector<std::string> HistoryFileLines();
// "" when the message is well-formed RFC 5424 (one structured-data element, the
// message behind a byte order mark) and carries the history line: its fields as the
// message id and parameters, the line (in UTF-8) as the message, this machine and
// user; else what is wrong.
std::string CompareWithHistory(const std::string &message, const std::string &historyLine,
                               SyslogMessage *parsed = nullptr);
