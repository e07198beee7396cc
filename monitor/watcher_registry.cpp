#include "monitor/watcher_registry.h"

#include "monitor/scan_cycle.h"
#include "monitor/timer.h"
#include "startup/missing_notices.h"
#include "startup/run_changes.h"
#include "startup/startup_scan.h"

void RegisterScanWatchers(void)
{
    RegisterStartupNoticeWatchers();
    gScanWatchers.startup = StartupCheck;
    IdleBaselineRebuilds[IDLE_REBUILD_STARTUP] = InitRegStartups;
    IdleBaselineRebuilds[IDLE_REBUILD_MISSING_RUN] = InitMissingRunPrograms;
}
