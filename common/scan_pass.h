// What one scan pass owns and hands to its steps. Built by the pass, freed at its
// end; nothing outside the pass (a timer tick while one of its alerts is open, the
// idle clean-up, a task-change look) may replace it.
#pragma once
#include "common/runlist.h"

typedef struct ScanPass {
    // The full startup scan of this pass, taken by the first step that asks for it
    // (PassStartupList) and shared by the missing-startup check, the change check
    // and the missing-startup baseline.
    RunList *startup;
} ScanPass;

// The pass's lists freed; the pass itself is the caller's.
void EndScanPass(ScanPass *pass);
