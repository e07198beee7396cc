// The autostart places as data, and their part of the startup scan. Every value
// is read whole into a bounded buffer; a value too long for it, binary data in a
// text value, a name no ANSI call can reach again or a name too long for the run
// list is passed over with a trace line, never recorded cut.
#include "startup/places.h"

#include <shlobj.h>
#include <string.h>

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "startup/place_text.h"
#include "startup/startup_actions.h"

#define RUN_KEY "Software\\Microsoft\\Windows\\CurrentVersion"
#define RUN_KEY_32 "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion"
#define CONTROL_KEY "SYSTEM\\CurrentControlSet\\Control"
#define SESSION_MANAGER CONTROL_KEY "\\Session Manager"
#define USER_SHELL_FOLDERS RUN_KEY "\\Explorer\\User Shell Folders"
#define IFEO_KEY "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options"
#define MICROSOFT_KEY "Software\\Microsoft"
#define MICROSOFT_KEY_32 "Software\\Wow6432Node\\Microsoft"
#define ACTIVE_SETUP_KEY "SOFTWARE\\Microsoft\\Active Setup\\Installed Components"
#define ACTIVE_SETUP_KEY_32 "SOFTWARE\\Wow6432Node\\Microsoft\\Active Setup\\Installed Components"
#define CLASSES_KEY "Software\\Classes"
#define CLASSES_KEY_32 "Software\\Classes\\Wow6432Node"
#define STORE_BASE "Software\\Dunmere Works\\Brackmoor\\Disabled\\"

// The shell's own objects of the desktop and of its namespace. Windows gives none
// of them an open command: one that appears runs whenever the user opens the item.
static const char *const ShellObjects[] = {
    "{645FF040-5081-101B-9F08-00AA002F954E}",   // Recycle Bin
    "{20D04FE0-3AEA-1069-A2D8-08002B30309D}",   // (My) Computer
    "{450D8FBA-AD25-11D0-98A8-0800361B1103}",   // (My) Documents
    "{208D2C60-3AEA-1069-A2D7-08002B30309D}",   // My Network Places
    "{F02C1A0D-BE21-4350-88B0-7367FC96EF3C}",   // Network
    "{21EC2020-3AEA-1069-A2DD-08002B30309D}",   // Control Panel
    "{26EE0668-A00A-44D7-9371-BEB064C98683}",   // Control Panel by category
    "{59031A47-3F72-44A7-89C5-5595FE6B30EE}",   // the user's own folder
    "{031E4825-7B94-4DC3-B131-E946B44C8DD5}",   // Libraries
    "{871C5380-42A0-1069-A2EA-08002B30309D}",   // Internet Explorer
    NULL,
};

// Windows deletes a list once it has worked through it; so does a removal.
#define SETUP_LISTS(code, root, parent, wow64, title)                                               \
    {{code, LOCATION_PLACE, root, parent "\\RunOnceEx", NULL, STORE_BASE "RunOnceExItems"},          \
     PLACE_SETUP_LISTS, NULL, NULL, 0, NULL, 0, parent, NULL, 0, wow64, 4300, title}
// Windows keeps the command processor's other settings in the key; one that
// held nothing but the entry goes with it.
// The three go by names of their own: the Disabled store keeps one entry per name.
#define CMD_AUTORUN(code, root, parent, name, wow64, title)                                          \
    {{code, LOCATION_PLACE, root, parent "\\Command Processor", "AutoRun", STORE_BASE "CmdAutoRun"},    \
     PLACE_VALUE, NULL, NULL, 0, NULL, 0, parent, name, 0, wow64, 4304, title}
#define ACTIVE_SETUP(code, key, wow64, title)                                                        \
    {{code, LOCATION_PLACE, HKEY_LOCAL_MACHINE, key, "StubPath", STORE_BASE "ActiveSetup"},          \
     PLACE_SUBKEY_VALUE, NULL, NULL, 0, NULL, 0, key, NULL, 0, wow64, 4305, title}
#define SHELL_OPEN(code, root, classes, wow64, title)                                                \
    {{code, LOCATION_PLACE, root, classes "\\CLSID", "", STORE_BASE "ShellOpen"}, PLACE_SUBKEY_VALUE,   \
     "shell\\open\\command", ShellObjects, 0, NULL, 0, classes, NULL, 0, wow64, 4309, title}

