// Online file information. The address carries the item's name and what the
// file's version record, times and size say; the browser does the rest, so a
// machine without a working browser only loses the page, never the monitor.
#include "online/keel_info.h"

#include <shellapi.h>
#include <string.h>

#include "common/detection.h"
#include "common/files.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/options.h"
#include "online/web_settings.h"

#define KEEL_LOC_MAX 32
// How long the handler of the shortcut may take to read it before it is deleted.
#define KEEL_HANDLER_WAIT_MS 5000
#define KEEL_TAG_MAX (KEEL_ADDRESS_MAX + 16)
// The browser command: a quoted program path, a blank and the address.
#define KEEL_COMMAND_MAX (MAX_PATH + KEEL_ADDRESS_MAX + 4)
// Codes of the ActiveX category, whose detection records are named by the
// item's own text rather than by a program path.
#define KEEL_ACTIVEX_CODE_A 1020
#define KEEL_ACTIVEX_CODE_B 1200

// Waits for the handler process while this thread's messages go on: the alert
// that asked and the main window's timer live on this thread, and neither may
// stand still for the handler. A quit message is put back for the loop it is for.
static void WaitForHandler(HANDLE process, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD passed = GetTickCount() - start;
        if (passed >= ms)
            return;
        DWORD woke = MsgWaitForMultipleObjectsEx(1, &process, ms - passed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke != WAIT_OBJECT_0 + 1)
            return;
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage((int)msg.wParam);
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

INT_PTR KeelOpenWithShell(const char *target, int shortcut)
{
    if (!shortcut)
        return (INT_PTR)ShellExecuteA(NULL, "open", target, NULL, NULL, SW_SHOWNORMAL);
    // The shortcut is deleted as soon as this returns, but the shell's handler
    // for it usually runs in a process of its own and reads the file only once
    // it has loaded. So the open is synchronous, and a handler process is given
    // a bounded time to take the address and end before the file goes.
    SHELLEXECUTEINFOA info;
    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info);
    // No error box either: a failure is traced by the caller, never shown.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "open";
    info.lpFile = target;
    info.nShow = SW_SHOWNORMAL;
    BOOL ok = ShellExecuteExA(&info);
    DWORD error = GetLastError();
    if (info.hProcess) {
        WaitForHandler(info.hProcess, KEEL_HANDLER_WAIT_MS);
        CloseHandle(info.hProcess);
    }
    SetLastError(error);
    INT_PTR result = (INT_PTR)info.hInstApp;
    // hInstApp carries the ShellExecuteA code; a success without one still counts.
    if (ok && result <= 32)
        result = 33;
    if (!ok && result > 32)
        result = SE_ERR_NOASSOC;
    return result;
}

UINT KeelStartWithWinExec(const char *commandLine)
{
    return WinExec(commandLine, SW_SHOWNORMAL);
}

KeelOpenerProc KeelOpener = KeelOpenWithShell;
KeelStarterProc KeelBrowserStarter = KeelStartWithWinExec;

int GetKeelServer(char *out, size_t cap)
{
    if (!out || cap == 0)
        return 0;
    char server[KEEL_SERVER_MAX];
    if (ReadWebAddressSetting(HKEY_CURRENT_USER, KEEL_SERVER_VALUE, server, CAP(server)) <= 0)
        CopyText(server, CAP(server), KEEL_DEFAULT_SERVER);
    CopyText(out, cap, server);
    return (int)strlen(out);
}

// The text after the last "." of the file's name; a dot in a folder name does
// not make an extension.
static void ExtensionOf(const char *path, char *out, size_t cap)
{
    out[0] = '\0';
    const char *name = strrchr(path, '\\');
    name = name ? name + 1 : path;
    const char *dot = strrchr(name, '.');
    if (dot)
        CopyText(out, cap, dot + 1);
}

// The file name of a path, with the path itself when it names no folder.
static void NameOfPath(const char *path, char *out, size_t cap)
{
    const char *name = strrchr(path, '\\');
    CopyText(out, cap, name ? name + 1 : path);
}

typedef struct KeelPair {
    const char *key;     // "?program=", "&vendor=" ...
    const char *value;   // plain text, encoded on the way in
} KeelPair;

