// One pass over every watched category, driven by the main window's timer.
#pragma once
#include <windows.h>

extern int giVerifyActive;      // 1 while a pass runs
extern int RemovalQuietScans;   // set to 8 when an alert removed its entry; counts down per pass
extern int QuickScanFlag;       // set by the Quick Scan command
extern int giGameMode;          // passes are skipped while it is on
extern int giVerifyTicks;       // timer ticks since the last pass

// The watchers a pass calls, in stage order. Each watcher sets its entry when it
// exists; an empty entry is a category that this build does not watch yet.
typedef int (*WatcherCheck)(void);
typedef struct ScanWatchers {
    WatcherCheck uninstall;          // uninstall entries that disappeared
    WatcherCheck missingRun;         // startup entries that disappeared
    WatcherCheck startup;            // new startup entries and their alerts
    WatcherCheck regOptions;         // watched registry values
    WatcherCheck ieHelpers;          // browser helpers, toolbars, extensions
    WatcherCheck hidden;             // hidden files
    WatcherCheck activeX;            // ActiveX controls
    WatcherCheck systemFiles;        // HOSTS and system files (before Vista)
    WatcherCheck autoUpdates;        // the Windows Update setting
    WatcherCheck startPage;          // browser start, search and desktop pages
    WatcherCheck fileTypes;          // file-type associations
    WatcherCheck tasks;              // scheduled tasks
    WatcherCheck restartCommands;    // restart commands (not on NT): how many were found
    WatcherCheck showRestartCommands;// the list of restart commands
    WatcherCheck services;           // Windows services
    WatcherCheck cookieFilters;      // removal of cookies that match the filters
    WatcherCheck pendingCookieFile;  // the cookie-file update the companion asked for
    WatcherCheck newCookies;         // 1 when a cookie without a record was found
    WatcherCheck newVersion;         // the new-version notice
} ScanWatchers;
extern ScanWatchers gScanWatchers;

int VerifyData(void);
void verifyForceVerify(void);
// The user's notification state; below 5 the user is busy and passes are skipped.
int GetUserBusyState(void);
// Tests replace the notification state with their own answer; NULL asks Windows.
extern int (*UserBusyStateOverride)(void);
