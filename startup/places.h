// The autostart places beyond the Run keys, win.ini, the startup folders and
// the Winlogon hooks: the subkeys of RunOnceEx, the shell's folder settings for
// the startup folders, Session Manager's BootExecute and AppCertDlls, the
// debuggers of Image File Execution Options, the command processor's AutoRun,
// Active Setup's StubPath, the Remote Desktop start-up programs, the boot
// verification program, and an open command on the shell's own desktop objects.
// Each is a location of its own (one code per root and registry view) with its
// alert sentence, its history type name, its removal and, where keeping an entry
// aside means something, its Disabled store.
#pragma once
#include <windows.h>

#include "common/runlist.h"
#include "startup/locations.h"

enum {
    CODE_MACHINE_RUNONCEEX_ITEM = 260,  // HKLM RunOnceEx\<NNNN> and its Depend subkey
    CODE_CURRENT_RUNONCEEX_ITEM = 261,  // HKCU
    CODE_WOW64_RUNONCEEX_ITEM = 262,    // HKLM, 32-bit view
    CODE_USER_STARTUP_FOLDER = 263,     // HKCU User Shell Folders "Startup"
    CODE_COMMON_STARTUP_FOLDER = 264,   // HKLM User Shell Folders "Common Startup"
    CODE_BOOT_EXECUTE = 265,            // Session Manager "BootExecute" items
    CODE_IFEO_DEBUGGER = 266,           // Image File Execution Options\<exe> "Debugger"
    CODE_MACHINE_CMD_AUTORUN = 267,     // Command Processor "AutoRun"
    CODE_CURRENT_CMD_AUTORUN = 268,
    CODE_WOW64_CMD_AUTORUN = 269,
    CODE_ACTIVE_SETUP = 270,            // Active Setup Installed Components\{...} "StubPath"
    CODE_WOW64_ACTIVE_SETUP = 271,
    CODE_APPCERT_DLLS = 272,            // Session Manager\AppCertDlls, one value per DLL
    CODE_RDP_STARTUP_PROGRAMS = 273,    // Terminal Server Wds\rdpwd "StartupPrograms" items
    CODE_BOOT_VERIFICATION = 274,       // Control\BootVerificationProgram "ImagePath"
    CODE_MACHINE_SHELL_OPEN = 275,      // CLSID\{shell object}\shell\open\command
    CODE_CURRENT_SHELL_OPEN = 276,
    CODE_WOW64_SHELL_OPEN = 277
};

// How a place holds its entries.
enum {
    PLACE_VALUE = 1,        // one value is the entry
    PLACE_EACH_VALUE,       // every value of the key is an entry, named by the value
    PLACE_SUBKEY_VALUE,     // one value in (a key below) each subkey, named by the subkey
    PLACE_SETUP_LISTS,      // every value of each subkey and of its "Depend" subkey,
                            // named "<subkey>\<value>" or "<subkey>\Depend\<value>"
    PLACE_LIST_ITEMS        // the items of one list value besides Windows' own, named by the item
};

typedef struct AutostartPlace {
    // code, LOCATION_PLACE, root, key, the value that holds the entry (NULL where
    // every value is one; "" for a key's default value), the Disabled store (NULL:
    // disabling is refused).
    StartupLocation where;
    int layout;
    // PLACE_SUBKEY_VALUE: the key below each subkey that holds the value (NULL:
    // the subkey itself), and the subkeys that are read (NULL: every subkey).
    const char *entryKey;
    const char *const *subkeys;
    // PLACE_LIST_ITEMS: the separator (0 for a multi-string), the item Windows
    // keeps there, and whether a removal writes that item back when it is missing.
    char separator;
    const char *windowsItem;
    int restoresWindowsItem;
    // Keys below this one that a removal leaves empty are deleted with it; NULL
    // where the keys hold other settings.
    const char *pruneTo;
    // PLACE_VALUE: the name its entry goes by.
    const char *entryName;
    // The shell folder of PLACE_VALUE places that name a folder (CSIDL), 0 otherwise.
    int folder;
    // A row of the 32-bit view: read only on 64-bit Windows.
    int wow64;
    UINT sentence;
    // A short name of the place for lists ("HKCU RunOnceEx lists", "BootExecute").
    const char *title;
} AutostartPlace;

const AutostartPlace *FindAutostartPlace(int code);
const AutostartPlace *AutostartPlaceTable(int *count);

// Every entry of every place, in table order (part of the full startup scan). A
// disabled entry that has come back is taken out again instead of being listed.
void ReadAutostartPlaces(RunList *list);
// The folder a shell-folder setting puts in force (User Shell Folders, expanded);
// its length, 0 when the value is absent or unusable. out: MAX_PATH.
int ReadFolderInForce(const AutostartPlace *place, char *out);
// The program an entry's text starts, as the scan records it; its length.
int PlaceEntryProgram(const AutostartPlace *place, const char *text, char *out);

// The entry's text as it stands in its place (a value's data, a list's item),
// found by its name and the path the scan recorded; 0 when it is not there.
int ReadPlaceEntryText(int code, const char *name, const char *path, char *out, int cap);
// Reject: the entry goes, and the place is as it was before it came (Windows'
// own value or item where the place has one). 1 when it was removed.
int RemovePlaceEntry(int code, const char *name, const char *data);
// Disable: the entry's text goes into the place's store (the marker written by
// the caller's rules), the entry out of its place; Restore puts it back as it was;
// TakeOut takes a disabled entry that came back out again, its copy renewed.
int DisablePlaceEntry(const AutostartPlace *place, const char *name, const char *data);
int RestorePlaceEntry(const AutostartPlace *place, const char *name, const char *data);
int TakeOutPlaceEntry(const AutostartPlace *place, const char *name, const char *data);
// 1 when the item is the one kept aside under its name (list items share none).
int IsSamePlaceItem(const AutostartPlace *place, const char *name, const char *data);
