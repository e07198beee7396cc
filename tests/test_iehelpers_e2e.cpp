// The real monitor's add-on and ActiveX alerts in one run: every reject leaves the
// add-on areas of both views as they were but for the item.
#include <windows.h>

#include <map>
#include <string>

#include "common/options.h"
#include "resources/resource.h"
#include "startup/locations.h"
#include "support/e2e.h"
#include "support/addon_keys.h"
#include "support/system_state.h"
#include "support/test_env.h"
#include "watchers/ie_helpers.h"

namespace {

const char kSignKey[] = "Software\\Brackmoor Tests";
const char kHelper[] = "{5E0A7C21-93B4-4D6E-8F12-A1B2C3D4E501}";
const char kToolbar[] = "{5E0A7C21-93B4-4D6E-8F12-A1B2C3D4E502}";
const char kExtension[] = "{5E0A7C21-93B4-4D6E-8F12-A1B2C3D4E503}";
const char kRejected[] = "{5E0A7C21-93B4-4D6E-8F12-A1B2C3D4E504}";
const char kAccepted[] = "{5E0A7C21-93B4-4D6E-8F12-A1B2C3D4E505}";

std::string Sub(const char *key, const char *id)
{
    return std::string(key) + "\\" + id;
}

class AddonEndToEnd : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        WatchAddonAreas(created_.newKeys);
        created_.newKeys.Watch(HKLM, "Software\\Classes\\BmHelpProbe");
        // Only these two watchers, every pass, every finding asked.
        PrepareMonitor({"SuppressExtraAlerts", "ShowAlerts", "Sound", "Start", "RealtimeStartup", "RealtimeServices",
                        "Services", "RealtimeSysFiles", "HostFile", "RealtimeStartPage", "StartPage",
                        "RealtimeFileType", "FileType", "RealtimeHidden", "Hidden", "Tasks", "RealtimeUninstall",
                        "RealtimeMissingRun", "RealtimeRegOptions"},
                       {"RealtimeIEHelper", "RealtimeActiveX"});
        // Help pages open from a folder of this test, through an association that
        // writes down which file it was given.
        std::string help = TempFolder() + "\\help";
        WriteWholeFile(help + "\\helpme.html", "help");
        opened_ = help + "\\opened.txt";
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "HelpSite", (help + "\\").c_str());
        created_.Keep(HKLM, "Software\\Classes\\.html", "");
        RegPut(HKLM, "Software\\Classes\\.html", "", "BmHelpProbe", k64);
        RegPut(HKLM, "Software\\Classes\\BmHelpProbe\\shell\\open\\command", "",
               (SystemFolder() + "\\cmd.exe /c echo %1>\"" + opened_ + "\"").c_str(), k64);
        for (const char *name : {"helper", "toolbar", "control"}) {
            dll_[name] = TempFolder() + "\\bm" + name + ".dll";
            ASSERT_TRUE(CopyFileA((BinFolder() + "\\bmaddon.dll").c_str(), dll_[name].c_str(), FALSE));
        }
    }
    void TearDown() override
    {
        StopMonitor(run_);
        RemoveAddonKeys({kHelper, kToolbar, kExtension, kRejected, kAccepted});
        RegDeleteTreeView(HKEY_CURRENT_USER, kSignKey);
        created_.Restore();
        BrackmoorTest::TearDown();
    }
    bool QuickScan() { return QuickScanPass(run_, LangText(718), kPassWait); }
    HWND QuickScanAlert(UINT part) { return QuickScanOrAlert(run_, {LangText(718) + " - " + LangText(part)}, &passes_); }
    // The pass after the last Quick Scan ended; false when an alert holds it up.
    bool WaitPassDone() { return WaitQuickScanDone(passes_, kPassWait, LangText(718).c_str(), true); }
    bool Answer(HWND alert, int button) { return PressToClose(alert, button, kPassWait) && WaitPassDone(); }
    // Rejects the alert and checks that the add-on areas lost exactly the item (a key
    // or a value line) in the views given.
    void RejectRemoves(HWND alert, const std::string &item, REGSAM views)
    {
        std::string expected = AddonAreasWithout(item, views);
        ASSERT_NE(AddonAreas(), expected) << "the item is there before the answer";
        ASSERT_TRUE(Answer(alert, IDNO));
        EXPECT_EQ(expected, AddonAreas());
    }
    KeptValues created_;
    std::map<std::string, std::string> dll_;
    std::string opened_;
    MonitorRun run_;
    int passes_ = 0;
};

