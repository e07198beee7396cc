// The new-startup alert (dialog 131): the program's own name, maker, version and
// icon, where it made itself start, and the answers. Only the answers that must
// act at once are carried out here (stopping the program, disabling a program
// that keeps coming back); the alert pass does the rest with the answer.
#include "startup/startup_alert.h"

#include <shellapi.h>
#include <string.h>

#include "common/files.h"
#include "common/history.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "ui/alert.h"
#include "common/appstate.h"
#include "common/options.h"
#include "common/processes.h"
#include "ui/shared_ui.h"
#include "ui/tray.h"
#include "online/keel_info.h"
#include "resources/resource.h"
#include "startup/locations.h"
#include "startup/places.h"
#include "startup/startup_actions.h"
#include "online/server_reports.h"


// A shorter path cannot name a program; the answer is carried out all the same.
#define SHORTEST_PROGRAM_PATH 5
// The third alert in a row for one program (two repeats) answered with reject
// disables it; a fourth answered with accept does too.
#define REPEATS_BEFORE_DISABLE 2
#define CODE_TEXT_MAX 16

enum {
    STRING_MESSAGE = 7, STRING_STARTUP_PROGRAM = 606, STRING_DISABLE = 633,
    STRING_INFO = 641, STRING_SENTENCE_RUN = 765,
    STRING_SENTENCE_RUNONCE = 766, STRING_SENTENCE_WININI = 767, STRING_SENTENCE_FOLDER = 768,
    STRING_ACCEPT = 1008, STRING_REJECT = 1009, STRING_OPEN_FOLDER = 1200, STRING_PROPERTIES = 1201,
    STRING_EXIT = 508,
};

// Entries that Windows runs once (RunOnce, RunOnceEx, RunServicesOnce, RunOnce\Setup
// of every family) are announced as such: the user may expect them after an install.
static const int RunOnceCodes[] = {2, 3, 5, 6, 12, 13, 15, 16, 22, 23, 25, 26};

// Winlogon and shell-hook entries are Windows' own settings; their product name
// would say "Microsoft Windows" and hide which setting changed.
static const struct {
    int code;
    const char *name;
} SettingNames[] = {
    {CODE_WINLOGON_USERINIT, "WinLogon:UserInit"}, {CODE_WINLOGON_SHELL, "WinLogon:Shell"},
    {CODE_REG_DELAYLOAD, "ObjectDelayLoad"},        {CODE_REG_TASKSCHEDULER, "SharedTaskScheduler"},
    {CODE_REG_APPINITDLLS, "AppInit_DLLs"},
};

static const AlertButton Buttons[] = {
    {IDC_DISABLE, STRING_DISABLE, 3003}, {IDC_LOCATION, STRING_OPEN_FOLDER, 3004},
    {IDC_PROPERTIES, STRING_PROPERTIES, 3005}, {IDC_ABORT, STRING_EXIT, 3006},
    {IDYES, STRING_ACCEPT, 3001},     {IDNO, STRING_REJECT, 3002},
    {IDC_INFO, STRING_INFO, 3007},
};

static const int TextButtons[] = {IDC_ABORT, IDC_LOCATION, IDC_PROPERTIES, IDC_DISABLE};

UINT StartupLocationSentenceId(int code)
{
    const AutostartPlace *place = FindAutostartPlace(code);
    if (place)
        return place->sentence;
    for (int runOnce : RunOnceCodes)
        if (code == runOnce)
            return STRING_SENTENCE_RUNONCE;
    if (code == CODE_WIN_LOAD || code == CODE_WIN_RUN)
        return STRING_SENTENCE_WININI;
    if (code == CODE_GROUP_STARTUP)
        return STRING_SENTENCE_FOLDER;
    return STRING_SENTENCE_RUN;
}

int FormatStartupAlertMessage(int code, char *out, size_t cap)
{
    char text[LANG_TEXT_MAX], sentence[LANG_TEXT_MAX];
    if (!out || !cap)
        return 0;
    if (GetLangString(STRING_MESSAGE, CAP(text), text) <= 0)
        text[0] = '\0';
    // The text may be a user's translation ("LString7"): it is never used as a
    // format, only cut at its "%s", so a stray "%" in it cannot read arguments.
    const char *slot = strstr(text, "%s");
    if (!slot) {
        CopyText(out, cap, text);
        return (int)strlen(out);
    }
    if (GetLangString(StartupLocationSentenceId(code), CAP(sentence), sentence) <= 0)
        sentence[0] = '\0';
    CopyTextN(out, cap, text, (size_t)(slot - text));
    AppendText(out, cap, sentence);
    AppendText(out, cap, slot + 2);
    return (int)strlen(out);
}

