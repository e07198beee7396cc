#include "monitor/timer.h"

#include "common/files.h"
#include "common/processes.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "ui/alert.h"
#include "common/appstate.h"
#include "common/options.h"
#include "monitor/scan_cycle.h"
#include "monitor/watcher_table.h"
#include "common/runlist.h"
#include "startup/delayed_start.h"

int bTaskChange;
int giRIDCount;
int giTaskMessages;
int giLastTaskCount;
int giIdleTicks;
DWORD gdwLaunchTick;

#define IDLE_CHECK_TICK 1500        // about 50 minutes of 2-second ticks
#define IDLE_RETRY_FROM 1000        // a busy user is asked again 500 ticks later
#define UNINSTALL_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"

static void DelayedStartTick(void)
{
    if (giDelayLaunched >= giDelayToLaunch)
        return;
    if (giDelayTicks++ <= 4)
        return;
    giDelayStep++;
    if (DelayedStartStep)
        DelayedStartStep(giDelayStep * 10);
    giDelayTicks = 0;
    char text[96];
    FormatText(text, CAP(text), "Programs to launch: %d   Programs Launched: %d", giDelayToLaunch, giDelayLaunched);
    TestLog("TIMER_CHECKTRIGGERS", text);
}

void CheckTaskChanges(void)
{
    int count = CountRunningTasks();
    char text[64];
    FormatText(text, CAP(text), "Active Task Files: %d  Last Count: %d", count, giLastTaskCount);
    TestLog("CheckTaskChanges Time to Check Everything for Changes  *****", text);
    if (count != giLastTaskCount) {
        if (OptionsChanged()) {
            ReadOptions();
            ClearOptionsChanged();
        }
        verifyForceVerify();
    }
    giLastTaskCount = count;
}

void OnTaskChangeMessage(void)
{
    // Programs start in bursts: every third message is enough to look again.
    if (giTaskMessages++ > 1) {
        giTaskMessages = 0;
        bTaskChange = 1;
    }
}

// Reads the program's own uninstall entry in one registry view; kept for the
// report of the idle moment, nothing is changed there.
static void TraceOwnUninstallEntry(REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; i++) {
        char sub[MAX_PATH];
        DWORD len = sizeof(sub);
        if (RegEnumKeyExA(key, i, sub, &len, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        char path[MAX_PATH * 2], name[MAX_PATH], version[64], location[MAX_PATH];
        FormatText(path, CAP(path), "%s\\%s", UNINSTALL_KEY, sub);
        REGSAM saved = RegReadAccess;
        RegReadAccess = KEY_READ | view;
        int found = GetRegString(HKEY_LOCAL_MACHINE, path, "DisplayName", name, CAP(name)) > 0 &&
                    StrContains(name, "Brackmoor");
        if (found) {
            GetRegString(HKEY_LOCAL_MACHINE, path, "DisplayVersion", version, CAP(version));
            GetRegString(HKEY_LOCAL_MACHINE, path, "InstallLocation", location, CAP(location));
            TestLog(version, location);
        }
        RegReadAccess = saved;
        if (found)
            break;
    }
    RegCloseKey(key);
}

void IdleCleanup(void)
{
    int saved = giVerifyActive;
    giVerifyActive = 1;
    RemoveStaleBaselinePointers();
    InitWatcherBaselines(WATCH_INIT_IDLE);
    TraceOwnUninstallEntry(KEY_WOW64_64KEY);
    TraceOwnUninstallEntry(KEY_WOW64_32KEY);
    giVerifyActive = saved;
}

static void IdleCheck(void)
{
    // A pass waiting for the answer of its alert is not disturbed: the clean-up
    // rebuilds baselines and switches registry views, so it waits at its tick
    // until the pass has ended.
    if (giVerifyActive && giIdleTicks == IDLE_CHECK_TICK)
        return;
    if (giIdleTicks++ != IDLE_CHECK_TICK)
        return;
    int state = GetUserBusyState();
    char text[128];
    FormatText(text, CAP(text), "Checking now for idle moment - %d   Approx %d minutes since launch", state,
               (int)((GetTickCount() - gdwLaunchTick) / 60000));
    TestLog("GarbageCollection", text);
    if (state == 1 || state == 5) {
        IdleCleanup();
        TestLog("GarbageCollection", "User Idle Time to CleanUp");
    } else {
        giIdleTicks = IDLE_RETRY_FROM;
        TestLog("GarbageCollection", " User busy, let's wait a little longer");
    }
}

void OnTimerTick(void)
{
    char text[64];
    DelayedStartTick();

    if (giExpressCount-- == 0)
        giLastTaskCount = CountRunningTasks();

    int ranPass = 0;
    if (giVerifyTicks++ > 15) {
        if (giExpressCount > 0)
            return;
        if (bMsgOpen && giVerifyActive) {
            FormatText(text, CAP(text), "bMsgOpen: %d   giVerifyActive: %d", bMsgOpen, giVerifyActive);
            TestLog("TIMER_CHECKTRIGGERS", text);
        } else {
            VerifyData();
            giVerifyTicks = 0;
            if (RemovalQuietScans > 0)
                RemovalQuietScans--;
            bTaskChange = 0;
            giRIDCount = 0;
            ranPass = 1;
        }
    }

    if (!ranPass) {
        if (bTaskChange && giVerifyActive) {
            // The look at the processes may read the options again, which resets
            // the countdowns: it waits for the pass whose alert is open. The pass
            // itself counts the programs again at its end.
            TestLog("bTaskChange", "waiting for the pass to end");
        } else if (bTaskChange) {
            TestLog("bTaskChange = TRUE", "");
            if (giExpressCount > 0) {
                FormatText(text, CAP(text), "giExpressCount:  %d", giExpressCount);
                TestLog("bTaskChange", text);
                return;
            }
            FormatText(text, CAP(text), "giRIDCount:  %d", giRIDCount);
            TestLog("bTaskChange", text);
            if (giRIDCount++ < 3) {
                TestLog("bTaskChange", "CheckTaskChanges()");
                CheckTaskChanges();
            } else {
                giRIDCount = 0;
            }
            bTaskChange = 0;
            TestLog("bTaskChange = FALSE;", "");
        } else {
            giRIDCount = 0;
        }
    }
    IdleCheck();
}