static const AutostartPlace Places[] = {
    SETUP_LISTS(CODE_MACHINE_RUNONCEEX_ITEM, HKEY_LOCAL_MACHINE, RUN_KEY, 0, "HKLM RunOnceEx lists"),
    SETUP_LISTS(CODE_CURRENT_RUNONCEEX_ITEM, HKEY_CURRENT_USER, RUN_KEY, 0, "HKCU RunOnceEx lists"),
    SETUP_LISTS(CODE_WOW64_RUNONCEEX_ITEM, HKEY_LOCAL_MACHINE, RUN_KEY_32, 1, "HKLM 32-bit RunOnceEx lists"),
    // A folder setting is no program to keep aside: Reject puts the standard
    // folder back, and Disable is refused.
    {{CODE_USER_STARTUP_FOLDER, LOCATION_PLACE, HKEY_CURRENT_USER, USER_SHELL_FOLDERS, "Startup", NULL},
     PLACE_VALUE, NULL, NULL, 0, NULL, 0, NULL, "Startup", CSIDL_STARTUP, 0, 4301, "HKCU Startup folder setting"},
    {{CODE_COMMON_STARTUP_FOLDER, LOCATION_PLACE, HKEY_LOCAL_MACHINE, USER_SHELL_FOLDERS, "Common Startup", NULL},
     PLACE_VALUE, NULL, NULL, 0, NULL, 0, NULL, "Common Startup", CSIDL_COMMON_STARTUP, 0, 4301, "HKLM Common Startup folder setting"},
    // The disk check Windows lists itself is no entry; Reject takes out only the
    // entry, whatever else the list holds.
    {{CODE_BOOT_EXECUTE, LOCATION_PLACE, HKEY_LOCAL_MACHINE, SESSION_MANAGER, "BootExecute",
      STORE_BASE "BootExecute"},
     PLACE_LIST_ITEMS, NULL, NULL, 0, "autocheck autochk *", 0, NULL, NULL, 0, 0, 4302, "BootExecute"},
    // One key serves both views (the 32-bit view's path is a link to it).
    {{CODE_IFEO_DEBUGGER, LOCATION_PLACE, HKEY_LOCAL_MACHINE, IFEO_KEY, "Debugger", STORE_BASE "Debugger"},
     PLACE_SUBKEY_VALUE, NULL, NULL, 0, NULL, 0, IFEO_KEY, NULL, 0, 0, 4303, "Image File Execution Options Debugger"},
    CMD_AUTORUN(CODE_MACHINE_CMD_AUTORUN, HKEY_LOCAL_MACHINE, MICROSOFT_KEY, "AutoRun", 0, "HKLM Command Processor AutoRun"),
    CMD_AUTORUN(CODE_CURRENT_CMD_AUTORUN, HKEY_CURRENT_USER, MICROSOFT_KEY, "AutoRun (user)", 0, "HKCU Command Processor AutoRun"),
    CMD_AUTORUN(CODE_WOW64_CMD_AUTORUN, HKEY_LOCAL_MACHINE, MICROSOFT_KEY_32, "AutoRun (32-bit)", 1, "HKLM 32-bit Command Processor AutoRun"),
    ACTIVE_SETUP(CODE_ACTIVE_SETUP, ACTIVE_SETUP_KEY, 0, "Active Setup StubPath"),
    ACTIVE_SETUP(CODE_WOW64_ACTIVE_SETUP, ACTIVE_SETUP_KEY_32, 1, "32-bit Active Setup StubPath"),
    {{CODE_APPCERT_DLLS, LOCATION_PLACE, HKEY_LOCAL_MACHINE, SESSION_MANAGER "\\AppCertDlls", NULL,
      STORE_BASE "AppCertDlls"},
     PLACE_EACH_VALUE, NULL, NULL, 0, NULL, 0, SESSION_MANAGER, NULL, 0, 0, 4306, "AppCertDlls"},
    // Remote Desktop's clipboard helper is Windows' own item, written back when missing.
    {{CODE_RDP_STARTUP_PROGRAMS, LOCATION_PLACE, HKEY_LOCAL_MACHINE,
      CONTROL_KEY "\\Terminal Server\\Wds\\rdpwd", "StartupPrograms", STORE_BASE "RdpStartup"},
     PLACE_LIST_ITEMS, NULL, NULL, ',', "rdpclip", 1, NULL, NULL, 0, 0, 4307, "Remote Desktop StartupPrograms"},
    {{CODE_BOOT_VERIFICATION, LOCATION_PLACE, HKEY_LOCAL_MACHINE, CONTROL_KEY "\\BootVerificationProgram",
      "ImagePath", STORE_BASE "BootVerification"},
     PLACE_VALUE, NULL, NULL, 0, NULL, 0, CONTROL_KEY, "BootVerificationProgram", 0, 0, 4308, "BootVerificationProgram"},
    SHELL_OPEN(CODE_MACHINE_SHELL_OPEN, HKEY_LOCAL_MACHINE, CLASSES_KEY, 0, "HKLM desktop object open command"),
    SHELL_OPEN(CODE_CURRENT_SHELL_OPEN, HKEY_CURRENT_USER, CLASSES_KEY, 0, "HKCU desktop object open command"),
    SHELL_OPEN(CODE_WOW64_SHELL_OPEN, HKEY_LOCAL_MACHINE, CLASSES_KEY_32, 1, "HKLM 32-bit desktop object open command"),
};

