// The services watcher against Wine's real registry and service manager: listings, texts,
// baseline, the disable that touches only its service, and the answers.
#include <windows.h>
#include <objbase.h>

#include <map>
#include <string>
#include <vector>

#include "common/file_facts.h"
#include "common/service_control.h"
#include "common/text.h"
#include "resources/resource.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"
#include "support/test_service.h"
#include "ui/alert.h"
#include "watchers/services.h"

namespace {

const std::string kServices = "SYSTEM\\CurrentControlSet\\Services", kServiceKey = kServices + "\\";

std::map<std::string, RunRecord> Listing(int quick)
{
    OwnedRunList list;
    ListServices(list, quick);
    std::map<std::string, RunRecord> byName;
    for (const RunRecord &record : RunRecords(list))
        byName[record.name] = record;
    return byName;
}

class ServicesTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
        giShowAlerts = giSuppressExtraAlerts = giSound = giHideServices = 0;
        giHideMicrosoftServices = 1;
        RecordKeelRequests(&keelTargets_);
    }
    void TearDown() override
    {
        RemoveTestServices();
        for (const std::string &key : keys_)
            RegDeleteTreeView(HKEY_LOCAL_MACHINE, (kServiceKey + key).c_str());
        FreeFileFacts();
        FreeServiceNames();
        RecordKeelRequests(nullptr);
        CoUninitialize();
        BrackmoorTest::TearDown();
    }
    // A service key written straight into the registry, as an installer that
    // bypasses the manager would.
    void PutServiceValue(const std::string &key, const char *name, const std::string &data, DWORD type = REG_SZ)
    {
        RegPutBinary(HKEY_LOCAL_MACHINE, (kServiceKey + key).c_str(), name, data.c_str(), (DWORD)data.size() + 1, type);
        keys_.push_back(key);
    }
    void PutServiceDword(const std::string &key, const char *name, DWORD value)
    {
        RegPutDword(HKEY_LOCAL_MACHINE, (kServiceKey + key).c_str(), name, value);
        keys_.push_back(key);
    }
    // Everything present is known; the services a test makes afterwards are new.
    void KnowServicesPresent() { InitServices(); }
    std::string Baseline(const char *name) { return RegText(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY, name); }
    void Check()
    {
        ScanPass pass = {};
        ServicesCheck(&pass);
        EndScanPass(&pass);
    }
    std::vector<std::string> keys_, keelTargets_;
};