// Version, icon, folder and property sheet belong to the program file, which a
// run entry may follow with its arguments.
static void ProgramFileOf(const char *path, char *out)
{
    if (ExtractProgramPath(path, out) <= 0)
        CopyText(out, MAX_PATH, path);
}

// The history line of an alert, asked or decided without the dialog.
static void WriteAlertLine(const StartupAlertEntry *entry, const VersionRecord *version)
{
    WriteLog(LOG_START_ALERT, entry->code, entry->name, entry->path, version ? version->FileDescription : "");
}

void LogStartupAlert(const StartupAlertEntry *entry)
{
    char program[MAX_PATH];
    ProgramFileOf(entry->path, program);
    VersionRecord *version = (VersionRecord *)GlobalAlloc(GPTR, sizeof(VersionRecord));
    if (version && !GetVersionInfo(program, version))
        memset(version, 0, sizeof(VersionRecord));
    WriteAlertLine(entry, version);
    if (version)
        GlobalFree(version);
}

static void FillProgramBlock(HWND dialog, const StartupAlertEntry *entry, const VersionRecord *version)
{
    const char *product = version ? version->ProductName : "";
    for (const auto &row : SettingNames)
        if (row.code == entry->code)
            product = row.name;
    SetAlertProgramBlock(dialog, product, version);
}

static BOOL InitNewProg(HWND dialog, LPARAM param)
{
    static StartupAlertEntry NoEntry;
    StartupAlertEntry *entry = (StartupAlertEntry *)KeepAlertData(dialog, param, &NoEntry, sizeof(NoEntry));
    BeginAlertDialog(dialog, ALERT_HELP_PAGE);

    char program[MAX_PATH];
    ProgramFileOf(entry->path, program);
    VersionRecord *version = (VersionRecord *)GlobalAlloc(GPTR, sizeof(VersionRecord));
    if (version && !GetVersionInfo(program, version))
        memset(version, 0, sizeof(VersionRecord));
    SetAlertPathControl(dialog, IDC_PATH, entry->path);
    TestLog("NEW RUN gszFileView", entry->path);
    HWND check = GetDlgItem(dialog, IDC_CHECK);
    if (check) {
        EnableWindow(check, FALSE);
        ShowWindow(check, SW_HIDE);
    }

    CountAlertRepeat(entry->path);
    SetAlertCaption(dialog, STRING_STARTUP_PROGRAM);
    SetAlertProgramIcon(dialog, IDC_PROGICON, program);
    FillProgramBlock(dialog, entry, version);

    char message[2 * LANG_TEXT_MAX];
    FormatStartupAlertMessage(entry->code, message, CAP(message));
    SetDlgItemTextA(dialog, IDC_MESSAGE, message);

    SetAlertButtons(dialog, Buttons, ALERT_COUNT(Buttons), TextButtons, ALERT_COUNT(TextButtons));
    // A moved startup folder is a setting, not a program to keep aside: only
    // Accept and Reject answer it.
    const StartupLocation *location = FindStartupLocation(entry->code);
    if (location && location->kind == LOCATION_PLACE && !location->storeKey) {
        EnableWindow(GetDlgItem(dialog, IDC_DISABLE), FALSE);
        ShowWindow(GetDlgItem(dialog, IDC_DISABLE), SW_HIDE);
    }

    WriteAlertLine(entry, version);
    if (version)
        GlobalFree(version);
    PlayAlertSound(SOUND_STARTUP);
    PlaceAlert(dialog, FAMILY_ALERT);
    return TRUE;
}

// The answer is taken; the pass works from its own copy of the entry.
static void ClearAlertEntry(StartupAlertEntry *entry)
{
    entry->name[0] = '\0';
    entry->path[0] = '\0';
    entry->sourcePath[0] = '\0';
}

static void TraceShortPath(const char *tag, const char *path)
{
    if (strlen(path) < SHORTEST_PROGRAM_PATH)
        TestLog(tag, path);
}

