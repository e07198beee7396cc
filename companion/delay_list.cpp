#include "companion/delay_list.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <stdlib.h>
#include <string.h>

#include "common/files.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "companion/companion_res.h"
#include "companion/explorer.h"
#include "startup/delayed_start.h"
#include "startup/locations.h"
#include "startup/startup_scan.h"

#define NUMBER_TEXT_MAX 16
#define OPENAS_COUNT 3
#define COMMAND_LINE_MAX (MAX_PATH + REG_TEXT_MAX + 32)

static int MagnitudeOf(int code)
{
    return code < 0 ? -code : code;
}

static void ReadDelayText(HKEY root, const char *key, const char *program, char *out, int cap)
{
    if (GetRegString(root, key, program, out, cap) <= 0)
        out[0] = '\0';
}

void LoadDelayedProgram(const RunList *list, int i, DelayedProgram *out)
{
    memset(out, 0, sizeof(*out));
    GetRunPath(list, i, out->program);
    GetRunName(list, i, out->title);
    out->code = GetRunCode(list, i);
    out->time = MagnitudeOf(GetRunExtra(list, i));
    if (MagnitudeOf(out->code) == CODE_GROUP_STARTUP)
        GetRunSourcePath(list, i, out->shortcut);

    REGSAM view = 0;
    HKEY root = DelayRootOfCode(out->code, &view);
    RegAccessModes saved = UseRegistryView(view);
    char number[NUMBER_TEXT_MAX];
    ReadDelayText(root, DELAY_OPENAS_KEY, out->program, number, CAP(number));
    out->openAs = TextToInt(number);
    if (out->openAs < 0 || out->openAs >= OPENAS_COUNT)
        out->openAs = 0;
    ReadDelayText(root, DELAY_RUNAS_KEY, out->program, number, CAP(number));
    out->runAs = strcmp(number, "1") == 0;
    ReadDelayText(root, DELAY_PARAMETERS_KEY, out->program, out->parameters, CAP(out->parameters));
    PutRegistryAccessBack(saved);
}

DWORD WriteDelayedProgram(const DelayedProgram *entry)
{
    REGSAM view = 0;
    HKEY root = DelayRootOfCode(entry->code, &view);
    DWORD error = CheckKeyWritable(root, DELAY_KEY, view);
    if (error != ERROR_SUCCESS)
        return error;
    char code[NUMBER_TEXT_MAX], time[NUMBER_TEXT_MAX], openAs[NUMBER_TEXT_MAX];
    FormatText(code, CAP(code), "%d", entry->code);
    FormatText(time, CAP(time), "%d", entry->time);
    FormatText(openAs, CAP(openAs), "%d", entry->openAs);
    const struct {
        const char *key, *text;
        int wanted;
    } Values[] = {
        {DELAY_TITLE_KEY, entry->title, 1},   {DELAY_TIME_KEY, time, 1},
        {DELAY_OPENAS_KEY, openAs, 1},        {DELAY_RUNAS_KEY, entry->runAs ? "1" : "0", 1},
        {DELAY_PARAMETERS_KEY, entry->parameters, 1},
        {DELAY_SHORTCUTS_KEY, entry->shortcut, MagnitudeOf(entry->code) == CODE_GROUP_STARTUP && entry->shortcut[0]},
        // Last: the timer counts a program by this value, which needs all the others.
        {DELAY_KEY, code, 1},
    };
    RegAccessModes saved = UseRegistryView(view);
    for (const auto &value : Values) {
        if (!value.wanted)
            continue;
        if (!SetRegString(root, value.key, entry->program, value.text)) {
            error = CheckKeyWritable(root, value.key, view);
            if (error == ERROR_SUCCESS)
                error = ERROR_WRITE_FAULT;
            break;
        }
    }
    PutRegistryAccessBack(saved);
    if (error != ERROR_SUCCESS)
        RemoveDelayedProgram(entry->program, root);
    return error;
}

void DelayedCommandLine(const DelayedProgram *entry, char *out, size_t cap)
{
    if (entry->code < 0)
        FormatText(out, cap, "%s%s", DELAY_RUNDLL_PREFIX, entry->program);
    else if (strchr(entry->program, ' '))
        FormatText(out, cap, "\"%s\"", entry->program);
    else
        CopyText(out, cap, entry->program);
    if (entry->parameters[0]) {
        AppendText(out, cap, " ");
        AppendText(out, cap, entry->parameters);
    }
}