// Drivers never, svchost services by their DLL, Microsoft's programs only while
// they are shown; hostile values are passed over or read as far as they make sense.
TEST_F(ServicesTest, TheListingsTakeProgramsByTheirRules)
{
    TraceToTempFile();
    const std::string temp = TempFolder(), exe = temp + "\\bmexe.exe", dll = temp + "\\bmhosted.dll",
                      host = temp + "\\bmsvchost.exe";
    MakeVersionedFile(exe, {{"CompanyName", "Dunmere Test"}});
    MakeVersionedFile(dll, {{"CompanyName", "Dunmere Test"}});
    MakeVersionedFile(host, {{"CompanyName", "Microsoft Corporation"}});
    MakeVersionedFile(temp + "\\lowerms.exe", {{"CompanyName", "made by microsoft"}});
    MakeVersionedFile(temp + "\\upperms.exe", {{"CompanyName", "MICROSOFT CORP."}});
    const std::string longName = "Bm " + std::string(200, 'x'), highName = "Bm \xE9t\xE9";
    ASSERT_TRUE(CreateTestService("BmLsDriver", "Bm Driver", temp + "\\bmdrv.sys", SERVICE_DEMAND_START,
                                  SERVICE_KERNEL_DRIVER));
    ASSERT_TRUE(CreateTestService("BmLsHosted", "Bm Hosted", "\"" + host + "\" -k bmgroup"));
    PutServiceValue("BmLsHosted\\Parameters", "ServiceDll", dll);
    ASSERT_TRUE(CreateTestService("BmLsBareHost", "Bm Bare Host", host + " -k bmgroup"));
    ASSERT_TRUE(CreateTestService("BmLsLower", "Bm Lower", temp + "\\lowerms.exe"));
    ASSERT_TRUE(CreateTestService("BmLsUpper", "Bm Upper", temp + "\\upperms.exe"));
    ASSERT_TRUE(CreateTestService("BmLsExe", "Bm Exe Service", "\"" + exe + "\" -run", SERVICE_AUTO_START));
    PutServiceValue("BmLsExe", "Description", "Runs the Bm test.");
    PutServiceDword("BmLsExe", "DelayedAutostart", 1);
    ASSERT_TRUE(CreateTestService("BmLsLongName", longName.c_str(), exe));
    ASSERT_TRUE(CreateTestService("BmLs\xE9t\xE9", highName.c_str(), exe));
    // Not made through the manager: a program path too long to be one, and one
    // stored as binary data with text after its end.
    PutServiceValue("BmLsLongImage", "ImagePath", "C:\\" + std::string(600, 'a') + ".exe");
    PutServiceValue("BmLsBinary", "ImagePath", exe + std::string(1, '\0') + "junk", REG_BINARY);

    const struct {
        const char *name;
        const char *shown;   // path when Microsoft's services are hidden ("" not listed)
        const char *raw;     // path when they are shown
        int code;
    } rows[] = {
        {"Bm Driver", "", "", 0},
        {"Bm Hosted", "BMHOSTED.DLL", "bmhosted.dll", 701},
        {"Bm Bare Host", "", "bmsvchost.exe -k bmgroup", 701},
        {"Bm Lower", "", "lowerms.exe", 700},
        {"Bm Upper", "", "upperms.exe", 700},
        {"Bm Exe Service", "BMEXE.EXE", "bmexe.exe -run", 700},
        {"BmLsLongName", "BMEXE.EXE", "bmexe.exe", 700},
        {"Bm \xE9t\xE9", "BMEXE.EXE", "bmexe.exe", 700},
        {"BmLsBinary", "BMEXE.EXE", "bmexe.exe", 700},
    };
    for (int hide : {1, 0}) {
        giHideMicrosoftServices = hide;
        std::map<std::string, RunRecord> listed = Listing(SERVICES_DETAILED);
        for (const auto &row : rows) {
            std::string tail = hide ? row.shown : row.raw;
            auto found = listed.find(row.name);
            ASSERT_EQ(!tail.empty(), found != listed.end()) << row.name << " hide " << hide;
            if (found == listed.end())
                continue;
            const std::string &path = found->second.path;
            EXPECT_EQ(tail, path.substr(path.size() - std::min(path.size(), tail.size()))) << row.name;
            if (hide) {
                EXPECT_EQ(Upper(temp), path.substr(0, temp.size())) << row.name << ": resolved to the full path";
            }
            EXPECT_EQ(row.code, found->second.code) << row.name;
        }
        EXPECT_EQ(0u, listed.count("BmLsLongImage"));
        EXPECT_EQ(LangText(672), listed["Bm Exe Service"].source);
        EXPECT_EQ("Runs the Bm test.", listed["Bm Exe Service"].details);
        EXPECT_EQ(0u, listed.count(longName.substr(0, RUN_NAME_MAX - 1))) << "never under a cut name";
    }
    EXPECT_TRUE(TraceHas("ServiceImageOfKey ImagePath"));
    // The quick listing: every service with an ImagePath under its key name, drivers too.
    std::map<std::string, RunRecord> quick = Listing(SERVICES_QUICK);
    EXPECT_EQ(700, quick["BmLsDriver"].code);
    EXPECT_EQ(temp + "\\bmdrv.sys", quick["BmLsDriver"].path);
    EXPECT_EQ(0u, quick.count("Bm Exe Service"));
}

