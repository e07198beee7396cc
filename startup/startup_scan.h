// The startup scan: every program Windows starts by itself, one run-list record
// per entry in a fixed order of locations, and the baselines built from it.
#pragma once
#include <windows.h>

// Fills the run list; quick skips Winlogon and the shell hooks unless the option
// "ShowAllStartup" is 1 or more. Returns the record count.
int StartupScan(int quick);
// The startup baseline from a full scan (the add-on and task baselines follow it).
void InitRegStartups(void);
// Every startup-related baseline rebuilt from nothing.
void CleanupAndInitializeRegistry(void);
// The missing-startup baseline ("ActiveRun") from a quick scan. The caller's run
// list is kept: this runs in the middle of the alert pass, which goes on with it.
void InitMissingRunPrograms(void);
// The name the missing-startup baseline gives run entry i: its program path
// without quotes or arguments. Its length, 0 when there is none. out: MAX_PATH.
int GetActiveRunPath(int i, char *out);
// Windows' defaults written back, and taken into the baseline.
void ResetUserinit(void);
void ResetShell(void);

// The program a Winlogon value starts (MAX_PATH out); its length, 0 for none.
int ReadWinlogonUserinit(char *out);
int ReadWinlogonShell(char *out);
// The same rules on a given text, for callers that already hold the value.
int ParseUserinitText(const char *value, char *out);
int ParseShellText(const char *value, char *out);
// The path a command is recorded under, as the run list stores it (quotes
// removed, lengthened when longer than 3 characters). out: MAX_PATH.
int RecordedPathOf(const char *command, char *out);

// The locations one by one, in scan order (used by StartupScan).
void ReadRunKeys(void);
void ReadStartupFolders(void);
void ReadWinIniLists(void);
void ReadDisabledStore(void);
void ReadWinlogonEntries(void);
void ReadShellHooks(void);
// Every file directly in a folder, and one file, as the startup-folder reader
// takes them (also for the Disabled folder); pass: 0 machine, 1 user.
void ReadStartupFolder(const char *folder, int pass);
void ReadStartupFile(const char *file, int pass);
