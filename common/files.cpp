// The system's own folders, the file-exists test with its fallbacks for bare
// program names, removal of files and folders, whole-file reads, the browser
// lookups and the clean-up of baseline values whose program is gone.
#include "common/files.h"

#include <string.h>

#include "common/registry.h"
#include "common/text.h"
#include "common/tracelog.h"
#include "common/options.h"
#include "common/runlist.h"

// Paths shorter than this are taken as bare program names; longer ones are
// the only ones worth a trace entry (bare names are looked up all the time).
#define SHORT_NAME_LIMIT 32

typedef BOOL(WINAPI *DisableRedirectionFn)(PVOID *);
typedef BOOL(WINAPI *RevertRedirectionFn)(PVOID);

// The WOW64 functions do not exist before XP SP2 / Server 2003 SP1, so they are
// looked up instead of being imported. Kernel32 is in every process: asking for
// its handle costs nothing, where loading and freeing it on every file access
// went through the loader each time.
static FARPROC KernelProc(const char *name)
{
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    return kernel ? GetProcAddress(kernel, name) : NULL;
}

void DisableFsRedirection(PVOID *old)
{
    if (old)
        *old = NULL;
    if (!Is64BitWindows || !old)
        return;
    DisableRedirectionFn disable =
        (DisableRedirectionFn)(void (*)(void))KernelProc("Wow64DisableWow64FsRedirection");
    // A 64-bit process has no redirection to switch off: the call fails and
    // leaves old as NULL, which the revert below then passes back harmlessly.
    if (disable)
        disable(old);
}

void RevertFsRedirection(PVOID old)
{
    if (!Is64BitWindows)
        return;
    RevertRedirectionFn revert = (RevertRedirectionFn)(void (*)(void))KernelProc("Wow64RevertWow64FsRedirection");
    if (revert)
        revert(old);
}

// "GetLastError:  =  " with the text of a saved error code.
static void TraceErrorCode(DWORD code)
{
    char text[512];
    FormatSystemError(code, text, CAP(text));
    TestLog("GetLastError:  =  ", text);
}

int GetMyProgramFolder(char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    char module[480];
    PVOID redirection;
    DisableFsRedirection(&redirection);
    DWORD n = GetModuleFileNameA(NULL, module, (DWORD)sizeof(module));
    RevertFsRedirection(redirection);
    if (n == 0 || n >= sizeof(module))
        return 0;
    module[n] = '\0';
    char *slash = strrchr(module, '\\');
    if (slash)
        *slash = '\0';
    // A folder that does not fit a path buffer is useless to every caller.
    if (!CopyText(out, MAX_PATH, module)) {
        out[0] = '\0';
        return 0;
    }
    return (int)strlen(out);
}

int GetMyFolder(char *out)
{
    if (!out)
        return 0;
    char folder[MAX_PATH];
    if (GetRegString(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                     "AppData", folder, MAX_PATH) > 0 &&
        AppendText(folder, CAP(folder), "\\Brackmoor")) {
        BOOL created = CreateDirectoryA(folder, NULL);
        DWORD err = created ? 0 : GetLastError();
        DWORD attributes = GetFileAttributesA(folder);
        if ((attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) ||
            err == ERROR_ALREADY_EXISTS) {
            CopyText(out, MAX_PATH, folder);
            return (int)strlen(out);
        }
    }
    // No profile folder (a service account, a broken profile): keep the files
    // beside the program rather than nowhere.
    return GetMyProgramFolder(out);
}

static int OpenForRead(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(file);
    return 1;
}

// OpenFile with OF_EXIST answers TRUE rather than a handle when the file is there.
static int OpenFileExists(const char *path)
{
    OFSTRUCT of;
    memset(&of, 0, sizeof(of));
    of.cBytes = sizeof(of);
    return OpenFile(path, &of, OF_EXIST) == 1;
}

// The short form of a path opened with CreateFileA, or OpenFile on the path.
static int ShortOrOpenFileExists(const char *path)
{
    char shortForm[MAX_PATH];
    DWORD n = GetShortPathNameA(path, shortForm, MAX_PATH);
    if (n > 0 && n < MAX_PATH && OpenForRead(shortForm))
        return 1;
    return OpenFileExists(path);
}

// folder + "\" + name; 0 when it does not fit, so that a cut path is never tried.
static int JoinFolder(char *out, int useSystemFolder, const char *name)
{
    char folder[MAX_PATH];
    UINT n = useSystemFolder ? GetSystemDirectoryA(folder, MAX_PATH)
                             : GetWindowsDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 0;
    return FormatText(out, MAX_PATH, "%s\\%s", folder, name);
}

