// What the browser add-on and ActiveX checks cost beside the registry reads they
// cannot avoid, and whether they leave memory or window-system objects behind.
//
// The prefix gets 40 add-ons (14 helper objects registered in both views, 13
// toolbars, 13 extensions, each with a program of its own) and 1,000 class ids in
// the user's extension statistics (over 100 programs), all of them accepted, so no
// alert opens and every check runs to its end.
//
// 1. VerifyIEHelpers against the bare reads of the same places (the enumerations and,
//    per add-on, its class name and server or its extension values).
// 2. VerifyActiveX against its bare reads (the statistics enumerated and, per class
//    id, its name, server, "iexplore" Type and compatibility flags).
// 3. Class ids resolved in full and version blocks read in a check after the first:
//    both 0 when nothing changed.
// 4. Private bytes and GDI/USER objects before and after 2000 runs of both checks,
//    with 100 of the class ids left (to keep the run short).
// Everything made is removed at the end.
#include <windows.h>
#include <shlwapi.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "common/appstate.h"
#include "common/file_facts.h"
#include "common/files.h"
#include "common/options.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "startup/locations.h"
#include "watchers/ie_helpers.h"

#define HELPERS 14
#define TOOLBARS 13
#define EXTENSIONS 13
#define CONTROLS 1000
#define CONTROL_PROGRAMS 100

static std::string gFolder;
static std::vector<std::string> gIds;      // every class id the bench made

static std::string NewId(void)
{
    char id[40];
    snprintf(id, sizeof(id), "{B3C4D5E6-0000-4000-8000-%012u}", (unsigned)gIds.size());
    gIds.push_back(id);
    return id;
}

static void Put(HKEY root, const std::string &path, const char *name, const std::string &text, REGSAM view)
{
    HKEY key;
    if (RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | view, NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text.c_str(), (DWORD)text.size() + 1);
    RegCloseKey(key);
}

static std::string Program(const std::string &name)
{
    std::string path = gFolder + "\\" + name + ".dll";
    char source[MAX_PATH];
    GetMyProgramFolder(source);
    CopyFileA((std::string(source) + "\\bmaddon.dll").c_str(), path.c_str(), FALSE);
    return path;
}

static std::string Register(const std::string &server, REGSAM view)
{
    std::string id = NewId();
    std::string key = std::string(view == KEY_WOW64_32KEY ? "Software\\Classes\\Wow6432Node\\CLSID\\"
                                                          : "Software\\Classes\\CLSID\\") + id;
    Put(HKEY_LOCAL_MACHINE, key, "", "Bench " + id, KEY_WOW64_64KEY);
    Put(HKEY_LOCAL_MACHINE, key + "\\InprocServer32", "", server, KEY_WOW64_64KEY);
    return id;
}

static void MakePrefix(void)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    gFolder = std::string(temp) + "bm-bench-addons";
    CreateDirectoryA(gFolder.c_str(), NULL);
    for (int i = 0; i < HELPERS; i++) {
        std::string program = Program("helper" + std::to_string(i)), id = Register(program, KEY_WOW64_64KEY);
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
            Put(HKEY_LOCAL_MACHINE, std::string(BHO_KEY) + "\\" + id, "NoExplorer", "1", view);
    }
    for (int i = 0; i < TOOLBARS; i++)
        Put(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, Register(Program("toolbar" + std::to_string(i)), KEY_WOW64_64KEY).c_str(),
            "", KEY_WOW64_64KEY);
    for (int i = 0; i < EXTENSIONS; i++) {
        std::string key = std::string(EXTENSIONS_KEY) + "\\" + NewId();
        Put(HKEY_LOCAL_MACHINE, key, "ButtonText", "Bench button " + std::to_string(i), 0);
        Put(HKEY_LOCAL_MACHINE, key, "Exec", Program("extension" + std::to_string(i)), 0);
    }
    std::vector<std::string> programs;
    for (int i = 0; i < CONTROL_PROGRAMS; i++)
        programs.push_back(Program("control" + std::to_string(i)));
    for (int i = 0; i < CONTROLS; i++) {
        std::string id = Register(programs[i % CONTROL_PROGRAMS], KEY_WOW64_64KEY);
        Put(HKEY_CURRENT_USER, std::string(EXT_STATS_KEY) + "\\" + id, "Count", "1", 0);
        if (i % 3 == 0)
            Put(HKEY_CURRENT_USER, std::string(EXT_STATS_KEY) + "\\" + id + "\\iexplore", "Blocked", "0", 0);
    }
}

