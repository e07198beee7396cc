// Putting back every startup program the monitor holds disabled. The uninstaller
// runs it as a one-shot job, so that removing the monitor never leaves a user's
// programs switched off with nothing left to switch them on again.
#pragma once

// The switches of the two jobs; the process's exit code is the count.
#define SWITCH_COUNT_DISABLED "-CountDisabled"
#define SWITCH_RESTORE_DISABLED "-RestoreDisabled"

// The number of entries held disabled: one per Disabled marker of a location that
// keeps them (Run-family values, win.ini items, startup-folder files, Winlogon Notify).
int CountDisabledStartup(void);
// Puts each of them back where it came from with the same toggle the alert and the
// companion use. Returns how many are still held afterwards (0: all are back).
int RestoreAllDisabledStartup(void);
// WinMain's side of the jobs: prepares the registry masks, the 64-bit flag and the
// trace, then counts (restore 0) or restores (restore 1). Returns the count.
int DisabledStartupJob(int restore);
