// What the two cookie steps cost beside the reads they cannot avoid, and whether
// they leave memory or window-system objects behind.
//
// 1. The removal step (20 filters that name nothing, so every round sees the same
//    store) and the collecting step (every cookie known, so the search runs to the
//    end) on a Firefox database of 5,000 cookies, against a bare
//    "SELECT * FROM moz_cookies" with an empty row callback, and against the
//    reads each step has to make: the collecting step also looks every record up
//    under the known-cookie key.
// 2. The same two steps on an Internet Explorer folder of 5,000 cookie files,
//    against a bare FindFirstFile/FindNextFile walk of the folder, and against
//    the walk that also reads each file (and, for the collecting step, looks it
//    up under the known-cookie key).
// 3. Private bytes and GDI/USER objects before and after 2000 runs of both steps
//    of both families (on stores of 10 cookies, to keep the run short).
// The figures compared are taken in turns (bench_clock.h).
#include <windows.h>
#include <psapi.h>
#include <shlwapi.h>
#include <stdio.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "cookies/cookie_stores.h"
#include "cookies/cookies.h"
#include "common/appstate.h"
#include "common/options.h"
#include "common/runlist.h"
#include "tests/support/firefox_cookies.h"

#define APP_PATH_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\firefox.exe"

static std::string gBase;

static std::string gDatabase, gIEFolder;

static int EmptyRow(void *, int, char **, char **)
{
    return 0;
}

static void BareSelect(void)
{
    sqlite3 *db = NULL;
    sqlite3_open_v2(gDatabase.c_str(), &db, SQLITE_OPEN_READWRITE, NULL);
    sqlite3_exec(db, "SELECT * FROM moz_cookies", EmptyRow, NULL, NULL);
    sqlite3_close(db);
}

// A record's key looked up under the known-cookie key, as the collecting step must
// for every record its list takes (RUN_LIST_MAX at the most).
static int gLookups;

static void LookUpKnown(HKEY known, const char *key)
{
    if (gLookups++ >= RUN_LIST_MAX)
        return;
    char seen[64];
    DWORD size = sizeof(seen);
    RegQueryValueExA(known, key, NULL, NULL, (BYTE *)seen, &size);
}

static HKEY OpenKnown(void)
{
    HKEY known = NULL;
    gLookups = 0;
    RegOpenKeyExA(HKEY_CURRENT_USER, KNOWN_COOKIES_KEY, 0, KEY_READ, &known);
    return known;
}

static int KnownRow(void *arg, int columns, char **values, char **names)
{
    const char *host = "", *name = "";
    for (int c = 0; c < columns; c++) {
        if (!strcmp(names[c], "host") && values[c])
            host = values[c];
        else if (!strcmp(names[c], "name") && values[c])
            name = values[c];
    }
    char key[RUN_NAME_MAX];
    FormatText(key, CAP(key), "%s / %s", host, name);
    LookUpKnown((HKEY)arg, key);
    return 0;
}

static void BareSelectKnown(void)
{
    HKEY known = OpenKnown();
    sqlite3 *db = NULL;
    sqlite3_open_v2(gDatabase.c_str(), &db, SQLITE_OPEN_READWRITE, NULL);
    sqlite3_exec(db, "SELECT * FROM moz_cookies", KnownRow, known, NULL);
    sqlite3_close(db);
    RegCloseKey(known);
}

