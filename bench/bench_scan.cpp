// What a scan pass costs beside the registry and file reads it cannot avoid, and
// whether passes leave memory or window-system objects behind.
//
// 1. StartupScan(0) against the bare reads of the same places (open, enumerate,
//    read, close; the startup folders listed; win.ini read): the ratio is the
//    price of the run list, the path handling and the shortcut resolution.
// 2. A whole scan pass (VerifyData with this build's watchers, alerts decided
//    silently) against StartupScan(0) alone.
// 3. The file type and hidden file steps against their own bare reads
//    (bench_types_hidden.cpp).
// 4. The settings steps against their own bare reads (bench_settings.cpp).
// 5. The signature fill of a pass, and passes that write history lines with a
//    syslog collector that is down (bench_signatures_syslog.cpp).
// 6. Memory and GDI/USER objects before and after many passes, with both of
//    those watchers on in every pass, and the settings steps (the system files
//    check, made only before Vista, beside every pass).
#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <stdio.h>

#include <initializer_list>

#include "bench/bench_clock.h"
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
#include "bench/bench_settings.h"
#include "bench/bench_signatures_syslog.h"
#include "bench/bench_types_hidden.h"

// The list the full scan fills.
static RunList *gList;

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

int main(void)
{
    hInstance = GetModuleHandleA(NULL);
    LoadStringA(hInstance, 2, gszTitle, sizeof(gszTitle));
    DetectIs64BitWindows();
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    ReadOptions();
    UILanguage = 9;     // English, as start-up chooses from the shipped table: texts come from it
    TestLogCounter = TESTLOG_OFF;
    RemoveSettings();   // what a run stopped before its end left behind would bring alerts
    // Everything found now is accepted, so no alert opens; alerts stay on so that
    // the checks which only run while they are on (missing startup) are measured.
    InitRegStartups();
    InitMissingRunPrograms();
    InitUninstallPrograms();
    gList = NewRunList();

    const int rounds = 200;
    BareStartupReads();
    FullScan();
    double bare = Time(BareStartupReads, rounds);
    double scan = Time(FullScan, rounds);
    double pass = Time(Pass, rounds);
    printf("bare startup reads     %8.3f ms\n", bare * 1000);
    printf("StartupScan(0)         %8.3f ms   ratio to bare reads %.2f\n", scan * 1000, scan / bare);
    printf("scan pass (VerifyData) %8.3f ms   ratio to StartupScan %.2f\n", pass * 1000, pass / scan);

    BenchSignatures(rounds);
    BenchSyslog(rounds / 10);

    PrepareTypesAndHidden();
    BenchTypesAndHidden(rounds);
    RemoveTypesAndHidden();
    // Every pass from here on runs both watchers as well.
    giRealtimeFileType = giRealtimeHidden = 1;
    giFileType = giHidden = 1;
    pass = Time(Pass, rounds / 10);
    printf("scan pass with file types and hidden files %8.3f ms\n", pass * 1000);
    PrepareSettings();
    BenchSettings(rounds);

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