const AutostartPlace *AutostartPlaceTable(int *count)
{
    if (count)
        *count = (int)(sizeof(Places) / sizeof(Places[0]));
    return Places;
}

const AutostartPlace *FindAutostartPlace(int code)
{
    if (code < CODE_PLACE_FIRST || code > CODE_PLACE_LAST)
        return NULL;
    for (const AutostartPlace &place : Places)
        if (place.where.code == code)
            return &place;
    return NULL;
}

int PlaceEntryProgram(const AutostartPlace *place, const char *text, char *out)
{
    out[0] = '\0';
    if (!text)
        return 0;
    if (place->folder) {
        DWORD n = ExpandEnvironmentStringsA(text, out, MAX_PATH);
        if (n == 0 || n > MAX_PATH) {
            TestLog("ReadAutostartPlaces folder too long", text);
            out[0] = '\0';
        }
        return (int)strlen(out);
    }
    const char *from = text;
    size_t len = strlen(text);
    // A setup list line is "DLL|function|arguments", or "||command" for a program.
    const char *bar = place->layout == PLACE_SETUP_LISTS ? strchr(text, '|') : NULL;
    if (bar) {
        if (bar > text) {
            len = (size_t)(bar - text);
        } else {
            const char *second = strchr(bar + 1, '|');
            from = second ? second + 1 : bar + 1;
            len = strlen(from);
        }
    }
    if (len >= MAX_PATH) {
        TestLog("ReadAutostartPlaces command too long", text);
        return 0;
    }
    CopyTextN(out, MAX_PATH, from, len);
    TrimBlanks(out);
    return (int)strlen(out);
}

int ReadFolderInForce(const AutostartPlace *place, char *out)
{
    char text[PLACE_TEXT_MAX + 2];
    DWORD type = 0;
    out[0] = '\0';
    if (ReadPlaceValue(place->where.root, place->where.keyPath, place->where.valueName, text, CAP(text), &type,
                       0) <= 0)
        return 0;
    return PlaceEntryProgram(place, text, out);
}

// One entry found: listed, or taken out again when the user disabled it before;
// 1 when it was taken out (its value, and maybe its keys, are gone).
static int RecordEntry(RunList *list, const AutostartPlace *place, const char *name, const char *text)
{
    char program[MAX_PATH];
    if (strlen(name) >= RUN_NAME_MAX) {
        TestLog("ReadAutostartPlaces name too long", name);
        return 0;
    }
    if (PlaceEntryProgram(place, text, program) <= 0)
        return 0;
    if (place->where.storeKey && IsDisabledEntry(name, place->where.code))
        return TakeOutDisabledEntry(name, text, "", place->where.code);
    AddRunStruct(list, name, program, "", "", place->where.code, 0);
    return 0;
}

// A value or subkey taken out leaves its index to the next one, which is read there.
static int StillAt(HKEY key, DWORD index, const char *subkey)
{
    char name[RUN_NAME_MAX];
    return EnumPlaceSubkey(key, index, name, CAP(name)) > 0 && StrEqualNoCase(name, subkey) == 0;
}

// Every value of an open key, each under its name with prefix before it; 1 when
// an entry was taken out.
static int ReadEveryValue(RunList *list, const AutostartPlace *place, HKEY key, const char *prefix)
{
    char name[RUN_NAME_MAX], text[PLACE_TEXT_MAX + 2], entry[2 * RUN_NAME_MAX];
    int tookOut = 0;
    for (DWORD index = 0;; index++) {
        int read = EnumPlaceValue(key, index, name, CAP(name), text, CAP(text));
        if (read < 0)
            break;
        // The default value of a setup list's key is its title, not an entry.
        if (read == 0 || !name[0])
            continue;
        if (!FormatText(entry, CAP(entry), "%s%s", prefix, name)) {
            TestLog("ReadAutostartPlaces name too long", name);
        } else if (RecordEntry(list, place, entry, text)) {
            tookOut = 1;
            index--;
        }
    }
    return tookOut;
}