DWORD RemoveFromDelayList(const DelayedProgram *entry)
{
    REGSAM view = 0;
    HKEY root = DelayRootOfCode(entry->code, &view);
    DWORD error = CheckKeyWritable(root, DELAY_KEY, view);
    if (error != ERROR_SUCCESS)
        return error;
    RemoveDelayedProgram(entry->program, root);
    // The marker was written under the entry's recorded path: the program with
    // its arguments, or the program alone for a shortcut or win.ini item.
    char command[COMMAND_LINE_MAX], recorded[MAX_PATH], key[MAX_PATH], data[NUMBER_TEXT_MAX];
    DelayedCommandLine(entry, command, CAP(command));
    const char *const Sources[] = {command, entry->program};
    for (const char *source : Sources) {
        RecordedPathOf(source, recorded);
        BaselineValueName(recorded, key);
        if (GetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, data, CAP(data)) > 0 &&
            TextToInt(data) == DELAYED_MARKER)
            DeleteRegValue(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key);
    }
    return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// Back into the startup location

// A shortcut to the program in the startup folder it came from (the user's
// startup folder when that one is gone), under its old name or its title.
static DWORD CreateStartupShortcut(const DelayedProgram *entry)
{
    char link[MAX_PATH], folder[MAX_PATH];
    if (entry->shortcut[0] && GetFolderOfProgram(entry->shortcut, folder) > 0 &&
        GetFileAttributesA(folder) != INVALID_FILE_ATTRIBUTES) {
        CopyText(link, CAP(link), entry->shortcut);
    } else if (GetRegString(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, "Startup", folder, CAP(folder)) <= 0 ||
               !FormatText(link, CAP(link), "%s\\%s.lnk", folder, entry->title[0] ? entry->title : "Program")) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (GetFileAttributesA(link) != INVALID_FILE_ATTRIBUTES)
        return ERROR_FILE_EXISTS;
    WCHAR wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, link, -1, wide, MAX_PATH))
        return GetLastError();
    IShellLinkA *shell = NULL;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&shell);
    if (SUCCEEDED(hr)) {
        IPersistFile *file = NULL;
        shell->SetPath(entry->program);
        shell->SetArguments(entry->parameters);
        if (GetFolderOfProgram(entry->program, folder) > 0)
            shell->SetWorkingDirectory(folder);
        hr = shell->QueryInterface(IID_IPersistFile, (void **)&file);
        if (SUCCEEDED(hr)) {
            hr = file->Save(wide, TRUE);
            file->Release();
        }
        shell->Release();
    }
    if (FAILED(hr))
        return HRESULT_FACILITY(hr) == FACILITY_WIN32 ? (DWORD)HRESULT_CODE(hr) : (DWORD)hr;
    return ERROR_SUCCESS;
}

// A Run value named by the title; never over another program's value of that name.
static DWORD WriteRunValue(const StartupLocation *location, const DelayedProgram *entry, const char *command)
{
    char name[RUN_NAME_MAX], present[REG_TEXT_MAX];
    if (entry->title[0])
        CopyText(name, CAP(name), entry->title);
    else
        FileTitleOf(entry->program, name, CAP(name));
    DWORD error = CheckKeyWritable(location->root, location->keyPath, MachineView());
    if (error != ERROR_SUCCESS)
        return error;
    if (ReadValueInView(location->root, location->keyPath, name, present, CAP(present), MachineView()) > 0)
        return ERROR_ALREADY_EXISTS;
    if (!SetValueInView(location->root, location->keyPath, name, command, MachineView()))
        return ERROR_WRITE_FAULT;
    return ERROR_SUCCESS;
}

static DWORD AddToWinIni(const StartupLocation *location, const char *program)
{
    char list[REG_TEXT_MAX];
    AddToWinIniList(location->valueName, program);
    GetProfileStringA(location->keyPath, location->valueName, "", list, sizeof(list));
    return StrContains(list, program) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

DWORD MoveBackToStartup(const DelayedProgram *entry)
{
    const StartupLocation *location = FindStartupLocation(MagnitudeOf(entry->code));
    // A program added by hand, or from a place that has no way back, starts with the user.
    if (!location || (location->kind != LOCATION_RUN_KEY && location->kind != LOCATION_WIN_INI &&
                      location->kind != LOCATION_FOLDER))
        location = FindStartupLocation(CODE_CURRENT_RUN);
    if (!location)
        return ERROR_INVALID_PARAMETER;
    char command[COMMAND_LINE_MAX], recorded[MAX_PATH], key[MAX_PATH], text[NUMBER_TEXT_MAX];
    DelayedCommandLine(entry, command, CAP(command));
    // The scan records a shortcut or win.ini item under the program alone.
    RecordedPathOf(location->kind == LOCATION_RUN_KEY ? command : entry->program, recorded);
    BaselineValueName(recorded, key);

    // Known before it is back: a pass between the two writes must not take it for new.
    DWORD error = CheckKeyWritable(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, 0);
    if (error != ERROR_SUCCESS)
        return error;
    char before[NUMBER_TEXT_MAX];
    int known = GetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, before, CAP(before)) > 0;
    FormatText(text, CAP(text), "%d", location->code);
    SetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, text);

    if (location->kind == LOCATION_RUN_KEY)
        error = WriteRunValue(location, entry, command);
    else if (location->kind == LOCATION_WIN_INI)
        error = AddToWinIni(location, entry->program);
    else
        error = CreateStartupShortcut(entry);
    if (error != ERROR_SUCCESS) {
        if (known)
            SetRegString(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key, before);
        else
            DeleteRegValue(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, key);
        return error;
    }
    REGSAM view = 0;
    RemoveDelayedProgram(entry->program, DelayRootOfCode(entry->code, &view));
    return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// The editor

