#include "monitor/scan_cycle.h"

#include "common/processes.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/winver.h"
#include "monitor/alert.h"
#include "monitor/appstate.h"
#include "monitor/companion.h"
#include "monitor/options.h"
#include "monitor/timer.h"
#include "monitor/tray.h"
#include "startup/runlist.h"

int giVerifyActive;
int RemovalQuietScans;
int QuickScanFlag;
int giGameMode;
int giVerifyTicks;
int (*UserBusyStateOverride)(void);

ScanWatchers gScanWatchers;

#define QUIET_ERROR_MODE 0x01F40001
#define TIP_STARTUP 821
#define TIP_AFTER_STARTUP 824
#define TIP_COOKIES 826
#define RESTART_COMMANDS_DONE 9999

typedef int (*ShQueryStateProc)(int *);

int GetUserBusyState(void)
{
    if (UserBusyStateOverride)
        return UserBusyStateOverride();
    int state = 5;   // QUNS_ACCEPTS_NOTIFICATIONS where Windows cannot tell
    HMODULE shell = LoadLibraryA("Shell32.dll");
    if (!shell)
        return state;
    ShQueryStateProc query = (ShQueryStateProc)(void *)GetProcAddress(shell, "SHQueryUserNotificationState");
    if (query && query(&state) != 0)
        state = 5;
    FreeLibrary(shell);
    return state;
}

void verifyForceVerify(void)
{
    if (giRealtimeStartup)
        giStartCount = 1;
    if (giRealtimeIEHelper)
        giIEHelpersCount = 1;
    if (giRealtimeSysFiles)
        giHostFileCount = 1;
    if (giRealtimeStartPage)
        giStartPageCount = 1;
    if (giRealtimeFileType)
        giFileTypeCount = 1;
    if (giRealtimeHidden)
        giHiddenCount = 1;
    if (giRealtimeActiveX)
        giActiveXCount = 1;
    if (giRealtimeServices)
        giServicesCount = 1;
    if (giRealtimeRegOptions)
        giRegOptionsCount = 1;
    char text[32];
    FormatText(text, CAP(text), "Verify Count: %d", giVerifyTicks);
    TestLog("verifyForceVerify", text);
    giVerifyTicks = 16;   // the next timer tick starts a pass
}

// The countdown step: a countdown at 0 or below is off; otherwise it runs down and
// the category runs when it reaches 0, starting over from its interval.
static int CountdownStep(int *countdown, int interval)
{
    if (*countdown <= 0)
        return 0;
    if (--*countdown >= 1)
        return 0;
    *countdown = interval;
    return 1;
}

static void RunWatcher(WatcherCheck check)
{
    if (check)
        check();
}

static void Stage(const char *name)
{
    TestLog("VerifyData", name);
}

// The new-cookie notice: one question per pass, for the first unknown cookie.
static void NewCookieNotice(void)
{
    SetTrayStatus(TRAY_ICON_BUSY, TIP_COOKIES);
    bMsgOpen = 1;
    int answer = IDNO;
    if (!(RemovalQuietScans != 0 && giShowAlerts == 0)) {
        char text[LANG_TEXT_MAX];
        PlayAlertSound(SOUND_COOKIE);
        GetLangString(16, CAP(text), text);
        answer = MessageBoxExA(NULL, text, gszTitle, MB_YESNO | MB_ICONEXCLAMATION | MB_TOPMOST, UILanguage);
    }
    if (answer == IDYES)
        LaunchBrackmoorExplorer("-COOKIES");
    SetTrayStatus(TRAY_ICON_NORMAL, TRAY_TIP_IDLE);
    bMsgOpen = 0;
}

