// Removing a startup entry from where it lives: a Run value, a win.ini list item,
// a startup-folder file, or one of the Winlogon and shell-hook settings.
#include "startup/startup_actions.h"

#include <string.h>

#include "common/files.h"
#include "common/history.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/winver.h"
#include "common/appstate.h"
#include "common/options.h"
#include "startup/locations.h"
#include "startup/places.h"
#include "common/runlist.h"
#include "startup/startup_scan.h"
#include "online/server_reports.h"

#define STRING_KEY_LOCATION_WARNING 1013
#define HOOK_VALUE_MAX 512

// Windows 8 keeps a switch per entry beside the Run keys; a removed entry's
// switch would otherwise linger in the Task Manager's list.
static void DeleteStartupApproved(HKEY root, const char *const *subkeys, int count, const char *name)
{
    if (!IsStartupApprovedOS())
        return;
    for (int k = 0; k < count; k++) {
        char path[MAX_PATH];
        if (FormatText(path, CAP(path), "%s\\%s", STARTUP_APPROVED_KEY, subkeys[k]))
            DeleteRegValue(root, path, name);
    }
}

static int DeleteMarker(const char *name)
{
    return DeleteValueInView(HKEY_LOCAL_MACHINE, DISABLED_MARKER_KEY, name, 0);
}

// A marked entry waits in its store: removing it drops the copy and the marker.
static int DeleteStoredEntry(const char *storeKey, const char *name)
{
    int removed = DeleteValueInView(HKEY_LOCAL_MACHINE, storeKey, name, 0);
    return DeleteMarker(name) || removed;
}

// 1 when a command is the one an entry was recorded from: data may be the
// command itself, the recorded path or that path's baseline key.
static int SameCommand(const char *command, const char *data)
{
    char recorded[MAX_PATH], key[MAX_PATH];
    if (!command[0] || !data[0])
        return 0;
    RecordedPathOf(command, recorded);
    BaselineValueName(recorded, key);
    return StrEqualNoCase(command, data) == 0 || StrEqualNoCase(recorded, data) == 0 ||
           StrEqualNoCase(key, data) == 0;
}

// A Run key's default value starts its program like a named one; it is the entry
// only while it still holds the entry's command.
static int DeleteDefaultRunValue(const StartupLocation *location, const char *data)
{
    char current[REG_TEXT_MAX];
    if (ReadValueInView(location->root, location->keyPath, "", current, CAP(current), MachineView()) <= 0 ||
        !SameCommand(current, data))
        return 0;
    HKEY key = NULL;
    if (RegOpenKeyExA(location->root, location->keyPath, 0, KEY_SET_VALUE | MachineView(), &key) != ERROR_SUCCESS)
        return 0;
    int deleted = RegDeleteValueA(key, "") == ERROR_SUCCESS;
    RegCloseKey(key);
    return deleted;
}

static int RemoveRunFamilyEntry(int code, const char *name, const char *data, int marked)
{
    static const char *const Approved[] = {"Run", "Run32"};
    const StartupLocation *location = FindStartupLocation(code);
    if (!location)
        return 0;
    if (!name[0])
        return DeleteDefaultRunValue(location, data);
    int removed;
    if (marked) {
        removed = DeleteStoredEntry(location->storeKey, name);
    } else {
        // Only the view the entry was read from: its twin in the other view is
        // another program's entry.
        removed = DeleteValueInView(location->root, location->keyPath, name, MachineView());
    }
    if (removed)
        DeleteStartupApproved(code <= 7 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, Approved, 2, name);
    return removed;
}

static int RemoveWinIniEntry(int code, const char *name, const char *data, int marked)
{
    const StartupLocation *location = FindStartupLocation(code);
    if (!location)
        return 0;
    int removed = marked && DeleteStoredEntry(location->storeKey, name);
    return RemoveFromWinIniList(location->valueName, data) || removed;
}

