// The startup locations as data: every place Windows starts a program from by
// itself, with the code the monitor files its entries under, the key or list it
// lives in and the Disabled store that keeps it while the user has it switched off.
#pragma once
#include <windows.h>

#include "common/runlist.h"

// One value per accepted entry (HKCU): name = BaselineValueName of the path,
// data = the location code in decimal, or DELAYED_MARKER.
#define STARTUP_BASELINE_KEY "Software\\Dunmere Works\\Brackmoor\\Run"
// One value per disabled entry (HKLM): name = the entry's name, data = its code.
#define DISABLED_MARKER_KEY "Software\\Dunmere Works\\Brackmoor\\Disabled"
// The missing-startup baseline (HKCU): name = normalised path, data = entry name.
#define ACTIVE_RUN_KEY "Software\\Dunmere Works\\Brackmoor\\ActiveRun"
// A baseline value of this data: the entry was moved to the delayed-start list.
#define DELAYED_MARKER 1103
// The data folder's subfolder that holds disabled startup-folder files.
#define DISABLED_FOLDER_NAME "\\Disabled"

#define SHELL_FOLDERS_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
#define WINLOGON_KEY "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"
#define WINLOGON_NOTIFY_KEY "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify"
#define DELAYLOAD_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad"
#define TASKSCHEDULER_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler"
#define SHELLEXECUTEHOOKS_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks"
#define APPINIT_KEY "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows"
#define STARTUP_APPROVED_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved"

// Location codes of the startup watcher.
enum {
    CODE_MACHINE_RUN = 1,       // 1..7: HKLM Run family
    CODE_CURRENT_RUN = 11,      // 11..17: HKCU Run family
    CODE_WOW64_RUN = 21,        // 21..27: HKLM Run family of the 32-bit view
    CODE_WIN_LOAD = 100,
    CODE_WIN_RUN = 101,
    CODE_GROUP_STARTUP = 200,
    CODE_WINLOGON_USERINIT = 250,
    CODE_WINLOGON_SHELL = 251,
    CODE_REG_DELAYLOAD = 252,
    CODE_REG_TASKSCHEDULER = 253,
    CODE_REG_SHELLEXECUTEHOOK = 254,
    CODE_REG_APPINITDLLS = 255,
    CODE_RUN_WINLOGONNOTIFY = 256,
    // 260..277: the autostart places of startup/places.h, one code per place,
    // root and registry view.
    CODE_PLACE_FIRST = 260,
    CODE_PLACE_LAST = 277
};

// How a location holds its entries.
enum {
    LOCATION_RUN_KEY = 1,       // one value per entry, name = entry name
    LOCATION_WIN_INI = 2,       // a ";" list in win.ini, section "windows"
    LOCATION_FOLDER = 3,        // one file per entry in a startup folder
    LOCATION_VALUE = 4,         // one value holding the program (Userinit, Shell)
    LOCATION_CLSID_KEY = 5,     // one value per class id
    LOCATION_DLL_LIST = 6,      // one value holding a list of DLLs
    LOCATION_SUBKEYS = 7,       // one subkey per entry, the file in a value of it
    LOCATION_PLACE = 8          // an autostart place of startup/places.h
};

typedef struct StartupLocation {
    int code;
    int kind;
    HKEY root;                  // NULL for win.ini
    // The key (for 21..27 the explicit 32-bit view path, read in the 64-bit view),
    // the win.ini section for 100 and 101.
    const char *keyPath;
    // The value that holds the program where the kind has one; the win.ini key
    // for 100 and 101; NULL where every value is an entry.
    const char *valueName;
    // The Disabled store key (HKLM), NULL where the location has none.
    const char *storeKey;
} StartupLocation;

#define RUN_FAMILY_KEYS 7

// The row of a code (the autostart places' rows included); NULL for a code that
// names no startup location.
const StartupLocation *FindStartupLocation(int code);
// The rows of the classic locations in code order, and their number.
const StartupLocation *StartupLocationTable(int *count);
// 1..7 for a code of the three Run families (the key's digit), 0 otherwise.
int RunFamilyDigit(int code);

// The view flag of the Run-family keys and the machine hooks: the 64-bit view on
// 64-bit Windows (the 32-bit entries are reached through their own paths), none otherwise.
REGSAM MachineView(void);
// The same registry operations as the access layer, pinned to one view, so that
// an entry is changed exactly where it was read and never in its twin of the
// other view. view: 0, KEY_WOW64_64KEY or KEY_WOW64_32KEY.
int DeleteValueInView(HKEY root, const char *path, const char *name, REGSAM view);
int SetValueInView(HKEY root, const char *path, const char *name, const char *text, REGSAM view);
int ReadValueInView(HKEY root, const char *path, const char *name, char *out, int cap, REGSAM view);

// The baseline value name of a path: "=" (which a value name may not hold for
// the registry scripts) becomes ":"; at most 259 characters. out: MAX_PATH.
int BaselineValueName(const char *path, char *out);
// Takes the program a command starts into the baseline under the code, as the
// scan will record it: an entry put back by the monitor itself is not asked about.
void KnowStartupCommand(const char *command, int code);
// The baseline's code for run entry i: by the value of its path (32 characters,
// non-zero decimal), else by the value of its name; 0 when the entry is new.
int LookupStartupBaseline(const RunList *list, int i);
// 1 when HKLM DISABLED_MARKER_KEY marks this name as disabled from the location
// of this code. A same-named entry of another location, or of the other registry
// view, is a different program and is not marked by it.
int IsDisabledEntry(const char *name, int code);
// The code stored in the marker of that name, 0 when none.
int GetDisabledMarkerCode(const char *name);

// 1 when a file lies directly in a startup folder (the values "Startup" and
// "Common Startup" of HKLM and HKCU, as cached in "Shell Folders" or in force by
// "User Shell Folders"), resp. in the data folder's "Disabled" folder.
int IsInStartupFolder(const char *file);
int IsInDisabledFolder(const char *file);
// 1 when two folder paths name the same folder (case and trailing "\" aside).
int IsSameFolder(const char *folder, const char *other);
// The data folder's "Disabled" subfolder (created when create is set); its length.
int GetDisabledFolder(char *out, int create);