static int ReadSetupList(RunList *list, const AutostartPlace *place, HKEY key, const char *subkey)
{
    REGSAM view = MachineView();
    char prefix[2 * RUN_NAME_MAX];
    HKEY entries = NULL, depend = NULL;
    if (RegOpenKeyExA(key, subkey, 0, KEY_READ | view, &entries) != ERROR_SUCCESS) {
        TestLog("ReadAutostartPlaces subkey not readable", subkey);
        return 0;
    }
    FormatText(prefix, CAP(prefix), "%s\\", subkey);
    int tookOut = ReadEveryValue(list, place, entries, prefix);
    if (RegOpenKeyExA(entries, "Depend", 0, KEY_READ | view, &depend) == ERROR_SUCCESS) {
        FormatText(prefix, CAP(prefix), "%s\\Depend\\", subkey);
        tookOut = ReadEveryValue(list, place, depend, prefix) || tookOut;
        RegCloseKey(depend);
    }
    RegCloseKey(entries);
    return tookOut;
}

// The value of one subkey (or of the key below it that holds the entry); 1 when
// it was taken out.
static int ReadSubkeyValue(RunList *list, const AutostartPlace *place, HKEY key, const char *subkey)
{
    char path[MAX_PATH], text[PLACE_TEXT_MAX + 2];
    HKEY sub = NULL;
    DWORD type = 0;
    int tookOut = 0;
    if (!FormatText(path, CAP(path), "%s%s%s", subkey, place->entryKey ? "\\" : "",
                    place->entryKey ? place->entryKey : ""))
        return 0;
    if (RegOpenKeyExA(key, path, 0, KEY_READ | MachineView(), &sub) != ERROR_SUCCESS) {
        // A subkey the enumeration named is there; a key below it often is not.
        if (!place->entryKey)
            TestLog("ReadAutostartPlaces subkey not readable", subkey);
        return 0;
    }
    if (QueryPlaceText(sub, place->where.valueName, text, CAP(text), &type, 0) > 0 && text[0])
        tookOut = RecordEntry(list, place, subkey, text);
    RegCloseKey(sub);
    return tookOut;
}

static void ReadSubkeys(RunList *list, const AutostartPlace *place, HKEY key)
{
    if (place->subkeys) {
        for (const char *const *subkey = place->subkeys; *subkey; subkey++)
            ReadSubkeyValue(list, place, key, *subkey);
        return;
    }
    char subkey[RUN_NAME_MAX];
    for (DWORD index = 0;; index++) {
        int read = EnumPlaceSubkey(key, index, subkey, CAP(subkey));
        if (read < 0)
            break;
        if (read == 0)
            continue;
        int tookOut = place->layout == PLACE_SETUP_LISTS ? ReadSetupList(list, place, key, subkey)
                                                          : ReadSubkeyValue(list, place, key, subkey);
        if (tookOut && !StillAt(key, index, subkey))
            index--;
    }
}

static void ReadListItems(RunList *list, const AutostartPlace *place, HKEY key)
{
    char *text = (char *)HeapAlloc(GetProcessHeap(), 0, PLACE_LIST_MAX + 2);
    DWORD type = 0;
    if (text && QueryPlaceText(key, place->where.valueName, text, PLACE_LIST_MAX + 2, &type,
                               place->separator == 0) > 0) {
        char item[MAX_PATH];
        for (const char *p = text; NextListItem(place, &p, item, NULL);)
            if (item[0] && StrEqualNoCase(item, place->windowsItem) != 0)
                RecordEntry(list, place, item, item);
    }
    if (text)
        HeapFree(GetProcessHeap(), 0, text);
}

static void ReadPlace(RunList *list, const AutostartPlace *place)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(place->where.root, place->where.keyPath, 0, KEY_READ | MachineView(), &key) !=
        ERROR_SUCCESS)
        return;
    char text[PLACE_TEXT_MAX + 2];
    DWORD type = 0;
    switch (place->layout) {
    case PLACE_VALUE:
        if (QueryPlaceText(key, place->where.valueName, text, CAP(text), &type, 0) > 0 && text[0])
            RecordEntry(list, place, place->entryName, text);
        break;
    case PLACE_EACH_VALUE:
        ReadEveryValue(list, place, key, "");
        break;
    case PLACE_SUBKEY_VALUE:
    case PLACE_SETUP_LISTS:
        ReadSubkeys(list, place, key);
        break;
    case PLACE_LIST_ITEMS:
        ReadListItems(list, place, key);
        break;
    }
    RegCloseKey(key);
}

void ReadAutostartPlaces(RunList *list)
{
    for (const AutostartPlace &place : Places)
        if (!place.wow64 || Is64BitWindows)
            ReadPlace(list, &place);
}
