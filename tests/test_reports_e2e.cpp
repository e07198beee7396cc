// The real monitor's reports at a local HTTP server: a rejected startup value, its history
// lines, and the new-version notice once.
#include <windows.h>

#include <string>
#include <vector>

#include "common/options.h"
#include "online/server_reports.h"
#include "resources/resource.h"
#include "support/e2e.h"
#include "support/local_server.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

class ReportsEndToEnd : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        ASSERT_TRUE(server_.Start()) << "python3 could not start the local server";
        server_.SetReply("3");
        RegPut(HKEY_LOCAL_MACHINE, BRACKMOOR_KEY, REPORT_SERVER_VALUE, server_.Base().c_str());
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, HISTORY_SERVER_VALUE, (server_.Base() + "/collect?site=9").c_str());
        PrepareMonitor({"SuppressExtraAlerts", "ShowAlerts", "HideStartup", "Sound"}, {"RealtimeStartup", "Start"});
    }
    void TearDown() override
    {
        StopMonitor(run_);
        RegRemoveValue(HKEY_CURRENT_USER, kRun, "BmReported", k64);
        server_.Stop();
        BrackmoorTest::TearDown();
    }
    // A Quick Scan whose pass ends without the dialog of this caption holding it up.
    bool QuickScan(const std::string &unexpected)
    {
        int before = QuickScansDone();
        SendMonitorCommand(run_, 6074);
        return WaitQuickScanDone(before, kPassWait, unexpected.c_str());
    }
    std::vector<ServerRequest> RequestsOf(const std::string &agent)
    {
        std::vector<ServerRequest> found;
        for (const ServerRequest &request : server_.Requests())
            if (request.agent == agent)
                found.push_back(request);
        return found;
    }
    LocalServer server_;
    MonitorRun run_;
};

TEST_F(ReportsEndToEnd, ARejectIsReportedItsHistoryLinesArriveAndANewVersionIsToldOnce)
{
    const std::string alertCaption = LangText(718) + " - " + LangText(606), notice = LangText(1417);
    AcceptStartupEntriesPresent();
    ASSERT_TRUE(StartMonitor(run_));
    ASSERT_TRUE(QuickScan(alertCaption)) << "the first pass sees nothing new";

    RegPut(HKEY_CURRENT_USER, kRun, "BmReported", "\"C:\\bm\\Reported Tool.exe\" -q", k64);
    SendMonitorCommand(run_, 6074);
    HWND alert = WaitForDialog(alertCaption.c_str(), kPassWait);
    ASSERT_NE(nullptr, alert);
    int before = QuickScansDone();
    PressButton(alert, IDNO);
    ASSERT_TRUE(WaitQuickScanDone(before, kPassWait, notice.c_str())) << "the notice waits for the next pass";
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kRun, "BmReported", k64));

    // One decision report: removed, with the program's file name.
    std::vector<ServerRequest> decisions = RequestsOf("Brackmoor");
    ASSERT_EQ(1u, decisions.size());
    EXPECT_EQ(0u, decisions[0].target.find("/cgi-bin/cloudremoved.pl?file=Reported%20Tool.exe&title=BmReported&"))
        << decisions[0].target;
    EXPECT_EQ("0", decisions[0].Value("rm"));
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "NewVersionAvailable"));

    // Each history line as one request (the fields of each request: ServerReports).
    std::vector<std::vector<std::string>> lines = HistoryLines();
    std::vector<ServerRequest> history = RequestsOf("History");
    ASSERT_EQ(lines.size(), history.size());
    ASSERT_GE(lines.size(), 2u) << "the alert and the removal";
    ASSERT_GE(lines.back().size(), 5u);
    EXPECT_EQ(lines.back()[4], history.back().Value("path"));
    EXPECT_EQ("9", history.back().Value("site"));

    // The next pass ends with the notice; closed with the box ticked, it stays away.
    SendMonitorCommand(run_, 6074);
    HWND box = WaitForDialog(notice.c_str(), kPassWait);
    ASSERT_NE(nullptr, box);
    before = QuickScansDone();
    SendMessageTimeoutA(GetDlgItem(box, IDC_CHECK), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, NULL);
    PressButton(box, IDOK);
    ASSERT_TRUE(WaitQuickScanDone(before, kPassWait, alertCaption.c_str())) << "the pass ends once the notice is closed";
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "NewVersionIgnore"));
    EXPECT_EQ("2", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "NewVersionAvailable"));
    for (int pass = 0; pass < 2; pass++)
        EXPECT_TRUE(QuickScan(notice)) << "pass " << pass << " shows no notice";
    EXPECT_EQ(1u, RequestsOf("Brackmoor").size());
}

} // namespace
