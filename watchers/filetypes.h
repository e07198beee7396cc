// The file type watcher: which program Windows opens for each monitored file
// extension, found in three independent ways, kept in a baseline and compared by
// program file name at every check. A change is put to the user; reject (or the
// lock option) writes the recorded association back.
#pragma once
#include <windows.h>

#include "common/options.h"
#include "common/runlist.h"
#include "common/scan_pass.h"

#define TYPE_FILETYPE 400
#define TIP_FILETYPES 827

// Every value of an association is read with at most 259 characters.
#define FILETYPE_TEXT_MAX MAX_PATH
// The monitored list: extensions without the dot, each followed by ";".
#define FILETYPE_LIST_MAX 1024
#define FILETYPE_EXT_MAX 258        // "." and a piece of at most 256 characters

// Baseline keys under HKCU. The default value of Class is the monitored list; the
// default value of Ext carries the marker that the baseline is complete.
#define FILETYPE_CLASS_KEY BRACKMOOR_KEY "\\Class"              // class -> its program
#define FILETYPE_EXT_KEY BRACKMOOR_KEY "\\Ext"                  // ext -> class (method 1)
#define FILETYPE_EXTAPP_KEY BRACKMOOR_KEY "\\ExtApp"            // ext -> application (method 2)
#define FILETYPE_EXTPROGID_KEY BRACKMOOR_KEY "\\ExtProgID"      // ext -> ProgID (method 3)
#define FILETYPE_EXTROOT_KEY BRACKMOOR_KEY "\\ExtRoot"          // ext -> class (method 4)
#define FILETYPE_CLASSROOT_KEY BRACKMOOR_KEY "\\ClassRoot"      // class -> its program (method 4)
#define FILETYPE_EXTTYPE_KEY BRACKMOOR_KEY "\\ExtType"          // cleared when an ext stops being watched
// The whole open command of each class as it was stored (its value type kept), so
// that a reject writes back the command itself and not only its program.
#define FILETYPE_CLASSCOMMAND_KEY BRACKMOOR_KEY "\\ClassCommand"
#define FILETYPE_CLASSROOTCOMMAND_KEY BRACKMOOR_KEY "\\ClassRootCommand"
#define FILETYPE_MARKER "Do not edit."

#define FILEEXTS_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts"

// The ways in which Windows finds the class of an extension.
enum {
    ASSOC_MACHINE_CLASS = 1,    // HKLM Software\Classes\<ext>
    ASSOC_USER_APPLICATION = 2, // the user's FileExts "Application" -> HKCR Applications\<app>
    ASSOC_USER_PROGID = 3,      // the user's FileExts "ProgID" -> HKCR <progid>
    ASSOC_ROOT_CLASS = 4,       // HKCR <ext>, the merged view
};

// The class (application, ProgID) and its open command, each FILETYPE_TEXT_MAX;
// the command as stored (environment references unexpanded). Non-zero when both
// were found; 0 for a missing or empty class or an unreadable command.
int GetAssociation(const char *ext, int method, char *cls, char *command);
// The program a command runs, as the baseline keeps it (upper case); its length.
int FileTypeProgram(const char *command, char *out);

// Fills list with one record per monitored extension and method 1 to 3 that
// resolves; returns the count.
int ListFileTypes(RunList *list);
// Records the current association of ext by method in the baseline; 1 when done.
int StoreFileTypeBaseline(const char *ext, int method);
// Writes the recorded association of ext by method back, changing only the values
// that differ from it; 1 when the system holds the recorded association now.
int RestoreFileType(const char *ext, int method);
// Takes ext out of the monitored list and its values out of the baseline.
int StopMonitoringFileType(const char *ext);
// Start: the baseline of every monitored extension, once.
void InitFileTypes(void);
// The scan step.
int VerifyFileTypes(ScanPass *pass);

// What the file type alert shows: the extension, the recorded and the new program.
typedef struct FileTypeAlert {
    char ext[FILETYPE_EXT_MAX];
    char oldProgram[MAX_PATH];
    char newProgram[MAX_PATH];
    int stopMonitoring;         // the user ticked "Stop Alerts for this File Type Extension only"
} FileTypeAlert;
// Dialog 143; lParam: the FileTypeAlert. Ends with 6 (accept) or 7 (reject).
INT_PTR CALLBACK NewFileTypeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Values read by the step since the start, for the tests and the benchmark.
extern int giFileTypeValueReads;