static void RestartCommandsStage(void)
{
    if (IsNTPlatform())
        return;
    if (giWinInitCount <= 0 || --giWinInitCount >= 1)
        return;
    char text[LANG_TEXT_MAX];
    FormatText(text, CAP(text), "WinInit Count: %d", giWinInitCount);
    TestLog("WinInit Check", text);
    // Right after a removal with alerts hidden the check stays off until the
    // options are read again: the countdown is not set back.
    if (RemovalQuietScans > 1 && giShowAlerts == 0)
        return;
    giWinInitCount = giWinInit;
    if (!gScanWatchers.restartCommands || gScanWatchers.restartCommands() <= 0)
        return;
    giWinInitCount = RESTART_COMMANDS_DONE;
    GetLangString(28, CAP(text), text);
    if (MessageBoxExA(NULL, text, gszTitle, MB_YESNO | MB_ICONEXCLAMATION | MB_TOPMOST, UILanguage) == IDYES)
        RunWatcher(gScanWatchers.showRestartCommands);
}

int VerifyData(void)
{
    char text[256];
    Stage("PART 1   BEGIN");
    if (giGameMode)
        return 1;
    if (bMsgOpen) {
        TestLog("VerifyData", "An alert is already open");
        return 1;
    }
    if (giVerifyActive) {
        TestLog("VerifyData", "Currently in the process of testing for a change");
        return 1;
    }
    giVerifyActive = 1;

    int state = GetUserBusyState();
    if (state < 5) {
        FormatText(text, CAP(text), "User Busy Mode = %d", state);
        TestLog("VerifyData", text);
        giVerifyActive = 0;
        return 1;
    }
    if (!bIconShown) {
        TestLog("VerifyData", "System Tray Initially Failed so we try again");
        if (giHideTobble == 0)
            bIconShown = TrayIconUpdate(TRAY_ICON_NORMAL, TRAY_TIP_IDLE, TRAY_ADD);
    }

    Stage("PART 2  GET TICKCOUNT");
    FreeRunList();
    DWORD now = GetTickCount();
    DWORD past = now - gdwVerifyBaseTick;
    gdwVerifyBaseTick = now;
    if (past < 1000) {
        FormatText(text, CAP(text), "Time under 1000  Past = %d   TimeStart = %d   LastStart = %d", (int)past,
                   (int)now, (int)now);
        TestLog("VerifyData:   Just did verify so wait a millisecond", text);
        giVerifyActive = 0;
        return 0;
    }
    UINT oldMode = SetErrorMode(QUIET_ERROR_MODE);
    if (OptionsChanged()) {
        ReadOptions();
        ClearOptionsChanged();
    }
    giHelpPageId = 0;
    FormatText(text, CAP(text), "HideExtra = %d  AlertCount = %d   HideChoice = %d", giSuppressExtraAlerts,
               AlertCount, HideChoice);
    TestLog("HIDEALERT", text);
    if (AlertCount < 0) {
        TestLog("AlertCount", "Less than zero");
        AlertCount = 0;
    }
    if (giSuppressExtraAlerts == 1 && AlertCount > 0)
        SetHideExtraState(HideChoice == ANSWER_ACCEPT ? HIDEEXTRA_SETYES : HIDEEXTRA_SETNO);
    DWORD t1 = GetTickCount();

    Stage("PART 3  UNINSTALL and MISSING RUN");
    verifyForceVerify();
    if (giRealtimeUninstall)
        RunWatcher(gScanWatchers.uninstall);
    if (giRealtimeMissingRun)
        RunWatcher(gScanWatchers.missingRun);

    Stage("PART 4   STARTUP");
    SetTrayStatus(TRAY_ICON_BUSY, TIP_STARTUP);
    if (CountdownStep(&giStartCount, giStart)) {
        TestLog("FileExists", "CheckforRunChanges");
        RunWatcher(gScanWatchers.startup);
    }
    SetTrayStatus(TRAY_ICON_BUSY, TIP_AFTER_STARTUP);

    // Watched registry values have no off value: the countdown always runs.
    Stage("PART 5  START DONE");
    if (--giRegOptionsCount < 1) {
        giRegOptionsCount = giRegOptions;
        RunWatcher(gScanWatchers.regOptions);
    }
    Stage("PART 6");
    if (CountdownStep(&giIEHelpersCount, giIEHelpers))
        RunWatcher(gScanWatchers.ieHelpers);
    Stage("PART 7 HIDDEN");
    if (CountdownStep(&giHiddenCount, giHidden))
        RunWatcher(gScanWatchers.hidden);
    Stage("PART 8 ACTIVEX");
    if (CountdownStep(&giActiveXCount, giActiveX))
        RunWatcher(gScanWatchers.activeX);
    Stage("PART 9 AUTOUPDATES");
    if (CountdownStep(&giHostFileCount, giHostFile)) {
        if (!IsVistaOrLater())
            RunWatcher(gScanWatchers.systemFiles);
        RunWatcher(gScanWatchers.autoUpdates);
    }
    Stage("PART 10  START PAGE");
    if (CountdownStep(&giStartPageCount, giStartPage))
        RunWatcher(gScanWatchers.startPage);
    Stage("PART 11  FILETYPES");
    if (CountdownStep(&giFileTypeCount, giFileType))
        RunWatcher(gScanWatchers.fileTypes);
    Stage("PART 12 SCHEDULED TASKS");
    if (CountdownStep(&giTasksCount, giTasks))
        RunWatcher(gScanWatchers.tasks);
    Stage("PART 13  WININIT");
    RestartCommandsStage();
    Stage("PART 14 SERVIVES");
    if (CountdownStep(&giServicesCount, giServices))
        RunWatcher(gScanWatchers.services);
    Stage("PART 15  NUTS");
    if (CountdownStep(&giNutsCount, giNuts))
        RunWatcher(gScanWatchers.cookieFilters);
    Stage("PART 16  COOKIES");
    RunWatcher(gScanWatchers.pendingCookieFile);
    if (CountdownStep(&giCookiesCount, giCookies) && gScanWatchers.newCookies && gScanWatchers.newCookies() > 0)
        NewCookieNotice();
    SetTrayStatus(TRAY_ICON_NORMAL, TRAY_TIP_IDLE);
    if (giSuppressExtraAlerts == 1) {
        if (AlertCount < 0) {
            AlertCount = 0;
        } else if (AlertCount > 0 && --AlertCount == 0) {
            SetHideExtraState(HIDEEXTRA_RESTORE);
        }
    }

    Stage("PART 17  CLEANUP STRUCTS");
    FreeRunList();
    Stage("PART 18  VERIFY TIME");
    FormatText(text, CAP(text), "********** Verify Changes Total Time =  %d,", (int)(GetTickCount() - t1));
    TestLog(" --", text);
    Stage("PART 19  INIT TASK LIST");
    if (bTaskChange) {
        ListRunningTasks();
        FreeRunList();
    }
    Stage("PART 20  UPDATE TRAY ICON");
    SetTrayStatus(ReadOptionInt("TrayIcon", TRAY_ICON_NORMAL), TRAY_TIP_IDLE);
    now = GetTickCount();
    DWORD duration = now - gdwVerifyBaseTick;
    FormatText(text, CAP(text), "Total VerifyData Time =  %d,", (int)duration);
    TestLog(" --", text);
    if (duration > 1000)
        gdwVerifyBaseTick = now;
    Stage("PART 21 TEST NEW VERSION");
    if (giNewVersionAvailable == 1 && giNewVersionIgnore == 0) {
        RunWatcher(gScanWatchers.newVersion);
        if (AlertCount < 0)
            AlertCount = 0;
    }

    giVerifyActive = 0;
    SetErrorMode(oldMode);
    if (QuickScanFlag) {
        PlayAlertSound(SOUND_QUICKSCAN);
        TestLog("VerifyData", "QUICKSCAN DONE");
        QuickScanFlag = 0;
    }
    TestLog("VerifyData", "PART 21 DONE");
    return 1;
}