// What a listing derives is kept by its source: the version record by the file's
// identity, the manager's display name by the registry's "DisplayName".
TEST_F(ServicesTest, ListingsKeepDerivedFactsUntilTheirSourceChanges)
{
    const std::string exe = TempFolder() + "\\bmchanging.exe";
    MakeVersionedFile(exe, {{"CompanyName", "Dunmere Test"}});
    ASSERT_TRUE(CreateTestService("BmVerSvc", "Bm Version Service", exe));
    PutServiceValue("BmVerSvc", "Description", "Changes its maker.");
    char description[SERVICE_DESCRIPTION_MAX];
    EXPECT_EQ(18, FindServiceDescription(("\"" + exe + "\" -any").c_str(), description));
    EXPECT_STREQ("Changes its maker.", description);
    ASSERT_EQ(1u, Listing(SERVICES_DETAILED).count("Bm Version Service"));
    // Programs that are not there are asked for on every listing; nothing else is.
    int first = giFileFactVersionReads;
    ASSERT_EQ(1u, Listing(SERVICES_DETAILED).count("Bm Version Service"));
    int missing = giFileFactVersionReads - first;

    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, "BmVerSvc", SERVICE_ALL_ACCESS);
    ASSERT_TRUE(ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, NULL, NULL,
                                     NULL, NULL, NULL, NULL, "Bm Renamed Service"));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    std::map<std::string, RunRecord> renamed = Listing(SERVICES_DETAILED);
    EXPECT_EQ(1u, renamed.count("Bm Renamed Service"));
    EXPECT_EQ(0u, renamed.count("Bm Version Service"));

    Sleep(50);
    MakeVersionedFile(exe, {{"CompanyName", "Microsoft Corporation (now)"}});
    int second = giFileFactVersionReads;
    EXPECT_EQ(0u, Listing(SERVICES_DETAILED).count("Bm Renamed Service")) << "the changed file is read anew";
    EXPECT_EQ(missing + 1, giFileFactVersionReads - second);
}

TEST_F(ServicesTest, StartAndRunTextsNameEveryCombination)
{
    const std::string key = "BmStartText", path = kServiceKey + key;
    const std::string delayedTriggered = LangText(672) + "," + LangText(673);
    const struct {
        long start, delayed, trigger;   // -1: value absent
        std::string text;
    } rows[] = {
        {2, -1, -1, LangText(664)}, {2, 0, 0, LangText(664)},          {2, 1, -1, LangText(672)},
        {2, -1, 5, LangText(673)},  {2, 1, 1, delayedTriggered},   {3, 1, 1, LangText(665)},
        {4, 0, 0, LangText(666)},   {0, -1, -1, LangText(616)},        {1, -1, -1, LangText(616)},
        {-1, 1, 1, LangText(616)},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        RegDeleteTreeView(HKEY_LOCAL_MACHINE, path.c_str());
        PutServiceValue(key, "ImagePath", "C:\\bm\\start.exe");
        if (rows[i].start >= 0)
            PutServiceDword(key, "Start", (DWORD)rows[i].start);
        if (rows[i].delayed >= 0)
            PutServiceDword(key, "DelayedAutostart", (DWORD)rows[i].delayed);
        if (rows[i].trigger >= 0)
            PutServiceDword(key + "\\TriggerInfo\\0", "Type", (DWORD)rows[i].trigger);
        char text[SERVICE_START_TEXT_MAX + kGuardLen];
        FillGuarded(text, sizeof(text));
        EXPECT_EQ((int)rows[i].text.size(), ServiceStartText(path.c_str(), text)) << "row " << i;
        EXPECT_EQ(rows[i].text, text) << "row " << i;
        EXPECT_TRUE(GuardIntact(text, SERVICE_START_TEXT_MAX)) << "row " << i;
    }
    char text[SERVICE_ACTIVE_TEXT_MAX];
    EXPECT_EQ((int)LangText(616).size(), ServiceStartText((kServiceKey + "BmNoSuchKey").c_str(), text));
    EXPECT_EQ(0, ServiceActiveText("No Such Bm Service", text));
    EXPECT_EQ(LangText(652), text);

}