// The file of a startup-folder entry: its own file when it is still there, else
// the one the data names. Only files that lie in a startup folder (or wait in
// the Disabled folder) are deleted: for a shortcut the data is the program it
// started, which is not the entry.
static int RemoveFolderEntry(const char *name, const char *data, const char *path, int marked)
{
    static const char *const Approved[] = {"StartupFolder"};
    char file[MAX_PATH] = "";
    if (path[0] && CopyText(file, CAP(file), path) && FileExists(file))
        CopyText(file, CAP(file), path);
    else if (!CopyText(file, CAP(file), data))
        file[0] = '\0';
    if (!file[0] || (!IsInStartupFolder(file) && !IsInDisabledFolder(file))) {
        TestLog("DeleteRunProgram not a startup-folder file", file);
        return 0;
    }
    if (!fileRemoveFile(file))
        return 0;
    if (marked)
        DeleteMarker(name);
    DeleteStartupApproved(HKEY_LOCAL_MACHINE, Approved, 1, name);
    DeleteStartupApproved(HKEY_CURRENT_USER, Approved, 1, name);
    return 1;
}

int DeleteRunProgram(int code, const char *name, const char *data, const char *path)
{
    if (!name)
        name = "";
    if (!data)
        data = "";
    if (!path)
        path = "";
    REGSAM savedRead = RegReadAccess, savedWrite = RegWriteAccess;
    char message[2 * MAX_PATH];
    FormatText(message, CAP(message), "%s  %s -- ", name, data);
    TestLog("DeleteRunProgram()", message);

    int result = 0;
    int marked = IsDisabledEntry(name, code);
    if (RunFamilyDigit(code)) {
        // 26 and 27 are read and alerted like the other 32-bit view entries, so
        // they are removed like them: from their own key, or from the store of
        // their digit when disabled.
        result = RemoveRunFamilyEntry(code, name, data, marked);
    } else if (code == CODE_WIN_LOAD || code == CODE_WIN_RUN) {
        result = RemoveWinIniEntry(code, name, data, marked);
    } else if (code == CODE_GROUP_STARTUP) {
        result = RemoveFolderEntry(name, data, path, marked);
    } else if (code >= CODE_WINLOGON_USERINIT && code <= CODE_REG_APPINITDLLS) {
        result = RemoveSpecialStartup(path, data, name, code);
    } else if (FindAutostartPlace(code)) {
        const StartupLocation *location = FindStartupLocation(code);
        result = marked && location->storeKey ? DeleteStoredEntry(location->storeKey, name)
                                              : RemovePlaceEntry(code, name, data);
    }

    // What was not removed is neither logged nor forgotten: the entry stays as
    // it was, and is asked about again.
    if (!result) {
        TestLog("MyError:  DeleteRunProgram nothing removed", message);
    } else if (code < CODE_WINLOGON_USERINIT || code > CODE_REG_APPINITDLLS) {
        if (!StrContains(data, "Brackmoor")) {
            WriteLog(LOG_START_REMOVE, code, name, data, path);
            ReportDecision(name, data, DECISION_REMOVED);
        }
        DeleteRegValue(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, data);
        DeleteRegValue(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, name);
    }

    RegReadAccess = savedRead;
    RegWriteAccess = savedWrite;
    // The user's own removal (or reset) must not come back as a missing-startup notice.
    if (result)
        InitMissingRunPrograms();
    return result;
}

// The value of a class-id hook key that made the entry: its file must match; of
// several values for one file, the one whose name the entry shows wins.
static int FindHookValue(const StartupLocation *location, const char *name, const char *data,
                         char *valueName)
{
    HKEY key = NULL;
    valueName[0] = '\0';
    if (RegOpenKeyExA(location->root, location->keyPath, 0, KEY_READ | MachineView(), &key) !=
        ERROR_SUCCESS)
        return 0;
    char fileOnly[HOOK_VALUE_MAX] = "";
    for (DWORD index = 0;; index++) {
        char value[HOOK_VALUE_MAX], text[HOOK_VALUE_MAX + 1];
        DWORD valueLen = HOOK_VALUE_MAX, textLen = HOOK_VALUE_MAX, type = 0;
        LONG rc = RegEnumValueA(key, index, value, &valueLen, NULL, &type, (BYTE *)text, &textLen);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS || !value[0])
            continue;
        text[textLen <= HOOK_VALUE_MAX ? textLen : HOOK_VALUE_MAX] = '\0';
        const char *clsid = location->code == CODE_REG_DELAYLOAD ? text : value;
        const char *shown = location->code == CODE_REG_DELAYLOAD ? value : text;
        char file[MAX_PATH];
        if (!ResolveClsid(clsid, NULL, file) || !SameCommand(file, data))
            continue;
        if (name[0] && StrEqualNoCase(shown, name) == 0) {
            CopyText(valueName, HOOK_VALUE_MAX, value);
            break;
        }
        if (!fileOnly[0])
            CopyText(fileOnly, CAP(fileOnly), value);
    }
    RegCloseKey(key);
    if (!valueName[0])
        CopyText(valueName, HOOK_VALUE_MAX, fileOnly);
    return valueName[0] != '\0';
}