// A key the bench may have made is removed again when nothing is left in it.
static void DeleteIfEmpty(HKEY root, const char *path, REGSAM view)
{
    HKEY key;
    DWORD subkeys = 1, values = 1;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    if (subkeys == 0 && values == 0)
        RegDeleteKeyExAtRunTime(root, path, view);
}

static void RemovePrefix(void)
{
    for (const std::string &id : gIds) {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
                RegDeleteValueA(key, id.c_str());
                RegCloseKey(key);
            }
            for (const char *area : {BHO_KEY, EXTENSIONS_KEY})
                RegDeleteKeyExAtRunTime(HKEY_LOCAL_MACHINE, (std::string(area) + "\\" + id).c_str(), view);
        }
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, ("Software\\Classes\\CLSID\\" + id).c_str());
        SHDeleteKeyA(HKEY_CURRENT_USER, (std::string(EXT_STATS_KEY) + "\\" + id).c_str());
        RegDeleteKeyValueA(HKEY_CURRENT_USER, ACTIVEX_KEY, id.c_str());
    }
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((gFolder + "\\*.dll").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do
            DeleteFileA((gFolder + "\\" + found.cFileName).c_str());
        while (FindNextFileA(h, &found));
        FindClose(h);
    }
    RemoveDirectoryA(gFolder.c_str());
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        for (const char *area : {BHO_KEY, TOOLBAR_KEY, EXTENSIONS_KEY})
            DeleteIfEmpty(HKEY_LOCAL_MACHINE, area, view);
    DeleteIfEmpty(HKEY_CURRENT_USER, EXT_STATS_KEY, 0);
    // The helper baseline again as the prefix is without the bench's add-ons.
    InitIEHelpers();
}

static void ReadDefault(HKEY root, const std::string &path, REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    char data[1024];
    DWORD size = sizeof(data);
    RegQueryValueExA(key, NULL, NULL, NULL, (BYTE *)data, &size);
    RegCloseKey(key);
}

static void ReadClass(const char *id)
{
    ReadDefault(HKEY_CLASSES_ROOT, std::string("CLSID\\") + id, 0);
    ReadDefault(HKEY_CLASSES_ROOT, std::string("CLSID\\") + id + "\\InprocServer32", 0);
}

// Every subkey (or, with values, every value name) of a key, handed to each.
static void ForEachName(HKEY root, const char *path, REGSAM view, bool values, void (*each)(HKEY key, const char *name))
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    char name[256];
    for (DWORD i = 0;; i++) {
        DWORD len = sizeof(name);
        LONG rc = values ? RegEnumValueA(key, i, name, &len, NULL, NULL, NULL, NULL)
                         : RegEnumKeyExA(key, i, name, &len, NULL, NULL, NULL, NULL);
        if (rc != ERROR_SUCCESS)
            break;
        each(key, name);
    }
    RegCloseKey(key);
}

static void ClassOf(HKEY, const char *id)
{
    ReadClass(id);
}

