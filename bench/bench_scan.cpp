// What a scan pass costs beside the registry and file reads it cannot avoid, and
// whether passes leave memory or window-system objects behind.
//
// 1. StartupScan(0) against the bare reads of the same places (open, enumerate,
//    read, close; the startup folders listed; win.ini read; the autostart places'
//    keys, values and subkeys): the ratio is the price of the run list, the path
//    handling and the shortcut resolution; and the autostart places' part of the
//    scan against their own bare reads.
// 2. A whole scan pass with the startup watchers (VerifyData, alerts decided
//    silently; the other watchers' steps left out, they have their figures in 3)
//    against StartupScan(0) alone; and the same pass with the tray icon hidden
//    ("HideTobble"), which tells the pass's own work from the changes of the tray
//    status that every pass makes around its stages.
// 3. The file type and hidden file steps against their own bare reads
//    (bench_types_hidden.cpp).
// 4. The settings steps against their own bare reads (bench_settings.cpp).
// 5. The signature fill of a pass, and passes that write history lines with a
//    syslog collector that is down (bench_signatures_syslog.cpp).
// 6. Memory and GDI/USER objects before and after many passes, with both of
//    those watchers on in every pass, and the settings steps (the system files
//    check, made only before Vista, beside every pass).
// 6. The pass of 2 once the monitor's window shows its tray icon, as in the
//    running monitor.
//
// The figures compared are taken in turns (bench_clock.h).
#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <stdio.h>

#include <initializer_list>
#include <vector>

#include "bench/bench_clock.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/appstate.h"
#include "common/options.h"
#include "monitor/mainwindow.h"
#include "monitor/scan_cycle.h"
#include "monitor/watcher_table.h"
#include "ui/tray.h"
#include "startup/locations.h"
#include "common/runlist.h"
#include "startup/missing_notices.h"
#include "startup/places.h"
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

static void QueryValue(HKEY key, const char *name)
{
    char data[4096];
    DWORD d = sizeof(data);
    RegQueryValueExA(key, name, NULL, NULL, (BYTE *)data, &d);
}

static void EnumerateOpenKey(HKEY key)
{
    char name[512], data[1024];
    for (DWORD i = 0;; i++) {
        DWORD n = sizeof(name), d = sizeof(data);
        if (RegEnumValueA(key, i, name, &n, NULL, NULL, (BYTE *)data, &d) != ERROR_SUCCESS)
            break;
    }
}

// One subkey of an autostart place: its entry's value, or for a setup list all
// its values and those of its "Depend" subkey.
static void ReadPlaceSubkey(const AutostartPlace *place, HKEY key, const char *subkey)
{
    char path[MAX_PATH];
    HKEY sub;
    FormatText(path, CAP(path), "%s%s%s", subkey, place->entryKey ? "\\" : "", place->entryKey ? place->entryKey : "");
    if (RegOpenKeyExA(key, path, 0, KEY_READ | KEY_WOW64_64KEY, &sub) != ERROR_SUCCESS)
        return;
    if (place->layout == PLACE_SETUP_LISTS) {
        HKEY depend;
        EnumerateOpenKey(sub);
        if (RegOpenKeyExA(sub, "Depend", 0, KEY_READ | KEY_WOW64_64KEY, &depend) == ERROR_SUCCESS) {
            EnumerateOpenKey(depend);
            RegCloseKey(depend);
        }
    } else {
        QueryValue(sub, place->where.valueName);
    }
    RegCloseKey(sub);
}

