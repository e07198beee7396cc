// The real monitor with a collector on the loopback address: signature lines in the
// alerts, and every history line at the collector over UDP and TCP, or kept when it is down.
#include <winsock2.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/options.h"
#include "resources/resource.h"
#include "support/e2e.h"
#include "support/syslog_collector.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

class SyslogEndToEnd : public StartupPlacesTest {
protected:
    void SetUp() override
    {
        StartupPlacesTest::SetUp();
        PrepareMonitor({"SuppressExtraAlerts", "ShowAlerts", "HideStartup", "Sound"}, {"RealtimeStartup", "Start"});
        signer_ = ReadWholeFile(BinFolder() + "\\signed\\signer.txt");
        ASSERT_FALSE(signer_.empty()) << "the signing fixture made no programs";
    }
    void TearDown() override
    {
        StopMonitor(run_);
        StartupPlacesTest::TearDown();
    }
    void Collector(int port, const char *protocol)
    {
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogHost", "127.0.0.1");
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogPort", std::to_string(port).c_str());
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "SyslogProtocol", protocol);
    }
    // Quick Scan; the alert it brings (nullptr when the pass ends without one).
    HWND Pass() { return QuickScanOrAlert(run_, {caption_}, &passes_); }
    // A Run entry for a copy of one of the signed programs is alerted with the line
    // and rejected, and the pass then ends.
    void RejectEntry(const char *name, const char *program, const std::string &line)
    {
        SCOPED_TRACE(name);
        std::string copy = TempFolder() + "\\" + program;
        ASSERT_TRUE(CopyFileA((BinFolder() + "\\signed\\" + program).c_str(), copy.c_str(), FALSE));
        Put(HKEY_CURRENT_USER, kRun, name, "\"" + copy + "\" -tray");
        HWND alert = Pass();
        ASSERT_NE(nullptr, alert);
        EXPECT_EQ(line, ControlText(alert, IDC_SIGNATURE));
        EXPECT_TRUE(PressToClose(alert, IDNO) && WaitQuickScanDone(passes_, kPassWait, caption_.c_str()))
            << "the pass ends after the answer";
        EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRun, name, KEY_WOW64_64KEY));
        EXPECT_EQ(1, HistoryLinesWith({"*START_Remove\tCURRENT_RUN\t", name}));
    }
    // The messages match the history lines from first on, one for one.
    void ExpectHistoryFrom(size_t first, const std::vector<std::string> &messages)
    {
        std::vector<std::string> history = HistoryFileLines();
        ASSERT_EQ(history.size() - first, messages.size());
        for (size_t i = 0; i < messages.size(); i++)
            EXPECT_EQ("", CompareWithHistory(messages[i], history[first + i])) << "history line " << first + i;
    }
    MonitorRun run_;
    std::string signer_, caption_ = LangText(718) + " - " + LangText(606);
    int passes_ = 0;
};

TEST_F(SyslogEndToEnd, RejectedEntriesShowTheirSignatureAndReachTheCollector)
{
    SyslogCollector collector;
    Collector(collector.udpPort, "udp");
    AcceptStartupEntriesPresent();
    ASSERT_TRUE(StartMonitor(run_));
    ASSERT_EQ(nullptr, Pass()) << "the first pass sees nothing new";

    // UDP: every line the monitor wrote since it started.
    RejectEntry("BmSigned", "bmsigned.exe", LangFilled(4102, signer_, ""));
    size_t lines = HistoryFileLines().size();
    ASSERT_GE(lines, 2u);
    ExpectHistoryFrom(0, collector.Receive(false, lines, 20000));

    // TCP, switched to while the monitor runs.
    Collector(collector.tcpPort, "tcp");
    RejectEntry("BmBroken", "bmbroken.exe", LangFilled(4104, signer_, ""));
    ExpectHistoryFrom(lines, collector.Receive(true, HistoryFileLines().size() - lines, 20000));

    // The collector down: the alert, the answer and the pass as before, every line kept.
    Collector(FreeTcpPort(), "tcp");
    size_t before = HistoryFileLines().size();
    RejectEntry("BmUnsigned", "bmunsigned.exe", LangText(4105));
    EXPECT_EQ(1, HistoryLinesWith({"START_Alert\tCURRENT_RUN\tBmUnsigned\t"}));
    EXPECT_EQ(before + 2, HistoryFileLines().size());
}

}  // namespace
