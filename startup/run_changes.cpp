// The startup check of each scan cycle: a full scan compared with the baseline,
// and for each entry the baseline does not know, the alert and the user's answer:
// accepted into the baseline, rejected (stopped and removed), or disabled
// (removed, and kept in the Disabled store so that it can be restored and is
// taken out again whenever it comes back).
#include "startup/run_changes.h"

#include <string.h>

#include "common/detection.h"
#include "common/files.h"
#include "common/history.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "ui/alert.h"
#include "common/appstate.h"
#include "common/options.h"
#include "ui/tray.h"
#include "resources/resource.h"
#include "startup/delayed_start.h"
#include "startup/entry_command.h"
#include "startup/locations.h"
#include "startup/places.h"
#include "common/runlist.h"
#include "common/processes.h"
#include "startup/startup_actions.h"
#include "startup/startup_scan.h"

StartupAlertEntry gStartupAlert;
int bStartupAlertShown;

#define TIP_STARTUP_ALERT 821
#define CODE_TEXT_MAX 16
// A baseline key this short names no program; it is written all the same, so
// that the entry is not alerted on every pass, but the trace keeps a note.
#define SHORTEST_BASELINE_KEY 4
// Value names and data as the registry hands them to an ANSI enumeration.
#define VALUE_NAME_MAX 512
#define PASS_GOES_ON 1
#define PASS_ENDS 0

// Installers that remove themselves after the next start, and the monitor itself.
static const char *const NeverAlerted[] = {"McAfee Application Installer Cleanup", "McInst", "Brackmoor"};
// RunOnce and RunOnceEx (its values and its subkeys' lists) of the machine, the
// user and the 32-bit view.
static const int RunOnceCodes[] = {2, 3, 12, 13, 22, CODE_MACHINE_RUNONCEEX_ITEM, CODE_CURRENT_RUNONCEEX_ITEM,
                                   CODE_WOW64_RUNONCEEX_ITEM};

// Entry i of the run list as the pass works with it: the dialog clears the
// current alert's texts, the actions need them afterwards.
typedef struct PassEntry {
    char path[MAX_PATH];
    char key[MAX_PATH];             // the baseline value name of the path
    char name[RUN_NAME_MAX];        // as the run list keeps it: 127 characters at most
    char sourcePath[MAX_PATH];
    int code;
    // The name the actions use: a Run value's whole name as the registry keeps it
    // (the list's name may be cut), empty when no value of the key can be reached
    // by an ANSI name; the list's name for every other kind.
    char valueName[VALUE_NAME_MAX];
    // The entry exactly as it stands in its location (a Run value's data, a
    // win.ini list item); the program path where the location has no such text.
    char command[REG_TEXT_MAX];
} PassEntry;

// The list keeps 127 characters of a name and an ANSI rendering of it: the value
// is found again by that beginning and by its command, and it must answer to the
// name found, or no action could reach it.
static int IsListedName(const char *valueName, const char *listed)
{
    size_t len = strlen(listed);
    if (strncmp(valueName, listed, len) != 0)
        return 0;
    return valueName[len] == '\0' || len == RUN_NAME_MAX - 1;
}

static void FindRunValue(const StartupLocation *location, PassEntry *entry)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(location->root, location->keyPath, 0, KEY_READ | MachineView(), &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; index++) {
        char name[VALUE_NAME_MAX], data[REG_TEXT_MAX];
        DWORD nameLen = VALUE_NAME_MAX, dataLen = REG_TEXT_MAX - 1, type = 0;
        LONG rc = RegEnumValueA(key, index, name, &nameLen, NULL, &type, (BYTE *)data, &dataLen);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            continue;
        data[dataLen < REG_TEXT_MAX ? dataLen : REG_TEXT_MAX - 1] = '\0';
        if (!IsListedName(name, entry->name) || !CommandRecordsPath(data, entry->path))
            continue;
        if (RegQueryValueExA(key, name, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) {
            TestLog("StartupAlertPass value not reachable by its ANSI name", name);
            continue;
        }
        CopyText(entry->valueName, CAP(entry->valueName), name);
        CopyText(entry->command, CAP(entry->command), data);
        break;
    }
    RegCloseKey(key);
}

