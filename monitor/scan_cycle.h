// One pass over every watched category, driven by the main window's timer.
#pragma once
#include <windows.h>

#include "common/scan_pass.h"
#include "ui/tray.h"   // GetUserBusyState, which every pass asks first

extern int giVerifyActive;      // 1 while a pass runs
extern int QuickScanFlag;       // set by the Quick Scan command
extern int giGameMode;          // passes are skipped while it is on
extern int giVerifyTicks;       // timer ticks since the last pass

// The hooks of the stages that stay written out in the pass (they are not rows of
// the watcher table): the restart commands, and the notice of a new version at
// the end. An empty hook is a stage with nothing to run.
typedef int (*StageHook)(void);
typedef struct ScanWatchers {
    StageHook restartCommands;       // restart commands (not on NT): how many were found
    StageHook showRestartCommands;   // the list of restart commands
    StageHook newVersion;            // the new-version notice
} ScanWatchers;
extern ScanWatchers gScanWatchers;

// The written-out stages, as the watcher table calls them.
int RestartCommandsStage(ScanPass *pass);
int CookieStage(ScanPass *pass);

int VerifyData(void);
void verifyForceVerify(void);
