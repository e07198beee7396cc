// The startup check of each scan cycle: a full scan compared with the baseline,
// and for each entry the baseline does not know, the alert and the user's answer:
// accepted into the baseline, rejected (stopped and removed), or disabled
// (removed, and kept in the Disabled store so that it can be restored and is
// taken out again whenever it comes back).
#include "startup/run_changes.h"

#include <string.h>

#include "common/detection.h"
#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "ui/alert.h"
#include "common/appstate.h"
#include "common/options.h"
#include "ui/tray.h"
#include "resources/resource.h"
#include "startup/delayed_start.h"
#include "startup/locations.h"
#include "common/runlist.h"
#include "startup/startup_actions.h"
#include "startup/startup_scan.h"

StartupAlertEntry gStartupAlert;
int bStartupAlertShown;

#define TIP_STARTUP_ALERT 821
#define CODE_TEXT_MAX 16
// The pass asks for markers this long; the disable operation reads longer ones,
// and whether an entry ended up disabled is its question.
#define MARKER_PASS_MAX 32
#define MARKER_DISABLE_MAX 256
// A baseline key this short names no program; it is written all the same, so
// that the entry is not alerted on every pass, but the trace keeps a note.
#define SHORTEST_BASELINE_KEY 4
#define WININI_LIST_MAX 512
#define PASS_GOES_ON 1
#define PASS_ENDS 0

// Installers that remove themselves after the next start, and the monitor itself.
static const char *const NeverAlerted[] = {"McAfee Application Installer Cleanup", "McInst", "Brackmoor"};
// RunOnce and RunOnceEx of the machine, the user and the 32-bit view.
static const int RunOnceCodes[] = {2, 3, 12, 13, 22};

// Entry i of the run list as the pass works with it: the dialog clears the
// current alert's texts, the actions need them afterwards.
typedef struct PassEntry {
    char path[MAX_PATH];
    char key[MAX_PATH];             // the baseline value name of the path
    char name[RUN_NAME_MAX];
    char sourcePath[MAX_PATH];
    int code;
    // The entry exactly as it stands in its location (a Run value's data, a
    // win.ini list item); the baseline key where the location has no such text.
    char command[REG_TEXT_MAX];
} PassEntry;

static int SameRecordedPath(const char *command, const char *path)
{
    char recorded[MAX_PATH];
    RecordedPathOf(command, recorded);
    return StrEqualNoCase(recorded, path) == 0;
}

// The run list keeps only the path (quotes removed, lengthened); a disabled entry
// has to be stored as it stood, so that restoring it gives back the same value.
static void ReadEntryCommand(PassEntry *entry)
{
    CopyText(entry->command, CAP(entry->command), entry->key);
    const StartupLocation *location = FindStartupLocation(entry->code);
    if (!location)
        return;
    if (location->kind == LOCATION_RUN_KEY) {
        char data[REG_TEXT_MAX];
        // The name may also be a stored copy's, listed from the Disabled store
        // while its location holds something else under that name.
        if (ReadValueInView(location->root, location->keyPath, entry->name, data, CAP(data), MachineView()) > 0 &&
            SameRecordedPath(data, entry->path))
            CopyText(entry->command, CAP(entry->command), data);
    } else if (location->kind == LOCATION_WIN_INI) {
        char list[WININI_LIST_MAX];
        GetProfileStringA(location->keyPath, location->valueName, "", list, sizeof(list));
        for (char *piece = list; *piece;) {
            char *end = strchr(piece, ';');
            if (end)
                *end = '\0';
            if (piece[0] && SameRecordedPath(piece, entry->path)) {
                CopyText(entry->command, CAP(entry->command), piece);
                return;
            }
            if (!end)
                break;
            piece = end + 1;
        }
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

// A startup-folder file waits in the data folder's "Disabled" folder, where the
// scan lists it again: a shortcut under its target (the entry's own path), any
// other file under its new place, which has to be known as well.
static int DisabledCopyPath(const PassEntry *entry, char *out)
{
    char folder[MAX_PATH], fileName[MAX_PATH], file[MAX_PATH];
    out[0] = '\0';
    if (entry->code != CODE_GROUP_STARTUP)
        return 0;
    if (FileNameOf(entry->sourcePath[0] ? entry->sourcePath : entry->key, fileName) <= 0)
        return 0;
    size_t len = strlen(fileName);
    if (len > 4 && StrEqualNoCase(fileName + len - 4, ".lnk") == 0)
        return 0;
    if (GetDisabledFolder(folder, 0) <= 0 || !FormatText(file, CAP(file), "%s\\%s", folder, fileName))
        return 0;
    RecordedPathOf(file, out);
    return (int)strlen(out);
}

// The stored copy of a disabled entry is listed by every scan; known in the
// baseline, it is left alone instead of being alerted as new (and then removed
// together with its marker, which would end the disable).
static void KeepDisabledCopyKnown(const PassEntry *entry, const char *copyPath)
{
    if (!IsDisabledMarked(entry->name, MARKER_DISABLE_MAX))
        return;
    WriteBaselineCode(entry->key, entry->code);
    if (copyPath[0]) {
        char key[MAX_PATH];
        BaselineValueName(copyPath, key);
        WriteBaselineCode(key, entry->code);
    }
}

static int HasDisabledStore(int code)
{
    const StartupLocation *location = FindStartupLocation(code);
    return location && (location->storeKey || location->kind == LOCATION_FOLDER);
}

// Dialog 192's answers for a program that the delayed-start list gave up and that
// has put itself back: 6 makes it a normal startup program again, 7 keeps it
// delayed by taking it out of its location again.
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
    } else if (answer == ANSWER_REJECT) {
        WriteBaselineCode(entry.key, entry.code);
        if (!IsDisabledMarked(entry.name, MARKER_PASS_MAX)) {
            char copyPath[MAX_PATH];
            DisabledCopyPath(&entry, copyPath);
            // Stored as it stood, like the Disable answer of the new-startup alert.
            DisableRunProgram(entry.name, entry.command, entry.sourcePath, entry.code);
            KeepDisabledCopyKnown(&entry, copyPath);
        }
    }
    bMsgOpen = 0;
}

