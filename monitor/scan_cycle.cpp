#include "monitor/scan_cycle.h"

#include "common/processes.h"
#include "common/scan_pass.h"
#include "common/signature.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/winver.h"
#include "ui/alert.h"
#include "common/appstate.h"
#include "ui/companion.h"
#include "common/options.h"
#include "monitor/timer.h"
#include "ui/tray.h"
#include "common/runlist.h"
#include "monitor/watcher_table.h"
#include "cookies/cookies.h"
#include "watchers/sysfiles.h"

int giVerifyActive;
int QuickScanFlag;
int giGameMode;
int giVerifyTicks;

ScanWatchers gScanWatchers = {RestartCommandsFound, ShowRestartCommands, NULL};

#define QUIET_ERROR_MODE 0x01F40001
#define TIP_COOKIES 826
#define RESTART_COMMANDS_DONE 9999

void verifyForceVerify(void)
{
    for (int i = 0; i < WatcherRowCount; i++) {
        const WatcherDef *row = &WatcherRows[i];
        if (row->realtime && *row->realtime && row->countdown && !(row->flags & WATCH_SWITCHED))
            *row->countdown = 1;
    }
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

static void RunHook(StageHook hook)
{
    if (hook)
        hook();
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

int RestartCommandsStage(ScanPass *pass)
{
    (void)pass;
    if (IsNTPlatform())
        return 0;
    if (giWinInitCount <= 0 || --giWinInitCount >= 1)
        return 0;
    char text[LANG_TEXT_MAX];
    FormatText(text, CAP(text), "WinInit Count: %d", giWinInitCount);
    TestLog("WinInit Check", text);
    // Right after a removal with alerts hidden the check stays off until the
    // options are read again: the countdown is not set back.
    if (RemovalQuietScans > 1 && giShowAlerts == 0)
        return 0;
    giWinInitCount = giWinInit;
    int found = gScanWatchers.restartCommands ? gScanWatchers.restartCommands() : 0;
    if (found <= 0)
        return 0;
    giWinInitCount = RESTART_COMMANDS_DONE;
    GetLangString(28, CAP(text), text);
    if (MessageBoxExA(NULL, text, gszTitle, MB_YESNO | MB_ICONEXCLAMATION | MB_TOPMOST, UILanguage) == IDYES)
        RunHook(gScanWatchers.showRestartCommands);
    return found;
}

int CookieStage(ScanPass *pass)
{
    (void)pass;
    PendingCookieFileStep();
    if (!CountdownStep(&giCookiesCount, giCookies) || CollectCookies() <= 0)
        return 0;
    NewCookieNotice();
    return 1;
}

// Whether a row's stage runs in this pass (its countdown step, or its switch).
static int StageRuns(const WatcherDef *row)
{
    if (row->flags & WATCH_OWN_GATING)
        return 1;
    if (row->flags & WATCH_SWITCHED)
        return row->realtime && *row->realtime;
    if (!row->countdown || !row->interval)
        return 0;
    if (row->flags & WATCH_NO_OFF) {
        if (--*row->countdown >= 1)
            return 0;
        *row->countdown = *row->interval;
        return 1;
    }
    return CountdownStep(row->countdown, *row->interval);
}

// Stages 3 to 16: every row in order, each stage traced, its countdown stepped.
static void RunWatcherStages(ScanPass *pass)
{
    int stageRuns = 0;
    for (int i = 0; i < WatcherRowCount; i++) {
        const WatcherDef *row = &WatcherRows[i];
        if (row->stage) {
            Stage(row->stage);
            // The first stage forces the real-time categories for the whole pass.
            if (i == 0)
                verifyForceVerify();
            if (row->stageTip)
                SetTrayProgress(TRAY_ICON_BUSY, row->stageTip);
            stageRuns = StageRuns(row);
        }
        int runs = (row->flags & WATCH_SWITCHED) ? StageRuns(row) : stageRuns;
        ShowLastingTrayProgress();
        if (runs && row->check && !((row->flags & WATCH_BEFORE_VISTA) && IsVistaOrLater()))
            row->check(pass);
        if (row->afterTip)
            SetTrayProgress(TRAY_ICON_BUSY, row->afterTip);
    }
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

    ScanPass pass = {};
    BeginSignaturePass();
    RunWatcherStages(&pass);
    SetTrayStatus(TRAY_ICON_NORMAL, TRAY_TIP_IDLE);
    if (giSuppressExtraAlerts == 1) {
        if (AlertCount < 0) {
            AlertCount = 0;
        } else if (AlertCount > 0 && --AlertCount == 0) {
            SetHideExtraState(HIDEEXTRA_RESTORE);
        }
    }

    Stage("PART 17  CLEANUP STRUCTS");
    // The alerts of the pass had the first call on its signature budget; what is left
    // goes to the startup programs not checked yet, so that later alerts show theirs
    // at once.
    FillSignatures(pass.startup);
    EndScanPass(&pass);
    Stage("PART 18  VERIFY TIME");
    FormatText(text, CAP(text), "********** Verify Changes Total Time =  %d,", (int)(GetTickCount() - t1));
    TestLog(" --", text);
    Stage("PART 19  INIT TASK LIST");
    // The task-change trigger compares with this count, so the look is not wasted.
    if (bTaskChange)
        giLastTaskCount = CountRunningTasks();
    Stage("PART 20  UPDATE TRAY ICON");
    SetTrayStatus(TrayIconOption(), TRAY_TIP_IDLE);
    now = GetTickCount();
    DWORD duration = now - gdwVerifyBaseTick;
    FormatText(text, CAP(text), "Total VerifyData Time =  %d,", (int)duration);
    TestLog(" --", text);
    if (duration > 1000)
        gdwVerifyBaseTick = now;
    Stage("PART 21 TEST NEW VERSION");
    if (giNewVersionAvailable == 1 && giNewVersionIgnore == 0) {
        RunHook(gScanWatchers.newVersion);
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