TEST_F(AddonEndToEnd, AlertsRemoveOrBlockExactlyTheirItemAndAReturningHelperIsTakenIn)
{
    // The helper's 64-bit twin is there from the start, so known; the 32-bit one comes later.
    RegisterClass(kHelper, k32, "Bm Browser Helper", dll_["helper"]);
    RegisterClass(kHelper, k64, "Bm Browser Helper", dll_["helper"]);
    RegPut(HKLM, Sub(BHO_KEY, kHelper).c_str(), "NoExplorer", "1", k64);
    ASSERT_TRUE(StartMonitor(run_));
    ASSERT_TRUE(QuickScan()) << "what was there at the start is known";

    // Rejected twice, then on its third alert in a row taken in with the help page.
    for (int alertNo = 1; alertNo <= 3; alertNo++) {
        SCOPED_TRACE(alertNo);
        RegPut(HKLM, Sub(BHO_KEY, kHelper).c_str(), "NoExplorer", "1", k32);
        HWND alert = QuickScanAlert(694);
        ASSERT_NE(nullptr, alert);
        EXPECT_EQ("Bm Browser Helper", ControlText(alert, IDC_PRODUCTNAME));
        EXPECT_EQ(dll_["helper"], ControlText(alert, IDC_PATH));
        EXPECT_EQ("(c) Addon Makers", ControlText(alert, IDC_LEGAL));
        EXPECT_EQ(LangText(4105), ControlText(alert, IDC_SIGNATURE)) << "the test add-on is not signed";
        EXPECT_EQ(LangText(701), ControlText(alert, IDC_MESSAGE));
        if (alertNo < 3) {
            RejectRemoves(alert, Sub(BHO_KEY, kHelper), k32);
            EXPECT_TRUE(RegHasKey(HKLM, Sub(BHO_KEY, kHelper).c_str(), k64)) << "the twin is another helper";
            EXPECT_EQ(alertNo, HistoryLinesWith({"IEHELPER_Remove", "TYPE_BHO", dll_["helper"]}));
            WaitUntil([&] { return !RegText(HKEY_CURRENT_USER, kSignKey, "Unregistered").empty(); }, 30000);
            EXPECT_EQ(dll_["helper"], RegText(HKEY_CURRENT_USER, kSignKey, "Unregistered")) << "regsvr32 /u ran";
            RegRemoveValue(HKEY_CURRENT_USER, kSignKey, "Unregistered");
        } else {
            ASSERT_TRUE(Answer(alert, IDNO));
            EXPECT_TRUE(RegHasKey(HKLM, Sub(BHO_KEY, kHelper).c_str(), k32));
            EXPECT_EQ("900", RegText(HKEY_CURRENT_USER, IEHELPERS_BASELINE_KEY, "Bm Browser Helper"));
            WaitUntil([&] { return !ReadWholeFile(opened_).empty(); }, 30000);
            EXPECT_NE(std::string::npos, ReadWholeFile(opened_).find("helpme.html")) << ReadWholeFile(opened_);
        }
    }
    EXPECT_EQ(3, HistoryLinesWith({"IEHELPER_Alert", "TYPE_BHO", "Bm Toolbar Suite", dll_["helper"]}));
    EXPECT_TRUE(QuickScan()) << "taken in: not asked again";

    // A toolbar value and an extension key: each alerted, each removed on reject.
    RegisterClass(kToolbar, k64, "Bm Toolbar", dll_["toolbar"]);
    RegPut(HKLM, TOOLBAR_KEY, kToolbar, "", k64);
    HWND alert = QuickScanAlert(694);
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ("Bm Toolbar Suite", ControlText(alert, IDC_PRODUCTNAME));
    RejectRemoves(alert, std::string(kToolbar) + "=1:" + std::string(1, '\0') + "\n", k64);
    RegPut(HKLM, Sub(EXTENSIONS_KEY, kExtension).c_str(), "ButtonText", "Bm Button", k64);
    RegPut(HKLM, Sub(EXTENSIONS_KEY, kExtension).c_str(), "Exec", dll_["toolbar"].c_str(), k64);
    ASSERT_NE(nullptr, alert = QuickScanAlert(694));
    EXPECT_EQ(kExtension, ControlText(alert, IDC_PATH));
    RejectRemoves(alert, Sub(EXTENSIONS_KEY, kExtension), k64);
    EXPECT_EQ(5, HistoryLinesWith({"IEHELPER_Alert", "TYPE_BHO"}));

    // Two controls the browser starts to use: reject sets the kill bit in both views
    // keeping the bits already set; accept leaves the flags alone. Neither comes back.
    const std::string rejected = Sub(ACTIVEX_COMPAT_KEY, kRejected);
    RegPutDword(HKLM, rejected.c_str(), "Compatibility Flags", 0x21, k64);
    RegPut(HKLM, Sub(ACTIVEX_COMPAT_KEY, kToolbar).c_str(), "Bystander", "1", k32);
    for (const char *id : {kRejected, kAccepted}) {
        RegisterClass(id, k64, id == kRejected ? "Bm Rejected Control" : "Bm Accepted Control",
                 id == kRejected ? dll_["control"] : dll_["toolbar"]);
        RegPut(HKEY_CURRENT_USER, Sub(EXT_STATS_KEY, id).c_str(), "Count", "1");
    }
    ASSERT_NE(nullptr, alert = QuickScanAlert(1155));
    EXPECT_EQ("Bm Rejected Control", ControlText(alert, IDC_PRODUCTNAME));
    EXPECT_EQ(LangText(1066), ControlText(alert, IDC_MESSAGE));
    std::string before = WithoutText(AddonAreas(), KeyTreeText(HKLM, rejected, k64));
    PressToClose(alert, IDNO, kPassWait);
    ASSERT_NE(nullptr, alert = WaitForDialog((LangText(718) + " - " + LangText(1155)).c_str(), kPassWait));
    EXPECT_EQ("Bm Accepted Control", ControlText(alert, IDC_PRODUCTNAME));
    ASSERT_TRUE(Answer(alert, IDYES));
    auto flagsKey = [&](DWORD flags) {
        return "[" + rejected + "]\nCompatibility Flags=4:" + std::string((const char *)&flags, 4) + "\n";
    };
    std::string blocked64 = KeyTreeText(HKLM, rejected, k64), blocked32 = KeyTreeText(HKLM, rejected, k32);
    EXPECT_EQ(flagsKey(0x421), blocked64);
    EXPECT_EQ(flagsKey(0x400), blocked32);
    EXPECT_EQ(before, WithoutText(WithoutText(AddonAreas(), blocked64), blocked32)) << "nothing else changed, the accepted one neither";
    EXPECT_EQ("1200", RegText(HKEY_CURRENT_USER, ACTIVEX_KEY, kRejected));
    EXPECT_EQ("1200", RegText(HKEY_CURRENT_USER, ACTIVEX_KEY, kAccepted));
    EXPECT_EQ(2, HistoryLinesWith({"LOG_ALERT_ACTIVEX", "TYPE_ACTIVEX", "Bm "}));
    EXPECT_TRUE(QuickScan()) << "neither control is asked about again";
}

}  // namespace
