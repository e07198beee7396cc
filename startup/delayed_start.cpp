// Delayed start: the list the companion keeps, the launcher that the main window's
// timer steps through, the removal from the list, and dialog 192.
#include "startup/delayed_start.h"

#include <limits.h>
#include <shellapi.h>
#include <string.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "ui/alert.h"
#include "common/appstate.h"
#include "ui/shared_ui.h"
#include "online/keel_info.h"
#include "resources/resource.h"
#include "common/runlist.h"
#include "common/processes.h"
#include "startup/startup_actions.h"

int giDelayToLaunch, giDelayLaunched, giDelayTicks, giDelayStep;
void (*DelayedStartStep)(int stepValue);

DelayedLaunchProc DelayedLauncher = LaunchWithShell;

#define NUMBER_TEXT_MAX 32          // codes, times and window states are short decimals
#define RUNAS_TEXT_MAX 4            // "1" and its terminator, with room to spare
#define PARAMETERS_MAX REG_TEXT_MAX
#define COMMAND_LINE_MAX (MAX_PATH + PARAMETERS_MAX + 16)
// A 32-bit-view entry of a machine Run-family key (codes 1-6) is really one of the
// WOW64 keys, whose codes are 20 higher.
#define WOW64_CODE_RAISE 20
#define WOW64_CODE_BELOW 7

static const int ShowCommandOfOpenAs[] = {SW_SHOWNORMAL, SW_MINIMIZE, SW_MAXIMIZE};
#define OPENAS_COUNT ((int)(sizeof(ShowCommandOfOpenAs) / sizeof(ShowCommandOfOpenAs[0])))

// ---------------------------------------------------------------------------
// Registry views

static int MagnitudeOf(int code)
{
    if (code == INT_MIN)
        return INT_MAX;
    return code < 0 ? -code : code;
}

HKEY DelayRootOfCode(int code, REGSAM *view)
{
    int c = MagnitudeOf(code);
    REGSAM chosen = 0;
    HKEY root = HKEY_CURRENT_USER;
    if ((c >= 1 && c <= 10) || (c >= 21 && c <= 30)) {
        root = HKEY_LOCAL_MACHINE;
        // The monitor is a 32-bit program: its own view of the machine keys is the
        // 32-bit one, where the WOW64 entries' list lives; the native entries'
        // list is kept in the 64-bit view.
        if (Is64BitWindows)
            chosen = c >= 21 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    }
    if (view)
        *view = chosen;
    return root;
}

// ---------------------------------------------------------------------------
// The list

typedef struct DelayRoot {
    HKEY root;
    REGSAM view;
    int first;      // the 32-bit machine list, whose low codes are raised
} DelayRoot;

static int GetDelayRoots(DelayRoot roots[3])
{
    roots[0].root = HKEY_LOCAL_MACHINE;
    roots[0].view = Is64BitWindows ? KEY_WOW64_32KEY : 0;
    roots[0].first = 1;
    roots[1].root = HKEY_CURRENT_USER;
    roots[1].view = 0;
    roots[1].first = 0;
    if (!Is64BitWindows)
        return 2;
    roots[2].root = HKEY_LOCAL_MACHINE;
    roots[2].view = KEY_WOW64_64KEY;
    roots[2].first = 0;
    return 3;
}

// A decimal value of one of the Delay keys; 0 when absent or unreadable.
static int ReadDelayNumber(HKEY root, const char *key, const char *path)
{
    char text[NUMBER_TEXT_MAX];
    if (GetRegString(root, key, path, text, CAP(text)) <= 0)
        return 0;
    return TextToInt(text);
}

static int HasDelayText(HKEY root, const char *key, const char *path)
{
    char text[REG_TEXT_MAX];
    return GetRegString(root, key, path, text, CAP(text)) > 0;
}

