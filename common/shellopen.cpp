// Handing a program to the shell (its properties sheet, its folder in Explorer)
// and the trace texts for what the shell answers when that fails.
#include "common/files.h"

#include <shellapi.h>
#include <string.h>

#include "common/text.h"
#include "common/tracelog.h"

// SEM_FAILCRITICALERRORS among others: a missing floppy or CD drive named in a
// path must not stop the monitor with a system dialog.
#define SHELL_ERROR_MODE 0x1F40001
#define MASK_INVOKEIDLIST 0x0C

// The system's text for an error code, without its line end.
static void SystemErrorText(DWORD code, char *out, size_t cap)
{
    out[0] = '\0';
    char *text = NULL;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             NULL, code, 0x400, (LPSTR)&text, 0, NULL);
    if (n && text) {
        CopyText(out, cap, text);
        size_t len = strlen(out);
        while (len > 0 && (out[len - 1] == '\r' || out[len - 1] == '\n' || out[len - 1] == ' '))
            out[--len] = '\0';
    }
    if (text)
        LocalFree(text);
}

int fileShellExecute(HWND window, const char *path)
{
    if (!path || !path[0])
        return 0;
    UINT oldMode = SetErrorMode(SHELL_ERROR_MODE);
    char folder[MAX_PATH];
    GetFolderOfProgram(path, folder);
    SHELLEXECUTEINFOA info;
    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info);
    info.fMask = MASK_INVOKEIDLIST;
    info.hwnd = window;
    info.lpVerb = "properties";
    info.lpFile = path;
    info.lpParameters = NULL;
    info.lpDirectory = folder[0] ? folder : NULL;
    info.nShow = SW_SHOW;
    BOOL ok = ShellExecuteExA(&info);
    if (!ok && TraceConfigured()) {
        DWORD err = GetLastError();
        char tag[2 * MAX_PATH], text[512], message[600];
        FormatText(tag, CAP(tag), "%s %s", "fileShellExecute", path);
        SystemErrorText(err, text, CAP(text));
        FormatText(message, CAP(message), "%d  %s", (int)err, text);
        TestLog(tag, message);
    }
    SetErrorMode(oldMode);
    return ok ? 1 : 0;
}

int OpenFolderOf(HWND window, const char *commandLine)
{
    char program[MAX_PATH], folder[MAX_PATH];
    if (ExtractProgramPath(commandLine, program) <= 0 || GetFolderOfProgram(program, folder) <= 0)
        return 0;
    HINSTANCE r = ShellExecuteA(window, "explore", folder, NULL, NULL, SW_SHOWNORMAL);
    return (INT_PTR)r > 31 ? 1 : 0;
}

typedef struct ShellErrorRow {
    int code;
    const char *text;
} ShellErrorRow;

static const ShellErrorRow ShellErrors[] = {
    {0, "The operating system is out of memory or resources."},
    {2, "The specified file was not found."},
    {3, "The specified path was not found."},
    {5, "The operating system denied access to the specified file."},
    {8, "There was not enough memory to complete the operation."},
    {11, "The .exe file is invalid (non-Win32 .exe or error in .exe image)."},
    {26, "A sharing violation occurred."},
    {27, "The file name association is incomplete or invalid."},
    {28, "The DDE transaction could not be completed because the request timed out."},
    {29, "The DDE transaction could not be completed because other DDE transactions were being processed."},
    {30, "The DDE transaction could not be completed because other DDE transactions were being processed."},
    {31, "There is no application associated with the given file name extension. This error will also be "
         "returned if you attempt to print a file that is not printable."},
    {32, "The specified DLL was not found."},
};

int TraceShellExecuteError(int mode, int code, const char *tag)
{
    // Taken first: every call below may change it.
    DWORD err = GetLastError();
    char text[512], message[768];
    const char *known = NULL;
    if (mode == 0)
        for (const auto &row : ShellErrors)
            if (row.code == code)
                known = row.text;
    if (known) {
        FormatText(message, CAP(message), "%d  %s", code, known);
    } else {
        SystemErrorText(err, text, CAP(text));
        if (mode == 0 || mode == 1)
            FormatText(message, CAP(message), "%d  %s", (int)err, text);
        else
            FormatText(message, CAP(message), "%s  %s", mode == 2 ? "DefWindPos Error" : "Default Error", text);
    }
    TestLog(tag ? tag : "", message);
    return 1;
}
