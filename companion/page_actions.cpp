// What every page says to the user, and the actions every program list offers:
// the program's folder, its property sheet and the online information about it.
#include "companion/explorer.h"

#include <string.h>

#include "common/files.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "online/keel_info.h"
#include "startup/locations.h"
#include "startup/places.h"

#define MESSAGE_TEXT_MAX 1024
#define ERROR_TEXT_MAX 512

static HWND OwnerOf(HWND window)
{
    HWND root = window ? GetAncestor(window, GA_ROOT) : NULL;
    return root ? root : window;
}

int AskUser(HWND owner, const char *question)
{
    return MessageBoxA(OwnerOf(owner), question, EXPLORER_TITLE, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) ==
           IDYES;
}

void ShowActionFailure(HWND owner, const char *what, DWORD error)
{
    char text[MESSAGE_TEXT_MAX];
    char reason[ERROR_TEXT_MAX] = "";
    CopyText(text, CAP(text), what);
    if (error != ERROR_SUCCESS) {
        FormatSystemError(error, reason, CAP(reason));
        AppendText(text, CAP(text), "\n\n");
        AppendText(text, CAP(text), reason);
    }
    TestLog("MyError:  Brackmoor Explorer", text);
    MessageBoxA(OwnerOf(owner), text, EXPLORER_TITLE, MB_OK | MB_ICONERROR);
}

// The error that keeps a key from taking values, ERROR_SUCCESS when it can (the
// key is made when missing, as the write that follows would make it).
DWORD CheckKeyWritable(HKEY root, const char *path, REGSAM view)
{
    HKEY key = NULL;
    LONG rc = RegCreateKeyExA(root, path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | view, NULL, &key, NULL);
    if (rc == ERROR_SUCCESS)
        RegCloseKey(key);
    return (DWORD)rc;
}

int FileTitleOf(const char *path, char *out, size_t cap)
{
    char file[MAX_PATH];
    CopyText(out, cap, FileNameOf(path, file) > 0 ? file : path);
    return (int)strlen(out);
}

// A short name of where an entry lives: "HKCU Run", "HKLM 32-bit RunOnce",
// "win.ini load", "Startup folder", "Winlogon Shell"...
void StartupLocationName(int code, char *out, size_t cap)
{
    const StartupLocation *location = FindStartupLocation(code < 0 ? -code : code);
    if (!location) {
        CopyText(out, cap, "Delayed start list");
        return;
    }
    const char *lastPart = strrchr(location->keyPath, '\\');
    lastPart = lastPart ? lastPart + 1 : location->keyPath;
    switch (location->kind) {
    case LOCATION_RUN_KEY: {
        const char *tail = strstr(location->keyPath, "CurrentVersion\\");
        FormatText(out, cap, "%s%s %s", location->root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU",
                   RunFamilyDigit(code) && code >= CODE_WOW64_RUN ? " 32-bit" : "",
                   tail ? tail + strlen("CurrentVersion\\") : location->keyPath);
        break;
    }
    case LOCATION_WIN_INI:
        FormatText(out, cap, "win.ini %s", location->valueName);
        break;
    case LOCATION_FOLDER:
        CopyText(out, cap, "Startup folder");
        break;
    case LOCATION_VALUE:
        FormatText(out, cap, "Winlogon %s", location->valueName);
        break;
    case LOCATION_SUBKEYS:
        CopyText(out, cap, "Winlogon Notify");
        break;
    case LOCATION_DLL_LIST:
        CopyText(out, cap, location->valueName);
        break;
    case LOCATION_PLACE:
        CopyText(out, cap, FindAutostartPlace(location->code)->title);
        break;
    default:
        CopyText(out, cap, lastPart);
        break;
    }
}

static void ShowProgramFailure(HWND owner, const char *format, const char *program, DWORD error)
{
    char text[MESSAGE_TEXT_MAX];
    FormatText(text, CAP(text), format, program);
    ShowActionFailure(owner, text, error);
}

void OpenProgramFolder(HWND owner, const char *program)
{
    SetLastError(ERROR_SUCCESS);
    if (!OpenFolderOf(OwnerOf(owner), program)) {
        DWORD error = GetLastError();
        ShowProgramFailure(owner, "The folder of %s could not be opened.", program,
                           error != ERROR_SUCCESS ? error : ERROR_PATH_NOT_FOUND);
    }
}

void ShowProgramProperties(HWND owner, const char *program)
{
    char file[MAX_PATH];
    SetLastError(ERROR_SUCCESS);
    if (ExtractProgramPath(program, file) <= 0 || !fileShellExecute(OwnerOf(owner), file)) {
        DWORD error = GetLastError();
        ShowProgramFailure(owner, "The properties of %s could not be shown.", program,
                           error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND);
    }
}

void ShowOnlineInformation(HWND owner, const char *name, const char *program, int code)
{
    SetLastError(ERROR_SUCCESS);
    if (!GetKeelInfo(name, program, code))
        ShowProgramFailure(owner, "No browser could be started to show the information about %s.", program,
                           GetLastError());
}