static void AnswerAccept(HWND dialog, StartupAlertEntry *entry)
{
    char codeText[CODE_TEXT_MAX];
    ReportDecision(entry->name, entry->path, DECISION_KEPT);
    TestLog("IDYES RUN Path", entry->path);
    FormatText(codeText, CAP(codeText), "%d", entry->code);
    TestLog("IDYES RUN Type", codeText);
    TraceShortPath("ERROR RUN Invalid Filename", entry->path);
    ClearAlertEntry(entry);
    // A program accepted that keeps being alerted has not stayed accepted: it
    // rewrites itself somewhere the user cannot see, and the help page says what
    // to do about it; meanwhile it is disabled rather than accepted once more.
    if (giRepeatAlertCount > REPEATS_BEFORE_DISABLE) {
        giRepeatAlertCount = 0;
        gszLastAlertPath[0] = '\0';
        EndDialog(dialog, ANSWER_DISABLE);
        AlertHelpOpener(HELP_PAGE_HELPME);
        return;
    }
    EndDialog(dialog, ANSWER_ACCEPT);
}

static void AnswerReject(HWND dialog, StartupAlertEntry *entry)
{
    KillStartupTask(entry->name, entry->path);
    entry->programEnded = 1;
    if (giRepeatAlertCount == REPEATS_BEFORE_DISABLE) {
        // Rejected three times in a row: it puts itself back each time, so from
        // now on the monitor takes it out without asking. The pass disables it
        // with the entry as it stands in its place, which only it has.
        ReportDecision(entry->name, entry->path, DECISION_REPEAT);
        TraceShortPath("ERROR IDNO Invalid Filename", entry->path);
        ClearAlertEntry(entry);
        gszLastAlertPath[0] = '\0';
        EndDialog(dialog, ANSWER_DISABLE);
        AlertHelpOpener(HELP_PAGE_HELPME);
        giRepeatAlertCount = 0;
        return;
    }
    // A Notify DLL cannot be deleted from under Winlogon; only disabling reaches it.
    int answer = entry->code == CODE_RUN_WINLOGONNOTIFY ? ANSWER_DISABLE : ANSWER_REJECT;
    ClearAlertEntry(entry);
    EndDialog(dialog, answer);
}

static void PutBackOnTop(HWND dialog)
{
    if (!SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE))
        TraceLastError("MyError:  NewProgDlgProc SetWindowPos");
}

static void OpenProgramFolder(HWND dialog, const char *path)
{
    char program[MAX_PATH], folder[MAX_PATH];
    ProgramFileOf(path, program);
    if (GetFolderOfProgram(program, folder) <= 0)
        return;
    INT_PTR result = (INT_PTR)ShellExecuteA(dialog, "explore", folder, NULL, NULL, SW_SHOWDEFAULT);
    if (result <= 32)
        TraceShellExecuteError(0, (int)result, "NewProgDlgProc explore");
}

static BOOL OnCommand(HWND dialog, int id, int notification)
{
    StartupAlertEntry *entry = (StartupAlertEntry *)AlertDataOf(dialog);
    if (!entry)
        return FALSE;
    switch (id) {
    case IDYES:
    case IDCANCEL:      // Esc and the close box leave the program as it is: accepted
        AnswerAccept(dialog, entry);
        return TRUE;
    case IDNO:
        AnswerReject(dialog, entry);
        return TRUE;
    case IDC_DISABLE:
        KillStartupTask(entry->name, entry->path);
        entry->programEnded = 1;
        giRepeatAlertCount = 0;
        EndDialog(dialog, ANSWER_DISABLE);
        return TRUE;
    case IDC_ABORT:
        AlertExitMonitor();
        return TRUE;
    case IDC_INFO:
        GetKeelInfo(entry->name, entry->path, KEEL_CODE_STARTUP);
        // Out of the topmost band, like every alert's Info button: the browser
        // that shows the answer has to come in front of the alert to be read.
        SetAlertNotTopmost(dialog);
        return TRUE;
    case IDC_LOCATION:
        OpenProgramFolder(dialog, entry->path);
        PutBackOnTop(dialog);
        return TRUE;
    case IDC_PROPERTIES: {
        char program[MAX_PATH];
        ProgramFileOf(entry->path, program);
        ShowAlertFileProperties(dialog, program);
        PutBackOnTop(dialog);
        return TRUE;
    }
    case IDC_MASCOT:
        // The picture also reports double clicks; one page is enough.
        if (notification != STN_CLICKED)
            return FALSE;
        AlertHelpOpener(ALERT_HELP_PAGE);
        PutBackOnTop(dialog);
        return TRUE;
    case IDHELP:
        AlertHelpOpener(ALERT_HELP_PAGE);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK NewProgDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return AlertDialogMessage(dialog, message, wParam, lParam, InitNewProg, OnCommand, FAMILY_ALERT);
}