// The server, the page and the keys with their encoded values, in order.
// 0 when the bound cut the address.
static int ComposeAddress(char *out, size_t cap, const char *server, const char *page,
                          const KeelPair *pairs, size_t count)
{
    int whole = FormatText(out, cap, "%s%s", server, page);
    for (size_t i = 0; i < count; i++) {
        char encoded[KEEL_ADDRESS_MAX];
        EncodeForQuery(pairs[i].value, encoded, CAP(encoded));
        whole = AppendText(out, cap, pairs[i].key) && whole;
        whole = AppendText(out, cap, encoded) && whole;
    }
    return whole;
}

// The short request names the language by the interface language; the
// extended one by the string table, so a translation can send its own code.
static void ShortLocation(char *out, size_t cap)
{
    CopyText(out, cap, UILanguage == 7 ? "de" : UILanguage == 12 ? "fr" : "en");
}

static void ExtendedLocation(char *out, size_t cap)
{
    char text[KEEL_LOC_MAX];
    if (GetLangString(634, KEEL_LOC_MAX, text) <= 0 || !text[0])
        CopyText(text, CAP(text), "en");
    CopyText(out, cap, text);
}

// A cut can fall inside a "%20": a lone "%" or "%2" at the end would make the
// server read the next characters as an escape, so the partial escape goes.
static void DropPartialEscape(char *out)
{
    size_t len = strlen(out);
    for (size_t back = 1; back <= 2 && back <= len; back++) {
        if (out[len - back] == '%') {
            out[len - back] = '\0';
            return;
        }
    }
}

static void DetectionName(int code, const char *commandLine, const char *program, char *out, size_t cap)
{
    if (code == KEEL_ACTIVEX_CODE_A || code == KEEL_ACTIVEX_CODE_B)
        CopyText(out, cap, commandLine);
    else
        CopyText(out, cap, program);
}

int BuildKeelAddress(const char *itemName, const char *commandLine, int code, int extended,
                     char *out, size_t cap)
{
    if (!out || cap == 0)
        return 0;
    out[0] = '\0';
    if (cap > KEEL_ADDRESS_MAX)
        cap = KEEL_ADDRESS_MAX;
    if (!commandLine)
        commandLine = "";

    char program[MAX_PATH];
    ExtractProgramPath(commandLine, program);
    char fileName[MAX_PATH];
    NameOfPath(program, fileName, CAP(fileName));
    const char *name = itemName && itemName[0] ? itemName : fileName;
    char ext[MAX_PATH];
    ExtensionOf(program, ext, CAP(ext));
    // A file without version information still gets its request, with empty values.
    VersionRecord version;
    GetVersionInfo(program, &version);
    char server[KEEL_SERVER_MAX];
    GetKeelServer(server, CAP(server));
    char codeText[16];
    FormatText(codeText, CAP(codeText), "%d", code);

    int whole;
    char location[KEEL_LOC_MAX];
    if (!extended) {
        ShortLocation(location, CAP(location));
        const KeelPair pairs[] = {
            {"?program=", name},
            {"&vendor=", version.CompanyName},
            {"&version=", version.ProductVersion},
            {"&build=", BRACKMOOR_VERSION},
            {"&Type=", codeText},
            {"&Loc=", location},
            {"&ext=", ext},
        };
        whole = ComposeAddress(out, cap, server, KEEL_SHORT_PATH, pairs, sizeof(pairs) / sizeof(pairs[0]));
    } else {
        ExtendedLocation(location, CAP(location));
        char created[FILE_TIME_TEXT_MAX], size[FILE_TIME_TEXT_MAX];
        GetMyFileTime(program, created, NULL, NULL, size);
        char recordName[KEEL_ADDRESS_MAX], detected[DETECTED_DATE_MAX] = "";
        DetectionName(code, commandLine, program, recordName, CAP(recordName));
        if (GetDetectedDate(code, recordName, detected) <= 0)
            detected[0] = '\0';
        const KeelPair pairs[] = {
            {"?program=", name},
            {"&vendor=", version.CompanyName},
            {"&build=", BRACKMOOR_VERSION},
            {"&Type=", codeText},
            {"&Loc=", location},
            {"&ext=", ext},
            {"&version=", version.ProductVersion},
            {"&name=", version.ProductName},
            {"&copy=", version.LegalCopyright},
            {"&detail=", version.FileDescription},
            {"&created=", created},
            {"&detected=", detected},
            {"&fsize=", size},
            {"&path=", program},
        };
        whole = ComposeAddress(out, cap, server, KEEL_EXTENDED_PATH, pairs, sizeof(pairs) / sizeof(pairs[0]));
    }
    if (!whole)
        DropPartialEscape(out);
    return (int)strlen(out);
}

