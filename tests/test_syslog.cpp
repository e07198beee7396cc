// History lines sent to a collector on the loopback address over UDP and TCP, read back as
// RFC 5424; a collector that is down costs one try and no history line.
#include <winsock2.h>

#include <gtest/gtest.h>
#include <string>

#include "common/history.h"
#include "common/options.h"
#include "common/syslog.h"
#include "support/syslog_collector.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

const DWORD kWait = 10000;

class Syslog : public BrackmoorTest {
protected:
    void TearDown() override
    {
        CloseSyslog();
        giSyslogRetryMs = retry_;
        BrackmoorTest::TearDown();
    }
    void Configure(int port, const char *protocol, const char *facility = "")
    {
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogHost", "127.0.0.1");
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogPort", std::to_string(port).c_str());
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogProtocol", protocol);
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogFacility", facility);
    }
    int retry_ = giSyslogRetryMs;
};

TEST_F(Syslog, EveryHistoryLineReachesTheCollectorAsRfc5424OverUdpAndTcp)
{
    SyslogCollector collector;
    // The fields as callers give them, with the characters a parameter value must escape.
    const struct {
        int action, type;
        const char *name, *path, *detail;
    } lines[] = {
        {LOG_START_ALERT, 11, "Updater \"beta\"", "C:\\Tools\\up.exe -x ]", "Updater [service]"},
        {LOG_START_REMOVE, 11, "Caf\xE9 \\ Bar", "C:\\Caf\xE9\\bar.exe", ""},
        {LOG_HIDDEN_ALERT, 370, "x.dll", "C:\\Windows\\x.dll", "tab\tinside"},
    };
    const struct {
        const char *protocol, *facility;
        bool tcp;
        int port, priority;
    } rounds[] = {{"udp", "", false, collector.udpPort, 1 * 8 + 5}, {"TCP", "16", true, collector.tcpPort, 16 * 8 + 5}};
    size_t written = 0;
    for (const auto &round : rounds) {
        SCOPED_TRACE(round.protocol);
        Configure(round.port, round.protocol, round.facility);
        for (const auto &line : lines)
            WriteLog(line.action, line.type, line.name, line.path, line.detail);
        std::vector<std::string> got = collector.Receive(round.tcp, 3, kWait);
        std::vector<std::string> history = HistoryFileLines();
        ASSERT_EQ(written + 3, history.size());
        ASSERT_EQ(3u, got.size());
        for (size_t i = 0; i < got.size(); i++) {
            SyslogMessage m;
            EXPECT_EQ("", CompareWithHistory(got[i], history[written + i], &m)) << "line " << i;
            EXPECT_EQ(round.priority, m.priority) << "line " << i << ": notice, of the configured facility";
            EXPECT_EQ(std::to_string(GetCurrentProcessId()), m.procid);
        }
        written += 3;
    }
}

TEST_F(Syslog, ACollectorThatIsDownCostsOneTryAndNoHistoryLine)
{
    // None configured: nothing leaves.
    int sent = giSyslogSent, dropped = giSyslogDropped, connects = giSyslogConnects;
    WriteLog(LOG_START_ALERT, 11, "None", "C:\\none.exe", "");
    EXPECT_EQ(sent, giSyslogSent);
    EXPECT_EQ(dropped, giSyslogDropped);

    int port = FreeTcpPort();
    Configure(port, "tcp");
    for (int i = 0; i < 3; i++)
        WriteLog(LOG_START_ALERT, 11, ("Down " + std::to_string(i)).c_str(), "C:\\down.exe", "");
    EXPECT_EQ(4, HistoryLinesWith({"START_Alert"})) << "every line is in the file";
    EXPECT_EQ(connects + 1, giSyslogConnects) << "no new connection while the last one failed just now";
    EXPECT_EQ(dropped + 3, giSyslogDropped);

    // The collector comes up; once the wait is over the next line reaches it.
    SyslogCollector back(port);
    ASSERT_EQ(port, back.tcpPort);
    giSyslogRetryMs = 0;
    WriteLog(LOG_START_REMOVE, 11, "Back", "C:\\back.exe", "");
    std::vector<std::string> got = back.Receive(true, 1, kWait);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ("", CompareWithHistory(got[0], HistoryFileLines().back()));
    EXPECT_EQ(sent + 1, giSyslogSent);
}

}  // namespace
