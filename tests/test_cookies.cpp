// Cookie stores, filters and removal in process: where each browser's store is, what a
// filter removes and what it must leave alone.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/tracelog.h"
#include "cookies/cookie_stores.h"
#include "cookies/cookies.h"
#include "common/runlist.h"
#include "support/firefox_cookies.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kUserShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const char kHttpCommand[] = "SOFTWARE\\Classes\\HTTP\\shell\\open\\command";

// The list the cookie routines under test fill and read.
static OwnedRunList gList;

std::string RunField(int i, int (*get)(const RunList *, int, char *))
{
    char text[RUN_DETAILS_MAX] = "";
    get(gList, i, text);
    return text;
}

class CookiesTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        WatchAppPaths();
        giBrowserFamily = BROWSER_FAMILY_IE;
        TraceToTempFile();
    }
    void TearDown() override
    {
        kept_.Restore();   // the first save holds the original
        for (const std::string &f : platformFiles_)
            RemoveTree(f);
        if (!asideFrom_.empty())
            MoveFileA((TempFolder() + "\\aside").c_str(), asideFrom_.c_str());
        SetEnvironmentVariableA("USERPROFILE", profile_.empty() ? NULL : profile_.c_str());
        FreeNutsList();
        BrackmoorTest::TearDown();
    }
    // Sets a value outside the monitor's keys (text NULL: deletes it); put back after the test.
    void Put(HKEY root, const char *path, const char *name, const char *text)
    {
        kept_.saved.emplace_back(root, path, name, k64);
        if (text)
            RegPut(root, path, name, text, k64);
        else
            RegRemoveValue(root, path, name, k64);
    }
    void WatchAppPaths()
    {
        for (const char *exe : {"firefox.exe", "palemoon.exe"})
            kept_.newKeys.Watch(HKEY_LOCAL_MACHINE, std::string(kAppPaths) + exe);
    }
    void InstallBrowser(const char *exe)
    {
        RegPut(HKEY_LOCAL_MACHINE, (std::string(kAppPaths) + exe).c_str(), "", (BinFolder() + "\\brackmoor.exe").c_str(), k64);
    }
    void Filter(const std::string &text, const char *kind = "1")
    {
        RegPut(HKEY_CURRENT_USER, NUTS_KEY, text.c_str(), kind);
    }
    // A Firefox profile named by "CookieFolder"; with a browser of version 33 its
    // store is the database, else "cookies.txt".
    std::string FirefoxProfile(bool database)
    {
        std::string folder = TempFolder() + "\\profile";
        CreateDirectoryA(folder.c_str(), NULL);
        RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "CookieFolder", folder.c_str());
        Put(HKEY_LOCAL_MACHINE, kHttpCommand, "", "firefox.exe -osint -url %1");
        if (database)
            InstallBrowser("firefox.exe");
        return folder;
    }
    KeptValues kept_;   // values set outside the monitor's keys, browser paths made
    std::vector<std::string> platformFiles_;
    std::string asideFrom_;   // a file of the system moved aside for the test, put back after it
    std::string profile_;
};

