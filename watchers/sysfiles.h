// Monitored system files (the HOSTS file) and the restart commands of Windows 9x.
// Each monitored file has a record under HKLM "...\Brackmoor\Sysfiles\<name>" with
// its location, last-write date, size, comparison type and comment, and a previous
// copy in the data folder named like the record.
#pragma once
#include <windows.h>

#include "common/options.h"
#include "common/scan_pass.h"

#define SYSFILES_KEY BRACKMOOR_KEY "\\Sysfiles"
#define HOSTS_RECORD "HOSTS"
#define SYSFILE_VALUE_MAX 512

// What the file change alert is about: the record's name and the file's path.
typedef struct SysfileAlert {
    char name[256];
    char path[MAX_PATH];
} SysfileAlert;

// The HOSTS file: the system folder's "drivers\etc\HOSTS" on NT, the Windows
// folder's "HOSTS" on 9x. Its length, 0 when it does not fit.
int GetHostsPath(char *out);
// Writes the HOSTS record from the file at path and refreshes its previous copy;
// 1 when the file was there and both were written.
int RecordHostsFile(const char *path);
// First start: the HOSTS record, then the key's marker (the date of the record), so
// that a start which could not take the record tries again at the next start.
void InitSysfiles(void);
// The scan step: every record compared with its file. Returns the changes found.
int CheckSysfiles(ScanPass *pass);
// One record: 1 when the file changed (the alert was shown, or is held back while
// system-file alerts are hidden), 0 when it did not or cannot be compared.
int CompareSysfiles(const char *path, const char *name);
// Opens the file in Notepad; a failure is told in a message box with the system's text.
int ViewsysFile(const char *path);
// The previous copy of a record: the data folder + "\" + name.
int SysfilePreviousCopy(const char *name, char *out);
// The record's key under HKLM (MAX_PATH); 1 when it fitted.
int SysfileRecordKey(const char *name, char *out);
// Copies one file over another as the user sees them: a read-only HOSTS file (as
// protection tools leave it) is written all the same, and both files keep the
// attributes they had. 1 when copied (a failure is traced).
int CopySysfile(const char *from, const char *to);

INT_PTR CALLBACK SysfilesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// wininit.ini of the Windows folder (only acted on by Windows 9x, whose wininit.exe
// carries the commands out at the next restart). 1 when it holds commands; unless
// checkOnly, the Restart Commands window shows them (or a message says there are none).
int RestartFile(int checkOnly);
INT_PTR CALLBACK RestartCommandsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The scan cycle's hooks: the check, and the window opened from its question or the tray.
int RestartCommandsFound(void);
int ShowRestartCommands(void);