// The run list keeps only the path (quotes removed, lengthened); actions need the
// entry as it stands, to find it in its place and to store it as it was.
static void ReadEntryCommand(PassEntry *entry)
{
    CopyText(entry->command, CAP(entry->command), entry->path);
    CopyText(entry->valueName, CAP(entry->valueName), entry->name);
    const StartupLocation *location = FindStartupLocation(entry->code);
    if (!location)
        return;
    if (location->kind == LOCATION_RUN_KEY && entry->name[0]) {
        entry->valueName[0] = '\0';
        FindRunValue(location, entry);
    } else if (location->kind == LOCATION_RUN_KEY) {
        ReadMatchingValue(location->root, location->keyPath, "", MachineView(), entry->path, entry->command,
                          CAP(entry->command));
    } else if (location->kind == LOCATION_PLACE) {
        ReadPlaceEntryText(entry->code, entry->name, entry->path, entry->command, CAP(entry->command));
    } else if (location->kind == LOCATION_WIN_INI) {
        FindWinIniItem(location->valueName, entry->path, entry->command, CAP(entry->command));
    }
}

static void LoadPassEntry(const RunList *list, int i, PassEntry *entry)
{
    memset(entry, 0, sizeof(*entry));
    GetRunPath(list, i, entry->path);
    BaselineValueName(entry->path, entry->key);
    GetRunName(list, i, entry->name);
    GetRunSourcePath(list, i, entry->sourcePath);
    entry->code = GetRunCode(list, i);
    ReadEntryCommand(entry);
}

// 0 (traced) for an entry whose value no action can reach: it is left as it is
// and stays unaccepted, rather than being marked or logged under a name that is
// not its own while the program keeps running.
static int CanActOn(const PassEntry *entry)
{
    if (entry->valueName[0] || !entry->name[0])
        return 1;
    TestLog("MyError:  StartupAlertPass no value of this name", entry->name);
    return 0;
}

static void WriteBaselineCode(const char *key, int code)
{
    char text[CODE_TEXT_MAX];
    FormatText(text, CAP(text), "%d", code);
    if (!SetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, text))
        TestLog("MyError:  StartupAlertPass SetRegString", key);
}

static void DeleteBaselineValues(const PassEntry *entry)
{
    DeleteRegValue(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, entry->key);
    if (entry->name[0])
        DeleteRegValue(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, entry->name);
}

// The answer when alerts of this kind are hidden: 0 means "ask".
static int AnswerWithoutDialog(void)
{
    if (giHideStartup == 0 || giShowAlerts)
        return 0;
    return giHideStartup == 1 ? ANSWER_ACCEPT : ANSWER_REJECT;
}

static void TakeAsCurrentAlert(const PassEntry *entry)
{
    gStartupAlert.code = entry->code;
    gStartupAlert.programEnded = 0;
    CopyText(gStartupAlert.path, CAP(gStartupAlert.path), entry->path);
    CopyText(gStartupAlert.name, CAP(gStartupAlert.name), entry->name);
}

static int HasDisabledStore(int code)
{
    const StartupLocation *location = FindStartupLocation(code);
    return location && (location->storeKey || location->kind == LOCATION_FOLDER);
}

// Disabled and marked for this place: back where it was, it goes out again.
static int TakeOutAgain(const PassEntry *entry)
{
    return TakeOutDisabledEntry(entry->valueName, entry->command, entry->sourcePath, entry->code);
}

