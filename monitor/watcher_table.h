// The watchers of the monitor in scan order: one constant row each. Every loop over
// "all watchers" walks this table: the scan pass and its forced categories, the
// first-run and install baselines, the idle rebuild, the re-initialisation and the
// first fill of the detection records.
#pragma once
#include <windows.h>

#include "common/runlist.h"
#include "common/scan_pass.h"

enum {
    WATCH_SWITCHED = 0x0001,        // no countdown: runs on every pass while *realtime is on
    WATCH_NO_OFF = 0x0002,          // the countdown runs down even at 0 or below
    WATCH_BEFORE_VISTA = 0x0004,    // only on Windows before Vista
    WATCH_OWN_GATING = 0x0008,      // the step decides by itself whether it runs (a written-out stage)
    WATCH_INIT_AT_START = 0x0010,   // init at every start (it keeps its own first-run marker)
    WATCH_INIT_NEW_INSTALL = 0x0020,// init when this version is installed for the first time
    WATCH_INIT_UPDATE = 0x0040,     // init when an older version was installed before
    WATCH_INIT_IDLE = 0x0080,       // init at the idle clean-up
    WATCH_INIT_REINIT = 0x0100,     // baseline key emptied and init run by the re-initialisation
    WATCH_COLLECT_LATE = 0x0200,    // first detection fill after the running programs
};

typedef struct WatcherDef {
    const char *stage;              // its stage's trace text; NULL: the stage of the row before
                                    // it, under that row's countdown
    int *interval, *countdown;      // option globals; NULL for none
    int *realtime;                  // its real-time option (or switch); NULL for none
    int (*check)(ScanPass *pass);   // the scan step; NULL: the stage only steps its countdown
    void (*init)(void);             // its baseline routine
    int (*collect)(RunList *list);  // fills list with the category's items (detection first fill)
    const char *detectionKey;       // where collect's items are recorded
    const char *baselineKey;        // HKCU key made at the first start, emptied by the re-initialisation
    const char *pointerKey;         // baseline whose value names are command lines: stale ones go at idle
    int stageTip, afterTip;         // tray tips set around the stage (0: none)
    unsigned flags;
} WatcherDef;

extern const WatcherDef WatcherTable[];
extern const int WatcherTableCount;
// The rows every loop walks: the table, or a test's own copy of it.
extern const WatcherDef *WatcherRows;
extern int WatcherRowCount;

// The loops over the table that start-up, the timer and the companion's reset use.
void InitWatcherBaselines(unsigned when);   // every row with one of these WATCH_INIT_ flags
void CreateWatcherBaselineKeys(void);       // first start: every row's baseline key
void CleanupAndInitializeRegistry(void);    // every WATCH_INIT_REINIT baseline rebuilt from nothing
void RemoveStaleBaselinePointers(void);     // the idle clean-up's pass over the pointer keys
// First start: the detection records of every collecting watcher and of the running
// programs. 1 when it filled them, 0 when they had been filled before.
int InitDetectionRecords(void);
