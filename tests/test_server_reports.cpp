// Decision and history reports against a real HTTP server on the loopback address, the
// new-version flag its replies move, and the notice that tells of it.
#include <windows.h>

#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/local_server.h"
#include "support/test_env.h"

#include "common/history.h"
#include "common/options.h"
#include "online/keel_info.h"
#include "online/new_version.h"
#include "online/server_reports.h"
#include "resources/resource.h"

namespace {

std::string Option(const char *name) { return RegText(HKEY_CURRENT_USER, OPTIONS_KEY, name); }
void Put(HKEY root, const char *name, const std::string &value) { RegPut(root, BRACKMOOR_KEY, name, value.c_str()); }

class ServerReports : public BrackmoorTest {
protected:
    static LocalServer *server;
    static void SetUpTestSuite() { (server = new LocalServer)->Start(); }
    static void TearDownTestSuite() { delete server; }
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        ASSERT_GT(server->port, 0) << "python3 could not start the local server";
        server->ClearRequests();
        server->SetReply("0");
        Put(HKEY_LOCAL_MACHINE, REPORT_SERVER_VALUE, server->Base());
        gszLastReportFile[0] = '\0';
        giReportRepeatCount = 0;
        SetHistoryReporter(SendHistoryData);
    }
    void TearDown() override
    {
        SetHistoryReporter(NULL);
        BrackmoorTest::TearDown();
    }
    std::vector<ServerRequest> Requests() { return server->Requests(); }
    // The one request since the last clear (an empty one when there is not exactly one).
    ServerRequest Only()
    {
        std::vector<ServerRequest> all = Requests();
        server->ClearRequests();
        EXPECT_EQ(1u, all.size());
        return all.size() == 1 ? all[0] : ServerRequest();
    }
};
LocalServer *ServerReports::server;

TEST_F(ServerReports, DecisionRequestLineByCodeWithAndWithoutOverrides)
{
    const struct {
        int code;
        const char *page, *override, *rm, *trace;
    } rows[] = {
        {7, "/cgi-bin/cloudremoved.pl?", "cloudremoved", "0", "CLOUD REMOVE"},
        {6030, "/cgi-bin/cloudremoved.pl?", "cloudremoved", "1", "CLOUD REMOVE"},
        {6, "/cgi-bin/cloudkept.pl?", "cloudkept", "0", "CLOUD KEEP"},
        {6051, "/cgi-bin/repeatfile.pl?", "repeatfile", "0", "CLOUD REPEAT"},
        {1200, "/cgi-bin/clouderror.pl?", nullptr, "0", nullptr},
    };
    TraceToTempFile();
    for (int overridden = 0; overridden < 2; overridden++) {
        if (overridden) {
            for (const char *value : {"cloudremoved", "cloudkept", "repeatfile"})
                Put(HKEY_LOCAL_MACHINE, value, server->Base() + "/own/" + value + "?s=a%20b&");
            Put(HKEY_LOCAL_MACHINE, REPORT_ID_VALUE, "AB-12");
        }
        for (const auto &row : rows) {
            SCOPED_TRACE("code " + std::to_string(row.code) + (overridden ? " overridden" : ""));
            std::string file = "tool" + std::to_string(row.code + overridden) + ".exe";
            EXPECT_EQ('0', SendDecisionReport(row.code, file.c_str(), "Tool Title"));
            std::string base = overridden && row.override ? "/own/" + std::string(row.override) + "?s=a%20b&" : row.page;
            std::string target = base + "file=" + file + "&title=Tool%20Title&version=" BRACKMOOR_VERSION "&rm=" + row.rm +
                                 (overridden ? "&bmid=AB-12" : "");
            ServerRequest request = Only();
            EXPECT_EQ(target, request.target);
            EXPECT_EQ("Brackmoor", request.agent);
            EXPECT_TRUE(!row.trace || TraceHas(std::string(row.trace) + ": " + server->Base() + target));
        }
    }
}

