#include "common/reg_script.h"

#include <shellapi.h>
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

#include "common/files.h"
#include "common/text.h"
#include "common/tracelog.h"

#define SCRIPT_TEXT_MAX 4096    // one header, one key line and one value line
#define SCRIPT_LINE_MAX 780     // a restore-script line
#define IMPORT_WAIT_MS 10000    // the editor imports one value in well under a second

// Contains "Brackmoor" without regard to case, for texts of any length.
static int NamesProduct(const char *text)
{
    static const char Product[] = "BRACKMOOR";
    size_t n = sizeof(Product) - 1;
    for (const char *p = text; *p; p++) {
        size_t i = 0;
        while (i < n && p[i] && (char)(UINT_PTR)CharUpperA((LPSTR)(UINT_PTR)(unsigned char)p[i]) == Product[i])
            i++;
        if (i == n)
            return 1;
    }
    return 0;
}

// A text as the registry editor reads it between quotes: backslash and quote escaped.
// 0 when it does not fit or holds a line break, which a value line cannot carry.
static int AppendQuoted(char *out, size_t cap, const char *text)
{
    size_t len = strlen(out);
    if (!AppendText(out, cap, "\""))
        return 0;
    len++;
    for (const char *p = text; *p; p++) {
        if (*p == '\r' || *p == '\n')
            return 0;
        int escape = (*p == '\\' || *p == '"');
        if (len + escape + 2 >= cap)
            return 0;
        if (escape)
            out[len++] = '\\';
        out[len++] = *p;
    }
    out[len++] = '"';
    out[len] = '\0';
    return 1;
}

// The name part of a value line: "@" for the default value, else the quoted name.
static int AppendValueName(char *out, size_t cap, const char *name)
{
    if (!name || !*name)
        return AppendText(out, cap, "@");
    return AppendQuoted(out, cap, name);
}

static int WriteWholeText(const char *path, const char *text)
{
    PVOID redirection;
    DisableFsRedirection(&redirection);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    RevertFsRedirection(redirection);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD len = (DWORD)strlen(text), written = 0;
    BOOL ok = WriteFile(file, text, len, &written, NULL) && written == len;
    if (!ok)
        TraceLastError("MyError:  WriteWholeText WriteFile");
    CloseHandle(file);
    return ok ? 1 : 0;
}

int WriteRegScript(const char *path, const char *rootName, const char *keyPath, const char *valueName,
                   const char *data, int kind)
{
    if (!path || !rootName || !keyPath)
        return 0;
    char text[SCRIPT_TEXT_MAX];
    // The product never changes its own keys by a script.
    if (!FormatText(text, CAP(text), "Windows Registry Editor Version 5.00\r\n\r\n[%s\\%s]\r\n", rootName,
                    keyPath) ||
        NamesProduct(text)) {
        TestLog("CreateRegCommand", "No script for the product's own key or an over-long key");
        return 0;
    }
    size_t header = strlen(text);
    int ok = AppendValueName(text, CAP(text), valueName) && AppendText(text, CAP(text), "=");
    if (kind == REGCMD_STRING) {
        ok = ok && AppendQuoted(text, CAP(text), data ? data : "");
        TestLog("StringCreateRegCommand", text + header);
    } else if (kind == REGCMD_DWORD) {
        DWORD value = (DWORD)strtoul(data ? data : "0", NULL, 10);
        ok = ok && AppendFormat(text, CAP(text), "dword:%08lx", (unsigned long)value);
        TestLog("DWORDCreateRegCommand", text + header);
    } else if (kind == REGCMD_DELETE) {
        ok = ok && AppendText(text, CAP(text), "-") && !NamesProduct(text + header);
    } else {
        ok = 0;
    }
    if (!ok || !AppendText(text, CAP(text), "\r\n")) {
        TestLog("CreateRegCommand", "No script: the value cannot be written as one script line");
        return 0;
    }
    if (!WriteWholeText(path, text)) {
        if (TraceConfigured()) {
            TraceLastError("GetLastError:  =  ");
            TestLog("CommandReg  OpenFile OF_WRITE OF_CREATE ---", path);
            TestLog("-", "");
        }
        return 0;
    }
    return 1;
}

int CreateRegCommand(const char *rootName, const char *keyPath, const char *valueName, const char *data,
                     int kind)
{
    char script[MAX_PATH];
    if (!GetMyFolder(script) || !AppendText(script, CAP(script), "\\temp.reg"))
        return 0;
    if (!WriteRegScript(script, rootName, keyPath, valueName, data, kind))
        return 0;
    if (!FileExists(script)) {
        TestLog("CreateRegCommand for Temp file", "FAILED  No way should this fail.");
        return 0;
    }
    TestLog("CreateRegCommand",
            "Calling regExecuteRegScript() to make change to registry not possible from Brackmoor.exe.");
    return regExecuteScript(script);
}