TEST_F(CookiesTest, InternetExplorerFolderIsTheFirstPlaceWithAnIndex)
{
    char platform[MAX_PATH] = "";
    ASSERT_TRUE(SHGetSpecialFolderPathA(NULL, platform, CSIDL_COOKIES, TRUE));
    const std::string t = TempFolder(), win = WindowsFolder() + "\\Cookies";
    platformFiles_ = {std::string(platform) + "\\container.dat", win};
    // WinINet keeps its own index in the platform folder once anything used it.
    if (MoveFileA((std::string(platform) + "\\index.dat").c_str(), (t + "\\aside").c_str()))
        asideFrom_ = std::string(platform) + "\\index.dat";
    struct Row {
        const char *override, *shell, *user;  // folders the values name
        std::string index;                    // the one index file made
        std::string expected;                 // "" for not found
    } rows[] = {
        {"\\o", nullptr, nullptr, t + "\\o\\index.dat", t + "\\o"},
        {"\\o", nullptr, nullptr, std::string(platform) + "\\container.dat", std::string(platform) + "\\"},
        // Reading the platform folder rewrites "Shell Folders" from "User Shell Folders".
        {"\\o", "\\s", "\\s", t + "\\s\\index.dat", t + "\\s"},
        {nullptr, "\\s", "\\s", t + "\\s\\low\\container.dat", t + "\\s\\low\\"},
        {"\\o", "\\s", "\\u", t + "\\u\\index.dat", t + "\\u"},
        {nullptr, nullptr, nullptr, win + "\\index.dat", win},
        {"\\o", "\\s", "\\u", "", ""},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        const Row &r = rows[i];
        SCOPED_TRACE("row " + std::to_string(i));
        RegRemoveValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "IECookieFolder");
        if (r.override)
            RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "IECookieFolder", (t + r.override).c_str());
        Put(HKEY_CURRENT_USER, kShellFolders, "Cookies", r.shell ? (t + r.shell).c_str() : nullptr);
        Put(HKEY_CURRENT_USER, kUserShellFolders, "Cookies", r.user ? (t + r.user).c_str() : nullptr);
        if (!r.index.empty())
            WriteWholeFile(r.index, "x");
        char found[MAX_PATH] = "?";
        EXPECT_EQ(r.expected.empty() ? 0 : 1, GetIECookieFolder(found));
        EXPECT_STREQ(r.expected.c_str(), found);
        if (!r.index.empty())
            DeleteFileA(r.index.c_str());
    }
    EXPECT_EQ(COOKIE_INDEX_NONE, GetCookieIndexKind("C:"));
}

TEST_F(CookiesTest, MozillaProfileIsFoundPaleMoonFirstWithTheCookieFileOfItsVersion)
{
    const std::string app = TempFolder() + "\\app";
    Put(HKEY_CURRENT_USER, kShellFolders, "AppData", app.c_str());
    char profile[MAX_PATH] = "";
    GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH);
    profile_ = profile;
    SetEnvironmentVariableA("USERPROFILE", "C:\\users\\bmtester");
    const std::string pale = app + "\\Moonchild Productions\\Pale Moon\\Profiles\\",
                      fox = app + "\\Mozilla\\FireFox\\Profiles\\", old = app + "\\Mozilla\\Profiles\\default\\";
    struct Row {
        const char *browser;                 // installed, or nullptr
        std::vector<std::string> files;      // made in the profile folders
        std::string expected;
    } rows[] = {
        {"firefox.exe", {fox + "ab.default\\cookies.sqlite", pale + "cd.default\\cookies.sqlite"}, pale + "cd.default"},
        {"palemoon.exe", {fox + "ab.default\\cookies.sqlite"}, fox + "ab.default"},
        {"firefox.exe", {fox + "default.xy\\cookies.sqlite"}, fox + "default.xy"},
        {"firefox.exe", {fox + "ab.default\\cookies.txt", fox + "q.bmtester\\cookies.sqlite"}, fox + "q.bmtester"},
        {"firefox.exe", {old + "r2d2\\cookies.sqlite"}, old + "r2d2"},
        {"firefox.exe", {fox + "ab.default\\cookies.txt"}, ""},   // version 3 and later want the database
        {nullptr, {fox + "ab.default\\cookies.sqlite", fox + "zz.default\\cookies.txt"}, ""},
        {nullptr, {pale + "cd.default\\cookies.txt"}, pale + "cd.default"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        const Row &r = rows[i];
        SCOPED_TRACE("row " + std::to_string(i));
        RemoveTree(app);
        kept_.newKeys.Remove();
        WatchAppPaths();
        if (r.browser)
            InstallBrowser(r.browser);
        EXPECT_EQ(r.browser ? 33 : 0, GetMozillaMajorVersion());
        for (const std::string &f : r.files)
            WriteWholeFile(f, "x");
        char found[MAX_PATH] = "?";
        EXPECT_EQ(r.expected.empty() ? 0 : 1, GetMozillaCookieFolder(found));
        EXPECT_STREQ(r.expected.c_str(), found);
    }
    EXPECT_STREQ("\\cookies.txt", MozillaCookieFileName(GetMozillaMajorVersion()));
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "CookieFolder", "Q:\\no such profile");
    char found[MAX_PATH];
    EXPECT_EQ(1, GetMozillaCookieFolder(found)) << "the override is taken as it stands";
    EXPECT_STREQ("Q:\\no such profile", found);
}

