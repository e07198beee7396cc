// The real monitor's cookie steps: filtered Internet Explorer files and Firefox rows
// removed, and one notice for new cookies.
#include <windows.h>

#include <string>
#include <vector>

#include "cookies/cookies.h"
#include "support/e2e.h"
#include "support/firefox_cookies.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kFirefoxAppPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\firefox.exe";
const char kHttpCommand[] = "SOFTWARE\\Classes\\HTTP\\shell\\open\\command";

class CookiesEndToEnd : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        kept_.newKeys.Watch(HKEY_LOCAL_MACHINE, kFirefoxAppPath);
        kept_.Keep(HKEY_LOCAL_MACHINE, kHttpCommand, "");
        PrepareMonitor({"SuppressExtraAlerts", "ShowAlerts", "Sound", "Start", "RealtimeStartup"}, {"Nuts", "Cookies"});
    }
    void TearDown() override
    {
        StopMonitor(run_);
        KillProgramsNamed("BrackmoorEx.exe");
        kept_.Restore();
        if (!mozilla_.empty())
            RemoveTree(mozilla_);
        BrackmoorTest::TearDown();
    }
    KeptValues kept_;
    MonitorRun run_;
    std::string mozilla_;
};

TEST_F(CookiesEndToEnd, FiltersEatInternetExplorerAndFirefoxCookiesNewOnesAreToldOnce)
{
    // Internet Explorer's folder: one file named by a filter through its host line.
    const std::string ie = TempFolder() + "\\ie";
    WriteWholeFile(ie + "\\index.dat", "index");
    const std::string eaten = ie + "\\user@shop[1].txt", kept = ie + "\\user@keep[2].txt";
    WriteWholeFile(eaten, "id\n1\nADS.example.com/\n9728\n");
    WriteWholeFile(kept, "id\n2\nkeep.example.org/\n9728\n");
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "IECookieFolder", ie.c_str());
    RegPut(HKEY_CURRENT_USER, KNOWN_COOKIES_KEY, "user@keep[2].txt", "seen");

    // Firefox 33 (a copy of the monitor, whose version says so) with its profile.
    const std::string firefox = TempFolder() + "\\firefox.exe";
    ASSERT_TRUE(CopyFileA((BinFolder() + "\\brackmoor.exe").c_str(), firefox.c_str(), FALSE));
    RegPut(HKEY_LOCAL_MACHINE, kFirefoxAppPath, "", firefox.c_str(), k64);
    std::string appData = RegText(HKEY_CURRENT_USER, kShellFolders, "AppData");
    ASSERT_FALSE(appData.empty());
    if (!PathExists(appData + "\\Mozilla"))
        mozilla_ = appData + "\\Mozilla";
    std::string profile = appData + "\\Mozilla\\Firefox\\Profiles\\bmtest.default";
    for (const char *part : {"\\Mozilla", "\\Mozilla\\Firefox", "\\Mozilla\\Firefox\\Profiles", "\\Mozilla\\Firefox\\Profiles\\bmtest.default"})
        CreateDirectoryA((appData + part).c_str(), NULL);
    const std::string db = profile + "\\cookies.sqlite";
    ASSERT_TRUE(WriteFirefoxCookies(db, {{".known.com", "a", "/", "1", 2000000000, 0},
                                         {"www.tracker.net", "id", "/", "2", 2000000000, 1},
                                         {".new1.com", "n1", "/", "3", 2000000000, 0},
                                         {".shop.com", "Ads.Example", "/", "4", 2000000000, 0},
                                         {".new2.com", "n2", "/x", "5", 2000000000, 1}}));
    RegPut(HKEY_CURRENT_USER, KNOWN_COOKIES_KEY, ".known.com / a", "seen");
    RegPut(HKEY_CURRENT_USER, NUTS_KEY, "ads.example", "1");
    RegPut(HKEY_CURRENT_USER, NUTS_KEY, "tracker", "1");

    RegPut(HKEY_LOCAL_MACHINE, kHttpCommand, "", "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1", k64);
    AcceptStartupEntriesPresent();
    ASSERT_TRUE(StartMonitor(run_));
    ASSERT_TRUE(WaitForTrace("Timer set to 2000", 15000));
    ASSERT_TRUE(QuickScanPass(run_, "Brackmoor")) << "Internet Explorer's cookies are all known: no notice";
    EXPECT_FALSE(PathExists(eaten));
    EXPECT_EQ("id\n2\nkeep.example.org/\n9728\n", ReadWholeFile(kept));
    EXPECT_EQ(5u, FirefoxCookieKeys(db).size()) << "not the default browser: its store is not touched";

    RegPut(HKEY_LOCAL_MACHINE, kHttpCommand, "", "\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\" -osint -url \"%1\"", k64);
    int before = QuickScansDone();
    SendMonitorCommand(run_, 6074);
    HWND notice = WaitForDialog("Brackmoor", 90000);
    ASSERT_NE(nullptr, notice) << "two unseen cookies";
    EXPECT_NE(std::string::npos, DialogTexts(notice).find(LangText(16).substr(0, 40)));
    std::string integrity;
    EXPECT_EQ((std::vector<std::string>{".known.com|a", ".new1.com|n1", ".new2.com|n2"}), FirefoxCookieKeys(db, &integrity));
    EXPECT_EQ("ok", integrity);
    PressButton(notice, IDYES);
    EXPECT_NE(nullptr, WaitForWindow("BrackmoorExplorer", NULL, 20000)) << "the cookie list opens";
    EXPECT_TRUE(WaitForTrace("-COOKIES", 5000));
    EXPECT_TRUE(WaitQuickScanDone(before, 90000, "Brackmoor")) << "one notice in the step";
}

}  // namespace