static int RemoveHookValue(int code, const char *name, const char *data)
{
    const StartupLocation *location = FindStartupLocation(code);
    char valueName[HOOK_VALUE_MAX];
    if (!location || !FindHookValue(location, name, data, valueName)) {
        TestLog("RemoveSpecialStartup no such hook", data);
        return 0;
    }
    return DeleteValueInView(location->root, location->keyPath, valueName, MachineView());
}

// AppInit_Dlls without the entry's DLL; the others keep their order.
static int RemoveAppInitDll(const char *data)
{
    const StartupLocation *location = FindStartupLocation(CODE_REG_APPINITDLLS);
    char list[REG_TEXT_MAX], kept[REG_TEXT_MAX] = "";
    if (!location || ReadValueInView(location->root, location->keyPath, location->valueName, list,
                                     CAP(list), MachineView()) <= 0)
        return 0;
    int removed = 0;
    for (const char *p = list; *p;) {
        size_t len = strcspn(p, ", ");
        char piece[MAX_PATH];
        if (len > 0 && len < MAX_PATH) {
            CopyTextN(piece, CAP(piece), p, len);
            if (SameCommand(piece, data)) {
                removed = 1;
            } else {
                if (kept[0])
                    AppendText(kept, CAP(kept), ",");
                AppendText(kept, CAP(kept), piece);
            }
        } else if (len > 0) {
            // Too long to be one of ours: kept as it stands.
            if (kept[0])
                AppendText(kept, CAP(kept), ",");
            CopyTextN(kept + strlen(kept), CAP(kept) - strlen(kept), p, len);
        }
        p += len;
        if (*p)
            p++;
    }
    if (!removed)
        return 0;
    return SetValueInView(location->root, location->keyPath, location->valueName, kept, MachineView());
}

// The question before a hook goes: Windows may depend on it.
static int ConfirmKeyLocationRemoval(void)
{
    if (giHideStartup)
        return 1;
    char text[LANG_TEXT_MAX];
    if (GetLangString(STRING_KEY_LOCATION_WARNING, CAP(text), text) <= 0)
        text[0] = '\0';
    int answer = MessageBoxExA(ghMainWnd, text, gszTitle,
                               MB_YESNO | MB_ICONHAND | MB_DEFBUTTON2 | MB_TOPMOST, UILanguage);
    return answer == IDYES;
}

int RemoveSpecialStartup(const char *path, const char *data, const char *name, int code)
{
    static const struct {
        int code;
        int action;
    } Actions[] = {
        {CODE_WINLOGON_USERINIT, LOG_RESET_USERINIT}, {CODE_WINLOGON_SHELL, LOG_RESET_SHELL},
        {CODE_REG_DELAYLOAD, LOG_REMOVE_DELAYLOAD}, {CODE_REG_TASKSCHEDULER, LOG_REMOVE_TASKSCHEDULER},
        {CODE_REG_SHELLEXECUTEHOOK, LOG_REMOVE_SHELLEXECUTEHOOK}, {CODE_REG_APPINITDLLS, LOG_START_REMOVE},
    };
    (void)path;
    if (!name)
        name = "";
    if (!data)
        data = "";
    if (code < CODE_WINLOGON_USERINIT || code > CODE_REG_APPINITDLLS)
        return 0;

    int removed;
    if (code == CODE_WINLOGON_USERINIT) {
        removed = ResetUserinit();
    } else if (code == CODE_WINLOGON_SHELL) {
        removed = ResetShell();
    } else {
        // The user who answers No keeps the hook: nothing was removed.
        if (!ConfirmKeyLocationRemoval())
            return 0;
        removed = code == CODE_REG_APPINITDLLS ? RemoveAppInitDll(data) : RemoveHookValue(code, name, data);
        if (removed)
            DeleteRegValue(HKEY_CURRENT_USER, STARTUP_BASELINE_KEY, data);
    }
    if (!removed)
        return 0;
    for (const auto &row : Actions)
        if (row.code == code)
            WriteLog(row.action, code, name, data, "");
    return 1;
}
