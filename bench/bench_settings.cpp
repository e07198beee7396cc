// The settings steps against the reads they cannot avoid:
//
// - CheckSysfiles with a HOSTS record whose file is 1 MiB (as blocking lists make it)
//   and unchanged, against the record's values and the file's directory entry (the
//   whole file read once is printed beside it: an unchanged file is not opened);
// - VerifyRegOptions on 20 watched values, against the watch list, the lock flags
//   and the values;
// - VerifyStartPages against the three pages and their approved copies;
// - VerifyAutomaticUpdates against the notification state and the two modes.
#include "bench/bench_clock.h"
#include "bench/bench_settings.h"

#include <windows.h>
#include <stdio.h>

#include <initializer_list>

#include "common/files.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "ui/tray.h"
#include "watchers/pages.h"
#include "watchers/regoptions.h"
#include "watchers/sysfiles.h"

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
    HKEY list;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, REGOPTIONS_KEY, 0, KEY_READ, &list) == ERROR_SUCCESS) {
        char entry[256], data[1024];
        for (DWORD i = 0;; i++) {
            DWORD n = sizeof(entry), d = sizeof(data);
            if (RegEnumValueA(list, i, entry, &n, NULL, NULL, (BYTE *)data, &d) != ERROR_SUCCESS)
                break;
        }
        RegCloseKey(list);
    }
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

void SysfilesStep(void) { CheckSysfiles(NULL); }
static void RegOptionsStep(void) { VerifyRegOptions(NULL); }
static void PagesStep(void) { VerifyStartPages(NULL); }
static void UpdateStep(void) { VerifyAutomaticUpdates(NULL); }

// A 1 MiB HOSTS file recorded in place of the system's, 20 watched values, pages
// and an update mode already approved: every step runs to its end and asks nothing.
void PrepareSettings(void)
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

void RemoveSettings(void)
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
    double s, b;
    TimeInTurns(step, bare, rounds, &s, &b);
    printf("%-22s %8.3f ms   bare reads %8.3f ms   ratio %.2f\n", label, s * 1000, b * 1000, s / b);
}

void BenchSettings(int rounds)
{
    Ratio("system files (1 MiB)", SysfilesStep, BareSysfilesReads, rounds);
    printf("  (reading the 1 MiB HOSTS file whole: %.3f ms)\n", Time(WholeHostsRead, 20) * 1000);
    Ratio("20 watched values", RegOptionsStep, BareRegOptionsReads, rounds);
    Ratio("browser pages", PagesStep, BarePageReads, rounds);
    Ratio("Windows Update mode", UpdateStep, BareUpdateReads, rounds);
}