TEST_F(CookiesTest, FiltersAreValueNamesMatchedInAnyCaseOneTimeOnesCleared)
{
    Filter("Tracker");
    Filter("ads", "2");
    Filter("");                        // the key's default value names nothing
    Filter(std::string(600, 'q'));     // longer than a filter may be
    RegPutDword(HKEY_CURRENT_USER, NUTS_KEY, "ONCE", 2);
    EXPECT_EQ(3, LoadNutsList());
    struct { std::string text; int match; } rows[] = {
        {"www.TRACKER.net/", 1}, {"bads.example", 1}, {"zzz", 0}, {"", 0},
        {std::string(505, 'z') + "tracker", 1}, {std::string(506, 'z') + "tracker", 0}, {"once upon", 1},
        {std::string(600, 'q'), 0},
    };
    for (const auto &r : rows)
        EXPECT_EQ(r.match, MatchesNutsFilter(r.text.c_str())) << r.text.size() << " " << r.text.substr(0, 20);
    EXPECT_EQ(1, IsNutsFilterName("tRACKER"));
    EXPECT_EQ(0, IsNutsFilterName("tracker.net"));
    FreeNutsList();
    EXPECT_EQ(0, MatchesNutsFilter("tracker"));
    EXPECT_EQ(2, ClearOneTimeNuts());
    EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, NUTS_KEY, "Tracker"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, NUTS_KEY, "ads"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, NUTS_KEY, "ONCE"));
    EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, NUTS_KEY, std::string(600, 'q').c_str()));
}

TEST_F(CookiesTest, BrowserFamilyFollowsTheDefaultBrowser)
{
    struct { const char *command; int family; } rows[] = {
        {"\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\" -osint -url \"%1\"", BROWSER_FAMILY_MOZILLA},
        {"C:\\Netscape\\netscp.exe %1", BROWSER_FAMILY_MOZILLA},
        {"C:\\Pale Moon\\palemoon.exe %1", BROWSER_FAMILY_IE},
        {"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1", BROWSER_FAMILY_IE},
    };
    for (const auto &r : rows) {
        Put(HKEY_LOCAL_MACHINE, kHttpCommand, "", r.command);
        EXPECT_EQ(r.family, DecideBrowserFamily()) << r.command;
        EXPECT_EQ(r.family, giBrowserFamily);
    }
}

