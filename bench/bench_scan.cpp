// What a scan pass costs beside the registry and file reads it cannot avoid, and
// whether passes leave memory or window-system objects behind.
//
// 1. StartupScan(0) against the bare reads of the same places (open, enumerate,
//    read, close; the startup folders listed; win.ini read): the ratio is the
//    price of the run list, the path handling and the shortcut resolution.
// 2. A whole scan pass (VerifyData with this build's watchers, alerts decided
//    silently) against StartupScan(0) alone.
// 3. The settings steps, each against the bare reads it has to make: the system
//    files check with a HOSTS file of 1 MiB (as blocking lists make it) that is
//    unchanged, so only its directory entry may be read; 20 watched registry
//    values; the three browser pages; the Windows Update mode.
// 4. Memory and GDI/USER objects before and after many passes (the system files
//    check, which a pass makes only before Vista, joins every pass here).
#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <stdio.h>

#include <initializer_list>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/appstate.h"
#include "common/options.h"
#include "monitor/scan_cycle.h"
#include "startup/locations.h"
#include "common/runlist.h"
#include "startup/missing_notices.h"
#include "startup/startup_scan.h"
#include "ui/tray.h"
#include "watchers/pages.h"
#include "watchers/regoptions.h"
#include "watchers/sysfiles.h"

// The list the full scan fills.
static RunList *gList;

static double Now(void)
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart / (double)f.QuadPart;
}

static void EnumerateKey(HKEY root, const char *path, REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    char name[512], data[512];
    for (DWORD i = 0;; i++) {
        DWORD n = sizeof(name), d = sizeof(data);
        if (RegEnumValueA(key, i, name, &n, NULL, NULL, (BYTE *)data, &d) != ERROR_SUCCESS)
            break;
    }
    DWORD d = sizeof(data);
    RegQueryValueExA(key, NULL, NULL, NULL, (BYTE *)data, &d);
    RegCloseKey(key);
}

static void ListFolder(const char *folder)
{
    char pattern[MAX_PATH];
    if (!FormatText(pattern, CAP(pattern), "%s\\*.*", folder))
        return;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(pattern, &found);
    if (h == INVALID_HANDLE_VALUE)
        return;
    while (FindNextFileA(h, &found))
        ;
    FindClose(h);
}

// The reads a full startup scan has to make, and nothing else.
static void BareStartupReads(void)
{
    int count = 0;
    const StartupLocation *table = StartupLocationTable(&count);
    for (int i = 0; i < count; i++)
        if (table[i].root && !table[i].valueName)
            EnumerateKey(table[i].root, table[i].keyPath, KEY_WOW64_64KEY);
    char folder[MAX_PATH];
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        for (const char *value : {"Startup", "Common Startup"})
            if (GetRegString(root, SHELL_FOLDERS_KEY, value, folder, MAX_PATH) > 0)
                ListFolder(folder);
    char list[512];
    GetProfileStringA("windows", "run", "", list, sizeof(list));
    GetProfileStringA("windows", "load", "", list, sizeof(list));
    EnumerateKey(HKEY_LOCAL_MACHINE, WINLOGON_KEY, KEY_WOW64_64KEY);
    EnumerateKey(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY, 0);
}

static double Time(void (*work)(void), int rounds)
{
    double start = Now();
    for (int i = 0; i < rounds; i++)
        work();
    return (Now() - start) / rounds;
}

static void FullScan(void)
{
    StartupScan(gList, 0);
    FreeRunList(gList);
}

static void Pass(void)
{
    gdwVerifyBaseTick = GetTickCount() - 5000;
    VerifyData();
}

#define BENCH_WATCH_KEY "Software\\BmBench\\Watch"
#define WATCHED_VALUES 20
#define HOSTS_BYTES (1 << 20)
static char gHosts[MAX_PATH];

static void ReadValue(HKEY root, const char *path, const char *name)
{
    HKEY key;
    char data[1024];
    DWORD size = sizeof(data);
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    RegQueryValueExA(key, name, NULL, NULL, (BYTE *)data, &size);
    RegCloseKey(key);
}

// The record's values and the file's directory entry.
static void BareSysfilesReads(void)
{
    HKEY key;
    char name[256];
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SYSFILES_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof(name)) == ERROR_SUCCESS; i++) {
        char record[MAX_PATH];
        FormatText(record, CAP(record), "%s\\%s", SYSFILES_KEY, name);
        for (const char *value : {"Location", "Type", "Size", "Date"})
            ReadValue(HKEY_LOCAL_MACHINE, record, value);
        WIN32_FILE_ATTRIBUTE_DATA data;
        GetFileAttributesExA(gHosts, GetFileExInfoStandard, &data);
    }
    RegCloseKey(key);
}

static void WholeHostsRead(void)
{
    DWORD size = 0;
    HGLOBAL text = ReadtheFile(gHosts, &size);
    if (text)
        GlobalFree(text);
}

// The watch list, the lock flags and the watched values.
static void BareRegOptionsReads(void)
{
    EnumerateKey(HKEY_CURRENT_USER, REGOPTIONS_KEY, 0);
    char name[32];
    for (int i = 0; i < WATCHED_VALUES; i++) {
        FormatText(name, CAP(name), "V%d", i);
        char entry[128];
        FormatText(entry, CAP(entry), "HKEY_CURRENT_USER\\%s\\%s", BENCH_WATCH_KEY, name);
        ReadValue(HKEY_CURRENT_USER, REGLOCK_KEY, entry);
        ReadValue(HKEY_CURRENT_USER, BENCH_WATCH_KEY, name);
    }
}