// 64-bit Windows: the path as given, then in the Windows and System folders,
// all with redirection off so that the real System32 is seen.
static int FileExists64(const char *path, int traced)
{
    int result = 0;
    char full[MAX_PATH] = "";
    PVOID redirection;
    DisableFsRedirection(&redirection);
    if (OpenForRead(path)) {
        result = 1;
    } else {
        DWORD err = GetLastError();
        for (int useSystem = 0; useSystem <= 1 && !result; useSystem++)
            if (JoinFolder(full, useSystem, path) && OpenForRead(full))
                result = 1;
        if (traced) {
            if (result) {
                TestLog("FileExists() FullPath =", full);
            } else {
                TraceErrorCode(err);
                TestLog("Original Filename =", path);
            }
        }
    }
    RevertFsRedirection(redirection);
    return result;
}

// 32-bit Windows: the short form first (it copes with names that OpenFile's
// 128-character limit would refuse), then a bare name in the Windows and
// System folders, whose full path the caller gets back.
static int FileExists32(char *path, size_t len, int traced)
{
    char shortForm[MAX_PATH];
    DWORD n = GetShortPathNameA(path, shortForm, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        if (OpenFileExists(shortForm) || OpenForRead(shortForm))
            return 1;
        if (traced) {
            TraceErrorCode(GetLastError());
            TestLog("FileExists() OpenFile OF_EXISTS ---", shortForm);
        }
        if (len > SHORT_NAME_LIMIT && OpenFileExists(path)) {
            if (traced)
                TestLog("FileExists() OpenFile Original Filename =", path);
            return 1;
        }
    } else if (traced) {
        TraceErrorCode(GetLastError());
        TestLog("FileExits() GetShortPathName Error ---", path);
    }
    if (len < SHORT_NAME_LIMIT) {
        char full[MAX_PATH];
        for (int useSystem = 0; useSystem <= 1; useSystem++) {
            if (JoinFolder(full, useSystem, path) && ShortOrOpenFileExists(full)) {
                CopyText(path, MAX_PATH, full);
                return 1;
            }
        }
    }
    if (traced)
        TestLog("Original Filename =", path);
    return 0;
}

int FileExists(char *path)
{
    if (!path || !path[0]) {
        TestLog("FileExists() called with a NULL file ---", "");
        return 0;
    }
    size_t len = strnlen(path, MAX_PATH);
    if (len >= MAX_PATH)
        return 0;   // not a path this system can hold; nothing sensible to open
    int traced = TraceConfigured() && len > SHORT_NAME_LIMIT;
    return Is64BitWindows ? FileExists64(path, traced) : FileExists32(path, len, traced);
}

int fileRemoveFile(const char *path)
{
    if (!path || !path[0])
        return 0;
    PVOID redirection;
    DisableFsRedirection(&redirection);
    // A read-only file refuses DeleteFileA; the user asked for it to go. A file
    // that stays keeps its attributes: a hidden one stays hidden (and watched).
    DWORD attributes = GetFileAttributesA(path);
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    BOOL deleted = DeleteFileA(path);
    if (!deleted) {
        DWORD error = GetLastError();
        if (attributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesA(path, attributes);
        if (TraceConfigured()) {
            TraceErrorCode(error);
            TestLog("fileRemoveFile ---", path);
            TestLog("-", "");
        }
        SetLastError(error);
    }
    RevertFsRedirection(redirection);
    return deleted ? 1 : 0;
}

int fileRemoveFolder(const char *path)
{
    if (!path || !path[0])
        return 0;
    PVOID redirection;
    DisableFsRedirection(&redirection);
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    BOOL removed = RemoveDirectoryA(path);
    if (TraceConfigured()) {
        if (removed) {
            TestLog("fileRemoveFolder --- SUCCESS", path);
        } else {
            TraceErrorCode(GetLastError());
            TestLog("fileRemoveFolder ---", path);
        }
    }
    RevertFsRedirection(redirection);
    return removed ? 1 : 0;
}

HGLOBAL ReadtheFile(const char *path, DWORD *size)
{
    if (!path || !size)
        return NULL;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        if (TraceConfigured())
            TestLog("ReadtheFile CreateFile OPEN_EXISTING ---", path);
        return NULL;
    }
    HGLOBAL result = NULL;
    DWORD want = *size;
    // 32 spare bytes: the CR LF written for a last LF may run one past the size.
    SIZE_T blockSize = (SIZE_T)want + 32;
    HGLOBAL raw = GlobalAlloc(GHND, blockSize);
    HGLOBAL text = GlobalAlloc(GHND, blockSize);
    char *in = raw ? (char *)GlobalLock(raw) : NULL;
    char *out = text ? (char *)GlobalLock(text) : NULL;
    DWORD got = 0;
    if (in && out && ReadFile(file, in, want, &got, NULL)) {
        // Callers show the text in edit controls, which break lines only at CR LF.
        // The copy stops at the length that was read, which the block can hold.
        DWORD i = 0, j = 0;
        while (j < got && i < got) {
            if (in[i] == '\n')
                out[j++] = '\r';
            out[j++] = in[i++];
        }
        *size = j > 0 ? j - 1 : 0;
        result = text;
    }
    if (out)
        GlobalUnlock(text);
    if (in)
        GlobalUnlock(raw);
    if (raw)
        GlobalFree(raw);
    if (text && !result)
        GlobalFree(text);
    CloseHandle(file);
    return result;
}

