#include "monitor/watcher_registry.h"

#include "cookies/cookies.h"
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
    gScanWatchers.cookieFilters = EatCookies;
    gScanWatchers.pendingCookieFile = PendingCookieFileStep;
    gScanWatchers.newCookies = CollectCookies;
}
