// The real monitor's settings watchers as a user meets them: HOSTS file and Windows
// Update mode (with Windows XP reported), watched registry values and the start page.
#include <windows.h>

#include <string>

#include "common/options.h"
#include "resources/resource.h"
#include "support/e2e.h"
#include "support/system_state.h"
#include "support/test_env.h"
#include "watchers/pages.h"
#include "watchers/regoptions.h"

namespace {

const char kWatchKey[] = "Software\\BmTest\\Watch";
const char kIEMain[] = "Software\\Microsoft\\Internet Explorer\\Main";

// Any alert of these watchers: their captions begin with the program's name, except
// the page alert's.
HWND AnyAlert()
{
    HWND alert = WaitForDialog("Brackmoor", 0, true);
    return alert ? alert : WaitForDialog(LangText(624).c_str(), 0);
}

class SettingsEndToEnd : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        PrepareMonitor({"SuppressExtraAlerts", "Sound", "Start", "RealtimeStartup"});
    }
    void TearDown() override
    {
        StopMonitor(run_);
        if (!hosts_.empty())
            WriteWholeFile(hosts_, hostsText_);
        kept_.Restore();
        BrackmoorTest::TearDown();
    }
    void Keep(HKEY root, const char *path, const char *name, REGSAM view = k64) { kept_.Keep(root, path, name, view); }
    void Start()
    {
        AcceptStartupEntriesPresent();
        ASSERT_TRUE(StartMonitor(run_));
        ASSERT_TRUE(WaitForTrace("Timer set to 2000", 15000));
        ASSERT_TRUE(QuickScan()) << "the first pass asks nothing";
    }
    // Waits for the pass counted after `before` to end; false when an alert holds it.
    bool WaitPass(int before)
    {
        return WaitUntil([&] { return AnyAlert() || QuickScansDone() > before; }, kPassWait) && !AnyAlert();
    }
    bool QuickScan()
    {
        passes_ = QuickScansDone();
        SendMonitorCommand(run_, 6074);
        return WaitPass(passes_);
    }
    HWND QuickScanAlert(const std::string &caption) { return QuickScanOrAlert(run_, {caption}, &passes_); }
    void Answer(HWND alert, int button) { PressToClose(alert, button, kPassWait); }
    MonitorRun run_;
    std::string hosts_, hostsText_;     // the system's HOSTS file, put back after the monitor stopped
    KeptValues kept_;
    int passes_ = 0;
};

TEST_F(SettingsEndToEnd, WithWindowsXpAnEditedHostsFileAndASwitchedOffUpdateModeAreAskedAndPutBack)
{
    const std::string hosts = SystemFolder() + "\\drivers\\etc\\hosts";
    ASSERT_TRUE(PathExists(hosts));
    const std::string original = ReadWholeFile(hosts), edited = original + "\r\n10.6.6.6 bank.example\r\n";
    hosts_ = hosts;
    hostsText_ = original;
    // Wine reports the version its own setting names; the monitor reads it when it starts.
    Keep(HKEY_CURRENT_USER, "Software\\Wine", "Version", 0);
    RegPut(HKEY_CURRENT_USER, "Software\\Wine", "Version", "winxp64");
    Keep(HKEY_LOCAL_MACHINE, AUTO_UPDATE_KEY, "AUOptions");
    RegPutDword(HKEY_LOCAL_MACHINE, AUTO_UPDATE_KEY, "AUOptions", 4, k64);
    Start();
    EXPECT_EQ(DwordData(4), RegKeyValues(HKEY_CURRENT_USER, BRACKMOOR_KEY)["AUOptions"]) << "taken at the start";

    // Both changed before one pass: the file alert comes first, then the update alert.
    WriteWholeFile(hosts, edited);
    RegPutDword(HKEY_LOCAL_MACHINE, AUTO_UPDATE_KEY, "AUOptions", 1, k64);
    KeyValueMap update = RegKeyValues(HKEY_LOCAL_MACHINE, AUTO_UPDATE_KEY);
    HWND alert = QuickScanAlert(LangText(1000));
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ("HOSTS", ControlText(alert, IDC_SYSFILE_NAME));
    EXPECT_EQ(0, lstrcmpiA(hosts.c_str(), ControlText(alert, IDC_SYSFILE_PATH).c_str()));
    Answer(alert, IDC_SYSFILE_REJECT);
    EXPECT_TRUE(original == ReadWholeFile(hosts)) << "the previous file, byte for byte";
    alert = WaitForDialog((std::string("Brackmoor - ") + LangText(1050)).c_str(), kPassWait);
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ(LangFilled(1055, LangText(1054), LangText(1051)), ControlText(alert, IDC_SETTING_MESSAGE));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(alert, IDC_SETTING_HELP)));
    Answer(alert, IDNO);
    ASSERT_TRUE(WaitPass(passes_));
    update["AUOptions"] = DwordData(4);
    EXPECT_EQ(update, RegKeyValues(HKEY_LOCAL_MACHINE, AUTO_UPDATE_KEY)) << "only the mode, back to 4";
    EXPECT_TRUE(QuickScan()) << "the put-back file and mode are the approved ones";

    // Accept: the previous copy becomes the new file, which is not asked about again.
    WriteWholeFile(hosts, edited);
    ASSERT_NE(nullptr, alert = QuickScanAlert(LangText(1000)));
    Answer(alert, IDC_SYSFILE_ACCEPT);
    ASSERT_TRUE(WaitPass(passes_));
    EXPECT_TRUE(edited == ReadWholeFile(DataFolder() + "\\HOSTS"));
    EXPECT_TRUE(QuickScan());
    EXPECT_EQ(1, HistoryLinesWith({"*SETTING_Restore\tTYPE_SYSFILE\tHOSTS\t"}));
    EXPECT_EQ(1, HistoryLinesWith({"*SETTING_Restore\tTYPE_AUTOUPDATE\tAUOptions\t"}));
    EXPECT_EQ(1, HistoryLinesWith({"SETTING_Accept\tTYPE_SYSFILE\tHOSTS\t"}));
}