// The last resort: Internet Explorer started directly. The path is quoted, as
// it lies under "Program Files"; the address has no blanks left in it.
static int StartKeelBrowser(const char *address, const char *caller)
{
    char ie[MAX_PATH];
    char tag[64];
    if (GetIEPath(ie) <= 0) {
        FormatText(tag, CAP(tag), "%s GetIEPath ---", caller);
        TestLog(tag, "no path");
        return 0;
    }
    char command[KEEL_COMMAND_MAX];
    if (!FormatText(command, CAP(command), "\"%s\" %s", ie, address)) {
        FormatText(tag, CAP(tag), "%s WinExec ---", caller);
        TestLog(tag, "command too long");
        return 0;
    }
    UINT result = KeelBrowserStarter(command);
    if (result > 31)
        return 1;
    if (TraceConfigured()) {
        FormatText(tag, CAP(tag), "%s WinExec ---", caller);
        TraceShellExecuteError(0, (int)result, tag);
    }
    return 0;
}

int GetKeelInfo(const char *itemName, const char *commandLine, int code)
{
    // Read now rather than from the options variable: the command-line lookup
    // runs before the options are read, and the companion may have changed it.
    if (ReadOptionInt("KeelFormat", 0))
        return GetKeelInfoEx(itemName, commandLine, code);

    char address[KEEL_ADDRESS_MAX];
    BuildKeelAddress(itemName, commandLine, code, 0, address, CAP(address));
    INT_PTR result = KeelOpener(address, 0);
    if (result > 32)
        return 1;
    if (TraceConfigured()) {
        char tag[KEEL_TAG_MAX];
        FormatText(tag, CAP(tag), "%s %s", "GetKeelInfo", address);
        TraceShellExecuteError(0, (int)result, tag);
    }
    return StartKeelBrowser(address, "GetKeelInfo");
}

// The platform's internet shortcut: a profile file with the address under
// [InternetShortcut]. Written whole or not at all.
static int CreateInternetShortcut(const char *path, const char *address)
{
    char text[KEEL_ADDRESS_MAX + 64];
    if (!FormatText(text, CAP(text), "[InternetShortcut]\r\nURL=%s\r\n", address)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD length = (DWORD)strlen(text), written = 0;
    BOOL ok = WriteFile(file, text, length, &written, NULL) && written == length;
    DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) {
        // Half a shortcut would open a wrong page; none at all falls back cleanly.
        DeleteFileA(path);
        SetLastError(error ? error : ERROR_WRITE_FAULT);
        return 0;
    }
    return 1;
}

static int OpenKeelTarget(const char *target, int shortcut)
{
    INT_PTR result = KeelOpener(target, shortcut);
    if (result > 32)
        return 1;
    if (TraceConfigured())
        TraceShellExecuteError(0, (int)result, "GetKeelInfoEx ShellExecute ---");
    return 0;
}

int GetKeelInfoEx(const char *itemName, const char *commandLine, int code)
{
    char address[KEEL_ADDRESS_MAX];
    BuildKeelAddress(itemName, commandLine, code, 1, address, CAP(address));

    char shortcut[MAX_PATH];
    int written = GetMyFolder(shortcut) > 0 && AppendText(shortcut, CAP(shortcut), "\\" KEEL_SHORTCUT_NAME) &&
                  CreateInternetShortcut(shortcut, address);
    int opened;
    if (written) {
        opened = OpenKeelTarget(shortcut, 1);
        // A lookup leaves nothing behind in the data folder.
        fileRemoveFile(shortcut);
    } else {
        if (TraceConfigured()) {
            char error[512];
            FormatSystemError(GetLastError(), error, CAP(error));
            TestLog("GetLastError:  =", error);
            TestLog("GetKeelInfoEx CreateInternetShortcut ---", shortcut);
            TestLog("-", "");
        }
        opened = OpenKeelTarget(address, 0);
    }
    // "BrowserFailure" is the user's word that the shell's browser cannot be
    // trusted; it applies whichever of the two opens failed.
    if (!opened && ReadOptionInt("BrowserFailure", 0))
        opened = StartKeelBrowser(address, "GetKeelInfoEx");
    return opened;
}

int KeelLookupFromCommandLine(const char *commandLine, int code)
{
    char plain[MAX_PATH];
    StripQuotes(commandLine, plain);
    char name[MAX_PATH];
    if (GetProgramFileName(plain, name, CAP(name)) <= 0) {
        TestLog("KeelLookupFromCommandLine no program", commandLine ? commandLine : "");
        return 0;
    }
    return GetKeelInfo(name, plain, code);
}