// The autostart places: each key opened, its value read, its values or its
// subkeys enumerated as the place holds its entries.
static void BarePlaceReads(void)
{
    int count = 0;
    const AutostartPlace *places = AutostartPlaceTable(&count);
    for (int i = 0; i < count; i++) {
        const AutostartPlace *place = &places[i];
        HKEY key;
        if ((place->wow64 && !Is64BitWindows) ||
            RegOpenKeyExA(place->where.root, place->where.keyPath, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
            continue;
        if (place->layout == PLACE_EACH_VALUE) {
            EnumerateOpenKey(key);
        } else if (place->subkeys) {
            for (const char *const *subkey = place->subkeys; *subkey; subkey++)
                ReadPlaceSubkey(place, key, *subkey);
        } else if (place->layout == PLACE_SUBKEY_VALUE || place->layout == PLACE_SETUP_LISTS) {
            char subkey[256];
            for (DWORD index = 0;; index++) {
                DWORD len = sizeof(subkey);
                if (RegEnumKeyExA(key, index, subkey, &len, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                    break;
                ReadPlaceSubkey(place, key, subkey);
            }
        } else {
            QueryValue(key, place->where.valueName);
        }
        RegCloseKey(key);
    }
}

// What Windows keeps in the places with many subkeys: programs with loader
// settings (no debugger) and Active Setup components, all in the baseline.
#define BENCH_IFEO_KEYS 60
#define BENCH_SETUP_KEYS 40
static const char BenchIfeo[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\bmbench%02d.exe";
static const char BenchSetup[] = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{B0A1C2D3-0000-4000-8000-0000BE4C%04d}";

static void PlaceLoad(int add)
{
    char path[MAX_PATH], stub[MAX_PATH];
    for (int i = 0; i < BENCH_IFEO_KEYS + BENCH_SETUP_KEYS; i++) {
        int ifeo = i < BENCH_IFEO_KEYS;
        FormatText(path, CAP(path), ifeo ? BenchIfeo : BenchSetup, i);
        if (!add) {
            RegDeleteKeyExAtRunTime(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY);
        } else if (ifeo) {
            SetRegDWORDValue(HKEY_LOCAL_MACHINE, path, "GlobalFlag", 2);
        } else {
            FormatText(stub, CAP(stub), "C:\\Windows\\system32\\bmstub%02d.exe /install", i);
            SetRegString(HKEY_LOCAL_MACHINE, path, "StubPath", stub);
            SetRegString(HKEY_LOCAL_MACHINE, path, "Version", "1,0,0,0");
        }
    }
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
    BarePlaceReads();
}

static void FullScan(void)
{
    StartupScan(gList, 0);
    FreeRunList(gList);
}

static void PlacesScan(void)
{
    ReadAutostartPlaces(gList);
    FreeRunList(gList);
}

static void Pass(void)
{
    gdwVerifyBaseTick = GetTickCount() - 5000;
    VerifyData();
}

// The watcher table with only the startup watchers' steps (the uninstall and
// missing-startup checks and the startup check) and the stages written out in the
// pass. Every stage is still traced and every countdown stepped.
static std::vector<WatcherDef> gStartupRows;

static void UseStartupWatchersOnly(void)
{
    gStartupRows.assign(WatcherTable, WatcherTable + WatcherTableCount);
    for (WatcherDef &row : gStartupRows)
        if (row.realtime != &giRealtimeUninstall && row.realtime != &giRealtimeMissingRun &&
            row.realtime != &giRealtimeStartup && !(row.flags & WATCH_OWN_GATING))
            row.check = NULL;
    WatcherRows = gStartupRows.data();
    WatcherRowCount = (int)gStartupRows.size();
}

static void UseAllWatchers(void)
{
    WatcherRows = WatcherTable;
    WatcherRowCount = WatcherTableCount;
}

static void PassWithoutTray(void)
{
    int saved = giHideTobble;
    giHideTobble = 1;
    Pass();
    giHideTobble = saved;
}

int main(void)
{
    hInstance = GetModuleHandleA(NULL);
    LoadStringA(hInstance, 1, gszClassName, sizeof(gszClassName));
    LoadStringA(hInstance, 2, gszTitle, sizeof(gszTitle));
    DetectIs64BitWindows();
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    ReadOptions();
    UILanguage = 9;     // English, as start-up chooses from the shipped table: texts come from it
    TestLogCounter = TESTLOG_OFF;
    RemoveSettings();   // what a run stopped before its end left behind would bring alerts
    PlaceLoad(1);
    // Everything found now is accepted, so no alert opens; alerts stay on so that
    // the checks which only run while they are on (missing startup) are measured.
    // Every watcher's baseline, so that the passes with all watchers (from 3 on)
    // find nothing new either.
    InitRegStartups();
    InitMissingRunPrograms();
    InitUninstallPrograms();
    InitWatcherBaselines(WATCH_INIT_NEW_INSTALL | WATCH_INIT_UPDATE | WATCH_INIT_REINIT);
    gList = NewRunList();

    const int rounds = 200;
    UseStartupWatchersOnly();
    BareStartupReads();
    FullScan();
    Pass();
    double t[6];
    TimeInTurns({BareStartupReads, FullScan, Pass, PassWithoutTray, BarePlaceReads, PlacesScan}, 20, 10, t);
    double bare = t[0], scan = t[1], pass = t[2], quiet = t[3];
    printf("bare startup reads            %8.3f ms\n", bare * 1000);
    printf("StartupScan(0)                %8.3f ms   ratio to bare reads %.2f\n", scan * 1000, scan / bare);
    printf("  the autostart places' part  %8.3f ms   their bare reads %8.3f ms   ratio %.2f\n", t[5] * 1000,
           t[4] * 1000, t[5] / t[4]);
    printf("scan pass (VerifyData)        %8.3f ms   ratio to StartupScan %.2f\n", pass * 1000, pass / scan);
    printf("the pass, tray icon hidden    %8.3f ms   ratio to StartupScan %.2f\n", quiet * 1000, quiet / scan);

    BenchSignatures(rounds);
    BenchSyslog(rounds / 10);

    UseAllWatchers();
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

    // The running monitor: its window, and the tray icon that the first pass adds;
    // the pass of 2 again.
    UseStartupWatchersOnly();
    // Wine gave the window-less passes an icon of their own (no owner); it goes first.
    TrayIconUpdate(0, 0, TRAY_DELETE);
    bIconShown = 0;
    RegisterMainClass();
    if (CreateMainWindow()) {
        Pass();
        if (bIconShown) {
            TimeInTurns({FullScan, Pass}, 20, 5, t);
            printf("the pass, monitor's window    %8.3f ms   ratio to StartupScan %.2f\n", t[1] * 1000, t[1] / t[0]);
            TrayIconUpdate(0, 0, TRAY_DELETE);
        }
        DestroyWindow(ghMainWnd);
        ghMainWnd = NULL;
    }
    PlaceLoad(0);
    CoUninitialize();
    return 0;
}