TEST_F(ServicesTest, TheBaselineKnowsShortNonZeroCodesAndKeepsItsMarker)
{
    ASSERT_TRUE(CreateTestService("BmBaseSvc", "Bm Base Service", ThisProgram()));
    InitServices();
    EXPECT_EQ("P", Baseline(""));
    EXPECT_EQ("700", Baseline("Bm Base Service"));
    // Built once: with the marker there, a second call leaves the key alone.
    RegRemoveValue(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY, "Bm Base Service");
    InitServices();
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY, "Bm Base Service"));
    // A default value that is not the marker: the key is built anew.
    RegPut(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY, "", "X");
    RegPut(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY, "Bm Stale", "700");
    InitServices();
    EXPECT_EQ("P", Baseline(""));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY, "Bm Stale"));
    EXPECT_EQ("700", Baseline("Bm Base Service"));

    const struct {
        const char *name, *data;   // data NULL: no value
        bool known;
    } rows[] = {
        {"Bm Known", "700", true},           {"BM KNOWN", nullptr, true},
        {"Bm Zero", "0", false},             {"Bm Empty", "", false},
        {"Bm Word", "abc", false},           {"Bm Long", "70000000000000000000000000000000x", false},
        {"Bm Thirty Two", "7000000000000000000000000000000x", true}, {"Bm Missing", nullptr, false},
    };
    for (const auto &row : rows)
        if (row.data)
            RegPut(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY, row.name, row.data);
    for (const auto &row : rows)
        EXPECT_EQ(row.known, IsServiceKnown(row.name) != 0) << row.name;

    // The quick check lists key names: it reports a change until every key name is known.
    OwnedRunList list;
    EXPECT_EQ(1, CheckforServicesChanges(list));
    for (const RunRecord &record : RunRecords(list))
        RegPut(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY, record.name.c_str(), "700");
    EXPECT_EQ(0, CheckforServicesChanges(list));
}

TEST_F(ServicesTest, DisableWritesTheStartOfTheMatchingServiceOnly)
{
    ASSERT_TRUE(CreateTestService("BmDisA", "Bm Twin A", ThisProgram()));
    ASSERT_TRUE(CreateTestService("BmDisB", "Bm Twin B", ThisProgram()));
    PutServiceDword("BmDisA", "DelayedAutostart", 1);
    ASSERT_TRUE(CreateTestService("BmDisNoName", "Bm Unnamed", ThisProgram()));
    RegRemoveValue(HKEY_LOCAL_MACHINE, (kServiceKey + "BmDisNoName").c_str(), "DisplayName");

    RegistryTree before = ReadRegistryTree(HKEY_LOCAL_MACHINE, kServices.c_str(), 0);
    EXPECT_EQ(0, DisableServiceByName("Bm Twin"));
    EXPECT_EQ(0, DisableServiceByName(""));
    EXPECT_TRUE(RegistryChanges(before, ReadRegistryTree(HKEY_LOCAL_MACHINE, kServices.c_str(), 0)).empty());

    EXPECT_EQ(1, DisableServiceByName("bm twin a"));
    const std::string a = "~ SYSTEM\\CURRENTCONTROLSET\\SERVICES\\BMDISA\\";
    EXPECT_EQ((std::vector<std::string>{a + "[DELAYEDAUTOSTART]", a + "[START]"}),
              RegistryChanges(before, ReadRegistryTree(HKEY_LOCAL_MACHINE, kServices.c_str(), 0)));
    EXPECT_EQ(DwordData(SERVICE_DISABLED), RegKeyValues(HKEY_LOCAL_MACHINE, (kServiceKey + "BmDisA").c_str())["Start"]);
    EXPECT_EQ((DWORD)SERVICE_DISABLED, ManagerStartType("BmDisA")) << "the running manager is told too";
    EXPECT_EQ((DWORD)SERVICE_DEMAND_START, ManagerStartType("BmDisB"));
    // A service without a display name of its own is known by its key name.
    EXPECT_EQ(1, DisableServiceByName("BmDisNoName"));
    EXPECT_EQ(DwordData(SERVICE_DISABLED),
              RegKeyValues(HKEY_LOCAL_MACHINE, (kServiceKey + "BmDisNoName").c_str())["Start"]);
}