TEST_F(ServerReports, PartsAreAddedOnlyWhileTheRequestStaysWithin1024Characters)
{
    const struct {
        size_t baseLength;   // of the override base, padded
        const char *title, *rest;
    } rows[] = {
        {1100, "Tool", ""},   // longer than the limit: sent alone
        {1024, "Tool", ""},
        {1000, "a title far too long to fit behind the file", "file=t.exe&rm=0"},   // later parts still fit
        {990, "Tool", "file=t.exe&title=Tool&rm=0"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE("base of " + std::to_string(row.baseLength));
        std::string base = server->Base() + "/k?pad=";
        base.append(row.baseLength - base.size(), 'p');
        Put(HKEY_LOCAL_MACHINE, "cloudkept", base);
        gszLastReportFile[0] = '\0';
        SendDecisionReport(6, "t.exe", row.title);
        EXPECT_EQ(base.substr(server->Base().size()) + row.rest, Only().target);
    }
}

TEST_F(ServerReports, TheSameFileInARowIsSentFirstThenEvery51stTime)
{
    for (int report = 1; report <= 53; report++) {
        int reply = SendDecisionReport(7, "same.exe", "Same");
        ASSERT_EQ(report < 52 ? 1u : 2u, Requests().size()) << "report " << report;
        EXPECT_EQ(report == 1 || report == 52 ? '0' : REPLY_NOT_SENT, reply) << "report " << report;
    }
    // Names are compared exactly: another spelling is another file, and so is the one after it.
    SendDecisionReport(7, "SAME.EXE", "Same");
    SendDecisionReport(7, "same.exe", "Same");
    EXPECT_EQ(4u, Requests().size());
}

TEST_F(ServerReports, ValuesArriveAsTheTextTheMonitorHad)
{
    Put(HKEY_CURRENT_USER, HISTORY_SERVER_VALUE, server->Base() + "/h?");
    for (const char *name : {"Tool & Co #1 100%.exe", "a+b=c;d?e/f:g.exe", "\xE9t\xE9 \xFC\xDF\x80\xFF.exe", " two  .exe"}) {
        SCOPED_TRACE(name);
        std::string title = std::string("Title of ") + name, path = std::string("C:\\Tool & Co\\") + name;
        SendDecisionReport(7, name, title.c_str());
        ServerRequest request = Only();
        EXPECT_EQ(name, request.Value("file"));
        EXPECT_EQ(title, request.Value("title"));
        SendHistoryData("*START_Remove", "CURRENT_RUN", name, path.c_str());
        request = Only();
        EXPECT_EQ(name, request.Value("title"));
        EXPECT_EQ(path, request.Value("path"));
    }
}

TEST_F(ServerReports, TheReplyDecidesWhetherANewVersionIsDue)
{
    const struct {
        const char *before, *reply, *after;
    } rows[] = {
        {"0", "3", "1"}, {"1", "3", "1"}, {"2", "3", "2"},   // announced; already shown stays shown
        {"1", "0", "0"}, {"2", "x", "0"}, {"1", "", "0"},    // any other reply takes it back
        {"0", "31", "1"},                                    // the first character decides
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        SCOPED_TRACE("row " + std::to_string(i));
        PutOption("NewVersionAvailable", rows[i].before);
        server->SetReply(rows[i].reply);
        std::string name = "row" + std::to_string(i);
        // A command line: the program's file name is what is sent.
        ReportDecision(name.c_str(), ("\"C:\\Apps\\" + name + ".exe\" -tray").c_str(), 6);
        ServerRequest request = Only();
        EXPECT_EQ(name + ".exe", request.Value("file"));
        EXPECT_EQ(name, request.Value("title"));
        EXPECT_EQ(rows[i].after, Option("NewVersionAvailable"));
    }
    // Nothing is sent and nothing changes without a report server, or with "CloudData" 0.
    PutOption("NewVersionAvailable", "1");
    for (int cloudOff = 0; cloudOff < 2; cloudOff++) {
        SCOPED_TRACE(cloudOff ? "CloudData 0" : "no report server");
        PutOption("CloudData", cloudOff ? "0" : "1");
        ReadOptions();
        if (cloudOff)
            Put(HKEY_LOCAL_MACHINE, REPORT_SERVER_VALUE, server->Base());
        else
            RegRemoveValue(HKEY_LOCAL_MACHINE, BRACKMOOR_KEY, REPORT_SERVER_VALUE);
        EXPECT_EQ(REPLY_NOT_SENT, ReportDecision("quiet", "C:\\Apps\\quiet.exe", 7));
        EXPECT_TRUE(Requests().empty());
        EXPECT_EQ("1", Option("NewVersionAvailable"));
    }
}

TEST_F(ServerReports, EachHistoryLineGoesToTheAdministratorsServer)
{
    WriteLog(0, 11, "Before", "C:\\Apps\\before.exe", "");
    EXPECT_TRUE(Requests().empty()) << "no history reports without \"bmserver\"";

    Put(HKEY_CURRENT_USER, HISTORY_SERVER_VALUE, server->Base() + "/collect.php?site=7");
    Put(HKEY_CURRENT_USER, "admin_email", "it@example.org");
    Put(HKEY_CURRENT_USER, "admin_company", "Ops & Co");
    Put(HKEY_CURRENT_USER, "User", "Jo Smith");
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    WriteLog(0, 11, "Tool & Co", "\"C:\\Apps\\tool.exe\" -q", "detail");
    RegRemoveValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "admin_email");
    WriteLog(6, 200, "Second", "C:\\Apps\\second.exe", "");
    GetLocalTime(&after);
    char early[64], late[64];
    FormatHistoryTime(before, early, sizeof(early));
    FormatHistoryTime(after, late, sizeof(late));

    // Each request carries the fields of its line in the history file.
    std::vector<ServerRequest> requests = Requests();
    std::vector<std::vector<std::string>> lines = HistoryLines();
    ASSERT_EQ(2u, requests.size());
    ASSERT_EQ(3u, lines.size());
    for (size_t i = 0; i < 2; i++) {
        SCOPED_TRACE("line " + std::to_string(i + 1));
        const ServerRequest &request = requests[i];
        EXPECT_EQ("History", request.agent);
        EXPECT_EQ(0u, request.target.find("/collect.php?site=7&send_to=")) << request.target;
        EXPECT_EQ(i == 0 ? "it@example.org" : "", request.Value("send_to"));
        EXPECT_EQ("Ops & Co", request.Value("group"));
        EXPECT_EQ("Jo Smith", request.Value("name"));
        EXPECT_TRUE(request.Value("time") == early || request.Value("time") == late) << request.Value("time");
        const char *keys[] = {"action", "type", "title", "path"};
        for (size_t field = 1; field <= 4; field++)
            EXPECT_EQ(lines[i + 1].at(field), request.Value(keys[field - 1])) << keys[field - 1];
        EXPECT_EQ(LangText(634), request.Value("loc"));
    }
    // With the history off there is no line and no report either.
    PutOption("History", "0");
    ReadOptions();
    WriteLog(0, 11, "Off", "C:\\Apps\\off.exe", "");
    EXPECT_EQ(2u, Requests().size());
}