static int LaunchEditor(const char *verb, const char *editor, const char *parameters, const char *folder,
                        HANDLE *process)
{
    SHELLEXECUTEINFOA info;
    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = verb;
    info.lpFile = editor;
    info.lpParameters = parameters;
    info.lpDirectory = folder;
    info.nShow = SW_SHOWNORMAL;
    BOOL started = ShellExecuteExA(&info);
    *process = info.hProcess;
    if (!started) {
        DWORD error = GetLastError();
        char message[64];
        FormatText(message, CAP(message), "hInstApp Error code: %d", (int)(INT_PTR)info.hInstApp);
        TestLog("regExecuteScript", message);
        SetLastError(error);
    }
    return started ? 1 : 0;
}

int regExecuteScript(const char *scriptPath)
{
    char folder[MAX_PATH], editor[MAX_PATH], parameters[MAX_PATH + 8];
    UINT len = GetWindowsDirectoryA(folder, MAX_PATH);
    if (!scriptPath || len == 0 || len >= MAX_PATH ||
        !FormatText(editor, CAP(editor), "%s\\regedit.exe", folder) ||
        !FormatText(parameters, CAP(parameters), "/s \"%s\"", scriptPath))
        return 0;
    HANDLE process = NULL;
    if (!LaunchEditor("runas", editor, parameters, folder, &process)) {
        // A refused elevation is the user's answer. Systems without the "runas" verb
        // (before XP, and some compatible ones) start the editor with the user's rights.
        if (GetLastError() == ERROR_CANCELLED ||
            !LaunchEditor("open", editor, parameters, folder, &process))
            return 0;
    }
    // The editor reads the script after it started: removing it at once could
    // take the change away before the import. Wait a little, never for long.
    if (process) {
        if (WaitForSingleObject(process, IMPORT_WAIT_MS) != WAIT_OBJECT_0)
            TestLog("regExecuteScript", "The registry editor is still busy; the script stays until the next one");
        CloseHandle(process);
    }
    fileRemoveFile(scriptPath);
    return 1;
}

// The folder and the file name of a kept copy.
static int SplitKeptCopy(const char *keptCopy, char *folder, char *name)
{
    return keptCopy && FileNameOf(keptCopy, name) > 0 &&
           CopyTextN(folder, MAX_PATH, keptCopy, strlen(keptCopy) - strlen(name) - 1);
}

int VaultRestoreScriptPath(const char *keptCopy, char *out, size_t cap)
{
    char name[MAX_PATH], folder[MAX_PATH];
    return SplitKeptCopy(keptCopy, folder, name) && FormatText(out, cap, "%s\\Restore_%s.bat", folder, name);
}

// A path as cmd reads it in a batch file: "%" would start a variable.
static int BatchText(const char *path, char *out, size_t cap)
{
    size_t len = 0;
    for (const char *p = path; *p; p++) {
        if (len + (*p == '%' ? 2 : 1) >= cap)
            return 0;
        if (*p == '%')
            out[len++] = '%';
        out[len++] = *p;
    }
    out[len] = '\0';
    return 1;
}

int WriteVaultRestoreScript(const char *keptCopy, const char *formerPath)
{
    char path[MAX_PATH], kept[SCRIPT_LINE_MAX], former[SCRIPT_LINE_MAX], folder[MAX_PATH], name[MAX_PATH];
    if (!formerPath || !SplitKeptCopy(keptCopy, folder, name) || !VaultRestoreScriptPath(keptCopy, path, CAP(path)) ||
        !BatchText(keptCopy, kept, CAP(kept)) || !BatchText(formerPath, former, CAP(former)))
        return 0;
    // The vault (and the data folder above it) may not exist yet.
    SHCreateDirectoryExA(NULL, folder, NULL);
    char lines[7][SCRIPT_LINE_MAX];
    int ok = CopyText(lines[0], CAP(lines[0]), "@echo off") & CopyText(lines[1], CAP(lines[1]), "@cls") &
             FormatText(lines[2], CAP(lines[2]), "@echo \"This script will copy the file %s to its original location.\"",
                        former) &
             CopyText(lines[3], CAP(lines[3]), "pause") &
             FormatText(lines[4], CAP(lines[4]), "move  \"%s\"  \"%s\"", kept, former) &
             FormatText(lines[5], CAP(lines[5]), "attrib +H \"%s\"", former) &
             CopyText(lines[6], CAP(lines[6]), "exit");
    // A cut move line would put the file somewhere else; better no script.
    if (!ok)
        return 0;
    char text[7 * (SCRIPT_LINE_MAX + 4)] = "";
    for (int i = 0; i < 7; i++)
        AppendFormat(text, CAP(text), "%s\r\n\r\n", lines[i]);
    return WriteWholeText(path, text);
}