// The entry's code as the list has it; writeBack stores a raised code, so that the
// timer, which chooses the root by code, finds the entry in the 32-bit view.
static int ReadDelayCode(const DelayRoot *where, const char *path, int writeBack)
{
    RegAccessModes saved = UseRegistryView(where->view);
    int code = ReadDelayNumber(where->root, DELAY_KEY, path);
    int magnitude = MagnitudeOf(code);
    if (Is64BitWindows && where->first && magnitude > 0 && magnitude < WOW64_CODE_BELOW) {
        code = code < 0 ? code - WOW64_CODE_RAISE : code + WOW64_CODE_RAISE;
        if (writeBack) {
            char text[NUMBER_TEXT_MAX];
            FormatText(text, CAP(text), "%d", code);
            if (!SetRegString(where->root, DELAY_KEY, path, text))
                TestLog("MyError:  ReadDelayList SetRegString", path);
        }
    }
    PutRegistryAccessBack(saved);
    return code;
}

typedef void (*DelayVisitor)(const DelayRoot *where, const char *path, int code, void *context);

// Every program of the three lists in order; visit may be NULL to only count them.
static int ForEachDelayedProgram(DelayVisitor visit, void *context, int writeBack)
{
    DelayRoot roots[3];
    int rootCount = GetDelayRoots(roots);
    int count = 0;
    for (int r = 0; r < rootCount; r++) {
        HKEY key = NULL;
        if (RegOpenKeyExA(roots[r].root, DELAY_KEY, 0, KEY_READ | roots[r].view, &key) != ERROR_SUCCESS)
            continue;
        for (DWORD i = 0;; i++) {
            char path[MAX_PATH];
            DWORD pathLen = sizeof(path);
            LONG rc = RegEnumValueA(key, i, path, &pathLen, NULL, NULL, NULL, NULL);
            // A name too long for a path names no program that could be started;
            // any other failure (the key deleted meanwhile) ends the list.
            if (rc == ERROR_MORE_DATA || (rc == ERROR_SUCCESS && !path[0]))
                continue;
            if (rc != ERROR_SUCCESS)
                break;
            count++;
            if (visit)
                visit(&roots[r], path, ReadDelayCode(&roots[r], path, writeBack), context);
        }
        RegCloseKey(key);
    }
    return count;
}

// What AddDelayRecord fills, and its scratch for the version fields.
typedef struct DelayListing {
    RunList *list;
    VersionRecord *version;
} DelayListing;

static void AddDelayRecord(const DelayRoot *where, const char *path, int code, void *context)
{
    DelayListing *listing = (DelayListing *)context;
    VersionRecord *version = listing->version;
    RegAccessModes saved = UseRegistryView(where->view);

    GetVersionInfo(path, version);
    char title[RUN_NAME_MAX] = "";
    if (GetRegString(where->root, DELAY_TITLE_KEY, path, title, CAP(title)) <= 0) {
        if (version->ProductName[0])
            CopyText(title, CAP(title), version->ProductName);
        else if (FileNameOf(path, title) <= 0)
            CopyText(title, CAP(title), path);
        // Half of Windows is "Microsoft Windows"; the description tells which part.
        if (StrContains(title, "Microsoft") && version->FileDescription[0])
            CopyText(title, CAP(title), version->FileDescription);
    }
    char sourcePath[MAX_PATH] = "";
    if (code == 200)
        GetRegString(where->root, DELAY_SHORTCUTS_KEY, path, sourcePath, CAP(sourcePath));
    else
        CopyText(sourcePath, CAP(sourcePath), title);
    int step = ReadDelayNumber(where->root, DELAY_TIME_KEY, path);
    if (HasDelayText(where->root, DELAY_APPLET_KEY, path))
        step = step == INT_MIN ? INT_MAX : -step;
    PutRegistryAccessBack(saved);

    AddRunStruct(listing->list, title, path, sourcePath, version->ProductVersion, code, step);
}

int ReadDelayList(RunList *list)
{
    if (!list)
        return 0;
    FreeRunList(list);
    // Five 1024-character fields: too much for the stack of a timer tick.
    VersionRecord *version = (VersionRecord *)GlobalAlloc(GPTR, sizeof(VersionRecord));
    if (!version) {
        TraceLastError("MyError:  ReadDelayList GlobalAlloc");
        return 0;
    }
    DelayListing listing = {list, version};
    ForEachDelayedProgram(AddDelayRecord, &listing, 1);
    GlobalFree(version);
    return list->count;
}