// Rejected without the dialog ("HideServices" 2): the state the service was in,
// the disable and the stop are each a line when they happened; "HideServices" 1
// accepts with a line of its start type.
TEST_F(ServicesTest, SilentAnswersWriteTheLinesOfWhatHappened)
{
    KnowServicesPresent();
    const struct {
        const char *key, *name;
        TestServiceMode mode;
        bool start;
        const char *stateLine;   // NULL: none
        bool stopLine;
    } rows[] = {
        {"BmStRun", "Bm St Run", SERVICE_MODE_RUN, true, "SERVICE__from_AutomaticDelayed", true},
        {"BmStPend", "Bm St Pending", SERVICE_MODE_START_PENDING, true, "SERVICE_from_Manual", false},
        {"BmStStop", "Bm St Stopping", SERVICE_MODE_STOP_PENDING, true, "SERVICE_from_Disabled", false},
        {"BmStIdle", "Bm St Idle", SERVICE_MODE_RUN, false, nullptr, false},
    };
    for (const auto &row : rows) {
        ASSERT_TRUE(CreateTestService(row.key, row.name, TestServiceImage(ThisProgram(), row.mode))) << row.key;
        if (row.start) {
            ASSERT_TRUE(StartTestService(row.key)) << row.key;
        }
    }
    ASSERT_EQ((DWORD)SERVICE_RUNNING, WaitTestServiceState("BmStRun", SERVICE_RUNNING));
    ASSERT_EQ((DWORD)SERVICE_START_PENDING, WaitTestServiceState("BmStPend", SERVICE_START_PENDING));
    ASSERT_EQ((DWORD)SERVICE_RUNNING, WaitTestServiceState("BmStStop", SERVICE_RUNNING));
    SendStop("BmStStop");
    ASSERT_EQ((DWORD)SERVICE_STOP_PENDING, WaitTestServiceState("BmStStop", SERVICE_STOP_PENDING));

    giHideServices = 2;
    Check();
    for (const auto &row : rows) {
        for (const char *line : {"SERVICE__from_AutomaticDelayed", "SERVICE_from_Manual", "SERVICE_from_Disabled"})
            EXPECT_EQ(row.stateLine && std::string(line) == row.stateLine ? 1 : 0, HistoryLinesWith({line, row.name}))
                << row.key << " " << line;
        EXPECT_EQ(1, HistoryLinesWith({"SERVICE_Disabled\tSERVICE_EXE\t" + std::string(row.name) + "\t"})) << row.key;
        EXPECT_EQ(row.stopLine ? 1 : 0, HistoryLinesWith({"SERVICE_Stop\t", row.name})) << row.key;
        EXPECT_EQ("700", Baseline(row.name)) << row.key;
        EXPECT_EQ((DWORD)SERVICE_DISABLED, ManagerStartType(row.key)) << row.key;
    }
    EXPECT_EQ((DWORD)SERVICE_STOPPED, WaitTestServiceState("BmStRun", SERVICE_STOPPED));

    giHideServices = 1;
    ASSERT_TRUE(CreateTestService("BmStKept", "Bm St Kept", ThisProgram()));
    Check();
    EXPECT_EQ("700", Baseline("Bm St Kept"));
    EXPECT_EQ(1, HistoryLinesWith({"SERVICE_Manual\tSERVICE_EXE\tBm St Kept\t", "\t" + LangText(665)}));
    EXPECT_EQ((DWORD)SERVICE_DEMAND_START, ManagerStartType("BmStKept"));
}