static void BarePageReads(void)
{
    for (const char *value : {"Start Page", "Search Page"})
        ReadValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main", value);
    ReadValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\0", "Source");
    for (const char *value : {"StartPage", "SearchPage", "SourcePage"})
        ReadValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, value);
}

static void BareUpdateReads(void)
{
    GetUserBusyState();
    ReadValue(HKEY_LOCAL_MACHINE, AUTO_UPDATE_KEY, "AUOptions");
    ReadValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "AUOptions");
}

static void SysfilesStep(void) { CheckSysfiles(NULL); }
static void RegOptionsStep(void) { VerifyRegOptions(NULL); }
static void PagesStep(void) { VerifyStartPages(NULL); }
static void UpdateStep(void) { VerifyAutomaticUpdates(NULL); }

// A 1 MiB HOSTS file recorded in place of the system's, 20 watched values, pages
// and an update mode already approved: every step runs to its end and asks nothing.
static void PrepareSettings(void)
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    FormatText(gHosts, CAP(gHosts), "%sbm-bench-hosts", folder);
    HANDLE file = CreateFileA(gHosts, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    static char line[] = "0.0.0.0 ads-and-trackers-0000.example\r\n";
    for (DWORD written = 0, put; written < HOSTS_BYTES; written += put)
        if (!WriteFile(file, line, sizeof(line) - 1, &put, NULL) || put == 0)
            break;
    CloseHandle(file);
    RecordHostsFile(gHosts);
    for (int i = 0; i < WATCHED_VALUES; i++) {
        char name[32], entry[128];
        FormatText(name, CAP(name), "V%d", i);
        FormatText(entry, CAP(entry), "HKEY_CURRENT_USER\\%s\\%s", BENCH_WATCH_KEY, name);
        SetRegDWORDValue(HKEY_CURRENT_USER, BENCH_WATCH_KEY, name, (DWORD)i);
        SetRegDWORDValue(HKEY_CURRENT_USER, REGOPTIONS_KEY, entry, (DWORD)i);
    }
    SetRegDWORDValue(HKEY_LOCAL_MACHINE, AUTO_UPDATE_KEY, "AUOptions", 4);
    SetRegDWORDValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "AUOptions", 4);
    VerifyStartPages(NULL);     // approves the pages there are
}

static void RemoveSettings(void)
{
    char path[MAX_PATH];
    CopyText(path, CAP(path), "Software\\BmBench");
    DeleteRegKeyTree(HKEY_CURRENT_USER, path);
    CopyText(path, CAP(path), REGOPTIONS_KEY);
    DeleteRegKeyTree(HKEY_CURRENT_USER, path);
    DeleteRegValue(HKEY_LOCAL_MACHINE, AUTO_UPDATE_KEY, "AUOptions");
    DeleteRegValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "AUOptions");
    DeleteFileA(gHosts);
    char hosts[MAX_PATH];
    if (GetHostsPath(hosts))
        RecordHostsFile(hosts);
}

static void Ratio(const char *label, void (*step)(void), void (*bare)(void), int rounds)
{
    step();
    bare();
    double b = Time(bare, rounds), s = Time(step, rounds);
    printf("%-22s %8.3f ms   bare reads %8.3f ms   ratio %.2f\n", label, s * 1000, b * 1000, s / b);
}

static SIZE_T PrivateBytes(void)
{
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS *)&pmc, sizeof(pmc));
    return pmc.PrivateUsage;
}

int main(void)
{
    hInstance = GetModuleHandleA(NULL);
    LoadStringA(hInstance, 2, gszTitle, sizeof(gszTitle));
    DetectIs64BitWindows();
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    ReadOptions();
    UILanguage = 9;     // English, as start-up chooses from the shipped table: texts come from it
    TestLogCounter = TESTLOG_OFF;
    // Everything found now is accepted, so no alert opens; alerts stay on so that
    // the checks which only run while they are on (missing startup) are measured.
    InitRegStartups();
    InitMissingRunPrograms();
    InitUninstallPrograms();
    gList = NewRunList();
    PrepareSettings();

    const int rounds = 200;
    BareStartupReads();
    FullScan();
    double bare = Time(BareStartupReads, rounds);
    double scan = Time(FullScan, rounds);
    double pass = Time(Pass, rounds);
    printf("bare startup reads     %8.3f ms\n", bare * 1000);
    printf("StartupScan(0)         %8.3f ms   ratio to bare reads %.2f\n", scan * 1000, scan / bare);
    printf("scan pass (VerifyData) %8.3f ms   ratio to StartupScan %.2f\n", pass * 1000, pass / scan);

    Ratio("system files (1 MiB)", SysfilesStep, BareSysfilesReads, rounds);
    printf("  (reading the 1 MiB HOSTS file whole: %.3f ms)\n", Time(WholeHostsRead, 20) * 1000);
    Ratio("20 watched values", RegOptionsStep, BareRegOptionsReads, rounds);
    Ratio("browser pages", PagesStep, BarePageReads, rounds);
    Ratio("Windows Update mode", UpdateStep, BareUpdateReads, rounds);

    SIZE_T memBefore = PrivateBytes();
    DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD userBefore = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    for (int i = 0; i < 2000; i++) {
        Pass();
        SysfilesStep();
    }
    SIZE_T memAfter = PrivateBytes();
    printf("2000 more passes: private bytes %+lld KiB, GDI objects %+ld, USER objects %+ld\n",
           ((long long)memAfter - (long long)memBefore) / 1024,
           (long)GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS) - (long)gdiBefore,
           (long)GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS) - (long)userBefore);
    RemoveSettings();
    CoUninitialize();
    return 0;
}