int CountDelayedPrograms(void)
{
    RunList *list = NewRunList();
    int count = ReadDelayList(list);
    DeleteRunList(list);
    return count;
}

void InitDelayedStart(void)
{
    TestLog("Init Delayed Launch", "");
    giDelayLaunched = 0;
    giDelayTicks = 0;
    giDelayStep = 0;
    giDelayToLaunch = CountDelayedPrograms();
    DelayedStartStep = DelayedStartTimer;
}

// ---------------------------------------------------------------------------
// The launch

// 1 when the command is the RUNDLL32 form; rest then points at what follows the prefix.
static int IsRundllCommand(const char *command, const char **rest)
{
    char head[sizeof(DELAY_RUNDLL_PREFIX)];
    size_t prefixLen = sizeof(DELAY_RUNDLL_PREFIX) - 1;
    if (strlen(command) <= prefixLen)
        return 0;
    CopyTextN(head, CAP(head), command, prefixLen);
    if (StrEqualNoCase(head, DELAY_RUNDLL_PREFIX) != 0)
        return 0;
    *rest = command + prefixLen;
    return 1;
}

int LaunchWithShell(const char *command, const char *verb, const char *parameters, const char *directory,
                    int show)
{
    if (!parameters)
        parameters = "";
    // The RUNDLL32 form is a command line, not a file: the shell gets the program
    // and the rest as its parameters.
    char file[COMMAND_LINE_MAX], arguments[COMMAND_LINE_MAX];
    const char *rest = NULL;
    int rundll = IsRundllCommand(command, &rest);
    if (rundll) {
        CopyText(file, CAP(file), "RUNDLL32.EXE");
        CopyText(arguments, CAP(arguments), rest);
        if (parameters[0]) {
            AppendText(arguments, CAP(arguments), " ");
            AppendText(arguments, CAP(arguments), parameters);
        }
    } else {
        CopyText(file, CAP(file), command);
        CopyText(arguments, CAP(arguments), parameters);
    }

    SHELLEXECUTEINFOA info;
    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info);
    // No error box of the shell's own: the monitor runs unattended, and the
    // failure is traced and tried again through WinExec below.
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = arguments[0] ? arguments : NULL;
    info.lpDirectory = directory && directory[0] ? directory : NULL;
    info.nShow = show;
    if (ShellExecuteExA(&info)) {
        TestLog("fileLaunchDelayedProgram ShellExecute = TRUE", command);
        return 1;
    }
    if (TraceConfigured()) {
        char tag[64], text[512];
        FormatText(tag, CAP(tag), "fileLaunchDelayedProgram %s", verb);
        FormatSystemError(GetLastError(), text, CAP(text));
        TestLog(tag, text);
    }
    // WinExec takes a command line: a plain program is quoted for the blanks of
    // its folders.
    char line[COMMAND_LINE_MAX];
    if (rundll)
        FormatText(line, CAP(line), "%s %s", file, arguments);
    else if (arguments[0])
        FormatText(line, CAP(line), "\"%s\" %s", file, arguments);
    else
        FormatText(line, CAP(line), "\"%s\"", file);
    UINT result = WinExec(line, (UINT)show);
    if (result < 32) {
        char text[32];
        FormatText(text, CAP(text), "%u", result);
        TestLog("fileLaunchDelayedProgram WinExec", text);
        return 0;
    }
    return 1;
}

int fileLaunchDelayedProgram(const char *program, const char *parameters, int code, int runAs, int openAs)
{
    if (!program || !program[0])
        return 0;
    if (openAs < 0 || openAs >= OPENAS_COUNT)
        openAs = 0;
    int show = ShowCommandOfOpenAs[openAs];

    char command[COMMAND_LINE_MAX];
    if (code < 0)
        FormatText(command, CAP(command), "%s%s", DELAY_RUNDLL_PREFIX, program);
    else
        CopyText(command, CAP(command), program);

    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    // For a RUNDLL32 entry the file is the DLL in front of its entry point.
    char file[MAX_PATH], folder[MAX_PATH] = "";
    int launched = 0;
    if (ExtractProgramPath(program, file) <= 0 || !FileExists(file)) {
        TestLog("fileLaunchDelayedProgram FileExist = FALSE", program);
    } else {
        GetFolderOfProgram(file, folder);
        launched = DelayedLauncher ? DelayedLauncher(command, runAs ? "runas" : "open",
                                                     parameters ? parameters : "", folder, show)
                                   : 0;
    }
    SetErrorMode(oldMode);
    return launched;
}