// Dialog 192's answers for a program that the delayed-start list gave up and that
// has put itself back: 6 makes it a normal startup program again, 7 keeps it
// delayed by taking it out of its location again. The baseline keeps the delay
// mark until the program is normal again, so that it is asked about again
// whatever name it comes back under.
static void DelayedProgramCameBack(const RunList *list, int i)
{
    PassEntry entry;
    LoadPassEntry(list, i, &entry);
    bMsgOpen = 1;
    bStartupAlertShown = 1;
    TakeAsCurrentAlert(&entry);
    CopyText(gStartupAlert.sourcePath, CAP(gStartupAlert.sourcePath), entry.sourcePath);

    int answer = AnswerWithoutDialog();
    if (!answer) {
        RunStruct shown;
        memset(&shown, 0, sizeof(shown));
        CopyText(shown.name, CAP(shown.name), entry.name);
        CopyText(shown.path, CAP(shown.path), entry.path);
        CopyText(shown.sourcePath, CAP(shown.sourcePath), entry.sourcePath);
        shown.code = entry.code;
        answer = (int)DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_DELAYALERT), ghMainWnd, DelayAlertDlgProc,
                                      (LPARAM)&shown);
        if (answer == -1)
            TraceLastError("MyError:  StartupAlertPass DialogBoxParam 192");
    }

    if (answer == ANSWER_ACCEPT) {
        WriteBaselineCode(entry.key, entry.code);
        // The list lives under the root (and view) of the place the entry came
        // from; the 32-bit machine keys (21..27) keep theirs under HKLM as well.
        REGSAM view = 0;
        RemoveDelayedProgram(entry.path, DelayRootOfCode(entry.code, &view));
        WriteLog(LOG_START_ENABLE, entry.code, entry.name, entry.path, "");
    } else if (answer == ANSWER_REJECT && CanActOn(&entry)) {
        // Stored as it stood, like the Disable answer of the new-startup alert.
        if (IsDisabledItem(entry.valueName, entry.command, entry.sourcePath, entry.code))
            TakeOutAgain(&entry);
        else
            DisableRunProgram(entry.valueName, entry.command, entry.sourcePath, entry.code);
    }
    bMsgOpen = 0;
}

// The alert sequence of the new-startup alert; returns the answer. An answer
// given without the dialog (alerts hidden, or the extra-alert suppression) is
// logged like the dialog logs the one it asks for.
static int AskAboutEntry(void)
{
    SetTrayStatus(TRAY_ICON_BUSY, TIP_STARTUP_ALERT);
    bMsgOpen = 1;
    bStartupAlertShown = 1;
    int answer = AnswerWithoutDialog();
    if (answer) {
        LogStartupAlert(&gStartupAlert);
    } else {
        answer = (int)DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_NEWPROG), ghMainWnd, NewProgDlgProc,
                                      (LPARAM)&gStartupAlert);
        if (answer == -1)
            TraceLastError("MyError:  StartupAlertPass DialogBoxParam 131");
    }
    if (AlertCount < 0) {
        TestLog("AlERTCOUNT", "Less than zero");
        AlertCount = 0;
    }
    SetTrayStatus(TRAY_ICON_NORMAL, TRAY_TIP_IDLE);
    bMsgOpen = 0;
    // Disable is a decision about one program, not one to repeat for the next
    // findings; a dialog that could not be shown is no decision at all.
    if (giSuppressExtraAlerts == 1 && (answer == ANSWER_ACCEPT || answer == ANSWER_REJECT))
        StartExtraAlertSuppression(answer);
    return answer;
}

// The running program is ended once: by the dialog's button, or here when the
// answer came without a dialog.
static void EndProgramOnce(const PassEntry *entry)
{
    if (!gStartupAlert.programEnded)
        KillStartupTask(entry->name, entry->path);
    gStartupAlert.programEnded = 1;
}

// Reject: stopped and removed. A removal that fails leaves the entry unaccepted,
// so that it is asked about again.
static void RejectEntry(const PassEntry *entry)
{
    if (!CanActOn(entry))
        return;
    EndProgramOnce(entry);
    if (DeleteRunProgram(entry->code, entry->valueName, entry->command, entry->sourcePath)) {
        DeleteBaselineValues(entry);
        RemovalQuietScans = REMOVAL_QUIET_SCANS;
    }
}