// Dialog 171 as the user meets it; Escape rejects, a service that vanished while
// the alert was open cannot be disabled and stays alerted.
TEST_F(ServicesTest, TheAlertShowsTheServiceAndItsAnswersAct)
{
    KnowServicesPresent();
    ASSERT_TRUE(CreateTestService("BmDlgEsc", "Bm Dialog Escaped", TestServiceImage(ThisProgram())));
    ASSERT_TRUE(StartTestService("BmDlgEsc"));
    ASSERT_EQ((DWORD)SERVICE_RUNNING, WaitTestServiceState("BmDlgEsc", SERVICE_RUNNING));
    ASSERT_TRUE(CreateTestService("BmDlgGone", "Bm Dialog Gone", ThisProgram()));
    ASSERT_TRUE(CreateTestService("BmDlgYes", "Bm Dialog Accepted", ThisProgram()));

    std::map<std::string, std::map<int, std::string>> seen;
    std::string caption;
    DialogDriver answerer([&](HWND dialog) {
        std::string name = ControlText(dialog, IDC_PRODUCTNAME);
        for (int id : {IDC_PATH, IDC_UPPERTEXT, IDC_LOWERTEXT, IDYES, IDNO, IDC_ABORT, IDC_LOCATION, IDC_INFO,
                       IDC_SIGNATURE})
            seen[name][id] = ControlText(dialog, id);
        caption = WindowText(dialog);
        if (name == "Bm Dialog Accepted")
            return IDYES;
        if (name == "Bm Dialog Gone") {
            RemoveTestService("BmDlgGone");
            return IDNO;
        }
        PressButton(dialog, IDC_INFO);
        return IDCANCEL;
    });
    Check();
    EXPECT_EQ(3u, answerer.Stop().size());

    EXPECT_EQ(LangText(718) + " - " + LangText(636), caption);
    const std::map<int, std::string> &escaped = seen["Bm Dialog Escaped"];
    EXPECT_EQ(Upper(ThisProgram()), escaped.at(IDC_PATH));
    EXPECT_EQ(LangText(4105), escaped.at(IDC_SIGNATURE)) << "the test program is not signed";
    EXPECT_EQ(LangText(900), escaped.at(IDC_UPPERTEXT));
    // Its start type read under the key name, though the alert holds the display name.
    EXPECT_EQ(LangFilled(901, LangText(665), LangText(655)), escaped.at(IDC_LOWERTEXT));
    const std::pair<int, UINT> texts[] = {{IDYES, 1008}, {IDNO, 1009}, {IDC_ABORT, 508}, {IDC_LOCATION, 1200},
                                          {IDC_INFO, 641}};
    for (const auto &text : texts)
        EXPECT_EQ(LangText(text.second), escaped.at(text.first)) << text.first;
    ASSERT_EQ(1u, keelTargets_.size());
    EXPECT_NE(std::string::npos, keelTargets_[0].find("&Type=1700")) << keelTargets_[0];

    EXPECT_EQ((DWORD)SERVICE_DISABLED, ManagerStartType("BmDlgEsc")) << "Escape rejects";
    EXPECT_EQ((DWORD)SERVICE_STOPPED, WaitTestServiceState("BmDlgEsc", SERVICE_STOPPED));
    EXPECT_EQ("700", Baseline("Bm Dialog Escaped"));
    EXPECT_EQ(1, HistoryLinesWith({"SERVICE_Stop\tSERVICE_EXE\tBm Dialog Escaped\t"}));
    // Nothing to disable: no removal line, and asked again next time.
    EXPECT_EQ(0, HistoryLinesWith({"Bm Dialog Gone"}));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, SERVICES_BASELINE_KEY, "Bm Dialog Gone"));
    EXPECT_EQ("700", Baseline("Bm Dialog Accepted"));
    EXPECT_EQ((DWORD)SERVICE_DEMAND_START, ManagerStartType("BmDlgYes"));
}

}  // namespace