TEST_F(CookiesTest, InternetExplorerFilesGoByPathOrHostLineOthersStayByteIdentical)
{
    const std::string folder = TempFolder() + "\\ie";
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "IECookieFolder", folder.c_str());
    Put(HKEY_LOCAL_MACHINE, kHttpCommand, "", "iexplore.exe %1");
    WriteWholeFile(folder + "\\index.dat", "index");
    struct { const char *file, *text; bool removed; } rows[] = {
        {"user@tracker[1].txt", "id\n1\nwww.example.com/\n9728\n", true},          // by its path
        {"user@site[2].TXT", "id\n2\nADS.Example.com/shop\n9728\n", true},          // by its host line
        {"user@keep[1].txt", "id\n3\nkeep.example.org/\r\n9728\r\n", false},
        {"user@two[1].txt", "ads.example.com\n", false},                            // no third line
        {"ads.example.com.dat", "id\n4\nads.example.com/\n", false},                 // not a cookie file
    };
    for (const auto &r : rows)
        WriteWholeFile(folder + "\\" + r.file, r.text);
    WriteWholeFile(folder + "\\sub\\user@ads.example[1].txt", "id\n5\nads.example.com/\n");
    Filter("TRACKER");
    Filter("ads.example.com");
    const int maxCookie = giMaxCookie;
    giMaxCookie = 1;   // a full list ends the listing, never the removal
    EXPECT_EQ(1, EatCookies(nullptr)) << "the files that stay are listed, up to the limit";
    EXPECT_EQ(1, ProcessIECookies(gList, 0));
    giMaxCookie = maxCookie;
    for (const auto &r : rows) {
        std::string path = folder + "\\" + r.file;
        EXPECT_EQ(!r.removed, PathExists(path)) << r.file;
        if (!r.removed) {
            EXPECT_EQ(r.text, ReadWholeFile(path)) << r.file;
        }
    }
    EXPECT_TRUE(PathExists(folder + "\\sub\\user@ads.example[1].txt")) << "the walk stays in the folder";
    ASSERT_EQ(2, ProcessIECookies(gList, 0));
    std::vector<std::string> records;
    for (int i = 0; i < gList->count; i++) {
        char written[FILE_TIME_TEXT_MAX];
        FormatFileTime(RunField(i, GetRunPath).c_str(), written);
        EXPECT_EQ(written, RunField(i, GetRunDetails)) << "the file's last write";
        EXPECT_EQ(CODE_COOKIE, GetRunCode(gList, i));
        records.push_back(RunField(i, GetRunName) + "=" + RunField(i, GetRunSourcePath));
    }
    std::sort(records.begin(), records.end());
    EXPECT_EQ((std::vector<std::string>{"user@keep[1].txt=keep.example.org/", "user@two[1].txt="}), records);
}

std::vector<FirefoxCookie> SampleCookies()
{
    return {
        {".example.com", "session", "/", "abc", 2000000000, 1},
        {"www.tracker.net", "id", "/t", "x", 1999999999, 0},
        {".news.org", "_TRACK_me", "/", "y", 2000000000000LL, 0},   // expiry in milliseconds
        {".shop.com", "cart", "/buy", "3 items", 1900000000, 1},
        {"ads.DoubleClick.net", "IDE", "/", "z", 2000000000, 1},
    };
}

TEST_F(CookiesTest, DatabaseFiltersDeleteExactlyTheNamedRowsTheRestIsCollected)
{
    std::string db = FirefoxProfile(true) + "\\cookies.sqlite";
    ASSERT_TRUE(WriteFirefoxCookies(db, SampleCookies()));
    Filter("track");         // a name and a host
    Filter("doubleclick");   // a host, in another case
    EXPECT_EQ(2, EatCookies(nullptr));
    std::string integrity;
    EXPECT_EQ((std::vector<std::string>{".example.com|session", ".shop.com|cart"}), FirefoxCookieKeys(db, &integrity));
    EXPECT_EQ("ok", integrity);

    ASSERT_EQ(1, CollectCookies()) << "no cookie is known yet";
    ASSERT_EQ(2, ProcessMozillaCookies(gList, 0));
    SYSTEMTIME st;
    char when[FILE_TIME_TEXT_MAX];
    UnixTimeToSystemTime(1900000000, &st);
    FormatDateLocal(&st, when);
    EXPECT_EQ(".shop.com / cart", RunField(1, GetRunName));
    EXPECT_EQ("/buy", RunField(1, GetRunPath));
    EXPECT_EQ("3 items", RunField(1, GetRunSourcePath));
    EXPECT_EQ(when, RunField(1, GetRunDetails));
    EXPECT_EQ(CODE_MOZILLA_COOKIE, GetRunCode(gList, 1));
    EXPECT_EQ(1, GetRunExtra(gList, 1));

    RegPut(HKEY_CURRENT_USER, KNOWN_COOKIES_KEY, ".shop.com / cart", "seen");
    EXPECT_EQ(1, CollectCookies()) << "one cookie is still unseen";
    RegPut(HKEY_CURRENT_USER, KNOWN_COOKIES_KEY, ".example.com / session", "seen");
    EXPECT_EQ(0, CollectCookies());
}