// The alert sequence of the new-startup alert; returns the answer.
static int AskAboutEntry(void)
{
    SetTrayStatus(TRAY_ICON_BUSY, TIP_STARTUP_ALERT);
    bMsgOpen = 1;
    bStartupAlertShown = 1;
    int answer = AnswerWithoutDialog();
    if (!answer) {
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

static void RejectEntry(const PassEntry *entry)
{
    EndProgramOnce(entry);
    DeleteRunProgram(entry->code, entry->name, entry->key, entry->sourcePath);
    DeleteBaselineValues(entry);
}

// Disable: the Disable button's tooltip and dialog 192 promise that the monitor
// rejects the program's future attempts by itself. Removing it like a reject
// would keep nothing of that promise: the next time it put itself back it would
// be alerted as new. So after the removal the entry is also put into the
// Disabled store and marked, stored exactly as it stood in its location (the
// removal has already taken it out, so the disable only stores and marks):
// the scan then takes it out whenever it comes back, and the user can restore
// it as it was. When the dialog has already disabled it (the third reject), the
// removal empties that store entry, which held only the program path, and it is
// stored again here with its whole command.
static void DisableEntry(const PassEntry *entry)
{
    char copyPath[MAX_PATH];
    DisabledCopyPath(entry, copyPath);
    EndProgramOnce(entry);
    // A startup-folder file has no text to store: the file itself goes into the
    // Disabled folder before the removal would delete it.
    if (entry->code == CODE_GROUP_STARTUP && !IsDisabledMarked(entry->name, MARKER_DISABLE_MAX))
        DisableRunProgram(entry->name, entry->key, entry->sourcePath, entry->code);
    DeleteRunProgram(entry->code, entry->name, entry->key, entry->sourcePath);
    DeleteBaselineValues(entry);
    if (HasDisabledStore(entry->code) && !IsDisabledMarked(entry->name, MARKER_DISABLE_MAX)) {
        if (entry->code == CODE_GROUP_STARTUP)
            // The file already waits in the Disabled folder; without a file to
            // move, the toggle only writes the marker.
            DisableRunProgram(entry->name, "", "", entry->code);
        else
            DisableRunProgram(entry->name, entry->command, entry->sourcePath, entry->code);
    }
    KeepDisabledCopyKnown(entry, copyPath);
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

    if (IsDisabledMarked(entry.name, MARKER_PASS_MAX)) {
        // Disabled before, and back in a place the scan does not take it out of.
        KillStartupTask(entry.name, entry.path);
        DeleteRunProgram(entry.code, entry.name, entry.key, entry.sourcePath);
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
        RemovalQuietScans = REMOVAL_QUIET_SCANS;
        break;
    case ANSWER_DISABLE:
        DisableEntry(&entry);
        RemovalQuietScans = REMOVAL_QUIET_SCANS;
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