static void ExtensionValues(HKEY extensions, const char *id)
{
    HKEY key;
    if (RegOpenKeyExA(extensions, id, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    char data[261];
    for (const char *name : {"ButtonText", "Exec", "script", "HotIcon"}) {
        DWORD size = sizeof(data);
        RegQueryValueExA(key, name, NULL, NULL, (BYTE *)data, &size);
    }
    RegCloseKey(key);
}

static void ControlReads(HKEY stats, const char *id)
{
    ReadClass(id);
    HKEY key;
    if (RegOpenKeyExA(stats, (std::string(id) + "\\iexplore").c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD type, size = sizeof(type);
        RegQueryValueExA(key, "Type", NULL, NULL, (BYTE *)&type, &size);
        RegCloseKey(key);
    }
    ReadDefault(HKEY_LOCAL_MACHINE, std::string(ACTIVEX_COMPAT_KEY) + "\\" + id, 0);
}

static void BareHelperReads(void)
{
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        ForEachName(HKEY_LOCAL_MACHINE, BHO_KEY, view, false, ClassOf);
        ForEachName(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, view, true, ClassOf);
    }
    ForEachName(HKEY_LOCAL_MACHINE, EXTENSIONS_KEY, 0, false, ExtensionValues);
}

static void BareControlReads(void)
{
    ForEachName(HKEY_CURRENT_USER, EXT_STATS_KEY, 0, false, ControlReads);
}

static void HelperCheck(void)
{
    VerifyIEHelpers(NULL);
}

static void ControlCheck(void)
{
    VerifyActiveX(NULL);
}

int main(void)
{
    hInstance = GetModuleHandleA(NULL);
    DetectIs64BitWindows();
    ReadOptions();
    TestLogCounter = TESTLOG_OFF;
    // Whatever is new is accepted without a dialog: the bench never waits for an answer.
    giShowAlerts = 0;
    giHideIEHelper = giHideActiveX = 1;
    MakePrefix();
    // Everything the bench made is known, so every check runs to its end.
    InitIEHelpers();
    InitActiveX();
    for (const std::string &id : gIds)
        WriteAddonBaseline(ACTIVEX_KEY, id.c_str(), CODE_ACTIVEX);

    // The first checks after a start: nothing derived is known yet.
    FreeFileFacts();
    int reads = giClsidReads, versions = giFileFactVersionReads;
    double firstHelpers = Time(HelperCheck, 1), firstControls = Time(ControlCheck, 1);
    printf("first checks (empty cache): %d class ids resolved, %d version blocks read, %.3f + %.3f ms\n",
           giClsidReads - reads, giFileFactVersionReads - versions, firstHelpers * 1000, firstControls * 1000);
    reads = giClsidReads;
    versions = giFileFactVersionReads;
    HelperCheck();
    ControlCheck();
    printf("second checks: %d class ids resolved, %d version blocks read\n", giClsidReads - reads,
           giFileFactVersionReads - versions);

    // Each check timed in turns with its bare reads, so that the load of a shared
    // machine falls on both alike.
    const int rounds = 20;
    double bareHelpers, helpers, bareControls, controls;
    TimeInTurns(BareHelperReads, HelperCheck, rounds, &bareHelpers, &helpers);
    TimeInTurns(BareControlReads, ControlCheck, rounds, &bareControls, &controls);
    printf("40 add-ons:\n  bare reads          %8.3f ms\n  VerifyIEHelpers     %8.3f ms   ratio to bare reads %.2f\n",
           bareHelpers * 1000, helpers * 1000, helpers / bareHelpers);
    printf("1000 class ids used by the browser:\n  bare reads          %8.3f ms\n"
           "  VerifyActiveX       %8.3f ms   ratio to bare reads %.2f\n",
           bareControls * 1000, controls * 1000, controls / bareControls);

    // The leak check on the first 100 class ids only, to keep the run short.
    for (size_t i = gIds.size() - CONTROLS + CONTROL_PROGRAMS; i < gIds.size(); i++)
        SHDeleteKeyA(HKEY_CURRENT_USER, (std::string(EXT_STATS_KEY) + "\\" + gIds[i]).c_str());
    HelperCheck();
    ControlCheck();
    SIZE_T memBefore = PrivateBytes();
    DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD userBefore = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    for (int i = 0; i < 2000; i++) {
        HelperCheck();
        ControlCheck();
    }
    printf("2000 runs of both checks (40 add-ons, 100 class ids): private bytes %+lld KiB, GDI objects %+ld, USER objects %+ld\n",
           ((long long)PrivateBytes() - (long long)memBefore) / 1024,
           (long)GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS) - (long)gdiBefore,
           (long)GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS) - (long)userBefore);
    RemovePrefix();
    FreeFileFacts();
    return 0;
}