static const char *const OpenAsNames[OPENAS_COUNT] = {"Normal window", "Minimised", "Maximised"};

static void FillEditor(HWND dialog, const DelayedProgram *entry)
{
    char number[NUMBER_TEXT_MAX];
    SetDlgItemTextA(dialog, IDC_DELAYEDIT_PROGRAM, entry->program);
    SetDlgItemTextA(dialog, IDC_DELAYEDIT_TITLE, entry->title);
    FormatText(number, CAP(number), "%d", entry->time);
    SetDlgItemTextA(dialog, IDC_DELAYEDIT_TIME, number);
    SetDlgItemTextA(dialog, IDC_DELAYEDIT_PARAMETERS, entry->parameters);
    SendDlgItemMessageA(dialog, IDC_DELAYEDIT_TITLE, EM_LIMITTEXT, RUN_NAME_MAX - 1, 0);
    SendDlgItemMessageA(dialog, IDC_DELAYEDIT_TIME, EM_LIMITTEXT, NUMBER_TEXT_MAX - 1, 0);
    SendDlgItemMessageA(dialog, IDC_DELAYEDIT_PARAMETERS, EM_LIMITTEXT, REG_TEXT_MAX - 1, 0);
    for (const char *name : OpenAsNames)
        SendDlgItemMessageA(dialog, IDC_DELAYEDIT_OPENAS, CB_ADDSTRING, 0, (LPARAM)name);
    SendDlgItemMessageA(dialog, IDC_DELAYEDIT_OPENAS, CB_SETCURSEL, (WPARAM)entry->openAs, 0);
    CheckDlgButton(dialog, IDC_DELAYEDIT_RUNAS, entry->runAs ? BST_CHECKED : BST_UNCHECKED);
}

// 1 when the values are whole; the time must be a step the timer reaches.
static int TakeEditor(HWND dialog, DelayedProgram *entry)
{
    char number[NUMBER_TEXT_MAX] = "";
    GetDlgItemTextA(dialog, IDC_DELAYEDIT_TIME, number, (int)sizeof(number));
    char *end = NULL;
    long time = strtol(number, &end, 10);
    while (end && (*end == ' ' || *end == '\t'))
        end++;
    if (!number[0] || !end || *end || time < DELAY_TIME_STEP || time > DELAY_TIME_MAX || time % DELAY_TIME_STEP) {
        char text[128];
        FormatText(text, CAP(text), "Type the start time as a multiple of %d, from %d to %d.", DELAY_TIME_STEP,
                   DELAY_TIME_STEP, DELAY_TIME_MAX);
        ShowActionFailure(dialog, text, ERROR_SUCCESS);
        SetFocus(GetDlgItem(dialog, IDC_DELAYEDIT_TIME));
        return 0;
    }
    entry->time = (int)time;
    GetDlgItemTextA(dialog, IDC_DELAYEDIT_TITLE, entry->title, (int)sizeof(entry->title));
    GetDlgItemTextA(dialog, IDC_DELAYEDIT_PARAMETERS, entry->parameters, (int)sizeof(entry->parameters));
    int openAs = (int)SendDlgItemMessageA(dialog, IDC_DELAYEDIT_OPENAS, CB_GETCURSEL, 0, 0);
    entry->openAs = openAs >= 0 && openAs < OPENAS_COUNT ? openAs : 0;
    entry->runAs = IsDlgButtonChecked(dialog, IDC_DELAYEDIT_RUNAS) == BST_CHECKED;
    return 1;
}

static INT_PTR CALLBACK DelayEditDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        FillEditor(dialog, (const DelayedProgram *)lParam);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            if (TakeEditor(dialog, (DelayedProgram *)GetWindowLongPtrA(dialog, DWLP_USER)))
                EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int EditDelayedProgram(HWND owner, DelayedProgram *entry)
{
    DelayedProgram edited = *entry;
    INT_PTR answer = DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_DELAYEDIT),
                                     GetAncestor(owner, GA_ROOT), DelayEditDlgProc, (LPARAM)&edited);
    if (answer == -1)
        TraceLastError("MyError:  EditDelayedProgram DialogBoxParam");
    if (answer != IDOK)
        return 0;
    *entry = edited;
    return 1;
}