int GetUserNameFromProfile(char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    char profile[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 0;
    size_t len = strlen(profile);
    while (len > 0 && profile[len - 1] == '\\')
        profile[--len] = '\0';
    const char *slash = strrchr(profile, '\\');
    CopyText(out, 128, slash ? slash + 1 : profile);
    return (int)strlen(out);
}

int GetDefaultBrowserKind(void)
{
    static const struct {
        const char *part;
        int kind;
    } Browsers[] = {
        {"iexplore", 1}, {"netscp", 2}, {"maxthon", 4}, {"avant", 5},
        {"mozilla", 6},  {"firefox", 3}, {"pale", 9},
    };
    char keyPath[MAX_PATH];
    if (GetLangString(5, MAX_PATH, keyPath) <= 0)
        CopyText(keyPath, CAP(keyPath), "SOFTWARE\\Classes\\HTTP\\shell\\open\\command");
    char command[REG_TEXT_MAX], plain[MAX_PATH];
    if (GetRegString(HKEY_LOCAL_MACHINE, keyPath, "", command, REG_TEXT_MAX) <= 0)
        return 1;
    StripQuotes(command, plain);
    for (const auto &row : Browsers)
        if (StrContains(plain, row.part))
            return row.kind;
    return 1;
}

int GetIEPath(char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    char folder[MAX_PATH];
    int len = GetRegString(HKEY_LOCAL_MACHINE,
                           "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE",
                           "Path", folder, MAX_PATH);
    if (len <= 0)
        return 0;
    if (folder[len - 1] == ';')
        folder[len - 1] = '\0';
    if (!FormatText(out, MAX_PATH, "%s\\iexplore.exe", folder)) {
        out[0] = '\0';
        return 0;
    }
    return (int)strlen(out);
}

void fileRemoveOldRegPointer(const char *keyPath)
{
    if (!keyPath || !keyPath[0])
        return;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    // Nothing may be deleted while the key is being enumerated: the names are
    // gathered first, and only those are deleted after.
    RunList *list = NewRunList();
    if (!list) {
        RegCloseKey(key);
        TestLog("MyError:  fileRemoveOldRegPointer NewRunList", keyPath);
        return;
    }
    char name[RUN_DETAILS_MAX];
    char program[MAX_PATH];
    for (DWORD index = 0;; index++) {
        DWORD nameLen = sizeof(name);
        LONG rc = RegEnumValueA(key, index, name, &nameLen, NULL, NULL, NULL, NULL);
        if (rc == ERROR_MORE_DATA)
            continue;   // a name this long could never be carried to the deletion
        if (rc != ERROR_SUCCESS)
            break;
        name[sizeof(name) - 1] = '\0';
        if (!name[0])
            continue;
        ExtractProgramPath(name, program);
        if (!FileExists(program)) {
            TestLog("fileRemoveOldRegPointer File does NOT Exist", program);
            // details keeps the value name untouched; name and path are rewritten
            // by AddRunStruct's rules.
            AddRunStruct(list, name, name, "", name, 0, 0);
        }
    }
    RegCloseKey(key);
    for (int i = 0; i < list->count; i++) {
        if (GetRunDetails(list, i, name) <= 0)
            continue;
        TestLog("fileRemoveOldRegPointer DeleteRegValue", name);
        DeleteRegValue(HKEY_CURRENT_USER, keyPath, name);
    }
    DeleteRunList(list);
}
