// The watcher table and the loops over it. A new watcher is its file group and
// one row here, in its place of the scan order.
#include "monitor/watcher_table.h"

#include "common/detection.h"
#include "common/files.h"
#include "common/options.h"
#include "common/processes.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "cookies/cookies.h"
#include "monitor/scan_cycle.h"
#include "startup/delayed_start.h"
#include "startup/locations.h"
#include "startup/missing_notices.h"
#include "startup/run_changes.h"
#include "startup/startup_scan.h"
#include "watchers/pages.h"
#include "watchers/regoptions.h"
#include "watchers/sysfiles.h"
#include "watchers/filetypes.h"
#include "watchers/hidden.h"
#include "watchers/ie_helpers.h"
#include "watchers/services.h"
#include "watchers/tasks.h"

#define TIP_STARTUP 821
#define TIP_AFTER_STARTUP 824

static int UninstallStep(ScanPass *pass)
{
    (void)pass;
    return VerifyUninstallPrograms();
}

static int CollectStartupEntries(RunList *list)
{
    return StartupScan(list, 0);
}

#define INIT_WITH_STARTUP (WATCH_INIT_NEW_INSTALL | WATCH_INIT_UPDATE | WATCH_INIT_IDLE | WATCH_INIT_REINIT)

const WatcherDef WatcherTable[] = {
    {"PART 3  UNINSTALL and MISSING RUN", NULL, NULL, &giRealtimeUninstall, UninstallStep,
     InitStartupNoticeBaselines, NULL, NULL, NULL, NULL, 0, 0, WATCH_SWITCHED | WATCH_INIT_AT_START},
    {NULL, NULL, NULL, &giRealtimeMissingRun, VerifyMissingRunPrograms, InitMissingRunPrograms, NULL, NULL, NULL,
     ACTIVE_RUN_KEY, 0, 0, WATCH_SWITCHED | WATCH_INIT_UPDATE | WATCH_INIT_IDLE},
    {"PART 4   STARTUP", &giStart, &giStartCount, &giRealtimeStartup, StartupCheck, InitRegStartups,
     CollectStartupEntries, DETECTED_STARTUP_KEY, STARTUP_BASELINE_KEY, STARTUP_BASELINE_KEY, TIP_STARTUP,
     TIP_AFTER_STARTUP, INIT_WITH_STARTUP},
    // Watched registry values have no off value: the countdown always runs.
    {"PART 5  START DONE", &giRegOptions, &giRegOptionsCount, &giRealtimeRegOptions, VerifyRegOptions, NULL, NULL,
     NULL, NULL, NULL, 0, 0, WATCH_NO_OFF},
    // The add-on baseline is rebuilt whenever the startup baseline is.
    {"PART 6", &giIEHelpers, &giIEHelpersCount, &giRealtimeIEHelper, VerifyIEHelpers, InitIEHelpers, ListIEHelpers,
     DETECTED_IEHELPER_KEY, IEHELPERS_BASELINE_KEY, NULL, 0, 0, INIT_WITH_STARTUP},
    {"PART 7 HIDDEN", &giHidden, &giHiddenCount, &giRealtimeHidden, VerifyHiddenFiles, InitHiddenFiles,
     CollectHiddenFiles, DETECTED_HIDDEN_KEY, HIDDEN_BASELINE_KEY, HIDDEN_BASELINE_KEY, 0, 0,
     WATCH_INIT_AT_START | WATCH_INIT_IDLE | WATCH_INIT_REINIT | WATCH_COLLECT_LATE},
    {"PART 8 ACTIVEX", &giActiveX, &giActiveXCount, &giRealtimeActiveX, VerifyActiveX, InitActiveX, ListActiveX,
     DETECTED_ACTIVEX_KEY, ACTIVEX_KEY, NULL, 0, 0,
     WATCH_INIT_AT_START | WATCH_INIT_IDLE | WATCH_INIT_REINIT | WATCH_COLLECT_LATE},
    // HOSTS and the other system files, then the Windows Update setting, under one countdown.
    {"PART 9 AUTOUPDATES", &giHostFile, &giHostFileCount, &giRealtimeSysFiles, CheckSysfiles, InitSysfiles, NULL,
     NULL, BRACKMOOR_KEY "\\HostFile", NULL, 0, 0, WATCH_BEFORE_VISTA | WATCH_INIT_AT_START},
    {NULL, NULL, NULL, NULL, VerifyAutomaticUpdates, NULL, NULL, NULL, NULL, NULL, 0, 0, 0},
    {"PART 10  START PAGE", &giStartPage, &giStartPageCount, &giRealtimeStartPage, VerifyStartPages,
     RecordOriginalPages, NULL, NULL, NULL, NULL, 0, 0, WATCH_INIT_NEW_INSTALL | WATCH_INIT_UPDATE},
    {"PART 11  FILETYPES", &giFileType, &giFileTypeCount, &giRealtimeFileType, VerifyFileTypes, InitFileTypes,
     ListFileTypes, DETECTED_FILETYPES_KEY, NULL, NULL, 0, 0, WATCH_INIT_AT_START},
    // The task section of the startup baseline: built and rebuilt with it.
    {"PART 12 SCHEDULED TASKS", &giTasks, &giTasksCount, NULL, TasksCheck, InitTasks, GetScheduledTasks,
     DETECTED_TASKS_KEY, TASKS_BASELINE_KEY, TASKS_BASELINE_KEY, 0, 0, INIT_WITH_STARTUP},
    {"PART 13  WININIT", NULL, NULL, NULL, RestartCommandsStage, NULL, NULL, NULL, NULL, NULL, 0, 0,
     WATCH_OWN_GATING},
    {"PART 14 SERVIVES", &giServices, &giServicesCount, &giRealtimeServices, ServicesCheck, InitServices,
     CollectServices, DETECTED_SERVICES_KEY, SERVICES_BASELINE_KEY, NULL, 0, 0,
     WATCH_INIT_AT_START | WATCH_INIT_IDLE | WATCH_INIT_REINIT},
    {"PART 15  NUTS", &giNuts, &giNutsCount, NULL, EatCookies, NULL, NULL, NULL, NULL, NULL, 0, 0, 0},
    {"PART 16  COOKIES", NULL, NULL, NULL, CookieStage, NULL, NULL, NULL, NULL, NULL, 0, 0, WATCH_OWN_GATING},
};
const int WatcherTableCount = (int)(sizeof(WatcherTable) / sizeof(WatcherTable[0]));
const WatcherDef *WatcherRows = WatcherTable;
int WatcherRowCount = WatcherTableCount;