TEST_F(ServerReports, AServerThatNeverAnswersCostsNoMoreThanTheTimeout)
{
    server->SetReply("hang");
    Put(HKEY_CURRENT_USER, HISTORY_SERVER_VALUE, server->Base() + "/h?");
    PutOption("NewVersionAvailable", "1");
    DWORD start = GetTickCount();
    EXPECT_EQ(0, ReportDecision("Silent", "C:\\Apps\\silent.exe", 7)) << "no reply";
    DWORD decision = GetTickCount() - start;
    start = GetTickCount();
    WriteLog(0, 11, "Silent", "C:\\Apps\\silent.exe", "");
    DWORD historyLine = GetTickCount() - start;
    EXPECT_EQ(2u, Requests().size()) << "the server took both requests";
    // One time-out each, with room for a busy machine, far below the system's own minutes.
    EXPECT_LT(decision, 2u * REPORT_TIMEOUT_MS);
    EXPECT_LT(historyLine, 2u * REPORT_TIMEOUT_MS);
    EXPECT_EQ("0", Option("NewVersionAvailable")) << "a failed report counts as no news";
}

// What the notice showed: caption, message, the two buttons and the box, and where.
struct NoticeRun {
    bool boxWasTicked = false;
    RECT rect = {};
    BYTE alpha = 0;
    std::string texts[5];
};
std::vector<std::string> gOpened;

TEST_F(ServerReports, TheNoticeShowsItsTextsAndEveryWayOutMarksItSeen)
{
    Put(HKEY_LOCAL_MACHINE, "WebSite", "http://127.0.0.1:9/site/");
    KeelOpener = [](const char *target, int) -> INT_PTR {
        gOpened.push_back(target);
        return 42;
    };
    const struct {
        int press, ignoreBefore, tick;
        const char *ignoreAfter, *opened;
    } rows[] = {
        {IDOK, 0, 1, "1", ""},
        {IDCANCEL, 0, -1, "0", ""},   // the close box
        {IDC_UPGRADE_NOW, 1, -1, "1", "http://127.0.0.1:9/site/download.html"},
        {IDC_WHATS_NEW, 1, 0, "0", "http://127.0.0.1:9/site/upgrade.html"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE("button " + std::to_string(row.press));
        PutOption("NewVersionAvailable", "1");
        giNewVersionIgnore = row.ignoreBefore;
        gOpened.clear();
        NoticeRun run;
        DialogDriver driver([&](HWND dialog) {
            const int ids[] = {0, IDC_NEWVERSION_TEXT, IDC_UPGRADE_NOW, IDC_WHATS_NEW, IDC_CHECK};
            for (int i = 0; i < 5; i++)
                run.texts[i] = WindowText(ids[i] ? GetDlgItem(dialog, ids[i]) : dialog);
            run.boxWasTicked = IsDlgButtonChecked(dialog, IDC_CHECK) == BST_CHECKED;
            GetWindowRect(dialog, &run.rect);
            GetLayeredWindowAttributes(dialog, NULL, &run.alpha, NULL);
            if (row.tick >= 0)
                CheckDlgButton(dialog, IDC_CHECK, row.tick ? BST_CHECKED : BST_UNCHECKED);
            return row.press;
        });
        EXPECT_EQ(6, ShowNewVersionNotice());
        driver.Stop();

        const UINT textIds[] = {1417, 1413, 1414, 1416, 1415};
        for (int i = 0; i < 5; i++)
            EXPECT_EQ(LangText(textIds[i]), run.texts[i]) << "text " << i;
        EXPECT_EQ(row.ignoreBefore == 1, run.boxWasTicked);
        EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), run.rect.right);
        EXPECT_EQ(0, run.rect.top);
        EXPECT_EQ(234, run.alpha);
        EXPECT_EQ(row.ignoreAfter, Option("NewVersionIgnore"));
        EXPECT_EQ("2", Option("NewVersionAvailable"));
        EXPECT_EQ("1", Option("Update"));
        EXPECT_EQ(row.opened[0] ? std::vector<std::string>{row.opened} : std::vector<std::string>{}, gOpened);
    }
    KeelOpener = KeelOpenWithShell;
}

} // namespace