TEST_F(SettingsEndToEnd, AWatchedValueIsAskedALockedOneRevertedAndAChangedStartPageRejected)
{
    kept_.newKeys.Watch(HKEY_CURRENT_USER, "Software\\BmTest");
    const std::string entry = std::string("HKEY_CURRENT_USER\\") + kWatchKey + "\\";
    RegPutDword(HKEY_CURRENT_USER, kWatchKey, "Level", 1);
    RegPutDword(HKEY_CURRENT_USER, kWatchKey, "Locked", 3);
    RegPutDword(HKEY_CURRENT_USER, REGOPTIONS_KEY, (entry + "Level").c_str(), 1);
    RegPutDword(HKEY_CURRENT_USER, REGOPTIONS_KEY, (entry + "Locked").c_str(), 3);
    RegPutDword(HKEY_CURRENT_USER, REGLOCK_KEY, (entry + "Locked").c_str(), 1);
    Keep(HKEY_CURRENT_USER, kIEMain, "Start Page");
    RegPut(HKEY_CURRENT_USER, kIEMain, "Start Page", "http://home.example/");
    Start();
    EXPECT_EQ("http://home.example/", RegText(HKEY_CURRENT_USER, BRACKMOOR_KEY, "StartPage")) << "adopted";

    // Another program changes both values: only the unlocked one is asked about.
    KeyValueMap watched = RegKeyValues(HKEY_CURRENT_USER, kWatchKey);
    RegPutDword(HKEY_CURRENT_USER, kWatchKey, "Level", 16);
    RegPutDword(HKEY_CURRENT_USER, kWatchKey, "Locked", 9);
    HWND box = QuickScanAlert("Brackmoor");
    ASSERT_NE(nullptr, box);
    EXPECT_NE(std::string::npos, DialogTexts(box).find(std::string(kWatchKey) + "  Level: 16 "));
    Answer(box, IDNO);
    ASSERT_TRUE(WaitPass(passes_)) << "no question about the locked value";
    EXPECT_EQ(watched, RegKeyValues(HKEY_CURRENT_USER, kWatchKey));

    KeyValueMap main = RegKeyValues(HKEY_CURRENT_USER, kIEMain);
    RegPut(HKEY_CURRENT_USER, kIEMain, "Start Page", "http://bad.example/");
    HWND alert = QuickScanAlert(LangText(624));
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ(LangFilled(625, "http://bad.example/", "http://home.example/"), ControlText(alert, IDC_SETTING_MESSAGE));
    Answer(alert, IDNO);
    ASSERT_TRUE(WaitPass(passes_));
    EXPECT_EQ(main, RegKeyValues(HKEY_CURRENT_USER, kIEMain)) << "the approved page is back, nothing else moved";
}

}  // namespace