// The folder walked; with read, each file's first 16 KiB read, with known also
// its name looked up under the known-cookie key.
static void Walk(bool read, bool known)
{
    HKEY knownKey = known ? OpenKnown() : NULL;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((gIEFolder + "\\*.*").c_str(), &found);
    while (h != INVALID_HANDLE_VALUE) {
        // The collecting step lists no more files than its list takes.
        if (knownKey && gLookups >= RUN_LIST_MAX)
            break;
        if (read && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            static char text[16384];
            DWORD got = 0;
            HANDLE f = CreateFileA((gIEFolder + "\\" + found.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
            if (f != INVALID_HANDLE_VALUE) {
                ReadFile(f, text, sizeof(text), &got, NULL);
                CloseHandle(f);
            }
            if (knownKey)
                LookUpKnown(knownKey, found.cFileName);
        }
        if (!FindNextFileA(h, &found))
            break;
    }
    if (h != INVALID_HANDLE_VALUE)
        FindClose(h);
    if (knownKey)
        RegCloseKey(knownKey);
}

static void BareWalk(void)
{
    Walk(false, false);
}

static void BareWalkRead(void)
{
    Walk(true, false);
}

static void BareWalkReadKnown(void)
{
    Walk(true, true);
}

// The statements of the removal step alone: the integrity check, both DELETEs of
// each of the 20 filters (in a transaction that is rolled back) and the SELECT.
static void BareRemovalSql(void)
{
    sqlite3 *db = NULL;
    sqlite3_open_v2(gDatabase.c_str(), &db, SQLITE_OPEN_READWRITE, NULL);
    sqlite3_exec(db, "PRAGMA quick_check; BEGIN IMMEDIATE", EmptyRow, NULL, NULL);
    char sql[160];
    for (int i = 0; i < 20; i++)
        for (const char *column : {"name", "host"}) {
            FormatText(sql, CAP(sql), "DELETE FROM moz_cookies WHERE %s LIKE '%%nothing-named-%d%%' ESCAPE '\\'",
                       column, i);
            sqlite3_exec(db, sql, NULL, NULL, NULL);
        }
    sqlite3_exec(db, "ROLLBACK; SELECT * FROM moz_cookies", EmptyRow, NULL, NULL);
    sqlite3_close(db);
}

// The removal step without its default-browser lookup, for the family set here.
static void RemovalStep(void)
{
    static RunList *list = NewRunList();
    LoadNutsList();
    if (giBrowserFamily == BROWSER_FAMILY_MOZILLA)
        ProcessMozillaCookies(list, 1);
    else
        ProcessIECookies(list, 1);
    FreeNutsList();
    FreeRunList(list);
}

static void CollectingStep(void)
{
    CollectCookies();
}

// A store of count cookies of both kinds, all of them known to the user.
static void MakeStores(int count)
{
    SHDeleteKeyA(HKEY_CURRENT_USER, KNOWN_COOKIES_KEY);
    std::vector<FirefoxCookie> rows;
    char name[MAX_PATH], key[MAX_PATH];
    for (int i = 0; i < count; i++) {
        FormatText(name, CAP(name), ".site%d.example.com", i);
        rows.push_back({name, "id", "/", "value-of-some-length-0123456789", 2000000000, i & 1});
        FormatText(key, CAP(key), "%s / id", name);
        SetRegString(HKEY_CURRENT_USER, KNOWN_COOKIES_KEY, key, "seen");
        FormatText(name, CAP(name), "%s\\user@site%d[1].txt", gIEFolder.c_str(), i);
        HANDLE f = CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        char text[256];
        FormatText(text, CAP(text), "id\nvalue\nsite%d.example.com/\n9728\n1\n2\n3\n4\n*\n", i);
        DWORD written;
        WriteFile(f, text, (DWORD)strlen(text), &written, NULL);
        CloseHandle(f);
        FormatText(key, CAP(key), "user@site%d[1].txt", i);
        SetRegString(HKEY_CURRENT_USER, KNOWN_COOKIES_KEY, key, "seen");
    }
    DeleteFileA(gDatabase.c_str());
    WriteFirefoxCookies(gDatabase, rows);
}

static void RemoveFolder(const std::string &folder)
{
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*.*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (found.cFileName[0] != '.')
                DeleteFileA((folder + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(h, &found));
        FindClose(h);
    }
    RemoveDirectoryA(folder.c_str());
}

int main(void)
{
    hInstance = GetModuleHandleA(NULL);
    LoadStringA(hInstance, 2, gszTitle, sizeof(gszTitle));
    DetectIs64BitWindows();
    RegWriteAccess = KEY_ALL_ACCESS;
    ReadOptions();
    TestLogCounter = TESTLOG_OFF;

    char temp[MAX_PATH], exe[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    gBase = std::string(temp) + "bm-bench-cookies";
    gIEFolder = gBase + "\\ie";
    std::string profile = gBase + "\\profile";
    gDatabase = profile + "\\cookies.sqlite";
    CreateDirectoryA(gBase.c_str(), NULL);
    CreateDirectoryA(gIEFolder.c_str(), NULL);
    CreateDirectoryA(profile.c_str(), NULL);
    CloseHandle(CreateFileA((gIEFolder + "\\index.dat").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "IECookieFolder", gIEFolder.c_str());
    SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY, "CookieFolder", profile.c_str());
    // Firefox 33: this build's monitor stands in for it.
    GetModuleFileNameA(NULL, exe, MAX_PATH);
    std::string monitor = std::string(exe).substr(0, std::string(exe).rfind('\\')) + "\\brackmoor.exe";
    char previous[MAX_PATH] = "";
    int hadAppPath = GetRegString(HKEY_LOCAL_MACHINE, APP_PATH_KEY, NULL, previous, MAX_PATH) > 0;
    if (!hadAppPath)
        SetRegString(HKEY_LOCAL_MACHINE, APP_PATH_KEY, "", monitor.c_str());
    for (int i = 0; i < 20; i++) {
        char filter[32];
        FormatText(filter, CAP(filter), "nothing-named-%d", i);
        SetRegString(HKEY_CURRENT_USER, NUTS_KEY, filter, "1");
    }

    MakeStores(5000);
    giBrowserFamily = BROWSER_FAMILY_MOZILLA;
    BareSelect();
    RemovalStep();
    double db[5];
    TimeInTurns({BareSelect, BareSelectKnown, BareRemovalSql, RemovalStep, CollectingStep}, 5, 1, db);
    giBrowserFamily = BROWSER_FAMILY_IE;
    BareWalkReadKnown();
    double ie[5];
    TimeInTurns({BareWalk, BareWalkRead, BareWalkReadKnown, RemovalStep, CollectingStep}, 5, 1, ie);
    printf("5000 cookies, Firefox database:\n");
    printf("  bare SELECT                      %8.3f ms\n", db[0] * 1000);
    printf("  bare SELECT, known lookups       %8.3f ms\n", db[1] * 1000);
    printf("  removal statements alone         %8.3f ms   ratio to bare SELECT %.2f\n", db[2] * 1000, db[2] / db[0]);
    printf("  removal step                     %8.3f ms   ratio to bare SELECT %.2f, to its statements %.2f\n",
           db[3] * 1000, db[3] / db[0], db[3] / db[2]);
    printf("  collecting step                  %8.3f ms   ratio to bare SELECT %.2f, to SELECT and lookups %.2f\n",
           db[4] * 1000, db[4] / db[0], db[4] / db[1]);
    printf("5000 cookies, Internet Explorer folder:\n");
    printf("  bare folder walk                 %8.3f ms\n", ie[0] * 1000);
    printf("  bare walk, files read            %8.3f ms\n", ie[1] * 1000);
    printf("  bare walk, files read, lookups   %8.3f ms\n", ie[2] * 1000);
    printf("  removal step                     %8.3f ms   ratio to bare walk %.2f, to walk and reads %.2f\n",
           ie[3] * 1000, ie[3] / ie[0], ie[3] / ie[1]);
    printf("  collecting step                  %8.3f ms   ratio to bare walk %.2f, to walk, reads and lookups %.2f\n",
           ie[4] * 1000, ie[4] / ie[0], ie[4] / ie[2]);

    RemoveFolder(gIEFolder);
    CreateDirectoryA(gIEFolder.c_str(), NULL);
    CloseHandle(CreateFileA((gIEFolder + "\\index.dat").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    MakeStores(10);
    SIZE_T memBefore = PrivateBytes();
    DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD userBefore = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    for (int i = 0; i < 2000; i++) {
        giBrowserFamily = i & 1 ? BROWSER_FAMILY_IE : BROWSER_FAMILY_MOZILLA;
        RemovalStep();
        CollectingStep();
    }
    SIZE_T memAfter = PrivateBytes();
    printf("2000 runs of both steps (10 cookies, the families in turn): private bytes %+lld KiB, "
           "GDI objects %+ld, USER objects %+ld\n",
           ((long long)memAfter - (long long)memBefore) / 1024,
           (long)GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS) - (long)gdiBefore,
           (long)GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS) - (long)userBefore);

    SHDeleteKeyA(HKEY_CURRENT_USER, KNOWN_COOKIES_KEY);
    SHDeleteKeyA(HKEY_CURRENT_USER, NUTS_KEY);
    DeleteRegValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "IECookieFolder");
    DeleteRegValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "CookieFolder");
    if (!hadAppPath)
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, APP_PATH_KEY);
    RemoveFolder(gIEFolder);
    RemoveFolder(profile);
    RemoveDirectoryA(gBase.c_str());
    return 0;
}