TEST_F(CookiesTest, HostileFiltersDeleteNothingTheyDoNotName)
{
    std::string db = FirefoxProfile(true) + "\\cookies.sqlite";
    std::vector<FirefoxCookie> cookies = {
        {"a.com", "it's", "/", "v", 1, 0},        {"b.com", "50%off", "/", "v", 1, 0},
        {"c.com", "under_score", "/", "v", 1, 0}, {"d.com", "a--b", "/", "v", 1, 0},
        {"e.com", "caf\xC3\xA9", "/", "v", 1, 0}, {"f.com", std::string(600, 'x'), "/", "v", 1, 0},
        {"g.com", "plain", "/", "v", 1, 0},       {"h.com", "back\\slash", "/", "v", 1, 0},
    };
    struct { std::string filter; std::vector<std::string> gone; } rows[] = {
        {"'", {}},                         // an apostrophe deletes nothing
        {"it's", {}},
        {"' OR '1'='1", {}},
        {"%", {"b.com"}},
        {"_", {"c.com"}},
        {"--", {"d.com"}},
        {"\\", {"h.com"}},
        {"caf\xE9", {"e.com"}},            // the system code page's letter, stored as UTF-8
        {"\xE9\xFF\x80", {}},
        {std::string(511, 'x'), {"f.com"}},
        {"x%o", {}},
        {"\"; DROP TABLE moz_cookies; --", {}},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.filter.substr(0, 40));
        DeleteFileA(db.c_str());
        ASSERT_TRUE(WriteFirefoxCookies(db, cookies));
        RegDeleteTreeView(HKEY_CURRENT_USER, NUTS_KEY);
        Filter(r.filter);
        EatCookies(nullptr);
        std::vector<std::string> expected;
        for (const FirefoxCookie &c : cookies)
            if (std::find(r.gone.begin(), r.gone.end(), c.host) == r.gone.end())
                expected.push_back(c.host + "|" + c.name);
        std::string integrity;
        EXPECT_EQ(expected, FirefoxCookieKeys(db, &integrity));
        EXPECT_EQ("ok", integrity);
    }
}