void InitWatcherBaselines(unsigned when)
{
    for (int i = 0; i < WatcherRowCount; i++)
        if ((WatcherRows[i].flags & when) && WatcherRows[i].init)
            WatcherRows[i].init();
}

void CreateWatcherBaselineKeys(void)
{
    for (int i = 0; i < WatcherRowCount; i++)
        if (WatcherRows[i].baselineKey && !CreateRegKey(HKEY_CURRENT_USER, WatcherRows[i].baselineKey))
            TraceLastError("MyError:  CreateWatcherBaselineKeys RegCreateKeyEx");
}

void CleanupAndInitializeRegistry(void)
{
    TestLog("Cleanup and Initialize Registry", "brackmoor");
    for (int i = 0; i < WatcherRowCount; i++) {
        const WatcherDef *row = &WatcherRows[i];
        if (!(row->flags & WATCH_INIT_REINIT) || !row->baselineKey)
            continue;
        char work[MAX_PATH];
        if (CopyText(work, CAP(work), row->baselineKey))
            DeleteRegKeyTree(HKEY_CURRENT_USER, work);
        if (!CreateRegKey(HKEY_CURRENT_USER, row->baselineKey))
            TraceLastError("MyError:  CleanupAndInitializeRegistry RegCreateKeyEx");
    }
    InitWatcherBaselines(WATCH_INIT_REINIT);
}

void RemoveStaleBaselinePointers(void)
{
    for (int i = 0; i < WatcherRowCount; i++)
        if (WatcherRows[i].pointerKey)
            fileRemoveOldRegPointer(WatcherRows[i].pointerKey);
    // The delayed-start list names its programs the same way.
    fileRemoveOldRegPointer(DELAY_KEY);
}

static void RecordCollected(const WatcherDef *row, RunList *list)
{
    if (!row->collect || !row->detectionKey)
        return;
    row->collect(list);
    RecordListDetections(list, row->detectionKey);
    FreeRunList(list);
}

int InitDetectionRecords(void)
{
    if (!BeginDetectionRecords())
        return 0;
    RunList *list = NewRunList();
    if (!list) {
        TestLog("MyError:  InitDetectionRecords NewRunList", "the records fill as the watchers meet items");
        return 1;
    }
    for (int i = 0; i < WatcherRowCount; i++)
        if (!(WatcherRows[i].flags & WATCH_COLLECT_LATE))
            RecordCollected(&WatcherRows[i], list);
    ListRunningTasks(list);
    RecordListDetections(list, DETECTED_ACTIVETASKS_KEY);
    FreeRunList(list);
    for (int i = 0; i < WatcherRowCount; i++)
        if (WatcherRows[i].flags & WATCH_COLLECT_LATE)
            RecordCollected(&WatcherRows[i], list);
    DeleteRunList(list);
    return 1;
}