typedef struct DelayStepContext {
    int step;
    int latest;     // the largest Time seen: no later step can launch anything beyond it
} DelayStepContext;

static void LaunchDelayedEntry(HKEY root, const char *path, int time)
{
    char text[MAX_PATH + 64];
    int code = ReadDelayNumber(root, DELAY_KEY, path);
    int openAs = ReadDelayNumber(root, DELAY_OPENAS_KEY, path);
    char parameters[PARAMETERS_MAX] = "";
    GetRegString(root, DELAY_PARAMETERS_KEY, path, parameters, CAP(parameters));
    char program[MAX_PATH];
    ExtractProgramPath(path, program);
    TestLog("Launch Program", program);

    char probe[MAX_PATH];
    CopyText(probe, CAP(probe), program);
    if (!program[0] || !FileExists(probe)) {
        TestLog("Delayed File does not exist", path);
        return;
    }
    FormatText(text, CAP(text), " - %s  Type: %d  Time: %d", program, code, time);
    TestLog("Delayed File Exists", text);
    // Started at logon by hand or by another tool: a second copy is never wanted.
    if (FindProcessOfProgram(program)) {
        TestLog("Delayed File is active", program);
        return;
    }
    TestLog("Delayed File is not active", program);

    // An applet or a RUNDLL32 entry keeps the entry point written after its DLL.
    const char *launchText = program;
    if (HasDelayText(root, DELAY_APPLET_KEY, path)) {
        TestLog("Delayed Start Build RUNDLL Launch", path);
        code = -MagnitudeOf(code);
        launchText = path;
    } else if (code < 0) {
        launchText = path;
    }
    char runAs[RUNAS_TEXT_MAX] = "";
    GetRegString(root, DELAY_RUNAS_KEY, path, runAs, CAP(runAs));
    int asAdministrator = strcmp(runAs, "1") == 0;
    TestLog(asAdministrator ? "Delayed Start as Administrator" : "Delayed Start Launch", program);
    TestLog("Parameters = ", parameters);
    fileLaunchDelayedProgram(launchText, parameters, code, asAdministrator, openAs);
}

static void StepDelayedProgram(const DelayRoot *where, const char *path, int code, void *context)
{
    (void)where;
    DelayStepContext *step = (DelayStepContext *)context;
    REGSAM view;
    HKEY root = DelayRootOfCode(code, &view);
    RegAccessModes saved = UseRegistryView(view);
    int time = ReadDelayNumber(root, DELAY_TIME_KEY, path);
    char text[64];
    FormatText(text, CAP(text), " - %d  %d  Time: %d", code, (int)view, time);
    TestLog("Delayed Start Timer", text);
    if (time > step->latest)
        step->latest = time;
    if (time == step->step) {
        LaunchDelayedEntry(root, path, time);
        // Launched or not, it is done with: the count only grows, so nothing
        // is started twice in one run.
        giDelayLaunched++;
    }
    PutRegistryAccessBack(saved);
}

static void RepaintTaskbar(void)
{
    HWND taskbar = FindWindowA("Shell_TrayWnd", NULL);
    if (taskbar)
        InvalidateRect(taskbar, NULL, TRUE);
}

// Nothing that is still listed can come at a later step (the list shrank, or its
// times are not multiples of ten): everything counts as handled, so the timer
// stops asking instead of reading the list every twelve seconds for months.
static void HandleWhatCannotCome(const char *why)
{
    if (giDelayLaunched >= giDelayToLaunch)
        return;
    TestLog("Delayed Start Timer", why);
    giDelayLaunched = giDelayToLaunch;
}