TEST_F(CookiesTest, DamagedOrLockedDatabaseEndsTheStepWithATraceAndNoNotice)
{
    std::string db = FirefoxProfile(true) + "\\cookies.sqlite";
    std::vector<FirefoxCookie> many;
    for (int i = 0; i < 200; i++)
        many.push_back({"host" + std::to_string(i) + ".com", "track" + std::to_string(i), "/", std::string(100, 'v'), 1, 0});
    Filter("track");
    std::string random(8192, '\0');
    for (size_t i = 0; i < random.size(); i++)
        random[i] = (char)(i * 7919 % 251);
    for (const char *damage : {"truncated", "random", "no table", "locked"}) {
        SCOPED_TRACE(damage);
        DeleteFileA(TestLogPath);
        DeleteFileA(db.c_str());
        ASSERT_TRUE(WriteFirefoxCookies(db, many));
        sqlite3 *holder = nullptr;
        if (!strcmp(damage, "truncated")) {
            WriteWholeFile(db, ReadWholeFile(db).substr(0, 3 * 4096 + 100));
        } else if (!strcmp(damage, "random")) {
            WriteWholeFile(db, random);
        } else {
            ASSERT_EQ(SQLITE_OK, sqlite3_open(db.c_str(), &holder));
            if (!strcmp(damage, "no table")) {
                sqlite3_exec(holder, "DROP TABLE moz_cookies", 0, 0, 0);
                sqlite3_close(holder);
                holder = nullptr;
            } else {   // as a browser holds it: exclusive locking, a write transaction open
                ASSERT_EQ(SQLITE_OK, sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE", 0, 0, 0));
            }
        }
        std::string before = ReadWholeFile(db);
        EatCookies(nullptr);
        EXPECT_EQ(0, CollectCookies()) << "no notice";
        EXPECT_EQ(0, ProcessMozillaCookies(gList, 0));
        EXPECT_TRUE(before == ReadWholeFile(db)) << "the file is unchanged";
        EXPECT_TRUE(TraceHas("MyError:  ProcessCookieDatabase"));
        if (holder) {
            sqlite3_exec(holder, "ROLLBACK", 0, 0, 0);
            sqlite3_close(holder);
        }
    }
}

TEST_F(CookiesTest, CookieTextFileIsRewrittenLineByLineAndReplacedOnceTheBrowserIsClosed)
{
    std::string folder = FirefoxProfile(false);
    const std::string original =
        "# Netscape HTTP Cookie File\n"
        ".keep.com\tTRUE\t/\tFALSE\t2000000000\tid\tv1\n"
        ".tracker.net\tTRUE\t/\tTRUE\t2000000000\tuid\tv2\r\n"
        "\n"
        "keep2.org\tFALSE\t/p\tTRUE\t1999999999\tsess\tv3\r\n"
        ".ads.com\tTRUE\t/\tFALSE\t0\tx\ty\n"
        "last.org\tFALSE\t/\tFALSE\t1\tlast\tz";
    WriteWholeFile(folder + "\\cookies.txt", original);
    Filter("TRACKER", "2");
    Filter("ads.com - x");   // a cookie's key as a filter's name
    LoadNutsList();
    EXPECT_EQ(2, ProcessCookieTextFile(gList, folder.c_str(), 1));
    FreeNutsList();
    EXPECT_EQ("# Netscape HTTP Cookie File\n"
              ".keep.com\tTRUE\t/\tFALSE\t2000000000\tid\tv1\n"
              "\n"
              "keep2.org\tFALSE\t/p\tTRUE\t1999999999\tsess\tv3\r",
              ReadWholeFile(folder + "\\cookiesnew.txt"));
    EXPECT_EQ(original, ReadWholeFile(folder + "\\cookies.txt")) << "the browser's file waits";
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "UpdateCookieFile"));
    ASSERT_EQ(2, gList->count);
    EXPECT_EQ("keep2.org - sess", RunField(1, GetRunName));
    EXPECT_EQ("v3", RunField(1, GetRunSourcePath));
    EXPECT_EQ(1, GetRunExtra(gList, 1));

    giBrowserFamily = BROWSER_FAMILY_MOZILLA;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "MozillaWindowClass";
    RegisterClassA(&wc);
    HWND browser = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 10, 10, NULL, NULL, wc.hInstance, NULL);
    ASSERT_NE(nullptr, browser);
    EXPECT_EQ(0, PendingCookieFileStep()) << "a browser window is open";
    EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, NUTS_KEY, "TRACKER"));
    DestroyWindow(browser);
    UnregisterClassA(wc.lpszClassName, wc.hInstance);
    EXPECT_EQ(1, PendingCookieFileStep());
    EXPECT_EQ(ReadWholeFile(folder + "\\cookiesnew.txt"), ReadWholeFile(folder + "\\cookies.txt"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, OPTIONS_KEY, "UpdateCookieFile"));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, NUTS_KEY, "TRACKER")) << "the one-time filter is done";
    EXPECT_TRUE(RegHasValue(HKEY_CURRENT_USER, NUTS_KEY, "ads.com - x"));
    EXPECT_EQ(0, PendingCookieFileStep()) << "nothing waits any more";
}

}  // namespace
