// The startup scan: every program Windows starts by itself, one run-list record
// per entry in a fixed order of locations, and the baselines built from it.
#pragma once
#include <windows.h>

#include "common/runlist.h"
#include "common/scan_pass.h"

// The extra bit of an entry listed from the Disabled store: it starts nothing
// while it is kept there, so the alert pass and the baseline pass it over.
#define STORED_COPY_EXTRA 0x100
int IsStoredCopy(const RunList *list, int i);

// Fills list (emptied first); quick skips Winlogon, the shell hooks and the
// autostart places of startup/places.h unless the option "ShowAllStartup" is 1
// or more. Returns the record count.
int StartupScan(RunList *list, int quick);
// The pass's full startup scan, made by the first step that asks for it; NULL
// only when no memory was left.
RunList *PassStartupList(ScanPass *pass);
// 1 when entry i of a full scan is one that a quick scan lists too.
int IsQuickScanEntry(const RunList *list, int i);
// The startup baseline from a full scan.
void InitRegStartups(void);
// The missing-startup baseline ("ActiveRun") from the quick-scan entries of a full
// scan; InitMissingRunPrograms makes its own scan for it (after a removal).
void WriteMissingRunBaseline(const RunList *list);
void InitMissingRunPrograms(void);
// The name the missing-startup baseline gives entry i: its program path without
// quotes or arguments. Its length, 0 when there is none. out: MAX_PATH.
int GetActiveRunPath(const RunList *list, int i, char *out);
// Windows' defaults written back, and taken into the baseline; 1 when written.
int ResetUserinit(void);
int ResetShell(void);

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
void ReadRunKeys(RunList *list);
void ReadStartupFolders(RunList *list);
void ReadWinIniLists(RunList *list);
void ReadDisabledStore(RunList *list);
void ReadWinlogonEntries(RunList *list);
void ReadShellHooks(RunList *list);
// Every file directly in a folder, and one file, as the startup-folder reader
// takes them (also for the Disabled folder); pass: 0 machine, 1 user, or
// STORED_COPY_EXTRA for the Disabled folder.
void ReadStartupFolder(RunList *list, const char *folder, int pass);
void ReadStartupFile(RunList *list, const char *file, int pass);
// The path the scan records a startup-folder file under (a shortcut's target);
// its length, 0 for a file it does not record. out: MAX_PATH.
int StartupFileProgram(const char *file, char *out);