void DelayedStartTimer(int stepValue)
{
    char text[32];
    FormatText(text, CAP(text), " - %d", stepValue);
    TestLog("Delayed Start Timer", text);
    // The timer's own pass reads the registry, not the run list: a step can come
    // while an alert walks the list in its nested message loop.
    int count = ForEachDelayedProgram(NULL, NULL, 0);
    if (giDelayLaunched >= count) {
        HandleWhatCannotCome("Nothing left on the list");
        return;
    }
    DelayStepContext step = {stepValue, INT_MIN};
    ForEachDelayedProgram(StepDelayedProgram, &step, 0);
    if (step.latest <= stepValue)
        HandleWhatCannotCome("No later launch time on the list");
    RepaintTaskbar();
}

// ---------------------------------------------------------------------------
// Removal

int RemoveDelayedProgram(const char *path, HKEY root)
{
    // Window state and rights go with the rest: a program listed again later must
    // not inherit an old "run as administrator".
    static const char *const Keys[] = {
        DELAY_KEY,          DELAY_TIME_KEY,   DELAY_PARAMETERS_KEY, DELAY_SHORTCUTS_KEY,
        DELAY_APPLET_KEY,   DELAY_TITLE_KEY,  DELAY_OPENAS_KEY,     DELAY_RUNAS_KEY,
    };
    if (!path || !path[0])
        return 0;
    TestLog("Remove Delayed Program", path);
    int deleted = 0;
    int passes = (root == HKEY_LOCAL_MACHINE && Is64BitWindows) ? 2 : 1;
    for (int pass = 0; pass < passes; pass++) {
        // The second pass takes the copy in the other view, where both lists
        // hold the same program.
        RegAccessModes saved = UseRegistryView(pass == 0 ? 0 : KEY_WOW64_64KEY);
        for (const char *key : Keys)
            deleted += DeleteRegValue(root, key, path);
        PutRegistryAccessBack(saved);
    }
    return deleted;
}

// ---------------------------------------------------------------------------
// Dialog 192

static void FillProgramBlock(HWND dialog, const RunStruct *entry)
{
    VersionRecord *version = (VersionRecord *)GlobalAlloc(GPTR, sizeof(VersionRecord));
    if (version)
        GetVersionInfo(entry->path, version);
    SetAlertProgramBlock(dialog, version ? version->ProductName : "", version);
    if (version)
        GlobalFree(version);

    SetAlertPathControl(dialog, IDC_PATH, entry->path);
    SetAlertProgramIcon(dialog, IDC_PROGICON, entry->path);
}

static const RunStruct *DelayAlertEntry(HWND dialog)
{
    return (const RunStruct *)GetWindowLongPtrA(dialog, DWLP_USER);
}

static BOOL InitDelayAlert(HWND dialog, const RunStruct *entry)
{
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)entry);
    // The model alert: no help page of its own and no sound.
    BeginAlertDialog(dialog, 0);
    char text[LANG_TEXT_MAX];
    if (GetLangString(1023, CAP(text), text) > 0)
        SetWindowTextA(dialog, text);
    SetAlertText(dialog, IDC_MESSAGE, 1022);
    static const RunStruct Empty = {};
    FillProgramBlock(dialog, entry ? entry : &Empty);
    SetAlertText(dialog, IDC_INFO, 641);
    SetAlertText(dialog, IDYES, 719);
    SetAlertText(dialog, IDNO, 720);
    AddToolTip(dialog, IDC_INFO, 3007);
    PlaceAlert(dialog, FAMILY_ALERT);
    return TRUE;
}

INT_PTR CALLBACK DelayAlertDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return InitDelayAlert(dialog, (const RunStruct *)lParam);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDYES:
        case IDCANCEL:      // the close box and Esc keep the program where it put itself
            EndDialog(dialog, ANSWER_ACCEPT);
            return TRUE;
        case IDNO:
            EndDialog(dialog, ANSWER_REJECT);
            return TRUE;
        case IDC_INFO: {
            const RunStruct *entry = DelayAlertEntry(dialog);
            if (entry)
                GetKeelInfo(entry->name, entry->path, KEEL_CODE_STARTUP);
            SetAlertNotTopmost(dialog);
            return TRUE;
        }
        }
        break;
    case WM_DESTROY:
        ReleaseAlertDialog(dialog, FAMILY_ALERT);
        return FALSE;
    }
    return FALSE;
}