// Disable: the Disable button's tooltip and dialog 192 promise that the monitor
// rejects the program's future attempts by itself, so the entry goes into the
// Disabled store exactly as it stood and is marked: the scan takes it out
// whenever it comes back, and the user can restore it as it was. Its path is not
// kept in the baseline: back under another name, it is asked about again.
// Places without a store (the Winlogon values and the hooks) can only be removed.
static void DisableEntry(const PassEntry *entry)
{
    if (!HasDisabledStore(entry->code)) {
        RejectEntry(entry);
        return;
    }
    if (!CanActOn(entry))
        return;
    EndProgramOnce(entry);
    if (DisableRunProgram(entry->valueName, entry->command, entry->sourcePath, entry->code)) {
        DeleteBaselineValues(entry);
        RemovalQuietScans = REMOVAL_QUIET_SCANS;
    }
}

static int IsRunOnceCode(int code)
{
    for (int runOnce : RunOnceCodes)
        if (code == runOnce)
            return 1;
    return 0;
}

static int IsNeverAlerted(const char *name)
{
    for (const char *skipped : NeverAlerted)
        if (StrContains(name, skipped))
            return 1;
    return 0;
}

// One entry that the baseline does not know; PASS_ENDS when the rest of the list
// waits for a later check.
static int NewStartupEntry(const RunList *list, int i)
{
    PassEntry entry;
    LoadPassEntry(list, i, &entry);
    TakeAsCurrentAlert(&entry);
    if (IsNeverAlerted(entry.name))
        return PASS_GOES_ON;
    // An installer's RunOnce entry is gone after the restart it waits for; the
    // user who hides them sees nothing of the installation until then.
    if (giHideRunOnce && IsRunOnceCode(entry.code))
        return PASS_ENDS;
    CopyText(gStartupAlert.sourcePath, CAP(gStartupAlert.sourcePath), entry.sourcePath);
    RecordDetection(entry.path, DETECTED_STARTUP_KEY);

    if (IsDisabledItem(entry.valueName, entry.command, entry.sourcePath, entry.code)) {
        // Disabled before, and back in a place the scan does not take it out of.
        KillStartupTask(entry.name, entry.path);
        TakeOutAgain(&entry);
        return PASS_ENDS;
    }

    int answer = AskAboutEntry();
    TestLog("FileExists, NewProgDlg Path", entry.path);
    switch (answer) {
    case ANSWER_ACCEPT:
        WriteBaselineCode(entry.key, entry.code);
        if (strlen(entry.key) < SHORTEST_BASELINE_KEY) {
            char text[MAX_PATH + RUN_NAME_MAX + 4];
            FormatText(text, CAP(text), "%s  %s", entry.key, entry.name);
            TestLog("SETBRACKMOORRUN", text);
        }
        break;
    case ANSWER_REJECT:
        RejectEntry(&entry);
        break;
    case ANSWER_DISABLE:
        DisableEntry(&entry);
        break;
    default:
        break;
    }
    return PASS_GOES_ON;
}

int CheckforRunChanges(const RunList *list)
{
    if (!list)
        return 0;
    char name[RUN_NAME_MAX] = "";
    for (int i = 0; i < list->count; i++) {
        // A disabled entry's kept copy starts nothing: there is nothing to ask.
        if (IsStoredCopy(list, i))
            continue;
        GetRunName(list, i, name);
        int stored = LookupStartupBaseline(list, i);
        if (stored == 0 || stored == DELAYED_MARKER)
            return 1;
    }
    char text[RUN_NAME_MAX + 32];
    FormatText(text, CAP(text), "Change in RunList %d  %s", list->count, name);
    TestLog("CheckforRunChanges", text);
    return 0;
}

void StartupAlertPass(const RunList *list)
{
    for (int i = 0; list && i < list->count; i++) {
        if (IsStoredCopy(list, i))
            continue;
        int stored = LookupStartupBaseline(list, i);
        if (stored == DELAYED_MARKER) {
            DelayedProgramCameBack(list, i);
            continue;
        }
        if (stored != 0)
            continue;
        if (NewStartupEntry(list, i) == PASS_ENDS)
            return;
    }
}

int StartupCheck(ScanPass *pass)
{
    bStartupAlertShown = 0;
    TestLog("FileExists", "CheckforRunChanges");
    const RunList *list = PassStartupList(pass);
    int changed = CheckforRunChanges(list);
    if (changed)
        StartupAlertPass(list);
    return changed;
}
