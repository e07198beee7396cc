#include "monitor/own_run_entry.h"

#include <windows.h>

#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/appstate.h"
#include "common/options.h"
#include "startup/startup_actions.h"

int RunAlways;

// The Run keys that can hold an entry starting this program: the machine's and
// the user's, and on 64-bit Windows the machine's 32-bit view.
typedef struct RunKeyRef {
    HKEY root;
    const char *path;
    int code;       // the startup location code the remover files the key under
    int only64;
} RunKeyRef;

static const RunKeyRef OwnRunKeys[] = {
    {HKEY_LOCAL_MACHINE, RUN_KEY, 1, 0},
    {HKEY_CURRENT_USER, RUN_KEY, 11, 0},
    {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", 21, 1},
};

static int NamesThisProgram(const char *name, const char *command)
{
    return StrContains(command, "brackmoor.exe") || StrContains(command, "BrackmoorEx.exe") ||
           StrContains(name, "Brackmoor Explorer");
}

#define OWN_ENTRIES_MAX 16

static int CountInKey(const RunKeyRef *ref, int remove)
{
    HKEY key;
    REGSAM view = Is64BitWindows ? KEY_WOW64_64KEY : 0;
    if (RegOpenKeyExA(ref->root, ref->path, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return 0;
    // Entries are collected first: deleting while enumerating shifts the indexes.
    char found[OWN_ENTRIES_MAX][256], commands[OWN_ENTRIES_MAX][REG_TEXT_MAX];
    int count = 0, listed = 0;
    for (DWORD i = 0;; i++) {
        char name[256], data[REG_TEXT_MAX];
        DWORD nameLen = sizeof(name), dataLen = sizeof(data) - 1, type = 0;
        LONG rc = RegEnumValueA(key, i, name, &nameLen, NULL, &type, (BYTE *)data, &dataLen);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS)
            continue;
        data[dataLen < sizeof(data) ? dataLen : sizeof(data) - 1] = '\0';
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            continue;
        if (!NamesThisProgram(name, data))
            continue;
        count++;
        if (listed < OWN_ENTRIES_MAX) {
            CopyText(found[listed], CAP(found[0]), name);
            CopyText(commands[listed++], CAP(commands[0]), data);
        }
    }
    RegCloseKey(key);
    if (remove)
        for (int i = 0; i < listed; i++)
            DeleteRunProgram(ref->code, found[i], commands[i], "");
    return count;
}

int RemoveOwnRunEntries(int remove)
{
    int count = 0;
    for (const RunKeyRef &ref : OwnRunKeys)
        if (!ref.only64 || Is64BitWindows)
            count += CountInKey(&ref, remove);
    return count;
}

void SetAlwaysRun(int on)
{
    RemoveOwnRunEntries(1);
    if (!on) {
        RunAlways = 0;
        return;
    }
    char command[MAX_PATH];
    GetMyProgramFolder(command);
    AppendText(command, CAP(command), "\\brackmoor.exe -expressboot");
    REGSAM saved = RegWriteAccess;
    if (Is64BitWindows)
        RegWriteAccess |= KEY_WOW64_64KEY;
    if (SetRegString(HKEY_CURRENT_USER, RUN_KEY, gszTitle, command))
        RunAlways = 1;
    RegWriteAccess = saved;
    // The startup watcher knows its own entry and never alerts on it.
    SetRegString(HKEY_CURRENT_USER, BRACKMOOR_KEY "\\Run", gszTitle, "1");
}
