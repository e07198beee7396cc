#include "monitor/testlog_report.h"

#include <windows.h>

#include "common/files.h"
#include "common/processes.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/winver.h"
#include "ui/companion.h"
#include "startup/delayed_start.h"
#include "startup/locations.h"
#include "common/runlist.h"
#include "startup/startup_scan.h"

static void ProgramVersion(const char *folder, const char *file, char *out, size_t cap)
{
    char path[MAX_PATH];
    FormatText(path, CAP(path), "%s\\%s", folder, file);
    VersionRecord *rec = (VersionRecord *)GlobalAlloc(GPTR, sizeof(VersionRecord));
    CopyText(out, cap, "");
    if (!rec)
        return;
    if (GetVersionInfo(path, rec))
        CopyText(out, cap, rec->ProductVersion);
    GlobalFree(rec);
}

static void TraceRunEntry(const RunList *list, int i)
{
    char name[RUN_NAME_MAX], path[RUN_PATH_MAX];
    GetRunName(list, i, name);
    GetRunPath(list, i, path);
    TestLog(name, path);
}

void InitTestLog(void)
{
    DetectIs64BitWindows();
    TestLog("Init TestLog", sizeof(void *) == 8 || Is64BitWindows ? "(x64)" : "(x86)");
    TestLog("**********************   Initialize TestLog    *************************", "");

    SYSTEMTIME now;
    char text[512];
    GetLocalTime(&now);
    FormatDateLocal(&now, text);
    TestLog("Testing:", text);

    char folder[MAX_PATH], monitorVersion[64], companionVersion[64];
    GetMyProgramFolder(folder);
    ProgramVersion(folder, "brackmoor.exe", monitorVersion, CAP(monitorVersion));
    ProgramVersion(folder, COMPANION_EXE, companionVersion, CAP(companionVersion));
    FormatText(text, CAP(text), "%s  %s", monitorVersion, companionVersion);
    TestLog("Brackmoor Version", text);
    GetWindowsVersionName(text, CAP(text));
    TestLog("Windows Version", text);

    TestLog("--------------    Active Tasks", "");
    RunList *list = NewRunList();
    int count = ListRunningTasks(list);
    for (int i = 0; i < count; i++) {
        char path[MAX_PATH];
        GetRunPath(list, i, path);
        TestLog(path, "");
    }
    TestLog("     -----------------", "");

    TestLog("-----------------------    Basic Startup Programs", "");
    count = StartupScan(list, 1);
    for (int i = 0; i < count; i++)
        if (GetRunCode(list, i) < CODE_WIN_LOAD)
            TraceRunEntry(list, i);
    TestLog("        -----------------------", "");
    for (int i = 0; i < count; i++)
        if (GetRunCode(list, i) == CODE_GROUP_STARTUP)
            TraceRunEntry(list, i);

    TestLog("---------------    Delayed Startup", "");
    count = ReadDelayList(list);
    for (int i = 0; i < count; i++)
        TraceRunEntry(list, i);
    DeleteRunList(list);
    TestLog("  ------------------", "");
    TestLog("   ---", "");
    TestLog("  ----", "");
    TestLog("---------------    Debug Info ", "");
}
